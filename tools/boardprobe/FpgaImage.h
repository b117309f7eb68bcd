#pragma once
// The FPGA image the plug-in was written and tested for: its system identity and the frame
// receiver core's ID and revision. Another image may have another register map, which the
// plug-in would program blindly.
#include <cstdint>

namespace boardprobe {

constexpr uint32_t kSysIdWord0 = 0x00001234;
constexpr uint32_t kSysIdWord1 = 0x5E6F7A8B;
constexpr uint32_t kReceiverCoreId = 0x0120CA11;
constexpr uint32_t kReceiverCoreRev = 0x00010002;

} // namespace boardprobe
