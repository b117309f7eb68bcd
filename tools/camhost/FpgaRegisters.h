#pragma once
// The FPGA registers camhost reads back: physical addresses of the plug-in's three
// register windows and the frame receiver's register offsets, as the FPGA design gives
// them (camhost keeps its own copy, so that it can check the plug-in against them).
#include <cstdint>

namespace camhost {
namespace fpga {

constexpr uint32_t kSysIdBase = 0xFF200000;          // system identity, words 0 and 1
constexpr uint32_t kPllBase = 0xFF204000;            // PLL block
constexpr uint32_t kPllWordC0 = kPllBase + 0xC0 * 4; // its word 0xC0
constexpr uint32_t kReceiverBase = 0xFF212000;       // frame receiver

namespace rx {
constexpr uint32_t control = 0x00, status = 0x04, laneInversion = 0x08, irqFlags = 0x10,
                   irqMask = 0x14, roiResolution = 0x18, blankOffset = 0x1C, writeFaults = 0x20,
                   roiStart = 0x24, dpaReset = 0x28, dpaFifoReset = 0x2C, dpaHold = 0x30,
                   dpaLock = 0x34, biasSubtract = 0x40, coreId = 0x200, coreRev = 0x204,
                   coreCaps = 0x208;
} // namespace rx

constexpr uint32_t kCoreEnable = 1u << 31; // control
constexpr uint32_t kPllLocked = 1u << 0;   // status
constexpr uint32_t kAligned = 1u << 1;     // status
constexpr uint32_t kAllLanes = 0x0FFFFFFF; // one bit per serial lane
constexpr uint32_t kBiasEnable = 1u << 31; // biasSubtract; bits 30..0 the offset

} // namespace fpga
} // namespace camhost
