#pragma once
// IEEE 1364 value change dump of the head's signals, on the run's own clock (1 us). Every
// change is shown at its true time; pulses keep their physical width.
#include "sim/SimHead.h"

#include <ostream>
#include <vector>

namespace camhost {

// A signal high from start for width, then low again. Pulses of one signal that overlap
// show as one.
struct tsPulse {
    sim::Micros start;
    sim::Micros width;
    std::string signal;
};

struct tsWaveform {
    std::vector<sim::TraceEvent> changes; // levels and values, from their time on
    std::vector<tsPulse> pulses;
    std::vector<sim::TraceEvent> events; // instants without a level (VCD events)
    sim::Micros end{0};
};

// The head's signals up to now: its trace, the PWM's pulses (duty time wide), each SPI
// frame's strobe (its bytes at the port's clock and the port's delay) and a frame count,
// ADC conversions.
tsWaveform headWaveform(const sim::Head& head);

// Writes the dump. Of several changes of one signal at one instant the last one shows.
void writeVcd(std::ostream& out, const tsWaveform& waveform);

} // namespace camhost
