// Time-driven models of the head: the frame receiver's lock and the frame pulse train.
#include "sim/HeadImpl.h"

#include <algorithm>

namespace sim {
namespace {
constexpr long long kMaxTracedPulsesPerStep = 10000;
} // namespace

void Head::Impl::stepPwm(Micros now) {
    const long long period = pwm.periodUs;
    if (!pwm.enabled || period <= 0)
        return;
    const long long elapsed = (now - pwmModel.phaseStart).count();
    const long long due = elapsed / period; // pulses at phaseStart + k * period, k >= 1
    const long long fresh = due - pwmModel.index;
    if (fresh <= 0)
        return;
    // Only the latest pulses of a very long stretch are traced.
    for (long long k = std::max(pwmModel.index + 1, due - kMaxTracedPulsesPerStep + 1); k <= due;
         ++k) {
        const Micros at = pwmModel.phaseStart + Micros(k * period);
        traceAt(at, "pwm.pulse", 1);
        traceAt(at, "pwm.pulse", 0);
    }
    frames.onPulses(*this, pwmModel.phaseStart + Micros((pwmModel.index + 1) * period), period,
                    fresh);
    pwm.pulses += fresh;
    pwmModel.index = due;
}

void Head::Impl::stepReceiver(bool countSleep) {
    if (window == nullptr)
        return;
    const bool enabled = (word(frame::base + frame::control) & kRxEnable) != 0;
    if (enabled != rx.enabled) {
        rx.enabled = enabled;
        rx.polls = 0;
        rx.alignSleeps = 0;
        traceNow("rx.enable", enabled ? 1 : 0);
    }
    if (enabled && countSleep)
        ++rx.polls;

    // Alignment is counted in sleeps once every lane's phase is held.
    const bool held = enabled && word(frame::base + frame::dpaHold) == kAllLanes;
    if (!held)
        rx.alignSleeps = 0;
    else if (countSleep)
        ++rx.alignSleeps;

    // A threshold of 0 presets the bit from reset: the plug-in reads the status right after
    // setting the enable bit, before any sleep could step this model.
    const std::optional<int>& pll = config.pllLockPolls;
    const bool locked = pll.has_value() && (*pll <= 0 || (enabled && rx.polls >= *pll));
    const std::optional<int>& align = config.alignPolls;
    const bool aligned =
        align.has_value() && (*align <= 0 || (held && locked && rx.alignSleeps >= *align));

    uint32_t status = word(frame::base + frame::status) & ~(kRxPllLocked | kRxAligned);
    if (locked)
        status |= kRxPllLocked;
    if (aligned)
        status |= kRxAligned;
    setWord(frame::base + frame::status, status);
    const uint32_t dpaLock = locked ? (config.dpaLockMask & kAllLanes) : 0;
    setWord(frame::base + frame::dpaLock, dpaLock);

    if (locked != rx.locked) {
        rx.locked = locked;
        traceNow("rx.pllLocked", locked ? 1 : 0);
    }
    if (dpaLock != rx.dpaLock) {
        rx.dpaLock = dpaLock;
        traceNow("dpa.lock", dpaLock);
    }
    if (aligned != rx.aligned) {
        rx.aligned = aligned;
        traceNow("rx.aligned", aligned ? 1 : 0);
    }
}

} // namespace sim
