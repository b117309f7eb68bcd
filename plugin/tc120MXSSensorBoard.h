#pragma once
// The board object the camera framework drives: owns the FPGA, the image sensor and the
// register-file observer, and answers the framework's board interface.
#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcObserver.h"
#include "Vistrel/tcSensorBoard.h"
#include "fpga/tc120MXSFpga.h"
#include "sensor/tc120MXS.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace Vistrel {

// Full sensor frame: first row, first column, width, height.
extern const ROI kFullFrame;

class tc120MXSSensorBoard : public tcSensorBoard, public tcMultipleROISensor {
public:
    explicit tc120MXSSensorBoard(const std::string& path);
    ~tc120MXSSensorBoard() override;

    // Board view, in table order.
    tcAbstractHandler*
    getCustomHandlers(tcAbstractHandler* next,
                      std::map<std::string, tcAbstractHandler*>* handlers) override;
    int resetFpga() override;
    int GetCameraInfo(tsCameraInfo* info) override;
    int setClockSetting(int mhz) override;
    int getClockSetting(int& mhz) override;
    int initialize() override;
    int setExposure(int microseconds) override;
    int getExposure() override;
    int getMinFrameIntervalMicroS() override;
    int setFrameInterval(int microseconds) override;
    int getFrameInterval() override;
    int setROI(ROI region) override;
    ROI getROI() override;
    ROI getImageROI() override;
    int setVerticalBin(int bin) override;
    int getVerticalBin() override;
    int setHorizontalBin(int bin) override;
    int getHorizontalBin() override;
    int setShutterMode(teShutterMode mode) override;
    int getShutterMode() override;
    int setBPP(teBPPMode mode) override;
    int setColor(bool color) override;
    int setTestPattern(teTestPattern pattern) override;
    int getTestPattern() override;
    int setTrigger(teTriggerMode mode) override;
    int getTrigger() override;
    int peek(int reg, int* value) override;
    int poke(int reg, int value) override;
    int validate() override;
    bool isCapturing() override;
    int start() override;
    int stop() override;
    std::string getTemperature(int index) override;
    std::string getVersion() override;
    int save(int slot) override;
    int recall(int slot) override;
    int power(bool on) override;
    int setMirroring(bool horizontal, bool vertical) override;
    int getMirroring(bool vertical, bool* mirrored) override;
    int setBlackLevel(int level) override;
    int getBlackLevel(int& level) override;
    int setAnalogOffset(int offset) override;
    int getAnalogOffset(int& offset) override;
    int setLineRate(int hertz) override;
    int getLineRate(int& hertz) override;
    int setStrobe(int delayMicroS, int widthMicroS) override;
    int setDecimation(int factor) override;
    int setHDRMode(bool on) override;
    void Handler(unsigned int gpio, unsigned int level) override;
    int GetSkipFrames(bool& skip) override;
    // Multiple-ROI view.
    int programMultipleROI() override;

    // Reacts to register-file writes of the vertical line factor, gain and bias words.
    class tcRegFileObs : public tcObserver {
    public:
        explicit tcRegFileObs(tc120MXSSensorBoard* owner) : owner(owner) {}
        ~tcRegFileObs() override = default;
        void update(tsUpdate& update) override;

    private:
        void changeVerticalFactor(uint32_t factor);
        tc120MXSSensorBoard* owner; // not owned
    };

private:
    // Test-only view of the board's parts (defined by the plug-in test suite).
    friend class BoardTestAccess;

    tc120MXSFpga fpga;
    tc120MXS sensor;
    int64_t exposure = 0;      // µs, as read back from the sensor
    int64_t frameInterval = 0; // µs, as last programmed
    // Read by Handler on the framework's notification thread.
    std::atomic<teTriggerMode> triggerMode{eeFreeRunning};
    teTestPattern testPattern = eeTestPatternOff;
    uint16_t verticalMode = 1;
    std::atomic<bool> capturing{false};
    ROI roi;
    uint32_t biasSubtract = 0;
    tcRegFileObs regFileObs;
    bool observerRegistered = false;
    // Serialises start(), stop() and a triggered frame in Handler, so a trigger that was
    // accepted before a stop never drives the PWM of the capture that follows.
    std::mutex captureMutex;
};

} // namespace Vistrel
