// The board's operations, notifications and GPIO notifications in the boundary record.
#include "plugin/RecordedBoard.h"

#include "Vistrel/tsCameraInfo.h"
#include "platform/TraceText.h"

#include <cstring>
#include <exception>
#include <type_traits>

namespace Vistrel {

namespace {

using platform::tcTraceRecord;
using platform::tracetext::list;
using platform::tracetext::text;

// An operation's answer as the record writes it: numbers as they are, text and regions
// quoted.
template <typename Result> std::string answer(const Result& result) {
    if constexpr (std::is_same_v<Result, std::string> || std::is_same_v<Result, ROI>)
        return tcTraceRecord::quoted(text(result));
    else if constexpr (std::is_pointer_v<Result>)
        return result != nullptr ? "1" : "0";
    else
        return text(result);
}

} // namespace

tcRecordedNotification::tcRecordedNotification(platform::tcTraceRecord* record_,
                                               const tsUpdate& update_)
    : record(record_), update(update_) {
    if (record != nullptr)
        record->event("notify", "addr=0x%x val=0x%x", update.address, update.value);
}

tcRecordedNotification::~tcRecordedNotification() {
    if (record != nullptr)
        record->event("notify_ret", "addr=0x%x handled=%d", update.address, update.handled ? 1 : 0);
}

tcSensorBoard* makeBoard(const std::string& spiPath) {
    if (tcTraceRecord::requested())
        return new tc120MXSRecordedBoard(spiPath);
    return new tc120MXSSensorBoard(spiPath);
}

template <typename Call, typename Out, typename... Args>
auto tc120MXSRecordedBoard::recordedOut(const char* name, Call call, Out out, const Args&... args)
    -> decltype(call()) {
    if (record == nullptr)
        return call();
    const tcTraceRecord::tcInside inside;
    if (!inside.outermost())
        return call(); // the board calling one of its own operations
    record->event("op", "name=%s args=%s", name, tcTraceRecord::quoted(list(args...)).c_str());
    try {
        auto result = call();
        std::string given;
        if constexpr (!std::is_null_pointer_v<Out>)
            given = " out=" + tcTraceRecord::quoted(out());
        record->event("op_ret", "name=%s result=%s%s", name, answer(result).c_str(), given.c_str());
        return result;
    } catch (const std::exception& error) {
        record->event("op_ret", "name=%s exception=%s", name,
                      tcTraceRecord::quoted(error.what()).c_str());
        throw;
    }
}

using Base = tc120MXSSensorBoard;

tcAbstractHandler*
tc120MXSRecordedBoard::getCustomHandlers(tcAbstractHandler* next,
                                         std::map<std::string, tcAbstractHandler*>* handlers) {
    return recorded(
        "getCustomHandlers", [&] { return Base::getCustomHandlers(next, handlers); },
        next != nullptr, handlers != nullptr);
}
int tc120MXSRecordedBoard::resetFpga() {
    return recorded("resetFpga", [&] { return Base::resetFpga(); });
}
int tc120MXSRecordedBoard::GetCameraInfo(tsCameraInfo* info) {
    return recordedOut(
        "GetCameraInfo", [&] { return Base::GetCameraInfo(info); },
        [&] {
            return info == nullptr
                       ? std::string()
                       : std::string(info->sensorName,
                                     strnlen(info->sensorName, sizeof info->sensorName)) +
                             "," + text(info->fullFrame) + "," + text(info->effectiveWidth) + "," +
                             text(info->effectiveHeight);
        },
        info != nullptr);
}
int tc120MXSRecordedBoard::setClockSetting(int mhz) {
    return recorded(
        "setClockSetting", [&] { return Base::setClockSetting(mhz); }, mhz);
}
int tc120MXSRecordedBoard::getClockSetting(int& mhz) {
    return recordedOut(
        "getClockSetting", [&] { return Base::getClockSetting(mhz); }, [&] { return text(mhz); });
}
int tc120MXSRecordedBoard::initialize() {
    return recorded("initialize", [&] { return Base::initialize(); });
}
int tc120MXSRecordedBoard::setExposure(int microseconds) {
    return recorded(
        "setExposure", [&] { return Base::setExposure(microseconds); }, microseconds);
}
int tc120MXSRecordedBoard::getExposure() {
    return recorded("getExposure", [&] { return Base::getExposure(); });
}
int tc120MXSRecordedBoard::getMinFrameIntervalMicroS() {
    return recorded("getMinFrameIntervalMicroS", [&] { return Base::getMinFrameIntervalMicroS(); });
}
int tc120MXSRecordedBoard::setFrameInterval(int microseconds) {
    return recorded(
        "setFrameInterval", [&] { return Base::setFrameInterval(microseconds); }, microseconds);
}
int tc120MXSRecordedBoard::getFrameInterval() {
    return recorded("getFrameInterval", [&] { return Base::getFrameInterval(); });
}
int tc120MXSRecordedBoard::setROI(ROI region) {
    return recorded(
        "setROI", [&] { return Base::setROI(region); }, region);
}
ROI tc120MXSRecordedBoard::getROI() {
    return recorded("getROI", [&] { return Base::getROI(); });
}
ROI tc120MXSRecordedBoard::getImageROI() {
    return recorded("getImageROI", [&] { return Base::getImageROI(); });
}
int tc120MXSRecordedBoard::setVerticalBin(int bin) {
    return recorded(
        "setVerticalBin", [&] { return Base::setVerticalBin(bin); }, bin);
}
int tc120MXSRecordedBoard::getVerticalBin() {
    return recorded("getVerticalBin", [&] { return Base::getVerticalBin(); });
}
int tc120MXSRecordedBoard::setHorizontalBin(int bin) {
    return recorded(
        "setHorizontalBin", [&] { return Base::setHorizontalBin(bin); }, bin);
}
int tc120MXSRecordedBoard::getHorizontalBin() {
    return recorded("getHorizontalBin", [&] { return Base::getHorizontalBin(); });
}
int tc120MXSRecordedBoard::setShutterMode(teShutterMode mode) {
    return recorded(
        "setShutterMode", [&] { return Base::setShutterMode(mode); }, mode);
}
int tc120MXSRecordedBoard::getShutterMode() {
    return recorded("getShutterMode", [&] { return Base::getShutterMode(); });
}
int tc120MXSRecordedBoard::setBPP(teBPPMode mode) {
    return recorded(
        "setBPP", [&] { return Base::setBPP(mode); }, mode);
}
int tc120MXSRecordedBoard::setColor(bool color) {
    return recorded(
        "setColor", [&] { return Base::setColor(color); }, color);
}
int tc120MXSRecordedBoard::setTestPattern(teTestPattern pattern) {
    return recorded(
        "setTestPattern", [&] { return Base::setTestPattern(pattern); }, pattern);
}
int tc120MXSRecordedBoard::getTestPattern() {
    return recorded("getTestPattern", [&] { return Base::getTestPattern(); });
}
int tc120MXSRecordedBoard::setTrigger(teTriggerMode mode) {
    return recorded(
        "setTrigger", [&] { return Base::setTrigger(mode); }, mode);
}
int tc120MXSRecordedBoard::getTrigger() {
    return recorded("getTrigger", [&] { return Base::getTrigger(); });
}
int tc120MXSRecordedBoard::peek(int reg, int* value) {
    return recordedOut(
        "peek", [&] { return Base::peek(reg, value); },
        [&] { return value != nullptr ? text(*value) : std::string(); }, reg);
}
int tc120MXSRecordedBoard::poke(int reg, int value) {
    return recorded(
        "poke", [&] { return Base::poke(reg, value); }, reg, value);
}
int tc120MXSRecordedBoard::validate() {
    return recorded("validate", [&] { return Base::validate(); });
}
bool tc120MXSRecordedBoard::isCapturing() {
    return recorded("isCapturing", [&] { return Base::isCapturing(); });
}
int tc120MXSRecordedBoard::start() {
    return recorded("start", [&] { return Base::start(); });
}
int tc120MXSRecordedBoard::stop() {
    return recorded("stop", [&] { return Base::stop(); });
}
std::string tc120MXSRecordedBoard::getTemperature(int index) {
    return recorded(
        "getTemperature", [&] { return Base::getTemperature(index); }, index);
}
std::string tc120MXSRecordedBoard::getVersion() {
    return recorded("getVersion", [&] { return Base::getVersion(); });
}
int tc120MXSRecordedBoard::save(int slot) {
    return recorded(
        "save", [&] { return Base::save(slot); }, slot);
}
int tc120MXSRecordedBoard::recall(int slot) {
    return recorded(
        "recall", [&] { return Base::recall(slot); }, slot);
}
int tc120MXSRecordedBoard::power(bool on) {
    return recorded(
        "power", [&] { return Base::power(on); }, on);
}
int tc120MXSRecordedBoard::setMirroring(bool horizontal, bool vertical) {
    return recorded(
        "setMirroring", [&] { return Base::setMirroring(horizontal, vertical); }, horizontal,
        vertical);
}
int tc120MXSRecordedBoard::getMirroring(bool vertical, bool* mirrored) {
    return recordedOut(
        "getMirroring", [&] { return Base::getMirroring(vertical, mirrored); },
        [&] { return mirrored != nullptr ? text(*mirrored) : std::string(); }, vertical);
}
int tc120MXSRecordedBoard::setBlackLevel(int level) {
    return recorded(
        "setBlackLevel", [&] { return Base::setBlackLevel(level); }, level);
}
int tc120MXSRecordedBoard::getBlackLevel(int& level) {
    return recordedOut(
        "getBlackLevel", [&] { return Base::getBlackLevel(level); }, [&] { return text(level); });
}
int tc120MXSRecordedBoard::setAnalogOffset(int offset) {
    return recorded(
        "setAnalogOffset", [&] { return Base::setAnalogOffset(offset); }, offset);
}
int tc120MXSRecordedBoard::getAnalogOffset(int& offset) {
    return recordedOut(
        "getAnalogOffset", [&] { return Base::getAnalogOffset(offset); },
        [&] { return text(offset); });
}
int tc120MXSRecordedBoard::setLineRate(int hertz) {
    return recorded(
        "setLineRate", [&] { return Base::setLineRate(hertz); }, hertz);
}
int tc120MXSRecordedBoard::getLineRate(int& hertz) {
    return recordedOut(
        "getLineRate", [&] { return Base::getLineRate(hertz); }, [&] { return text(hertz); });
}
int tc120MXSRecordedBoard::setStrobe(int delayMicroS, int widthMicroS) {
    return recorded(
        "setStrobe", [&] { return Base::setStrobe(delayMicroS, widthMicroS); }, delayMicroS,
        widthMicroS);
}
int tc120MXSRecordedBoard::setDecimation(int factor) {
    return recorded(
        "setDecimation", [&] { return Base::setDecimation(factor); }, factor);
}
int tc120MXSRecordedBoard::setHDRMode(bool on) {
    return recorded(
        "setHDRMode", [&] { return Base::setHDRMode(on); }, on);
}
int tc120MXSRecordedBoard::GetSkipFrames(bool& skip) {
    return recordedOut(
        "GetSkipFrames", [&] { return Base::GetSkipFrames(skip); }, [&] { return text(skip); });
}
int tc120MXSRecordedBoard::programMultipleROI() {
    return recorded("programMultipleROI", [&] { return Base::programMultipleROI(); });
}

} // namespace Vistrel
