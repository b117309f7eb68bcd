// Readout of the 120MXS: the rows read (readout area and vertical binning), the analog
// gain and the built-in test image.
#include "platform/Platform.h"
#include "sensor/SensorRegisterMap.h"
#include "sensor/tc120MXS.h"

#include <chrono>
#include <iostream>

using namespace sensorregs;
using Vistrel::eeArgumentOutOfRange;
using Vistrel::eeSuccess;
using Vistrel::teNackCode;

namespace {

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

} // namespace

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

teNackCode tc120MXS::setTestPattern(teTestPattern pattern) {
    if (pattern < eePatternNormal || pattern > eePattern4)
        return eeArgumentOutOfRange;
    // Patterns 1 to 4 all select the same built-in test image.
    for (const auto& row : kTestPatternRows) {
        writeRegister(row.reg, pattern == eePatternNormal ? row.normalValue : row.testValue);
        pause(kPatternWriteGap);
    }
    return eeSuccess;
}
