// One run of the plug-in: load it, build the board, run the script, write the outputs.
#include "Session.h"

#include "Console.h"
#include "ContactSheet.h"
#include "FramesReport.h"
#include "Interrupt.h"
#include "PluginLibrary.h"
#include "Report.h"
#include "Runner.h"
#include "Text.h"
#include "VcdWriter.h"

#include "sim/frames/FrameLog.h"

#include <memory>
#include <sstream>

namespace camhost {
namespace {

struct tsRun {
    int sensorType = 0;
    Json results = Json::array();
    std::vector<sim::TraceEvent> clientSignals;
    std::string error; // the plug-in's exception, or camhost's own failure
    tsOutcome outcome;
    int checkedExpectations = 0;
};

// Gives false, with the message printed, when an output cannot be written.
bool writeOutputs(const tsRun& run, Vistrel::tcSensorBoard* board, tsOutputs& outputs) {
    sim::Head& head = sim::Head::instance();
    head.step();
    try {
        if (outputs.json) {
            Json report = stateReport(run.sensorType, run.results, board);
            report["interrupted"] = run.outcome.interruptSignal != 0;
            report["expectations"] = {{"checked", run.checkedExpectations},
                                      {"failed", run.outcome.failedExpectations}};
            if (!run.error.empty())
                report["error"] = run.error;
            outputs.json->commit(dumpJson(report, 2) + "\n");
        }
        if (outputs.vcd) {
            tsWaveform waveform = headWaveform(head);
            waveform.changes.insert(waveform.changes.end(), run.clientSignals.begin(),
                                    run.clientSignals.end());
            std::ostringstream text;
            writeVcd(text, waveform);
            outputs.vcd->commit(text.str());
        }
    } catch (const tcOutputError& error) {
        err() << "camhost: " << error.what() << std::endl;
        return false;
    }
    return true;
}

void writeFrames(const tsOptions& options) {
    if (!options.contactSheet.empty()) {
        std::string error;
        if (writeContactSheet(options.contactSheet, sim::frames::records(), error))
            out() << "contact sheet: " << options.contactSheet << std::endl;
        else
            err() << "camhost: no contact sheet " << options.contactSheet << ": " << error
                  << std::endl;
    }
    if (options.frames.empty())
        return;
    const int written = writeFrameFiles(options.frames, sim::frames::records(), options.framesMax,
                                        options.frameScale);
    out() << "frames: " << written << " written to " << options.frames << std::endl;
}

// Runs the script until its end, an exception or an interruption.
void runScript(const tsOptions& options, const std::vector<tsCommand>& script,
               const tcPluginLibrary& library, tsRun& run, tsOutputs& outputs) {
    std::unique_ptr<Vistrel::tcSensorBoard> board;
    const tsCommand* current = nullptr;
    try {
        board = library.makeSensor(options.spi);
        tcScriptRunner runner(*board, [&run, &runner, &board] {
            return stateReport(run.sensorType, runner.results(), board.get());
        });
        const auto collect = [&] {
            run.results = runner.results();
            run.clientSignals = runner.clientSignals();
            run.checkedExpectations = runner.checkedExpectations();
            run.outcome.failedExpectations = runner.failedExpectations();
        };
        try {
            for (const tsCommand& command : script) {
                if (interruptSignal() != 0) {
                    err() << "camhost: interrupted before line " << command.line
                          << "; the report is marked so" << std::endl;
                    break;
                }
                current = &command;
                runner.run(command);
            }
            current = nullptr;
        } catch (...) {
            collect();
            throw;
        }
        collect();
    } catch (const tcPluginFailure& error) {
        run.error = error.what();
        run.outcome.pluginFailed = true;
    } catch (const std::exception& error) {
        run.error = error.what();
        run.outcome.camhostFailed = true;
    } catch (...) {
        run.error = "unknown exception";
        run.outcome.camhostFailed = true;
    }
    run.outcome.interruptSignal = interruptSignal();
    if (!run.error.empty()) {
        const std::string where =
            current ? "line " + std::to_string(current->line) + " (" + current->text + "): " : "";
        err() << "camhost: " << where
              << (run.outcome.pluginFailed ? "exception from the plug-in: "
                                           : "camhost failed (not the plug-in): ")
              << printableText(run.error) << std::endl;
    }
    if (!writeOutputs(run, board.get(), outputs))
        run.outcome.camhostFailed = true;
    writeFrames(options);
    board.reset(); // through the virtual destructor, as the framework does

    // Teardown included: under --strict every breach is listed.
    const Json breaches = violations();
    run.outcome.strict = options.strict;
    run.outcome.brokenRules = static_cast<int>(breaches.size());
    if (options.strict)
        for (const auto& breach : breaches)
            err() << "camhost: hardware rule " << breach["rule"].get<std::string>()
                  << " broken at " << breach["timeUs"].get<long long>()
                  << " us: " << breach["reason"].get<std::string>() << std::endl;
}

} // namespace

int runSession(const tsOptions& options, const std::vector<tsCommand>& script, tsOutputs& outputs) {
    std::unique_ptr<tcPluginLibrary> library;
    tsRun run;
    try {
        library = std::make_unique<tcPluginLibrary>(options.plugin);
        run.sensorType = library->sensorType();
    } catch (const std::exception& error) {
        err() << "camhost: " << error.what() << std::endl;
        return kExitPlugin;
    }
    out() << "sensorType: " << run.sensorType << std::endl;

    runScript(options, script, *library, run, outputs);
    return exitStatus(run.outcome);
}

} // namespace camhost
