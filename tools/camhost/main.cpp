// camhost: a stand-in camera framework on a PC. Loads the plug-in as the framework does,
// puts it on the simulated head and runs a script against the board.
#include "ContactSheet.h"
#include "FramesReport.h"
#include "Options.h"
#include "PluginLibrary.h"
#include "Report.h"
#include "Runner.h"
#include "Script.h"
#include "SimSetup.h"
#include "VcdWriter.h"

#include "sim/SimHead.h"
#include "sim/frames/FrameLog.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitPlugin = 1; // not loadable, or an exception left it
constexpr int kExitUsage = 2;  // command line or script
constexpr int kExitStrict = 4; // --strict: a hardware rule was broken

// Under --strict, a run that broke a hardware rule fails with every breach listed.
int strictStatus(int status) {
    const camhost::Json breaches = camhost::violations();
    if (status != kExitOk || breaches.empty())
        return status;
    for (const auto& breach : breaches)
        std::cerr << "camhost: hardware rule " << breach["rule"].get<std::string>() << " broken at "
                  << breach["timeUs"].get<long long>()
                  << " us: " << breach["reason"].get<std::string>() << std::endl;
    return kExitStrict;
}

// Names given on the command line are relative to where camhost was started, not to the
// configuration directory it moves into.
std::string absolute(const std::string& path) {
    return path.empty() || path == "-" ? path : fs::absolute(path).string();
}

std::optional<std::vector<camhost::tsCommand>> loadScript(const std::string& path) {
    if (path.empty())
        return std::vector<camhost::tsCommand>{};
    try {
        if (path == "-")
            return camhost::readScript(std::cin);
        std::ifstream file(path);
        if (!file) {
            std::cerr << "camhost: cannot open script " << path << ": " << std::strerror(errno)
                      << std::endl;
            return std::nullopt;
        }
        return camhost::readScript(file);
    } catch (const camhost::tcScriptError& error) {
        std::cerr << "camhost: " << (path == "-" ? "standard input" : path) << ": " << error.what()
                  << std::endl;
        return std::nullopt;
    }
}

// Output files are opened before anything runs, so a bad path costs no run.
bool openOutput(const std::string& path, std::ofstream& out) {
    if (path.empty())
        return true;
    out.open(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "camhost: cannot write " << path << ": " << std::strerror(errno) << std::endl;
        return false;
    }
    return true;
}

bool makeFolder(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error || !fs::is_directory(path)) {
        std::cerr << "camhost: cannot make folder " << path << ": " << error.message() << std::endl;
        return false;
    }
    return true;
}

struct tsRun {
    int sensorType = 0;
    camhost::Json results = camhost::Json::array();
    std::string error;
};

void writeFrames(const camhost::tsOptions& options) {
    if (!options.contactSheet.empty()) {
        std::string error;
        if (camhost::writeContactSheet(options.contactSheet, sim::frames::records(), error))
            std::cout << "contact sheet: " << options.contactSheet << std::endl;
        else
            std::cerr << "camhost: no contact sheet " << options.contactSheet << ": " << error
                      << std::endl;
    }
    if (options.frames.empty())
        return;
    const int written = camhost::writeFrameFiles(options.frames, sim::frames::records(),
                                                 options.framesMax, options.frameScale);
    std::cout << "frames: " << written << " written to " << options.frames << std::endl;
}

void writeOutputs(const tsRun& run, std::ofstream& json, std::ofstream& vcd) {
    sim::Head& head = sim::Head::instance();
    head.step();
    if (json.is_open()) {
        camhost::Json report = camhost::stateReport(run.sensorType, run.results);
        if (!run.error.empty())
            report["error"] = run.error;
        json << report.dump(2) << "\n";
        json.flush();
    }
    if (vcd.is_open()) {
        camhost::writeVcd(vcd, camhost::headSignals(head), sim::Clock::now());
        vcd.flush();
    }
}

int runPlugin(const camhost::tsOptions& options, const std::vector<camhost::tsCommand>& script,
              std::ofstream& json, std::ofstream& vcd) {
    tsRun run;
    std::unique_ptr<camhost::tcPluginLibrary> library;
    try {
        library = std::make_unique<camhost::tcPluginLibrary>(options.plugin);
    } catch (const camhost::tcPluginError& error) {
        std::cerr << "camhost: " << error.what() << std::endl;
        return kExitPlugin;
    }
    run.sensorType = library->sensorType();
    std::cout << "sensorType: " << run.sensorType << std::endl;

    int status = kExitOk;
    const camhost::tsCommand* current = nullptr;
    try {
        std::unique_ptr<Vistrel::tcSensorBoard> board = library->makeSensor(options.spi);
        {
            camhost::tcScriptRunner runner(*board, [&run, &runner] {
                return camhost::stateReport(run.sensorType, runner.results());
            });
            try {
                for (const camhost::tsCommand& command : script) {
                    current = &command;
                    runner.run(command);
                }
                current = nullptr;
            } catch (...) {
                run.results = runner.results();
                throw;
            }
            run.results = runner.results();
        }
        writeOutputs(run, json, vcd);
        writeFrames(options);
        board.reset(); // through the virtual destructor, as the framework does
        return status;
    } catch (const std::exception& error) {
        run.error = error.what();
    } catch (...) {
        run.error = "unknown exception";
    }
    if (current != nullptr)
        std::cerr << "camhost: line " << current->line << " (" << current->text
                  << "): exception from the plug-in: " << run.error << std::endl;
    else
        std::cerr << "camhost: exception from the plug-in: " << run.error << std::endl;
    writeOutputs(run, json, vcd);
    writeFrames(options);
    return kExitPlugin;
}

} // namespace

int main(int argc, char** argv) {
    camhost::tsOptions options;
    if (auto status = camhost::parseOptions(argc, argv, options))
        return *status;

    sim::HeadConfig config;
    try {
        config = camhost::headConfigFrom(options.sim);
    } catch (const std::invalid_argument& error) {
        std::cerr << "camhost: " << error.what() << std::endl;
        return kExitUsage;
    }
    config.echoStatus = true;

    const auto script = loadScript(absolute(options.script));
    if (!script)
        return kExitUsage;
    std::ofstream json, vcd;
    if (!openOutput(absolute(options.json), json) || !openOutput(absolute(options.vcd), vcd))
        return kExitUsage;
    options.frames = absolute(options.frames);
    options.contactSheet = absolute(options.contactSheet);
    if (!options.frames.empty() && !makeFolder(options.frames))
        return kExitUsage;
    if (options.plugin.find('/') != std::string::npos)
        options.plugin = absolute(options.plugin);
    if (chdir(options.config.c_str()) != 0) {
        std::cerr << "camhost: cannot enter " << options.config << ": " << std::strerror(errno)
                  << std::endl;
        return kExitUsage;
    }

    sim::Clock::useVirtualTime(options.fast);
    sim::Head::instance().reset(config);
    const int status = runPlugin(options, *script, json, vcd);
    return options.strict ? strictStatus(status) : status;
}
