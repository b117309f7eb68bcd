// Timing, gain, readout-area, frame-state and test-pattern fields of the 120MXS, and the
// exposure, which the sensor sets as the line at which exposure starts within the frame.
#include "platform/Platform.h"
#include "sensor/SensorRegisterMap.h"
#include "sensor/tc120MXS.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>

using namespace sensorregs;
using Vistrel::eeArgumentOutOfRange;
using Vistrel::eeSuccess;
using Vistrel::teNackCode;

namespace {

constexpr const char* kExposurePrefix =
    "Vistrel::teNackCode tc120MXS::setExposure(std::chrono::microseconds)";

struct tsVerticalModeCode {
    unsigned int mode;
    unsigned int code;
};
constexpr tsVerticalModeCode kVerticalModes[] = {{1, 0}, {2, 1}, {3, 2}, {5, 3}, {7, 4}, {15, 5}};

struct tsPatternRow {
    unsigned short reg;
    unsigned int normalValue;
    unsigned int testValue;
};
constexpr tsPatternRow kTestPatternRows[] = {
    {0x3A, 0x0A40A0, 0x015011}, {0x47, 0x000000, 0x000001}, {0x55, 0x18315F, 0x3FF3FF},
    {0x56, 0x07F012, 0x3FF3FF}, {0x5C, 0x182160, 0x03C028}, {0x5D, 0x07E013, 0x032028},
};
// The sensor takes the test-pattern rows 10 us apart: a pause after each row's write.
constexpr std::chrono::microseconds kPatternWriteGap{10};

// The last readout row at which exposure may start is four lines before the last row read.
constexpr int kMinLinesBeforeRowEnd = 4;

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

teNackCode tc120MXS::setVerticalMode(unsigned int mode) {
    for (const auto& entry : kVerticalModes) {
        if (entry.mode == mode) {
            setField(kVerticalMode, entry.code);
            return eeSuccess;
        }
    }
    return eeArgumentOutOfRange;
}

unsigned int tc120MXS::getVerticalMode() {
    return field(kVerticalMode);
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

teNackCode tc120MXS::setGain(teGain gain) {
    switch (gain) {
    case eeGain3:
    case eeGain7:
    case eeGain12:
    case eeGain13:
    case eeGain15:
        setField(kGain, static_cast<unsigned int>(gain));
        return eeSuccess;
    }
    return eeArgumentOutOfRange;
}

tc120MXS::teGain tc120MXS::getGain() {
    return static_cast<teGain>(field(kGain));
}

teNackCode tc120MXS::setROIArea(unsigned short startRow, unsigned short endRow) {
    const unsigned short firstRow = static_cast<unsigned short>(startRow + kFirstImageRow);
    const unsigned short lastRow = static_cast<unsigned short>(endRow + kFirstImageRow);
    std::cout << "setROIArea"
              << " start row : " << firstRow << " end row : " << lastRow << std::endl;

    // Whole blocks only: the first row rounds down to a block start, the last row down to
    // the end of the last complete block.
    const unsigned int startBlock = firstRow / kRowsPerBlock;
    const unsigned int endBlock = (lastRow + 1u) / kRowsPerBlock;
    if (startBlock < kFirstBlock || startBlock > kLastStartBlock || startBlock >= endBlock ||
        endBlock > kEndBlockLimit)
        return eeArgumentOutOfRange;

    const unsigned int rowStart = startBlock * kRowsPerBlock;
    const unsigned int rowEnd = endBlock * kRowsPerBlock - 1;
    std::cout << "setROIArea"
              << " RowS: " << rowStart << " RowE: " << rowEnd << std::endl;
    setField(kReadoutRows, rowStart + (rowEnd << kRowEnd.shift));
    return eeSuccess;
}

teNackCode tc120MXS::setTestPattern(teTestPattern pattern) {
    if (pattern < eePatternNormal || pattern > eePattern4)
        return eeArgumentOutOfRange;
    // Patterns 1 to 4 all select the same built-in test image.
    for (const auto& row : kTestPatternRows) {
        writeRegister(row.reg, pattern == eePatternNormal ? row.normalValue : row.testValue);
        platform::sleepFor(kPatternWriteGap);
    }
    return eeSuccess;
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
        const int64_t lead = frameInterval.count() - requested.count();
        const float lines = std::round(static_cast<float>(lead) / lineTime);
        if (!(lines > 0.0f)) {
            limitExposureToFrameInterval();
        } else {
            // Lines beyond the start-line field are held at its largest value, so the line
            // written stays in range and the row-end rule below still applies.
            int16_t startLine = lines >= static_cast<float>(kMaxExposureStartLine)
                                    ? static_cast<int16_t>(kMaxExposureStartLine)
                                    : static_cast<int16_t>(lines);
            const int roiEnd = static_cast<int>(field(kRowEnd));
            std::cout << kExposurePrefix << "start line:" << startLine << " roiend: " << roiEnd
                      << std::endl;
            captureFrameState = eeFrameStartLine;
            if (roiEnd - startLine < kMinLinesBeforeRowEnd)
                startLine = static_cast<int16_t>(roiEnd - kMinLinesBeforeRowEnd);
            setExposureStartLine(static_cast<unsigned short>(startLine));

            const float programmed = static_cast<float>(frameInterval.count()) -
                                     static_cast<float>(startLine) * lineTime;
            // A negative request can leave less than nothing; the count cannot go below 0.
            exposure = std::chrono::microseconds(
                programmed > 0.0f ? static_cast<int64_t>(static_cast<uint64_t>(programmed)) : 0);
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
