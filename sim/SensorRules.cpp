// What the sensor chip needs before it latches an SPI frame, the codes and row bands it
// refuses, and what it must not be sent while it reads a frame out.
#include "sim/HeadImpl.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace sim {
namespace {

constexpr uint32_t kMaxSpiHz = 4000000;
// Power-up timing (see docs/strict-head.md): the sensor takes SPI only after a reset pulse
// of kResetPulse with its master clock off, kResetSettle after the release, and with the
// clock on for kClockSettle. Ours: the plug-in's own delays taken as the sensor's minima.
constexpr Micros kResetPulse{300000};
constexpr Micros kResetSettle{10000};
constexpr Micros kClockSettle{10};
// The sensor's own rails (every ADC channel but the input supplies 0, 4 and 7) come up
// with the release, linearly over kResetSettle. Ours: the board's regulators follow XRESET.
constexpr bool kSwitchedRail[8] = {false, true, true, true, false, true, true, false};

// Since when the master clock has been on without a break; nothing while it is off.
std::optional<Micros> clockOnSince(const Head::Impl& h) {
    std::optional<Micros> since;
    for (auto edge = h.gpioEdges.rbegin(); edge != h.gpioEdges.rend(); ++edge) {
        if (edge->name != "MCLK_ENABLE")
            continue;
        if (edge->level == 0)
            break;
        since = edge->time;
    }
    return since;
}

std::string frameText(const SpiFrame& frame) {
    std::ostringstream text;
    text << "frame for register 0x" << std::hex << frame.reg << " = 0x" << frame.value;
    return text.str();
}

// Bits of a register that set the readout's geometry or timing: the line length, the
// vertical mode, the row band.
uint32_t readoutBits(uint16_t reg) {
    switch (reg) {
    case 0x00:
        return 0x1FFFu << 10;
    case 0x03:
        return 0x7u << 15;
    case 0x04:
        return 0x0FFFFFFFu;
    default:
        return 0;
    }
}

// A frame that changes how the sensor reads out, latched while it reads a frame out,
// corrupts that frame.
void checkReadoutChange(Head::Impl& h, const SpiFrame& frame) {
    const uint32_t bits = readoutBits(frame.reg);
    if (bits == 0 || !h.frames.readingOut(frame.time))
        return;
    const auto held = h.chip.find(frame.reg);
    const uint32_t old = held == h.chip.end() ? 0 : held->second;
    if (((old ^ frame.value) & bits) == 0)
        return;
    h.violate("changed-during-readout",
              frameText(frame) + " while the sensor reads a frame out until " +
                  std::to_string(h.frames.readoutEndsAt().count()) + " us");
}

// Codes the sensor takes, as its own setters accept them: gain (0x7A bits 8..5), frame
// state (0x03 bits 20..18), vertical mode (0x03 bits 17..15).
bool gainAccepted(uint32_t code) {
    return code == 3 || code == 7 || code == 12 || code == 13 || code == 15;
}
bool frameStateAccepted(uint32_t state) {
    return state == 0 || state == 1 || state == 3 || state == 4;
}
constexpr uint32_t kVerticalModeCodes = 6; // codes 0..5: factors 1, 2, 3, 5, 7, 15

// Sensor rows the band may cover (image rows 0..9183), read in blocks of four.
constexpr uint32_t kFirstSensorRow = 32, kLastSensorRow = 9215;

// Why the chip refuses the value a well-formed frame carries; empty when it takes it.
std::string refusal(const SpiFrame& frame) {
    std::ostringstream why;
    if (frame.reg == 0x7A) {
        const uint32_t gain = (frame.value >> 5) & 0xF;
        if (!gainAccepted(gain))
            why << "gain code " << gain << " (the sensor takes 3, 7, 12, 13, 15)";
    } else if (frame.reg == 0x03) {
        const uint32_t state = (frame.value >> 18) & 0x7, mode = (frame.value >> 15) & 0x7;
        if (!frameStateAccepted(state))
            why << "frame state " << state << " (the sensor takes 0, 1, 3, 4)";
        else if (mode >= kVerticalModeCodes)
            why << "vertical mode code " << mode << " (the sensor takes 0 to 5)";
    } else if (frame.reg == 0x04) {
        const uint32_t rowS = frame.value & 0x3FFF, rowE = (frame.value >> 14) & 0x3FFF;
        if (rowS % 4 != 0 || rowE % 4 != 3 || rowS < kFirstSensorRow || rowE > kLastSensorRow ||
            rowE < rowS)
            why << "row band RowS " << std::dec << rowS << ", RowE " << rowE
                << " (whole blocks of 4 rows within rows 32..9215, RowE after RowS)";
    }
    return why.str();
}

} // namespace

void sensorLineDriven(Head::Impl& h, const std::string& name, int before, int level) {
    if (before == level)
        return;
    SensorPowerModel& p = h.power;
    const Micros now = Clock::now();
    const int clock = [&h] {
        const auto found = h.gpioLevels.find("MCLK_ENABLE");
        return found == h.gpioLevels.end() ? 0 : found->second;
    }();
    if (name == "MCLK_ENABLE") {
        if (level == 0)
            p.clockOffSince = now;
        else if (!p.resetHighSince)
            h.violate("clock-during-reset",
                      "master clock enabled while XRESET holds the sensor in reset");
        return;
    }
    if (name != "XRESET")
        return;
    if (level == 0) {
        p.resetLowSince = now;
        p.resetHighSince.reset();
        p.resetTaken = false;
        return;
    }
    // Released: the pulse is the time reset was low with the clock off.
    const Micros pulse = now - std::max(p.resetLowSince, p.clockOffSince);
    p.resetHighSince = now;
    p.resetTaken = true;
    if (clock == 1) {
        h.violate("clock-during-reset", "XRESET released with the master clock running");
        p.resetTaken = false;
    } else if (pulse < kResetPulse) {
        h.violate("reset-pulse-short", "XRESET released after a reset pulse of " +
                                           std::to_string(pulse.count()) +
                                           " us with the clock off, where the sensor needs " +
                                           std::to_string(kResetPulse.count()) + " us");
        p.resetTaken = false;
    }
}

float railLevel(const Head::Impl& h, int channel) {
    if (channel < 0 || channel > 7 || !kSwitchedRail[channel])
        return 1.0f;
    if (!h.power.resetHighSince)
        return 0.0f;
    const Micros up = Clock::now() - *h.power.resetHighSince;
    return up >= kResetSettle
               ? 1.0f
               : static_cast<float>(up.count()) / static_cast<float>(kResetSettle.count());
}

bool spiFrameLatched(Head::Impl& h, const SpiFrame& frame) {
    // Every rule the frame breaks is logged, not only the first.
    bool latched = true;
    const std::optional<SpiConfigSeen>& port = h.spiConfig;
    if (!port || port->mode != 0 || port->lsbFirst != 0 || port->bitsPerWord != 8 ||
        port->speedHz == 0 || port->speedHz > kMaxSpiHz) {
        h.violate("spi-port-unconfigured",
                  frameText(frame) +
                      " before the port was set to mode 0, MSB first, 8 bits, at most 4 MHz");
        latched = false;
    }
    const auto reset = h.gpioLevels.find("XRESET");
    if (reset == h.gpioLevels.end() || reset->second == 0) {
        h.violate("spi-in-reset", frameText(frame) + " while XRESET holds the sensor in reset");
        latched = false;
    } else if (!h.power.resetTaken) {
        h.violate("spi-before-reset-settled",
                  frameText(frame) + " after a reset the sensor did not take");
        latched = false;
    } else if (frame.time - *h.power.resetHighSince < kResetSettle) {
        h.violate("spi-before-reset-settled",
                  frameText(frame) + " " +
                      std::to_string((frame.time - *h.power.resetHighSince).count()) +
                      " us after XRESET was released, where the sensor needs " +
                      std::to_string(kResetSettle.count()) + " us");
        latched = false;
    }
    const std::optional<Micros> clockOn = clockOnSince(h);
    if (!clockOn || frame.time - *clockOn < kClockSettle) {
        h.violate("spi-without-clock",
                  frameText(frame) + (clockOn ? " less than 10 us after the master clock started"
                                              : " while the master clock is off"));
        latched = false;
    }
    const std::string refused = refusal(frame);
    if (!refused.empty()) {
        h.violate(frame.reg == 0x04 ? "row-band-invalid" : "sensor-code-invalid",
                  frameText(frame) + ": " + refused);
        latched = false;
    }
    if (latched)
        checkReadoutChange(h, frame);
    return latched;
}

} // namespace sim
