// The frame receiver on the head's clock: its PLL locks only while the core is enabled and
// the sensor runs; each lane's DPA locks only after a reset released in training order,
// with the lane's inversion set as the board wires it;
// the deserializer aligns only with every lane locked and held and the FIFOs running.
#include "sim/HeadImpl.h"

#include <sstream>

namespace sim {
namespace {

constexpr long long kDpaPollUs = 10000; // the plug-in's DPA poll
// The lock word's bits 31..28: the DPA block's four channels beyond the sensor's 28 lanes
// have no input and read as locked. (Ours: the core leaves them undefined; set bits are
// what a reader that forgets to mask them must meet.)
constexpr uint32_t kDpaUnwiredChannels = 0xF0000000;

std::string hex(uint32_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

// Time from its training start until lane locks: the locked set grows over polls.
Micros laneLockTime(int lane, int polls) {
    if (polls <= 0)
        return Micros(0);
    const long long total = polls * kDpaPollUs;
    return Micros(((lane + 1) * total + kLanes - 1) / kLanes);
}

// True once ready has held for delay without a break (never for a null delay); since keeps
// when the present stretch began.
bool heldFor(bool ready, std::optional<Micros>& since, const std::optional<Micros>& delay,
             Micros now) {
    if (!ready)
        since.reset();
    else if (!since)
        since = now;
    return ready && delay && now - *since >= *delay;
}

} // namespace

void Head::Impl::stepReceiver() {
    if (window == nullptr)
        return;
    const Micros now = Clock::now();
    // Keeps a traced signal's value and traces it when it changed.
    const auto keep = [this](auto& kept, auto value, const char* signal) {
        if (value != kept) {
            kept = value;
            traceNow(signal, value);
        }
    };
    const bool enabled = (word(frame::base + frame::control) & kRxEnable) != 0;
    keep(rx.enabled, enabled, "rx.enable");

    // The PLL locks onto the sensor's clock: out of reset with its master clock on.
    const auto level = [this](const char* line) {
        const auto found = gpioLevels.find(line);
        return found == gpioLevels.end() ? 0 : found->second;
    };
    const bool running = enabled && level("XRESET") == 1 && level("MCLK_ENABLE") == 1;
    const bool locked = heldFor(running, rx.pllReadySince, config.pllLockDelay, now);
    if (!locked)
        rx.trained = 0; // without the clock every lane loses its phase

    // A lane inverted otherwise than the board wires it has no pattern to train on, and
    // one whose inversion changes after training loses it: its training must start over.
    rx.trained &= ~((word(frame::base + frame::laneInversion) ^ config.laneInversion) & kAllLanes);

    const uint32_t inReset = word(frame::base + frame::dpaReset) & kAllLanes;
    uint32_t lanesLocked = 0;
    for (int lane = 0; lane < kLanes; ++lane) {
        const uint32_t bit = 1u << lane;
        if ((rx.trained & bit) != 0 && (inReset & bit) == 0 && (config.dpaLockMask & bit) != 0 &&
            now - rx.trainedAt[static_cast<size_t>(lane)] >=
                laneLockTime(lane, config.dpaLockPolls))
            lanesLocked |= bit;
    }

    const bool held = (word(frame::base + frame::dpaHold) & kAllLanes) == kAllLanes;
    const bool fifosRunning = (word(frame::base + frame::dpaFifoReset) & kAllLanes) == 0;
    const bool ready = locked && lanesLocked == kAllLanes && held && fifosRunning;
    const bool aligned = heldFor(ready, rx.alignReadySince, config.alignDelay, now);

    uint32_t status = word(frame::base + frame::status) & ~(kRxPllLocked | kRxAligned);
    if (locked)
        status |= kRxPllLocked;
    if (aligned)
        status |= kRxAligned;
    setWord(frame::base + frame::status, status);
    setWord(frame::base + frame::dpaLock, kDpaUnwiredChannels | lanesLocked);
    keep(rx.dpaLock, lanesLocked, "dpa.lock");
    keep(rx.locked, locked, "rx.pllLocked");
    keep(rx.aligned, aligned, "rx.aligned");
}

void Head::Impl::receiverWritten(uint32_t offset, uint32_t old, uint32_t value) {
    // The receiver cuts the frame in flight with its region registers as they are.
    const bool region =
        offset == frame::roiResolution || offset == frame::blankOffset || offset == frame::roiStart;
    if (region && old != value && frames.readingOut(Clock::now()))
        violate("changed-during-readout",
                "receiver region register 0x" + hex(offset).substr(2) + " set from " + hex(old) +
                    " to " + hex(value) + " while the sensor reads a frame out until " +
                    std::to_string(frames.readoutEndsAt().count()) + " us");
    const uint32_t released = old & ~value & kAllLanes;
    const uint32_t raised = value & ~old & kAllLanes;
    const uint32_t lanesLocked = word(frame::base + frame::dpaLock) & kAllLanes;
    if (offset == frame::dpaReset) {
        rx.trained &= ~(value & kAllLanes);
        if (released == 0)
            return;
        // A lane trains when its reset is released with the PLL locked, its phase free
        // and its FIFO held in reset.
        const uint32_t hold = word(frame::base + frame::dpaHold) & kAllLanes;
        const uint32_t fifoReset = word(frame::base + frame::dpaFifoReset) & kAllLanes;
        std::string why;
        if (!rx.locked)
            why = "the receiver is not enabled with its PLL locked";
        else if ((released & hold) != 0)
            why = "lanes " + hex(released & hold) + " still hold their phase";
        else if ((released & ~fifoReset) != 0)
            why = "the FIFOs of lanes " + hex(released & ~fifoReset) + " are not in reset";
        if (!why.empty()) {
            violate("dpa-training-order",
                    "DPA reset released on lanes " + hex(released) + " while " + why);
            return;
        }
        // A lane inverted otherwise than the board wires it drops out at the next step.
        rx.trained |= released;
        for (int lane = 0; lane < kLanes; ++lane)
            if ((released & (1u << lane)) != 0)
                rx.trainedAt[static_cast<size_t>(lane)] = Clock::now();
    } else if (offset == frame::dpaHold && (raised & ~lanesLocked) != 0) {
        violate("dpa-training-order",
                "phase held on lanes " + hex(raised & ~lanesLocked) + " before their DPA locked");
    } else if (offset == frame::dpaFifoReset && (released & ~lanesLocked) != 0) {
        violate("dpa-training-order", "FIFO reset released on lanes " +
                                          hex(released & ~lanesLocked) +
                                          " before their DPA locked");
    }
}

} // namespace sim
