// camhost: a stand-in camera framework on a PC. Loads the plug-in as the framework does,
// puts it on the simulated head and runs a script against the board. The shared host
// (script, expectations, report, exit status) plus the simulator's layer.
#include "Console.h"
#include "ExitStatus.h"
#include "HostMain.h"
#include "Interrupt.h"
#include "ReplayRun.h"
#include "SimSide.h"
#include "Text.h"

#include "TraceRecord.h"

#include "sim/HeadKeys.h"
#include "sim/SimHead.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using camhost::err;

namespace {

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

class tcCamhost : public camhost::tcHostProgram {
public:
    camhost::tsProgramOptions options() override {
        return {"camhost",
                "runs the tc120mxs plug-in on the simulated camera head",
                [this](CLI::App& app) { addOptions(app); },
                camhost::simHelp(),
                {}};
    }

    std::optional<int> checkOptions() override {
        try {
            config = sim::headConfigFromKeys(sim.sim);
        } catch (const std::invalid_argument& error) {
            err() << "camhost: " << error.what() << std::endl;
            return camhost::kExitUsage;
        }
        config.echoStatus = true;
        if (!replay.empty()) {
            replayPath = fs::absolute(replay).string(); // before the plug-in's folder is entered
            try {
                record = trace::readRecordFile(replay);
            } catch (const trace::tcRecordError& error) {
                err() << "camhost: cannot read the record: " << error.what() << std::endl;
                return camhost::kExitUsage;
            }
            // A record's delays are its own: the replay waits none of them.
            sim.fast = true;
        }
        return std::nullopt;
    }

    bool readsScript() override { return replay.empty(); }

    std::optional<int> runInstead(const camhost::tsOptions& options, camhost::tcHostSide& host,
                                  camhost::tcOutputFile* json) override {
        if (replay.empty())
            return std::nullopt;
        // The replay records itself: into --trace FILE when given, else a file of its own.
        std::string own;
        if (!options.trace.empty()) {
            own = std::getenv("TC120MXS_TRACE");
        } else {
            const char* tmp = std::getenv("TMPDIR");
            std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/camhost-replay-XXXXXX";
            const int fd = mkstemp(name.data());
            if (fd < 0) {
                err() << "camhost: cannot make the replay's own record " << name << std::endl;
                return camhost::kExitUsage;
            }
            close(fd);
            own = name;
            camhost::removeOnAbort(own);
            setenv("TC120MXS_TRACE", own.c_str(), 1);
        }
        camhost::tcReplayReport report;
        const int status = camhost::replayRecord(record, options, own, report);
        if (options.trace.empty()) {
            std::error_code ignored;
            fs::remove(own, ignored);
        }
        bool written = true;
        try {
            if (json != nullptr)
                json->commit(
                    camhost::dumpJson(report.json(replayPath, record.events.size(), status), 2) +
                    "\n");
        } catch (const camhost::tcOutputError& error) {
            err() << "camhost: " << error.what() << std::endl;
            written = false;
        }
        if (!host.commitOutputs())
            written = false;
        if (!written && status == camhost::kExitOk)
            return camhost::kExitUsage;
        return status;
    }

    std::optional<int> openOutputs(const tfAbsolute& absolute) override {
        try {
            if (!sim.vcd.empty())
                vcd = std::make_unique<camhost::tcOutputFile>(absolute(sim.vcd));
        } catch (const camhost::tcOutputError& error) {
            err() << "camhost: " << error.what() << std::endl;
            return camhost::kExitUsage;
        }
        sim.frames = absolute(sim.frames);
        sim.contactSheet = absolute(sim.contactSheet);
        if (!sim.frames.empty() && !makeFolder(sim.frames))
            return camhost::kExitUsage;
        return std::nullopt;
    }

    std::unique_ptr<camhost::tcHostSide> start() override {
        sim::Clock::useVirtualTime(sim.fast);
        try {
            sim::Head::instance().reset(config);
        } catch (const std::exception& error) {
            const char* tmp = std::getenv("TMPDIR");
            err() << "camhost: " << error.what() << " (TMPDIR " << (tmp ? tmp : "unset, /tmp")
                  << ")" << std::endl;
            return nullptr;
        }
        removeHeadFilesOnAbort();
        return std::make_unique<camhost::tcSimSide>(sim, std::move(vcd));
    }

private:
    void addOptions(CLI::App& app) {
        app.add_flag("--fast", sim.fast, "virtual clock: delays and timeouts take no real time");
        app.add_option("--vcd", sim.vcd, "write a waveform (value change dump) to FILE");
        app.add_option("--sim", sim.sim, "head set-up or fault KEY=VALUE (repeatable)")
            ->allow_extra_args(false);
        app.add_option("--frames", sim.frames, "write the delivered frames into DIR as 16-bit PGM");
        app.add_option("--frames-max", sim.framesMax, "write at most N frame files")
            ->capture_default_str()
            ->check(CLI::NonNegativeNumber);
        app.add_option("--frame-scale", sim.frameScale,
                       "keep every K-th line and column in the frame files")
            ->capture_default_str()
            ->check(CLI::Range(1, 65535));
        app.add_option("--contact-sheet", sim.contactSheet,
                       "write thumbnails of the first 8 frames to FILE as PNG (needs libpng)");
        app.add_option("--replay", replay,
                       "run the plug-in with RECORD's answers and calls (camhost --trace, "
                       "camhost-board --trace) instead of a script; exit 3 where it does "
                       "otherwise than the record; --json: the replay's report (docs/trace.md)");
        app.add_flag("--strict", sim.strict,
                     "exit with status 4 when the head logged any broken hardware rule");
    }

    camhost::tsSimOptions sim;
    sim::HeadConfig config;
    std::unique_ptr<camhost::tcOutputFile> vcd;
    std::string replay;     // --replay RECORD
    std::string replayPath; // the same, absolute
    trace::tsRecord record;
};

} // namespace

int main(int argc, char** argv) {
    tcCamhost program;
    return camhost::hostMain(argc, argv, program);
}
