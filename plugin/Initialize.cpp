// Board bring-up: from a constructed board to a head that is ready to capture.
#include "plugin/tc120MXSSensorBoard.h"

#include "Vistrel/INIReader.h"
#include "Vistrel/tcRegisterFile.h"
#include "plugin/RegisterFileWords.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <stdexcept>
#include <string>

namespace Vistrel {
namespace {

const char* const kConfigFile = "120mxs_config.ini";
const char* const kSettings = "Settings";
const char* const kBadPixelMapFile = "bad_pixel_map.txt";

// Start-up defaults when the configuration file or a key is missing.
constexpr unsigned long kDefaultLaneInvertMask = 0x0200443A;
constexpr long kDefaultFrameIntervalUs = 106713;
constexpr long kDefaultExposureUs = 80000;
constexpr long kDefaultVerticalBin = 1;

// The PWM runs at the default frame interval with a 1 us sync pulse until the timing
// set-up below programs the configured interval.
constexpr std::chrono::microseconds kInitialPwmPeriod{kDefaultFrameIntervalUs};
constexpr std::chrono::microseconds kPwmDuty{1};

constexpr uint32_t kPixelFormatMono8 = 0x01080001; // GenICam pixel-format code
constexpr uint32_t kBiasEnableBit = tcCanon120FrameCtrl::kBiasSubtractEnable;
constexpr uint32_t kStartupBiasSubtract = kBiasEnableBit | 400; // on, offset 400

// Integer setting, saturated to the int range so that an absurd value in the file is
// refused by the setter it reaches instead of wrapping into a plausible one.
int readSetting(const INIReader& config, const char* key, long defaultValue) {
    const long long value = config.GetInteger(kSettings, key, defaultValue);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

} // namespace

int tc120MXSSensorBoard::initialize() {
    // Register-file writes reach the board from here on, this operation's own included.
    // A repeated initialize() must not deliver every notification twice.
    if (!observerRegistered) {
        tcRegisterFile::getInstance(nullptr, true)->observable.registerObserver(&regFileObs);
        observerRegistered = true;
    }
    // Register-file writes, this operation's own among them, act once the head is up; its
    // words are sent when it returns.
    tcBoardScope scope(*this);

    const INIReader config(kConfigFile);

    updateStatus(eeStatusInfo, "Initializing FPGA...");
    const int fpgaFaults = fpga.initialize();
    if (fpgaFaults != 0) {
        updateStatus(eeStatusError, "FPGA Initialization error!");
        return fpgaFaults;
    }

    const unsigned long laneMask =
        config.GetUnsignedInteger(kSettings, "LaneInvertMask", kDefaultLaneInvertMask);
    fpga.frameCtrl.setLaneInversion(static_cast<unsigned>(laneMask));

    try {
        fpga.pwm.setInvertPulse(false);
        fpga.pwm.setPeriodTime(kInitialPwmPeriod);
        fpga.pwm.setDutyTime(kPwmDuty);
    } catch (const std::runtime_error& e) {
        updateStatusFMT(eeStatusError, "%s", e.what());
    }
    updateStatus(eeStatusInfo, "FPGA Initialization done");

    updateStatus(eeStatusInfo, "Powering up sensor...");
    const int power = sensor.powerUp();
    if (power != 0) {
        updateStatus(eeStatusError, "Sensor powerup error!");
        return power;
    }
    fpga.pwm.setInvertPulse(true);
    sensor.SensorInitRegisters();
    sensor.setMClockMhz(fpga.getClockMhz());

    const int roiX = readSetting(config, "RoiX", 0);
    const int roiY = readSetting(config, "RoiY", 0);
    const int roiWidth = readSetting(config, "RoiWidth", kFullFrame.width);
    const int roiHeight = readSetting(config, "RoiHeight", kFullFrame.height);

    // The interval first: the exposure is fitted into it.
    setFrameInterval(readSetting(config, "FrameInterval", kDefaultFrameIntervalUs));
    setExposure(readSetting(config, "ExposureTime", kDefaultExposureUs));

    setNumberOfROI(1);
    const ROI region(roiY, roiX, roiWidth, roiHeight);
    setROI(region);
    setVerticalBin(readSetting(config, "VerticalBin", kDefaultVerticalBin));

    // Lane training needs the sensor's frame syncs, so the PWM runs while the receiver
    // locks and is stopped again until capture starts.
    fpga.pwm.enableCore(true);
    const int receiver = fpga.frameCtrl.enableCore(true);
    fpga.pwm.enableCore(false);

    if (receiver == 0) {
        fpga.badPixelReplacement.setData(kBadPixelMapFile);
        // The region in effect: a configured region that setROI refused left the full
        // frame, and the map must follow the image actually delivered.
        fpga.badPixelReplacement.setRoi(getROI());
        fpga.badPixelReplacement.setColor(false);
    }

    setBPP(eeBPP16);
    publishWord(regfile::kPixelFormat, kPixelFormatMono8);

    sensor.setGain(tc120MXS::eeGain15);
    publishWord(regfile::kGain, tc120MXS::eeGain15);

    biasSubtract = kStartupBiasSubtract;
    fpga.frameCtrl.setBiasSubtract(biasSubtract);
    publishWord(regfile::kBiasOffset, biasSubtract & ~kBiasEnableBit);
    publishWord(regfile::kBiasEnable, (biasSubtract & kBiasEnableBit) != 0 ? 1u : 0u);

    fpga.frameCtrl.dumpRegisters();
    return receiver;
}

} // namespace Vistrel
