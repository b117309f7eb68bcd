#include "Checks.h"

#include "Tarnis/tcADS7828.h"
#include "platform/Platform.h"
#include "tcSPIDevice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace boardprobe {
namespace {

// Where the plug-in's sensor finds its rail ADC.
constexpr int kAdcBus = 1, kAdcAddress = 0x49;
constexpr float kAdcReference = 2.5f;

void checkSpi(Report& report, const std::string& path) {
    const std::string check = "SPI device " + path;
    // Opened only: its configuration is left as it is, nothing is sent.
    const tcSPIDevice spi(path);
    if (spi.isOpen())
        report.ok(check, "opens");
    else
        report.fail(check, "does not open",
                    "the sensor's spidev here (makeSensor is handed this path; --spi names "
                    "another), or init throws \"Failed to open spidev\"");
}

void checkAdc(Report& report) {
    const std::string check = "ADS7828 rail ADC on I2C bus 1 at 0x49";
    // What the sensor does on construction, before anything is powered: wake the ADC and
    // select its reference. Then one conversion of the 5 V input, which is always there.
    Tarnis::tcADS7828 adc(kAdcBus, kAdcAddress, kAdcReference);
    float volts = 0.0f;
    if (adc.SetPowerDown(false) != 0 || adc.SetInternalReference(true) != 0 ||
        adc.Volts(0, volts, true) != 0) {
        report.fail(check, "does not answer",
                    "the ADC at that bus and address, or every rail reads out of its limits "
                    "and init answers -4");
        return;
    }
    char seen[64];
    std::snprintf(seen, sizeof seen, "answers; channel 0 (5V_VIN_DIV2) reads %.3f V", volts);
    report.ok(check, seen);
}

void checkUio(Report& report, const std::string& path, bool given) {
    const std::string check = "pulse generator's interrupt device " + path;
    // A development framework maps a file instead of /dev/mem and has no interrupt device.
    if (!given && platform::memoryDevicePath() != "/dev/mem") {
        report.notCheckable(check, "the framework stands in for the board (its memory device "
                                   "is " +
                                       platform::memoryDevicePath() + ")");
        return;
    }
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        report.fail(check, std::strerror(errno),
                    "the UIO device of the FPGA's pulse generator (tcPwm waits on it for "
                    "every frame pulse)");
        return;
    }
    if (!S_ISCHR(status.st_mode)) {
        report.fail(check, "not a character device", "the UIO device of the pulse generator");
        return;
    }
    report.ok(check, "a character device");
}

} // namespace

void checkDevices(Report& report, const std::string& spiPath, const std::string& uioPath,
                  bool uioGiven) {
    checkSpi(report, spiPath);
    checkAdc(report);
    checkUio(report, uioPath, uioGiven);
}

} // namespace boardprobe
