// The frame pulse train, and the rule that pulses into a capture need an aligned receiver.
// The head steps it to each instant before anything changes there, so every pulse runs
// under the state in force at its time and is recorded in time order.
#include "sim/HeadImpl.h"

#include <string>

namespace sim {

void Head::Impl::stepPwm(Micros now) {
    const long long period = pwm.periodUs;
    if (pwm.enabled && period > 0) {
        const long long elapsed = (now - pwmModel.phaseStart).count();
        const long long due = elapsed / period; // pulses at phaseStart + k * period, k >= 1
        for (long long k = pwmModel.index + 1; k <= due; ++k) {
            const Micros at = pwmModel.phaseStart + Micros(k * period);
            traceAt(at, "pwm.pulse", 1);
            traceAt(at, "pwm.pulse", 0);
            frames.onPulse(*this, at);
            // The sensor reads out on each pulse; an unaligned receiver loses the frame.
            const bool breach = chipFrameState() != 0 && !rx.aligned;
            if (breach && !pulseBreach)
                violateAt(at, "pulses-unaligned",
                          "frame-sync pulses while the sensor is in capture frame state " +
                              std::to_string(chipFrameState()) +
                              " and the receiver is not aligned");
            pulseBreach = breach;
            ++pwm.pulses;
            pwmModel.index = k;
        }
    }
    frames.settle(*this, now);
}

} // namespace sim
