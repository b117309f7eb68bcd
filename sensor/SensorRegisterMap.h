#pragma once
// Register numbers and bit fields of the Canon 120MXS control registers, and the layout of
// the 5-byte SPI write frame.
#include <cstdint>

namespace sensorregs {

// One bit field: the register, the field's width as a right-aligned mask, its lowest bit.
struct tsField {
    unsigned short reg;
    unsigned int mask;
    unsigned char shift;
};

constexpr unsigned short kRegTiming = 0x00;      // horizontal period
constexpr unsigned short kRegFrameCtrl = 0x03;   // start line, vertical mode, frame state, PSETM
constexpr unsigned short kRegReadoutRows = 0x04; // RowS, RowE
constexpr unsigned short kRegGain = 0x7A;

constexpr tsField kHorizontalPeriod{kRegTiming, 0x1FFF, 10}; // clocks per line minus 1
constexpr tsField kExposureStartLine{kRegFrameCtrl, 0x7FFF, 0};
constexpr tsField kVerticalMode{kRegFrameCtrl, 0x7, 15};
constexpr tsField kFrameState{kRegFrameCtrl, 0x7, 18};
constexpr tsField kShutterReset{kRegFrameCtrl, 0x1, 21}; // PSETM
// Readout rows: RowS and RowE, 14 bits each; both are written at once through kReadoutRows.
constexpr tsField kRowStart{kRegReadoutRows, 0x3FFF, 0};
constexpr tsField kRowEnd{kRegReadoutRows, 0x3FFF, 14};
constexpr tsField kReadoutRows{kRegReadoutRows, 0x0FFFFFFF, 0}; // RowS + RowE * 16384
constexpr tsField kGain{kRegGain, 0xF, 5};

constexpr unsigned int kMaxHorizontalPeriod = 8192;
constexpr unsigned int kMaxExposureStartLine = 0x7FFF;

// Image row r is sensor row r + 32; rows are read in blocks of four.
constexpr unsigned int kFirstImageRow = 32;
constexpr unsigned int kRowsPerBlock = 4;
constexpr unsigned int kFirstBlock = 8; // sensor row 32
constexpr unsigned int kLastStartBlock = 2303;
constexpr unsigned int kEndBlockLimit = 2304; // one past the last block (sensor row 9215)

// Line lengths beyond the rows read that a frame takes; the fixed 45 MHz divisor of the
// readout-time figures.
constexpr unsigned int kFrameOverheadLines = 34;
constexpr unsigned int kReadoutClockMhz = 45;

// SPI write frame: marker bit, 11-bit register number, 28-bit value.
constexpr unsigned int kFrameBytes = 5;
constexpr uint8_t kFrameMarker = 0x80;
constexpr unsigned int kFrameRegisterMask = 0x7FF;
constexpr unsigned int kFrameValueMask = 0x0FFFFFFF;

// Register-file pseudo register: a pause of value microseconds.
constexpr unsigned short kPauseRegister = 0x400;

} // namespace sensorregs
