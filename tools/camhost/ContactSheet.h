#pragma once
// A PNG contact sheet of the first delivered frames (built only with libpng).
#include "sim/frames/Frame.h"

#include <string>
#include <vector>

namespace camhost {

constexpr int kContactSheetFrames = 8;

// Thumbnails of the first kContactSheetFrames frames, four to a row, 8-bit grey. False with
// error set when it cannot be written or camhost was built without libpng.
bool writeContactSheet(const std::string& path, const std::vector<sim::frames::FrameRecord>& frames,
                       std::string& error);

} // namespace camhost
