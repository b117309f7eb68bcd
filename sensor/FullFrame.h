#pragma once
// The sensor's full frame, (0, 0, 13280, 9184): one constant for the whole plug-in (the
// board's starting region, the camera information, the bad-pixel core's region).
#include "Vistrel/ROI.h"

namespace Vistrel {

extern const ROI kFullFrame;

} // namespace Vistrel
