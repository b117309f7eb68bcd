// Frame-sync pulse generator on the simulated head. Pulses come at enable time + k * period
// (k >= 1) while the core is enabled with a period; a new period takes effect at the next
// pulse; waits sleep on the head's clock.
#include "fpgacores/tcPwm.h"

#include "sim/HeadImpl.h"

#include <cstdio>
#include <stdexcept>

namespace {

constexpr double kMaxTicks = 4294967295.0; // the core's 32-bit tick counters

sim::Head::Impl& head() {
    return sim::Head::instance().impl();
}

// The head's clock, when one is configured, stands for the one the core was built with.
void checkTicks(const char* setter, long long us, double builtMhz) {
    double clockMhz = builtMhz;
    {
        sim::Head::Impl& h = head();
        std::lock_guard<std::mutex> lock(h.mutex);
        clockMhz = h.config.pwmClockMhz.value_or(builtMhz);
    }
    const double ticks = static_cast<double>(us) * clockMhz;
    if (ticks > kMaxTicks)
        throw std::runtime_error(std::string("tcPwm::") + setter + ": " + std::to_string(us) +
                                 " us is " + std::to_string(ticks) +
                                 " ticks, more than the 32-bit counter holds");
}

} // namespace

tcPwm::tcPwm(unsigned int base_, double clockMhz_, const char* interruptDevice_)
    : base(base_), clockMhz(clockMhz_),
      interruptDevice(interruptDevice_ == nullptr ? "" : interruptDevice_) {}

tcPwm::~tcPwm() = default;

bool tcPwm::initialized() const {
    return sim::CoreCall::answer(&sim::Head::Impl::pwmReady, &sim::HeadConfig::pwmDown, "tcPwm");
}

void tcPwm::enableCore(bool enable) {
    sim::replay::coreCall("tcPwm", "enableCore");
    sim::CoreCall h(nullptr, "tcPwm", "enableCore"); // usable before initialized()
    const sim::Micros now = sim::Clock::now();
    h->stepPwm(now); // pulses up to now belong to the old state
    h->pwm.enableLog.emplace_back(now, enable);
    if (enable && (h->pwm.periodUs <= 0 || h->pwm.dutyUs <= 0))
        h->violate("pwm-not-programmed", "pulse generator enabled with period " +
                                             std::to_string(h->pwm.periodUs) + " us and duty " +
                                             std::to_string(h->pwm.dutyUs) + " us");
    if (enable == h->pwm.enabled)
        return; // enabling a running core does not restart its period
    h->pwm.enabled = enable;
    h->pwmModel.phaseStart = now;
    h->pwmModel.index = 0;
    h->pwmModel.waitedIndex = 0;
    ++h->pwmModel.epoch;
    h->traceAt(now, "pwm.enable", enable ? 1 : 0);
}

void tcPwm::enableInterrupts(bool enable, bool) {
    sim::replay::coreCall("tcPwm", "enableInterrupts");
    sim::CoreCall h(&sim::Head::Impl::pwmReady, "tcPwm", "enableInterrupts");
    h->pwm.interruptsEnabled = enable;
}

void tcPwm::setInvertPulse(bool invert) {
    sim::replay::coreCall("tcPwm", "setInvertPulse");
    sim::CoreCall h(&sim::Head::Impl::pwmReady, "tcPwm", "setInvertPulse");
    h->pwm.inverted = invert;
}

void tcPwm::setPeriodTime(std::chrono::microseconds period) {
    // Replayed, the record says whether the library threw.
    if (!sim::replay::coreCall("tcPwm", "setPeriodTime")) {
        if (period.count() <= 0)
            throw std::runtime_error("tcPwm::setPeriodTime: period " +
                                     std::to_string(period.count()) + " us is not positive");
        checkTicks("setPeriodTime", period.count(), clockMhz);
    }
    sim::CoreCall h(&sim::Head::Impl::pwmReady, "tcPwm", "setPeriodTime");
    const sim::Micros now = sim::Clock::now();
    h->stepPwm(now);
    // The core loads a new period at the end of the running one: the pulse already counting
    // comes at its time, the new period runs from it. A core not counting starts afresh at
    // its enable.
    const long long old = h->pwm.periodUs;
    if (h->pwm.enabled && old > 0) {
        const sim::Micros next =
            h->pwmModel.phaseStart + sim::Micros((h->pwmModel.index + 1) * old);
        h->pwmModel.phaseStart = next - period;
    } else if (h->pwm.enabled) {
        h->pwmModel.phaseStart = now; // enabled without a period: counting starts now
    }
    h->pwmModel.index = 0;
    h->pwmModel.waitedIndex = 0;
    ++h->pwmModel.epoch;
    h->pwm.periodUs = period.count();
}

void tcPwm::setDutyTime(std::chrono::microseconds duty) {
    if (!sim::replay::coreCall("tcPwm", "setDutyTime")) {
        if (duty.count() < 0)
            throw std::runtime_error("tcPwm::setDutyTime: duty " + std::to_string(duty.count()) +
                                     " us is negative");
        checkTicks("setDutyTime", duty.count(), clockMhz);
    }
    sim::CoreCall h(&sim::Head::Impl::pwmReady, "tcPwm", "setDutyTime");
    h->pwm.dutyUs = duty.count();
}

bool tcPwm::waitForInterrupt(std::chrono::microseconds timeout) {
    if (const auto replayed = sim::replay::coreCall("tcPwm", "waitForInterrupt"))
        return sim::replay::number(*replayed) != 0;
    const sim::Micros limit = timeout.count() > 0 ? sim::Micros(timeout.count()) : sim::Micros(0);
    sim::Head::Impl& h = head();
    bool due = false;
    sim::Micros now{0}, pulseAt{0};
    long long index = 0;
    uint64_t epoch = 0;
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        h.coreReady(h.pwmReady, "tcPwm", "waitForInterrupt");
        ++h.pwm.waits;
        h.pwm.waitTimeoutsUs.push_back(timeout.count());
        now = sim::Clock::now();
        h.stepPwm(now);
        const long long period = h.pwm.periodUs;
        if (h.pwm.enabled && period > 0) {
            // The first pulse at or after now that no wait has answered yet.
            const long long elapsed = (now - h.pwmModel.phaseStart).count();
            index = (elapsed + period - 1) / period;
            if (index < 1)
                index = 1;
            if (index <= h.pwmModel.waitedIndex)
                index = h.pwmModel.waitedIndex + 1;
            pulseAt = h.pwmModel.phaseStart + sim::Micros(index * period);
            if (pulseAt - now <= limit) {
                due = true;
                h.pwmModel.waitedIndex = index;
                epoch = h.pwmModel.epoch;
            }
        }
    }
    if (!due) {
        if (limit.count() > 0)
            sim::Clock::sleepFor(limit);
        return false;
    }
    if (pulseAt > now)
        sim::Clock::sleepFor(pulseAt - now);
    // The pulse came only if nobody stopped or re-timed the core meanwhile.
    std::lock_guard<std::mutex> lock(h.mutex);
    h.stepPwm(sim::Clock::now());
    return h.pwmModel.epoch == epoch && h.pwmModel.index >= index;
}

void tcPwm::dumpRegisters() {
    sim::replay::coreCall("tcPwm", "dumpRegisters");
    const sim::PwmState state = sim::Head::instance().pwm();
    std::printf("PWM enabled %d interrupts %d inverted %d\n", state.enabled ? 1 : 0,
                state.interruptsEnabled ? 1 : 0, state.inverted ? 1 : 0);
    std::printf("PWM period %lld us duty %lld us pulses %lld\n", state.periodUs, state.dutyUs,
                state.pulses);
    std::fflush(stdout);
}
