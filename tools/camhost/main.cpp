// camhost: a stand-in camera framework on a PC. Loads the plug-in as the framework does,
// puts it on the simulated head and runs a script against the board.
#include "ConfigCheck.h"
#include "Console.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "Options.h"
#include "OutputFile.h"
#include "Script.h"
#include "Session.h"
#include "SimSetup.h"

#include "sim/SimHead.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;
using camhost::err;

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

bool makeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error || !fs::is_directory(path)) {
        err() << "camhost: cannot make folder " << path << ": " << error.message() << std::endl;
        return false;
    }
    return true;
}

// The head's memory file and its directory, for a second signal to remove.
void removeHeadFilesOnAbort() {
    const sim::MemoryFiles files = sim::Head::instance().memoryFiles();
    camhost::removeOnAbort(files.file);
    camhost::removeOnAbort(files.folder, true);
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
    camhost::tsOutputs outputs;
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
    options.frames = absolute(options.frames);
    options.contactSheet = absolute(options.contactSheet);
    if (!options.frames.empty() && !makeFolder(options.frames))
        return camhost::kExitUsage;
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
    return camhost::runSession(options, *script, outputs);
}
