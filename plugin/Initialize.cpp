// Board bring-up: from a constructed board to a head that is ready to capture.
#include "plugin/tc120MXSSensorBoard.h"

#include "Vistrel/tcRegisterFile.h"
#include "plugin/FrameworkChecks.h"
#include "plugin/RegisterFileWords.h"

#include <chrono>
#include <stdexcept>

namespace Vistrel {
namespace {

const char* const kConfigFile = "120mxs_config.ini";
const char* const kBadPixelMapFile = "bad_pixel_map.txt";

// The PWM runs at the default frame interval with a 1 us sync pulse until the start-up
// timing programs the configured interval.
constexpr std::chrono::microseconds kInitialPwmPeriod{tsStartupSettings::kDefaultFrameIntervalUs};
constexpr std::chrono::microseconds kPwmDuty{1};

constexpr uint32_t kPixelFormatMono8 = 0x01080001; // GenICam pixel-format code
constexpr uint32_t kBiasEnableBit = tcCanon120FrameCtrl::kBiasSubtractEnable;
constexpr uint32_t kStartupBiasSubtract = kBiasEnableBit | 400; // on, offset 400

} // namespace

int tc120MXSSensorBoard::initialize() {
    // 0. The board mutex nests, or every later step would hang or run unlocked.
    if (const int fault = checkBoardMutexNests(mutex.getMutex(), *this); fault != 0)
        return fault;
    // 1. Register-file writes reach the board from here on, this operation's own included.
    registerWithRegisterFile();
    // A repeated bring-up retrains the receiver and resets the sensor: a capture running
    // now would go on without frames while the board still reported it.
    if (isCapturing())
        stop();
    // They act once the head is up; this operation's own words are sent when it returns.
    tcBoardScope scope(*this);
    if (record)
        record->file(kConfigFile);
    const tsStartupSettings settings = tsStartupSettings::read(kConfigFile);

    // 2. FPGA cores ready, receiver lanes and sync pulses programmed.
    if (const int faults = bringUpFpga(settings); faults != 0)
        return faults;
    // 3. Sensor powered, its registers loaded and its clock known.
    if (const int power = powerUpSensor(); power != 0)
        return power;
    // 4. Frame interval and exposure, then the region and its binning.
    applyStartupTiming(settings);
    applyStartupRegion(settings);
    // 5. The receiver locks onto the sensor's lanes.
    const int receiver = trainReceiver();
    // 6. Pixel pipeline: bad-pixel map, pixel format, gain and bias.
    if (receiver == 0)
        loadBadPixelMap();
    applyStartupPipeline();

    fpga.frameCtrl.dumpRegisters();
    return receiver;
}

void tc120MXSSensorBoard::registerWithRegisterFile() {
    // A repeated initialize() must not deliver every notification twice.
    if (observerRegistered)
        return;
    tcRegisterFile::getInstance(nullptr, true)->observable.registerObserver(&regFileObs);
    observerRegistered = true;
}

int tc120MXSSensorBoard::bringUpFpga(const tsStartupSettings& settings) {
    updateStatus(eeStatusInfo, "Initializing FPGA...");
    const int faults = fpga.initialize();
    if (faults != 0) {
        updateStatus(eeStatusError, "FPGA Initialization error!");
        return faults;
    }
    fpgaReady = true;
    // No sync pulses during the bring-up: a capture that an earlier board left running
    // would pulse a sensor in reset and a receiver being trained.
    fpga.pwm.enableCore(false);
    fpga.frameCtrl.setLaneInversion(settings.laneInvertMask);
    try {
        fpga.pwm.setInvertPulse(false);
        fpga.pwm.setPeriodTime(kInitialPwmPeriod);
        fpga.pwm.setDutyTime(kPwmDuty);
    } catch (const std::runtime_error& e) {
        updateStatusFMT(eeStatusError, "%s", e.what());
    }
    updateStatus(eeStatusInfo, "FPGA Initialization done");
    return 0;
}

int tc120MXSSensorBoard::powerUpSensor() {
    updateStatus(eeStatusInfo, "Powering up sensor...");
    sensorReady = false;
    const int power = sensor.powerUp();
    if (power != 0) {
        updateStatus(eeStatusError, "Sensor powerup error!");
        return power;
    }
    fpga.pwm.setInvertPulse(true);
    // The reset gave the chip its own defaults: every line read, the normal image. What
    // the board remembers of an earlier bring-up must say the same.
    verticalMode = 1;
    testPattern = eeTestPatternOff;
    sensor.SensorInitRegisters();
    sensor.setMClockMhz(fpga.getClockMhz());
    sensorReady = true;
    return 0;
}

void tc120MXSSensorBoard::applyStartupTiming(const tsStartupSettings& settings) {
    // The interval first: the exposure is fitted into it.
    setFrameInterval(settings.frameIntervalUs);
    setExposure(settings.exposureUs);
}

void tc120MXSSensorBoard::applyStartupRegion(const tsStartupSettings& settings) {
    setNumberOfROI(1);
    const ROI& region = settings.region;
    if (const int refused = setROI(region); refused != eeSuccess) {
        // The receiver is programmed by setROI alone: without a region it would expect
        // frames of no lines at all.
        updateStatusFMT(eeStatusError,
                        "%s: RoiY %d, RoiX %d, RoiWidth %d, RoiHeight %d refused (%d), full "
                        "frame %d %d %d %d used",
                        kConfigFile, region.y, region.x, region.width, region.height, refused,
                        kFullFrame.y, kFullFrame.x, kFullFrame.width, kFullFrame.height);
        setROI(kFullFrame);
    }
    setVerticalBin(settings.verticalBin);
}

int tc120MXSSensorBoard::trainReceiver() {
    // Lane training needs the sensor's frame syncs, so the PWM runs while the receiver
    // locks and is stopped again until capture starts.
    receiverReady = false;
    fpga.pwm.enableCore(true);
    const int receiver = fpga.frameCtrl.enableCore(true);
    fpga.pwm.enableCore(false);
    receiverReady = receiver == 0;
    return receiver;
}

void tc120MXSSensorBoard::loadBadPixelMap() {
    if (record) // read by the core library, and as much a part of the run as the others
        record->file(kBadPixelMapFile);
    fpga.badPixelReplacement.setData(kBadPixelMapFile);
    // The region in effect: a configured region that setROI refused left the full frame,
    // and the map must follow the image actually delivered.
    fpga.badPixelReplacement.setRoi(getROI());
    fpga.badPixelReplacement.setColor(false);
}

void tc120MXSSensorBoard::applyStartupPipeline() {
    setBPP(eeBPP16);
    publishWord(regfile::kPixelFormat, kPixelFormatMono8);

    sensor.setGain(tc120MXS::eeGain15);
    publishWord(regfile::kGain, tc120MXS::eeGain15);

    biasSubtract = kStartupBiasSubtract;
    fpga.frameCtrl.setBiasSubtract(biasSubtract);
    publishWord(regfile::kBiasOffset, biasSubtract & ~kBiasEnableBit);
    publishWord(regfile::kBiasEnable, (biasSubtract & kBiasEnableBit) != 0 ? 1u : 0u);
}

} // namespace Vistrel
