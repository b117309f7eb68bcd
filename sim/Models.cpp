// The frame pulse train, and the rule that pulses into a capture need an aligned receiver.
#include "sim/HeadImpl.h"

#include <algorithm>
#include <string>

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
    // The sensor reads out on each pulse; an unaligned receiver loses the frame.
    const bool breach = chipFrameState() != 0 && !rx.aligned;
    if (breach && !pulseBreach)
        violate("pulses-unaligned",
                "frame-sync pulses while the sensor is in capture frame state " +
                    std::to_string(chipFrameState()) + " and the receiver is not aligned");
    pulseBreach = breach;
    pwm.pulses += fresh;
    pwmModel.index = due;
}

} // namespace sim
