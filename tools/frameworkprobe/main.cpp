// frameworkprobe: checks, in a process linked like the framework's, what libtc120mxs.so
// relies on in the framework and a compiler cannot see. One line per assumption, then the
// totals; exit status 0 when every checked assumption holds, 1 otherwise, 2 on usage.
#include "Checks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "usage: frameworkprobe [--spi PATH] [--version]\n"
    "  --spi PATH  the sensor's SPI device (default /dev/spidev1.0); only configured, never\n"
    "              written. Run it with the camera framework stopped: it writes register-file\n"
    "              words 0x3A00C and 0x3A014 (the second some thousand times), which the\n"
    "              board publishes again at its bring-up.\n";

} // namespace

int main(int argc, char** argv) {
    std::string spiPath = "/dev/spidev1.0";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--spi") == 0 && i + 1 < argc) {
            spiPath = argv[++i];
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("frameworkprobe " FRAMEWORKPROBE_VERSION);
            return 0;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }

    using namespace frameworkprobe;
    std::puts("frameworkprobe " FRAMEWORKPROBE_VERSION);
    printLayoutFigures();
    Report report;
    checkLayout(report, spiPath);
    checkSpiConfiguration(report, spiPath);
    checkBoardMutexRecursive(report);
    checkBoardMutexRobust(report);
    checkUnregisterWaits(report);
    checkWordFromNotification(report);
    checkWordBesideWriteStorm(report);
    const int status = report.finish();
    if (report.isStuck()) {
        // A thread is blocked inside the framework for good: no exit handler may wait for it.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
