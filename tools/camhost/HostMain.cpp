#include "HostMain.h"

#include "ConfigCheck.h"
#include "Console.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "OutputFile.h"
#include "Script.h"
#include "Session.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace camhost {
namespace {

// Names given on the command line are relative to where the program was started, not to
// the configuration directory it moves into.
std::string absolute(const std::string& path) {
    return path.empty() || path == "-" ? path : fs::absolute(path).string();
}

std::string workingDir() {
    std::error_code error;
    const fs::path dir = fs::current_path(error);
    return error ? std::string("(unknown)") : dir.string();
}

std::optional<std::vector<tsCommand>> loadScript(const std::string& path) {
    if (path.empty())
        return std::vector<tsCommand>{};
    try {
        if (path == "-")
            return readScript(std::cin);
        std::ifstream file(path);
        if (!file) {
            err() << toolName() << ": cannot open script " << path << " (working directory "
                  << workingDir() << "): " << std::strerror(errno) << std::endl;
            return std::nullopt;
        }
        return readScript(file);
    } catch (const tcScriptError& error) {
        err() << toolName() << ": " << (path == "-" ? "standard input" : path) << ": "
              << error.what() << std::endl;
        return std::nullopt;
    }
}

// A directory without any of the plug-in's files is a mistake; one with only some of them
// may be a fault being tried on purpose.
bool checkConfigDir(const std::string& dir) {
    const std::vector<std::string> missing = missingConfigFiles(dir);
    if (missing.empty())
        return true;
    std::string names;
    for (const std::string& name : missing)
        names += (names.empty() ? "" : ", ") + name;
    const bool none = missing.size() == configFileCount();
    err() << toolName() << ": " << (none ? "" : "warning: ") << "--config "
          << fs::weakly_canonical(fs::absolute(dir)).string() << " lacks the plug-in's " << names
          << (none ? "; give the directory that holds them (the sample is config/)" : "")
          << std::endl;
    return !none;
}

} // namespace

int hostMain(int argc, char** argv, tcHostProgram& program) {
    const tsProgramOptions programOptions = program.options();
    setToolName(programOptions.name);
    installInterruptHandlers();
    tsOptions options;
    if (auto status = parseOptions(argc, argv, options, programOptions))
        return *status;
    if (auto status = program.checkOptions())
        return *status;

    if (!program.readsScript() && !options.script.empty()) {
        err() << toolName() << ": " << options.script << ": this run takes no script" << std::endl;
        return kExitUsage;
    }
    if (program.readsScript() && options.script.empty() && !isatty(STDIN_FILENO))
        options.script = "-";
    const auto script = loadScript(absolute(options.script));
    if (!script)
        return kExitUsage;
    if (!checkConfigDir(options.config))
        return kExitUsage;
    std::unique_ptr<tcOutputFile> json;
    try {
        if (!options.json.empty())
            json = std::make_unique<tcOutputFile>(absolute(options.json));
    } catch (const tcOutputError& error) {
        err() << toolName() << ": " << error.what() << std::endl;
        return kExitUsage;
    }
    if (auto status = program.openOutputs(absolute))
        return *status;
    if (options.quiet || !options.log.empty()) {
        const std::string problem = divertPluginOutput(absolute(options.log));
        if (!problem.empty()) {
            err() << toolName() << ": --log: " << problem << std::endl;
            return kExitUsage;
        }
    }
    // Read by the plug-in when the board is made, in the working directory --config names.
    if (!options.trace.empty())
        setenv("TC120MXS_TRACE", absolute(options.trace).c_str(), 1);
    if (options.plugin.find('/') != std::string::npos)
        options.plugin = absolute(options.plugin);
    if (chdir(options.config.c_str()) != 0) {
        err() << toolName() << ": cannot enter --config " << options.config
              << " (working directory " << workingDir() << "): " << std::strerror(errno)
              << std::endl;
        return kExitUsage;
    }
    const std::unique_ptr<tcHostSide> host = program.start();
    if (!host)
        return kExitUsage;
    if (auto status = program.runInstead(options, *host, json.get()))
        return *status;
    return runSession(options, *script, json.get(), *host);
}

} // namespace camhost
