#include "support/TestSupport.h"

#include "fpgacores/tcPwm.h"

#include <chrono>
#include <stdexcept>

namespace {

using std::chrono::microseconds;

class PwmTest : public testsupport::HeadTest {
protected:
    // A core reports itself ready before use, and runs only with a pulse programmed.
    void SetUp() override {
        HeadTest::SetUp();
        ASSERT_TRUE(pwm.initialized());
        pwm.setDutyTime(microseconds(1));
    }
    tcPwm pwm{0xFF211000, 45.0, "/dev/uio1"};
};

TEST_F(PwmTest, LongTimeoutCostsNoRealTimeOnTheVirtualClock) {
    // Catches a wait that really sleeps: a 20 s hardware timeout would stall every test.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(pwm.waitForInterrupt(microseconds(20000000)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(sim::Clock::now(), sim::Micros(20000000));
    const auto state = head().pwm();
    EXPECT_EQ(state.waits, 1);
    EXPECT_EQ(state.waitTimeoutsUs, (std::vector<long long>{20000000}));
}

TEST_F(PwmTest, WaitsEndAtPulsesAndPulsesAreCounted) {
    // Catches a wait that returns before the pulse, misses it, or counts it twice.
    pwm.setPeriodTime(microseconds(1000));
    pwm.enableInterrupts(true, true);
    EXPECT_FALSE(pwm.waitForInterrupt(microseconds(0))); // disabled: returns at once
    EXPECT_EQ(sim::Clock::now(), sim::Micros(0));
    pwm.enableCore(true);
    EXPECT_FALSE(pwm.waitForInterrupt(microseconds(500))); // first pulse at 1000
    EXPECT_EQ(sim::Clock::now(), sim::Micros(500));
    EXPECT_TRUE(pwm.waitForInterrupt(microseconds(1100)));
    EXPECT_EQ(sim::Clock::now(), sim::Micros(1000));
    EXPECT_FALSE(pwm.waitForInterrupt(microseconds(0))); // that pulse is taken
    EXPECT_TRUE(pwm.waitForInterrupt(microseconds(1000)));
    EXPECT_EQ(sim::Clock::now(), sim::Micros(2000));
    EXPECT_EQ(head().pwm().pulses, 2);

    sim::Clock::sleepFor(sim::Micros(3500)); // pulses at 3000, 4000, 5000 pass unwaited
    EXPECT_EQ(head().pwm().pulses, 5);
    pwm.enableCore(false);
    sim::Clock::sleepFor(sim::Micros(10000));
    const auto state = head().pwm();
    EXPECT_EQ(state.pulses, 5);
    ASSERT_EQ(state.enableLog.size(), 2u);
    EXPECT_EQ(state.enableLog[0], std::make_pair(sim::Micros(0), true));
    EXPECT_EQ(state.enableLog[1], std::make_pair(sim::Micros(5500), false));
    EXPECT_TRUE(state.interruptsEnabled);
}

TEST_F(PwmTest, TimeSettersRefuseWhatTheTickCountersCannotHold) {
    // Catches a period of 0 or a tick overflow written silently to the core.
    EXPECT_THROW(pwm.setPeriodTime(microseconds(0)), std::runtime_error);
    EXPECT_THROW(pwm.setPeriodTime(microseconds(-5)), std::runtime_error);
    EXPECT_THROW(pwm.setDutyTime(microseconds(-1)), std::runtime_error);
    // 95443717 us * 45 MHz is just below 2^32 ticks; one more microsecond is above.
    EXPECT_NO_THROW(pwm.setPeriodTime(microseconds(95443717)));
    EXPECT_THROW(pwm.setPeriodTime(microseconds(95443718)), std::runtime_error);
    EXPECT_THROW(pwm.setDutyTime(microseconds(95443718)), std::runtime_error);
    try {
        pwm.setPeriodTime(microseconds(95443718));
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("setPeriodTime"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("95443718"), std::string::npos);
    }
    EXPECT_EQ(head().pwm().periodUs, 95443717);
}

TEST_F(PwmTest, DownCoreReportsNotInitialized) {
    // Catches the fault knob not reaching the core's start-up check.
    EXPECT_TRUE(pwm.initialized());
    head().configure([](sim::HeadConfig& c) { c.pwmDown = true; });
    EXPECT_FALSE(pwm.initialized());
}

} // namespace
