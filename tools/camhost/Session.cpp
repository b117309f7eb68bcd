// One run of the plug-in: load it, build the board, run the script, write the outputs.
#include "Session.h"

#include "Console.h"
#include "Interrupt.h"
#include "PluginLibrary.h"
#include "Readable.h"
#include "Runner.h"
#include "StateReport.h"
#include "Text.h"
#include "WriteWitness.h"

#include <memory>

namespace camhost {
namespace {

struct tsRun {
    int sensorType = 0;
    Json results = Json::array();
    std::string error; // the plug-in's exception, or camhost's own failure
    tsOutcome outcome;
    int checkedExpectations = 0;
};

// Gives false, with the message printed, when an output cannot be written.
bool writeOutputs(const tsRun& run, const Json& settings, tcOutputFile* json, tcHostSide& host,
                  const tcRegisterFileLog& words) {
    try {
        if (json) {
            Json report = stateReport(run.sensorType, run.results, settings, host, words);
            report["interrupted"] = run.outcome.interruptSignal != 0;
            report["expectations"] = {{"checked", run.checkedExpectations},
                                      {"failed", run.outcome.failedExpectations}};
            if (!run.error.empty())
                report["error"] = run.error;
            json->commit(dumpJson(report, 2) + "\n");
        }
    } catch (const tcOutputError& error) {
        err() << toolName() << ": " << error.what() << std::endl;
        return false;
    }
    return host.commitOutputs();
}

// Runs the script until its end, an exception or an interruption.
void runScript(const tsOptions& options, const std::vector<tsCommand>& script,
               const tcPluginLibrary& library, tsRun& run, tcOutputFile* json, tcHostSide& host) {
    // Before the board exists, so that it sees every word the board notifies.
    const tcRegisterFileLog words;
    std::unique_ptr<Vistrel::tcSensorBoard> board;
    const tsCommand* current = nullptr;
    // Not the script's: line 0 in the report.
    tsCommand stopCommand;
    stopCommand.text = stopCommand.name = "stop";
    try {
        board = library.makeSensor(options.spi);
        tcScriptRunner runner(*board, host, words, [&run, &runner, &board, &host, &words] {
            return stateReport(run.sensorType, runner.results(), board.get(), host, words);
        });
        const auto collect = [&] {
            run.results = runner.results();
            run.checkedExpectations = runner.checkedExpectations();
            run.outcome.failedExpectations = runner.failedExpectations();
        };
        try {
            for (const tsCommand& command : script) {
                if (interruptSignal() != 0) {
                    err() << toolName() << ": interrupted before line " << command.line
                          << "; the report is marked so" << std::endl;
                    break;
                }
                current = &command;
                runner.run(command);
            }
            current = nullptr;
            // A head left capturing keeps pulsing after the program is gone.
            if (interruptSignal() != 0 && board->isCapturing()) {
                err() << toolName() << ": stopping the capture before the report" << std::endl;
                current = &stopCommand;
                runner.run(stopCommand);
                current = nullptr;
            }
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
        err() << toolName() << ": " << where
              << (run.outcome.pluginFailed
                      ? "exception from the plug-in: "
                      : std::string(toolName()) + " failed (not the plug-in): ")
              << printableText(run.error) << std::endl;
    }
    const Json settings = board ? boardSettings(*board) : Json(nullptr);
    // Through the virtual destructor, as the framework does. Before the outputs: words a
    // client's write made the board publish leave from the board's own thread, and the
    // destructor waits for it, so the report holds the words the board last set.
    board.reset();
    if (!writeOutputs(run, settings, json, host, words))
        run.outcome.camhostFailed = true;
    if (!options.log.empty() && pluginOutputLost()) {
        err() << toolName() << ": cannot write --log " << options.log
              << ": a write of the plug-in's output failed; the log is incomplete" << std::endl;
        run.outcome.camhostFailed = true;
    }
    host.afterBoard(run.outcome);
}

} // namespace

int runSession(const tsOptions& options, const std::vector<tsCommand>& script, tcOutputFile* json,
               tcHostSide& host) {
    std::unique_ptr<tcPluginLibrary> library;
    tsRun run;
    try {
        library = std::make_unique<tcPluginLibrary>(options.plugin);
        run.sensorType = library->sensorType();
    } catch (const std::exception& error) {
        err() << toolName() << ": " << error.what() << std::endl;
        return kExitPlugin;
    }
    out() << "sensorType: " << run.sensorType << std::endl;

    runScript(options, script, *library, run, json, host);
    return exitStatus(run.outcome);
}

} // namespace camhost
