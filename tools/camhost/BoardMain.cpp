// camhost-board: the host program on nothing but the camera framework. Loads the plug-in
// as the framework does and runs a script against the board, through the interfaces under
// host/ only: on the board it links the framework's real libraries; in a development build
// it links libcamsim as its framework and never calls the simulator itself (the sim reads
// its own settings from the environment: CAMSIM_CLOCK, CAMSIM_REGFILE, CAMSIM_SIM).
#include "BoardSide.h"
#include "HostMain.h"
#include "StatusTap.h"

namespace {

const char* const kBoardHelp = R"(On the board the plug-in maps /dev/mem (root or CAP_SYS_RAWIO) and
waits in real time; "readback" maps /dev/mem read-only. Linked with libcamsim instead, the
simulated head takes CAMSIM_CLOCK=virtual (no real waits),
CAMSIM_REGFILE=direct|locked|thread|strict-lock and camhost's --sim keys
(CAMSIM_SIM="pwm=down gpio.XRESET=absent") from the environment.
Exit status: 0 script run, every expectation met; 1 plug-in not loadable or an exception
from it; 2 usage, script or output-file error; 3 an expectation not met; 128 + signal
(129 SIGHUP, 130 SIGINT, 141 SIGPIPE, 143 SIGTERM) the run was interrupted, a running
capture stopped first.)";

class tcCamhostBoard : public camhost::tcHostProgram {
public:
    camhost::tsProgramOptions options() override {
        // The framework reads the plug-in's files from its working directory; the samples
        // installed beside camhost-board describe no real head.
        return {"camhost-board",
                "runs the tc120mxs plug-in on the camera framework it is linked with",
                [](CLI::App&) {}, kBoardHelp, "."};
    }
    std::unique_ptr<camhost::tcHostSide> start() override {
        return std::make_unique<camhost::tcBoardSide>(camhost::tappedStatusLines);
    }
};

} // namespace

int main(int argc, char** argv) {
    tcCamhostBoard program;
    return camhost::hostMain(argc, argv, program);
}
