#pragma once
// Camera description record filled by a board. The board writes bytes 0..67; the rest
// belongs to the framework.
#include "Vistrel/ROI.h"
#include <cstddef>
#include <cstdint>

namespace Vistrel {

struct tsCameraInfo {
    char sensorName[16];      // bytes 0..15
    char sensorMaker[24];     // bytes 16..39
    ROI fullFrame;            // bytes 40..55
    uint16_t flags;           // bytes 56..57
    uint16_t reserved58;      // bytes 58..59
    uint32_t effectiveWidth;  // bytes 60..63
    uint32_t effectiveHeight; // bytes 64..67
    uint8_t framework[60];    // bytes 68..127: framework-owned, never written by a board
};

static_assert(offsetof(tsCameraInfo, sensorMaker) == 16, "layout");
static_assert(offsetof(tsCameraInfo, fullFrame) == 40, "layout");
static_assert(offsetof(tsCameraInfo, flags) == 56, "layout");
static_assert(offsetof(tsCameraInfo, effectiveWidth) == 60, "layout");
static_assert(offsetof(tsCameraInfo, effectiveHeight) == 64, "layout");
static_assert(offsetof(tsCameraInfo, framework) == 68, "layout");

} // namespace Vistrel
