// What the sensor chip needs before it latches an SPI frame.
#include "sim/HeadImpl.h"

#include <sstream>

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
    return latched;
}

} // namespace sim
