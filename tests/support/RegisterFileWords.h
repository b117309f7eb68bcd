#pragma once
// Addresses of the register-file words the board publishes or watches, from the
// framework's map. The tests keep their own copy so that a wrong address in the plug-in
// shows up as a failure rather than moving both sides at once.
#include <cstdint>

namespace words {
constexpr uint32_t frameInterval = 0x3A000, exposure = 0x3A004, regionHeight = 0x3A00C,
                   regionY = 0x3A014, pixelFormat = 0x3A020, verticalFactor = 0x3A040,
                   minFrameInterval = 0x3C020, gain = 0x3D000, biasOffset = 0x3D008,
                   biasEnable = 0x3D00C;
} // namespace words
