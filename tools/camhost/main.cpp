// camhost: a stand-in camera framework on a PC. Loads the plug-in as the framework does,
// puts it on the simulated head and runs a script against the board.
#include "ConfigCheck.h"
#include "Console.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "Options.h"
#include "OutputFile.h"
#include "PluginLibrary.h"
#include "Report.h"
#include "Runner.h"
#include "Script.h"
#include "SimSetup.h"
#include "Text.h"
#include "VcdWriter.h"

#include "sim/HeadImpl.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using camhost::err;
using camhost::out;

namespace {

// Names given on the command line are relative to where camhost was started, not to the
// configuration directory it moves into.
std::string absolute(const std::string& path) {
    return path.empty() || path == "-" ? path : fs::absolute(path).string();
}

std::string workingDir() {
    std::error_code error;
    const fs::path dir = fs::current_path(error);
    return error ? std::string("(unknown)") : dir.string();
}

std::optional<std::vector<camhost::tsCommand>> loadScript(const std::string& path) {
    if (path.empty())
        return std::vector<camhost::tsCommand>{};
    try {
        if (path == "-")
            return camhost::readScript(std::cin);
        std::ifstream file(path);
        if (!file) {
            err() << "camhost: cannot open script " << path << " (working directory "
                  << workingDir() << "): " << std::strerror(errno) << std::endl;
            return std::nullopt;
        }
        return camhost::readScript(file);
    } catch (const camhost::tcScriptError& error) {
        err() << "camhost: " << (path == "-" ? "standard input" : path) << ": " << error.what()
              << std::endl;
        return std::nullopt;
    }
}

// A directory without any of the plug-in's files is a mistake; one with only some of them
// may be a fault being tried on purpose.
bool checkConfigDir(const std::string& dir) {
    const std::vector<std::string> missing = camhost::missingConfigFiles(dir);
    if (missing.empty())
        return true;
    std::string names;
    for (const std::string& name : missing)
        names += (names.empty() ? "" : ", ") + name;
    const bool none = missing.size() == camhost::configFileCount();
    err() << "camhost: " << (none ? "" : "warning: ") << "--config " << fs::absolute(dir).string()
          << " lacks the plug-in's " << names
          << (none ? "; give the directory that holds them (the sample is config/)" : "")
          << std::endl;
    return !none;
}

// The outputs, each written whole or not at all.
struct tsOutputs {
    std::unique_ptr<camhost::tcOutputFile> json, vcd;
};

struct tsRun {
    int sensorType = 0;
    camhost::Json results = camhost::Json::array();
    std::vector<sim::TraceEvent> clientSignals;
    std::string error; // the plug-in's exception, or camhost's own failure
    camhost::tsOutcome outcome;
    int checkedExpectations = 0;
};

// Gives false, with the message printed, when an output cannot be written.
bool writeOutputs(const tsRun& run, Vistrel::tcSensorBoard* board, tsOutputs& outputs) {
    sim::Head& head = sim::Head::instance();
    head.step();
    try {
        if (outputs.json) {
            camhost::Json report = camhost::stateReport(run.sensorType, run.results, board);
            report["interrupted"] = run.outcome.interruptSignal != 0;
            report["expectations"] = {{"checked", run.checkedExpectations},
                                      {"failed", run.outcome.failedExpectations}};
            if (!run.error.empty())
                report["error"] = run.error;
            outputs.json->commit(camhost::dumpJson(report, 2) + "\n");
        }
        if (outputs.vcd) {
            camhost::tsWaveform waveform = camhost::headWaveform(head);
            waveform.changes.insert(waveform.changes.end(), run.clientSignals.begin(),
                                    run.clientSignals.end());
            std::ostringstream text;
            camhost::writeVcd(text, waveform);
            outputs.vcd->commit(text.str());
        }
    } catch (const camhost::tcOutputError& error) {
        err() << "camhost: " << error.what() << std::endl;
        return false;
    }
    return true;
}

// Runs the script until its end, an exception or an interruption.
void runScript(const camhost::tsOptions& options, const std::vector<camhost::tsCommand>& script,
               const camhost::tcPluginLibrary& library, tsRun& run, tsOutputs& outputs,
               bool& outputsWritten) {
    std::unique_ptr<Vistrel::tcSensorBoard> board;
    const camhost::tsCommand* current = nullptr;
    try {
        board = library.makeSensor(options.spi);
        camhost::tcScriptRunner runner(*board, [&run, &runner, &board] {
            return camhost::stateReport(run.sensorType, runner.results(), board.get());
        });
        const auto collect = [&] {
            run.results = runner.results();
            run.clientSignals = runner.clientSignals();
            run.checkedExpectations = runner.checkedExpectations();
            run.outcome.failedExpectations = runner.failedExpectations();
        };
        try {
            for (const camhost::tsCommand& command : script) {
                if (camhost::interruptSignal() != 0) {
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
    } catch (const camhost::tcPluginFailure& error) {
        run.error = error.what();
        run.outcome.pluginFailed = true;
    } catch (const std::exception& error) {
        run.error = error.what();
    } catch (...) {
        run.error = "unknown exception";
    }
    run.outcome.interruptSignal = camhost::interruptSignal();
    if (!run.error.empty()) {
        const std::string where =
            current ? "line " + std::to_string(current->line) + " (" + current->text + "): " : "";
        err() << "camhost: " << where
              << (run.outcome.pluginFailed ? "exception from the plug-in: "
                                           : "camhost failed (not the plug-in): ")
              << camhost::printableText(run.error) << std::endl;
    }
    outputsWritten = writeOutputs(run, board.get(), outputs);
    board.reset(); // through the virtual destructor, as the framework does
}

int runPlugin(const camhost::tsOptions& options, const std::vector<camhost::tsCommand>& script,
              tsOutputs& outputs) {
    std::unique_ptr<camhost::tcPluginLibrary> library;
    tsRun run;
    try {
        library = std::make_unique<camhost::tcPluginLibrary>(options.plugin);
        run.sensorType = library->sensorType();
    } catch (const std::exception& error) {
        err() << "camhost: " << error.what() << std::endl;
        return camhost::kExitPlugin;
    }
    out() << "sensorType: " << run.sensorType << std::endl;

    bool outputsWritten = false;
    runScript(options, script, *library, run, outputs, outputsWritten);
    if (!run.error.empty() && !run.outcome.pluginFailed)
        return camhost::kExitUsage;
    if (!outputsWritten)
        return camhost::kExitUsage;
    return camhost::exitStatus(run.outcome);
}

// The head's memory file and its directory, for a second signal to remove.
void removeHeadFilesOnAbort() {
    sim::Head::Impl& head = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(head.mutex);
    camhost::removeOnAbort(head.memPath);
    camhost::removeOnAbort(head.tempDir, true);
}

} // namespace

int main(int argc, char** argv) {
    camhost::installInterruptHandlers();
    camhost::tsOptions options;
    if (auto status = camhost::parseOptions(argc, argv, options))
        return *status;

    sim::HeadConfig config;
    try {
        config = camhost::headConfigFrom(options.sim);
    } catch (const std::invalid_argument& error) {
        err() << "camhost: " << error.what() << std::endl;
        return camhost::kExitUsage;
    }
    config.echoStatus = true;

    if (options.script.empty() && !isatty(STDIN_FILENO))
        options.script = "-";
    const auto script = loadScript(absolute(options.script));
    if (!script)
        return camhost::kExitUsage;
    if (!checkConfigDir(options.config))
        return camhost::kExitUsage;
    tsOutputs outputs;
    try {
        if (!options.json.empty())
            outputs.json = std::make_unique<camhost::tcOutputFile>(absolute(options.json));
        if (!options.vcd.empty())
            outputs.vcd = std::make_unique<camhost::tcOutputFile>(absolute(options.vcd));
    } catch (const camhost::tcOutputError& error) {
        err() << "camhost: " << error.what() << std::endl;
        return camhost::kExitUsage;
    }
    if (options.quiet || !options.log.empty()) {
        const std::string problem = camhost::divertPluginOutput(absolute(options.log));
        if (!problem.empty()) {
            err() << "camhost: --log: " << problem << std::endl;
            return camhost::kExitUsage;
        }
    }
    if (options.plugin.find('/') != std::string::npos)
        options.plugin = absolute(options.plugin);
    if (chdir(options.config.c_str()) != 0) {
        err() << "camhost: cannot enter --config " << options.config << " (working directory "
              << workingDir() << "): " << std::strerror(errno) << std::endl;
        return camhost::kExitUsage;
    }

    sim::Clock::useVirtualTime(options.fast);
    try {
        sim::Head::instance().reset(config);
    } catch (const std::exception& error) {
        const char* tmp = std::getenv("TMPDIR");
        err() << "camhost: " << error.what() << " (TMPDIR " << (tmp ? tmp : "unset, /tmp") << ")"
              << std::endl;
        return camhost::kExitUsage;
    }
    removeHeadFilesOnAbort();
    return runPlugin(options, *script, outputs);
}
