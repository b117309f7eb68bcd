#pragma once
// The board as made when TC120MXS_TRACE asks for a boundary record: each operation the
// framework calls goes into the record at entry (`op`) and at return (`op_ret`); the
// board's calls of its own operations do not (a GPIO notification is recorded by the plain
// board's Handler, inside its lifetime gate). Without the variable the framework gets the
// plain board, which costs nothing of this.
#include "plugin/tc120MXSSensorBoard.h"

#include <string>

namespace Vistrel {

// A register-file notification as the record sees it: `notify` when it reaches the board,
// `notify_ret` with whether it was handled when it leaves.
class tcRecordedNotification {
public:
    tcRecordedNotification(platform::tcTraceRecord* record, const tsUpdate& update);
    ~tcRecordedNotification();
    tcRecordedNotification(const tcRecordedNotification&) = delete;
    tcRecordedNotification& operator=(const tcRecordedNotification&) = delete;

private:
    platform::tcTraceRecord* record; // not owned
    const tsUpdate& update;
    platform::tcTraceRecord::tcInside inside;
};

// The plain board, or the recorded one when the variable asks for a record.
tcSensorBoard* makeBoard(const std::string& spiPath);

class tc120MXSRecordedBoard final : public tc120MXSSensorBoard {
public:
    explicit tc120MXSRecordedBoard(const std::string& path) : tc120MXSSensorBoard(path) {}

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
    int GetSkipFrames(bool& skip) override;
    int programMultipleROI() override;

private:
    // call() recorded as operation name with args; out() (after the call) adds what the
    // operation gave back through its arguments.
    template <typename Call, typename Out, typename... Args>
    auto recordedOut(const char* name, Call call, Out out, const Args&... args) -> decltype(call());
    template <typename Call, typename... Args>
    auto recorded(const char* name, Call call, const Args&... args) -> decltype(call()) {
        return recordedOut(name, call, nullptr, args...);
    }
};

} // namespace Vistrel
