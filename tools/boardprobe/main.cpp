// boardprobe: a read-only look at the board before the sensor is first powered: the
// device-tree lines, the SPI device, the rail ADC, the pulse generator's interrupt device,
// the FPGA through /dev/mem and the image it holds. One line per check, then the totals;
// exit status 0 when every check held, 1 otherwise, 2 on usage. It powers nothing, drives no
// GPIO line and writes no FPGA register.
#include "Checks.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "usage: boardprobe [--spi PATH] [--uio PATH]\n"
    "  --spi PATH  the sensor's SPI device (default /dev/spidev1.0); opened, never configured\n"
    "              or written\n"
    "  --uio PATH  the pulse generator's interrupt device (default /dev/uio1)\n"
    "Run it as root (/dev/mem), with the camera framework stopped.\n";

} // namespace

int main(int argc, char** argv) {
    std::string spiPath = "/dev/spidev1.0";
    std::string uioPath = "/dev/uio1";
    bool uioGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--spi") == 0 && i + 1 < argc) {
            spiPath = argv[++i];
        } else if (std::strcmp(argv[i], "--uio") == 0 && i + 1 < argc) {
            uioPath = argv[++i];
            uioGiven = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }

    boardprobe::Report report;
    boardprobe::checkGpioNames(report);
    boardprobe::checkDevices(report, spiPath, uioPath, uioGiven);
    boardprobe::checkFpga(report);
    return report.finish();
}
