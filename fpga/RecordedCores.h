#pragma once
// The FPGA-core library's cores as the plug-in calls them: each call goes to the core and,
// when recording, into the boundary record with its arguments and its result or exception
// (the exception is rethrown). The methods are the cores' own, so callers do not change.
#include "fpgacores/tcBadPixelReplacement.h"
#include "fpgacores/tcPixelShift.h"
#include "fpgacores/tcPwm.h"
#include "platform/TraceRecord.h"
#include "platform/TraceText.h"

#include <exception>
#include <string>
#include <utility>

namespace fpgacore {

// Calls call() and records it as operation of the core with args (a list of values).
template <typename Call>
auto recordedCall(platform::tcTraceRecord* record, const char* operation, const std::string& args,
                  Call call) -> decltype(call()) {
    using tResult = decltype(call());
    try {
        if constexpr (std::is_void_v<tResult>) {
            call();
            record->event("core", "op=%s args=%s result=-", operation,
                          platform::tcTraceRecord::quoted(args).c_str());
        } else {
            tResult result = call();
            const std::string said = platform::tracetext::text(result);
            record->event("core", "op=%s args=%s result=%s", operation,
                          platform::tcTraceRecord::quoted(args).c_str(),
                          std::is_same_v<tResult, std::string>
                              ? platform::tcTraceRecord::quoted(said).c_str()
                              : said.c_str());
            return result;
        }
    } catch (const std::exception& error) {
        record->event("core", "op=%s args=%s exception=%s", operation,
                      platform::tcTraceRecord::quoted(args).c_str(),
                      platform::tcTraceRecord::quoted(error.what()).c_str());
        throw;
    } catch (...) {
        record->event("core", "op=%s args=%s exception=\"(not a std::exception)\"", operation,
                      platform::tcTraceRecord::quoted(args).c_str());
        throw;
    }
}

// One predictable branch when recording is off.
#define TC120MXS_CORE_CALL(CLASS, NAME, ...)                                                       \
    (record == nullptr                                                                             \
         ? core.NAME(__VA_ARGS__)                                                                  \
         : recordedCall(record, #CLASS "::" #NAME, platform::tracetext::list(__VA_ARGS__),         \
                        [&] { return core.NAME(__VA_ARGS__); }))

class tcRecordedPwm {
public:
    tcRecordedPwm(platform::tcTraceRecord* record, unsigned int base, double clockMhz,
                  const char* interruptDevice)
        : record(record), core(base, clockMhz, interruptDevice) {}

    bool initialized() const { return TC120MXS_CORE_CALL(tcPwm, initialized); }
    void enableCore(bool enable) { TC120MXS_CORE_CALL(tcPwm, enableCore, enable); }
    void enableInterrupts(bool enable, bool clearPending) {
        TC120MXS_CORE_CALL(tcPwm, enableInterrupts, enable, clearPending);
    }
    void setInvertPulse(bool invert) { TC120MXS_CORE_CALL(tcPwm, setInvertPulse, invert); }
    void setPeriodTime(std::chrono::microseconds period) {
        TC120MXS_CORE_CALL(tcPwm, setPeriodTime, period);
    }
    void setDutyTime(std::chrono::microseconds duty) {
        TC120MXS_CORE_CALL(tcPwm, setDutyTime, duty);
    }
    bool waitForInterrupt(std::chrono::microseconds timeout) {
        return TC120MXS_CORE_CALL(tcPwm, waitForInterrupt, timeout);
    }
    void dumpRegisters() { TC120MXS_CORE_CALL(tcPwm, dumpRegisters); }

private:
    platform::tcTraceRecord* record; // not owned; null: not recording
    mutable tcPwm core;
};

class tcRecordedPixelShift {
public:
    tcRecordedPixelShift(platform::tcTraceRecord* record, unsigned int base)
        : record(record), core(base) {}

    bool initialized() const { return TC120MXS_CORE_CALL(tcPixelShift, initialized); }
    void reset(bool reset) { TC120MXS_CORE_CALL(tcPixelShift, reset, reset); }
    void setShift(tcPixelShift::teShiftDirection direction, unsigned char bits) {
        TC120MXS_CORE_CALL(tcPixelShift, setShift, direction, bits);
    }

private:
    platform::tcTraceRecord* record; // not owned; null: not recording
    mutable tcPixelShift core;
};

class tcRecordedBadPixelReplacement {
public:
    tcRecordedBadPixelReplacement(platform::tcTraceRecord* record, unsigned int controlBase,
                                  unsigned int mapBase, unsigned int dmaBase,
                                  unsigned int memoryBase, Vistrel::ROI fullFrame)
        : record(record), core(controlBase, mapBase, dmaBase, memoryBase, fullFrame) {}

    bool initialize() { return TC120MXS_CORE_CALL(tcBadPixelReplacement, initialize); }
    void reset(bool reset) { TC120MXS_CORE_CALL(tcBadPixelReplacement, reset, reset); }
    void setColor(bool color) { TC120MXS_CORE_CALL(tcBadPixelReplacement, setColor, color); }
    void setRoi(Vistrel::ROI roi) { TC120MXS_CORE_CALL(tcBadPixelReplacement, setRoi, roi); }
    void setData(std::string data) { TC120MXS_CORE_CALL(tcBadPixelReplacement, setData, data); }
    std::string defaultData() { return TC120MXS_CORE_CALL(tcBadPixelReplacement, defaultData); }
    void setMapState(bool on) { TC120MXS_CORE_CALL(tcBadPixelReplacement, setMapState, on); }
    int mapState() { return TC120MXS_CORE_CALL(tcBadPixelReplacement, mapState); }
    int onState() { return TC120MXS_CORE_CALL(tcBadPixelReplacement, onState); }
    void dumpRegisters() { TC120MXS_CORE_CALL(tcBadPixelReplacement, dumpRegisters); }
    // The core itself, for the bad-pixel command handler, which records its own calls: a
    // handler is known to the framework by its type, which names the library's core class.
    tcBadPixelReplacement& unrecorded() { return core; }

private:
    platform::tcTraceRecord* record; // not owned; null: not recording
    tcBadPixelReplacement core;
};

#undef TC120MXS_CORE_CALL

} // namespace fpgacore
