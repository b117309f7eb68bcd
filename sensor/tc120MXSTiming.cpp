// Line timing and frame control of the 120MXS: the horizontal period, the frame state, the
// readout time and frame interval, and the exposure, which the sensor sets as the line at
// which exposure starts within the frame.
#include "platform/Platform.h"
#include "sensor/SensorRegisterMap.h"
#include "sensor/tc120MXS.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <optional>

using namespace sensorregs;
using Vistrel::eeArgumentOutOfRange;
using Vistrel::eeSuccess;
using Vistrel::teNackCode;

namespace {

constexpr const char* kExposurePrefix =
    "Vistrel::teNackCode tc120MXS::setExposure(std::chrono::microseconds)";

// The last readout row at which exposure may start is four lines before the last row read.
constexpr int kMinLinesBeforeRowEnd = 4;

// The exposure as lines: it starts that many lines after the frame begins and runs to its
// end. Lines beyond the start-line field are held at its largest value, so the line written
// stays in range and the row-end rule still applies. None when the exposure fills the frame.
std::optional<int16_t> linesBeforeExposure(int64_t intervalUs, int64_t requestedUs,
                                           float lineTime) {
    const int64_t lead = intervalUs - requestedUs;
    const float lines = std::round(static_cast<float>(lead) / lineTime);
    if (!(lines > 0.0f))
        return std::nullopt;
    return lines >= static_cast<float>(kMaxExposureStartLine)
               ? static_cast<int16_t>(kMaxExposureStartLine)
               : static_cast<int16_t>(lines);
}

// Exposure starts no later than kMinLinesBeforeRowEnd lines before the last row read.
int16_t startLineBeforeRowEnd(int16_t startLine, int roiEnd) {
    if (roiEnd - startLine < kMinLinesBeforeRowEnd)
        return static_cast<int16_t>(roiEnd - kMinLinesBeforeRowEnd);
    return startLine;
}

// What a start line leaves of the frame interval, in whole microseconds. A negative request
// can leave less than nothing; the count cannot go below 0.
int64_t exposureFromStartLine(int64_t intervalUs, int16_t startLine, float lineTime) {
    const float programmed =
        static_cast<float>(intervalUs) - static_cast<float>(startLine) * lineTime;
    return programmed > 0.0f ? static_cast<int64_t>(static_cast<uint64_t>(programmed)) : 0;
}

} // namespace

teNackCode tc120MXS::setHorizontalPeriod(unsigned short clocks) {
    if (clocks < 1 || clocks > kMaxHorizontalPeriod)
        return eeArgumentOutOfRange;
    setField(kHorizontalPeriod, clocks - 1u);
    return eeSuccess;
}

unsigned short tc120MXS::getHorizontalPeriod() {
    return static_cast<unsigned short>(field(kHorizontalPeriod) + 1);
}

teNackCode tc120MXS::setExposureStartLine(unsigned short line) {
    if (line > kMaxExposureStartLine)
        return eeArgumentOutOfRange;
    setField(kExposureStartLine, line);
    return eeSuccess;
}

unsigned short tc120MXS::getExposureStartLine() {
    return static_cast<unsigned short>(field(kExposureStartLine));
}

teNackCode tc120MXS::setFrameState(teFrameState state) {
    switch (state) {
    case eeFrameStopped:
    case eeFrameFullExposure:
    case eeFrameState3:
    case eeFrameStartLine:
        setField(kFrameState, static_cast<unsigned int>(state));
        return eeSuccess;
    }
    return eeArgumentOutOfRange;
}

tc120MXS::teFrameState tc120MXS::getFrameState() {
    return static_cast<teFrameState>(field(kFrameState));
}

void tc120MXS::resetShutter_PSETM(bool on) {
    setField(kShutterReset, on ? 1u : 0u);
}

std::chrono::microseconds tc120MXS::getFrameReadoutTime() {
    const uint32_t period = getHorizontalPeriod();
    // Both rows from one snapshot of the register.
    const uint32_t rows = field(kReadoutRows);
    const uint32_t rowStart = (rows >> kRowStart.shift) & kRowStart.mask;
    const uint32_t rowEnd = (rows >> kRowEnd.shift) & kRowEnd.mask;
    // Rows read plus the frame's overhead lines, rounded up to whole microseconds.
    const uint32_t lines = rowEnd - rowStart + 1 + kFrameOverheadLines;
    const uint32_t micros = (period * lines + kReadoutClockMhz - 1) / kReadoutClockMhz;
    return std::chrono::microseconds(micros);
}

std::chrono::microseconds tc120MXS::getOverheadTime() {
    const int32_t period = getHorizontalPeriod();
    const int32_t divisor = kReadoutClockMhz;
    const int32_t overheadLines = kFrameOverheadLines;
    return std::chrono::microseconds((overheadLines * period + divisor - 1) / divisor);
}

teNackCode tc120MXS::setFrameInterval(std::chrono::microseconds interval) {
    if (interval < getFrameReadoutTime())
        return eeArgumentOutOfRange;
    frameInterval = interval;
    return eeSuccess;
}

void tc120MXS::limitExposureToFrameInterval() {
    std::cout << kExposurePrefix << ": Limiting exposure: exposure duration: " << std::endl;
    captureFrameState = eeFrameFullExposure;
    setExposureStartLine(kMaxExposureStartLine);
    exposure = frameInterval;
}

teNackCode tc120MXS::setExposure(std::chrono::microseconds requested) {
    std::cout << kExposurePrefix << ": " << requested.count() << std::endl;

    const unsigned short period = getHorizontalPeriod();
    if (!(mClockMhz > 0.0f)) {
        // Without a master clock a line has no length: run the exposure over the whole
        // frame interval rather than divide by zero.
        std::cerr << kExposurePrefix
                  << ": master clock not set, exposure follows the frame interval" << std::endl;
        limitExposureToFrameInterval();
    } else {
        const float lineTime = static_cast<float>(period) / mClockMhz;
        const auto lines = linesBeforeExposure(frameInterval.count(), requested.count(), lineTime);
        if (!lines) {
            limitExposureToFrameInterval();
        } else {
            const int roiEnd = static_cast<int>(field(kRowEnd));
            std::cout << kExposurePrefix << "start line:" << *lines << " roiend: " << roiEnd
                      << std::endl;
            captureFrameState = eeFrameStartLine;
            const int16_t startLine = startLineBeforeRowEnd(*lines, roiEnd);
            setExposureStartLine(static_cast<unsigned short>(startLine));
            exposure = std::chrono::microseconds(
                exposureFromStartLine(frameInterval.count(), startLine, lineTime));
            std::cout << kExposurePrefix << " after: " << exposure.count() << std::endl;
        }
    }

    // A running capture takes the new mode at once.
    if (getFrameState() != eeFrameStopped)
        setFrameState(captureFrameState);
    return eeSuccess;
}

std::chrono::microseconds tc120MXS::getExposure() {
    return exposure;
}
