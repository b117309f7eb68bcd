// What the sensor chip needs before it latches an SPI frame, and what it must not be sent
// while it reads a frame out.
#include "sim/HeadImpl.h"

#include <sstream>
#include <string>

namespace sim {
namespace {

constexpr uint32_t kMaxSpiHz = 4000000;
constexpr Micros kClockSettle{10};

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

} // namespace

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
    }
    const std::optional<Micros> clockOn = clockOnSince(h);
    if (!clockOn || frame.time - *clockOn < kClockSettle) {
        h.violate("spi-without-clock",
                  frameText(frame) + (clockOn ? " less than 10 us after the master clock started"
                                              : " while the master clock is off"));
        latched = false;
    }
    if (latched)
        checkReadoutChange(h, frame);
    return latched;
}

} // namespace sim
