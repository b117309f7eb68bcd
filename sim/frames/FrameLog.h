#pragma once
// The head's frame log: every frame delivered since the head's last reset. Each getter
// first steps the head to the clock's present.
#include "sim/frames/Frame.h"

#include <vector>

namespace sim {
namespace frames {

std::vector<FrameRecord> records(); // up to the log's cap, oldest first
long long count();                  // every frame delivered, also past the cap
long long dropped();                // exposed frames a readout overrun lost
std::vector<Finding> findings();

} // namespace frames
} // namespace sim
