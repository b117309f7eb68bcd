#pragma once
// IEEE 1364 value change dump of the head's traced signals, on the run's own clock (1 us).
#include "sim/SimHead.h"

#include <ostream>
#include <vector>

namespace camhost {

// Writes the dump of events up to end. Changes of one signal at the same instant (a
// pulse's rise and fall, a burst of SPI frames on the virtual clock) are spread 1 us
// apart so that each stays visible.
void writeVcd(std::ostream& out, std::vector<sim::TraceEvent> events, sim::Micros end);

// The head's trace, with the drives of GPIO lines the trace does not cover.
std::vector<sim::TraceEvent> headSignals(const sim::Head& head);

} // namespace camhost
