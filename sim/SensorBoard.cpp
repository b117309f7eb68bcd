// Framework board bases: neutral answers for every operation a board leaves to them.
#include "Vistrel/tcFrameOutput.h"
#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcSensorBoard.h"
#include "Vistrel/teNackCode.h"

#include "sim/FrameworkThreads.h"
#include "sim/HeadImpl.h"

namespace {

std::mutex frameOutputHookMutex;
std::function<void(char)> frameOutputHook;

} // namespace

namespace sim {

void setFrameOutputHook(std::function<void(char operation)> hook) {
    const std::lock_guard<std::mutex> lock(frameOutputHookMutex);
    frameOutputHook = std::move(hook);
}

} // namespace sim

namespace Vistrel {
namespace {

void recordFrameOutput(char operation, int value) {
    {
        sim::Head::Impl& head = sim::Head::instance().impl();
        std::lock_guard<std::mutex> lock(head.mutex);
        head.frameOutput.emplace_back(operation, value);
    }
    std::function<void(char)> hook;
    {
        const std::lock_guard<std::mutex> lock(frameOutputHookMutex);
        hook = frameOutputHook;
    }
    if (hook)
        hook(operation);
}

} // namespace

tcFrameOutput::~tcFrameOutput() = default;
void tcFrameOutput::P(int value) {
    recordFrameOutput('P', value);
}
void tcFrameOutput::R(int value) {
    recordFrameOutput('R', value);
}
void tcFrameOutput::S(int value) {
    recordFrameOutput('S', value);
}
int tcFrameOutput::Q() {
    sim::Head::Impl& head = sim::Head::instance().impl();
    std::unique_lock<std::mutex> lock(head.mutex);
    const int value = head.config.frameOutputQ;
    lock.unlock();
    recordFrameOutput('Q', value);
    return value;
}

tcSensorBoard::tcSensorBoard(int sensorType_, unsigned int fpgaBase_, unsigned int fpgaSpan_,
                             int pinCount_, int* pinTable_)
    : sensorType(sensorType_), fpgaBase(fpgaBase_), fpgaSpan(fpgaSpan_), pinCount(pinCount_),
      pinTable(pinTable_), mutex(true) {}

tcSensorBoard::~tcSensorBoard() = default;

tcAbstractHandler* tcSensorBoard::getCustomHandlers(tcAbstractHandler* next,
                                                    std::map<std::string, tcAbstractHandler*>*) {
    return next;
}
int tcSensorBoard::resetFpga() {
    return eeNotSupported;
}
std::string tcSensorBoard::fpgaVersion() {
    return {};
}
int tcSensorBoard::GetCameraInfo(tsCameraInfo*) {
    return eeNotSupported;
}
int tcSensorBoard::calibrate() {
    return eeNotSupported;
}
int tcSensorBoard::whiteLevelCalibrate() {
    return eeNotSupported;
}
int tcSensorBoard::setClockSetting(int) {
    return eeNotSupported;
}
int tcSensorBoard::getClockSetting(int&) {
    return eeNotSupported;
}
int tcSensorBoard::snap(tsCaptureRequest) {
    return eeNotSupported;
}
int tcSensorBoard::initialize() {
    return eeNotSupported;
}
int tcSensorBoard::setExposure(int) {
    return eeNotSupported;
}
int tcSensorBoard::getExposure() {
    return 0;
}
int tcSensorBoard::getMinFrameIntervalMicroS() {
    return 0;
}
int tcSensorBoard::setFrameInterval(int) {
    return eeNotSupported;
}
int tcSensorBoard::getFrameInterval() {
    return 0;
}
int tcSensorBoard::setROI(ROI) {
    return eeNotSupported;
}
ROI tcSensorBoard::getROI() {
    return ROI{};
}
ROI tcSensorBoard::getImageROI() {
    return ROI{};
}
int tcSensorBoard::setVerticalBin(int) {
    return eeNotSupported;
}
int tcSensorBoard::getVerticalBin() {
    return 1;
}
int tcSensorBoard::setHorizontalBin(int) {
    return eeNotSupported;
}
int tcSensorBoard::getHorizontalBin() {
    return 1;
}
int tcSensorBoard::setShutterMode(teShutterMode) {
    return eeNotSupported;
}
int tcSensorBoard::getShutterMode() {
    return 0;
}
int tcSensorBoard::setBPP(teBPPMode) {
    return eeNotSupported;
}
int tcSensorBoard::setColor(bool) {
    return eeNotSupported;
}
int tcSensorBoard::setTestPattern(teTestPattern) {
    return eeNotSupported;
}
int tcSensorBoard::getTestPattern() {
    return 0;
}
int tcSensorBoard::setTrigger(teTriggerMode) {
    return eeNotSupported;
}
int tcSensorBoard::getTrigger() {
    return 0;
}
int tcSensorBoard::peek(int, int*) {
    return eeNotSupported;
}
int tcSensorBoard::poke(int, int) {
    return eeNotSupported;
}
int tcSensorBoard::validate() {
    return eeSuccess;
}
bool tcSensorBoard::isCapturing() {
    return false;
}
int tcSensorBoard::start() {
    return eeNotSupported;
}
int tcSensorBoard::stop() {
    return eeNotSupported;
}
std::string tcSensorBoard::getTemperature(int) {
    return {};
}
float tcSensorBoard::getTempCelsius() {
    return 0.0f;
}
float tcSensorBoard::getBoardTempCelsius() {
    return 0.0f;
}
std::string tcSensorBoard::getVersion() {
    return {};
}
int tcSensorBoard::save(int) {
    return eeNotSupported;
}
int tcSensorBoard::recall(int) {
    return eeNotSupported;
}
int tcSensorBoard::setIODirection(int, int) {
    return eeNotSupported;
}
int tcSensorBoard::setIOValue(int, int) {
    return eeNotSupported;
}
int tcSensorBoard::setIOInverter(int, int) {
    return eeNotSupported;
}
int tcSensorBoard::power(bool) {
    return eeNotSupported;
}
int tcSensorBoard::getIODirection() {
    return 0;
}
int tcSensorBoard::getIOValue() {
    return 0;
}
int tcSensorBoard::getNumPins() {
    return pinCount;
}
int tcSensorBoard::setMirroring(bool, bool) {
    return eeNotSupported;
}
int tcSensorBoard::getMirroring(bool, bool* mirrored) {
    if (mirrored != nullptr)
        *mirrored = false;
    return eeNotSupported;
}
int tcSensorBoard::setBlackLevel(int) {
    return eeNotSupported;
}
int tcSensorBoard::getBlackLevel(int&) {
    return eeNotSupported;
}
int tcSensorBoard::setAnalogOffset(int) {
    return eeNotSupported;
}
int tcSensorBoard::getAnalogOffset(int&) {
    return eeNotSupported;
}
int tcSensorBoard::setLineRate(int) {
    return eeNotSupported;
}
int tcSensorBoard::getLineRate(int&) {
    return eeNotSupported;
}
int tcSensorBoard::setStrobe(int, int) {
    return eeNotSupported;
}
int tcSensorBoard::setDecimation(int) {
    return eeNotSupported;
}
int tcSensorBoard::setHDRMode(bool) {
    return eeNotSupported;
}
tcStreamer* tcSensorBoard::getStreamer() {
    return nullptr;
}
tcTimestamp* tcSensorBoard::getTimestamper() {
    return timestamper;
}
void tcSensorBoard::setTimestamper(tcTimestamp* t) {
    timestamper = t;
}
tcSensorBoard* tcSensorBoard::self() {
    return this;
}
void tcSensorBoard::Handler(unsigned int, unsigned int) {}
int tcSensorBoard::GetSkipFrames(bool& skip) {
    skip = false;
    return 0;
}

tcMultipleROISensor::tcMultipleROISensor(int maxRegions_) : maxRegions(maxRegions_) {}

tcMultipleROISensor::~tcMultipleROISensor() = default;

void tcMultipleROISensor::setNumberOfROI(int count) {
    if (count <= 0) {
        regions.clear();
        return;
    }
    regions.resize(static_cast<size_t>(count), ROI(0, 0, 13280, 9184));
}

int tcMultipleROISensor::setMultipleROI(const std::vector<ROI>& list) {
    regions = list;
    return programMultipleROI();
}

} // namespace Vistrel
