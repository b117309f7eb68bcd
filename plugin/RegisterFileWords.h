#pragma once
// The register-file words the board and its handlers publish or react to (all 13), and the
// one way they are written.
#include "Vistrel/tcRegisterFile.h"

#include <cstdint>

namespace Vistrel {
namespace regfile {

constexpr uint32_t kFrameInterval = 0x3A000;    // µs, as programmed
constexpr uint32_t kExposure = 0x3A004;         // µs, as read back from the sensor
constexpr uint32_t kRegionHeight = 0x3A00C;     // output rows
constexpr uint32_t kRegionY = 0x3A014;          // first row, output rows
constexpr uint32_t kPixelFormat = 0x3A020;      // GenICam pixel-format code
constexpr uint32_t kVerticalFactor = 0x3A040;   // vertical line factor
constexpr uint32_t kMinFrameInterval = 0x3C020; // µs, frame readout time
constexpr uint32_t kGain = 0x3D000;             // sensor gain code
constexpr uint32_t kBiasOffset = 0x3D008;       // bias-subtract offset, 11 bits
constexpr uint32_t kBiasEnable = 0x3D00C;       // bias-subtract enable, 0 or 1
constexpr uint32_t kBadPixelData = 0x3A070;     // non-zero: the core's default map, 0: cleared
constexpr uint32_t kBadPixelMap = 0x3A074;      // bad-pixel map on (non-zero) or off
constexpr uint32_t kExposureMode = 0x3A200;     // non-zero: external exposure

// Stores the word in the process-wide register file, which notifies its observers.
inline void publish(uint32_t address, uint32_t value) {
    tcRegisterFile::getInstance(nullptr, true)->update_word(address, value);
}

} // namespace regfile
} // namespace Vistrel
