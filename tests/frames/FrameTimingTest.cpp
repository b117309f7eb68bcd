// When frames come: free running and triggered capture on the virtual clock.
#include "FramesFixture.h"

#include <cstdlib>

namespace frames_test {
namespace {

constexpr Micros kOneSecond{1000000};

TEST_F(FramesTest, FreeRunningDeliversOneFramePerPulseAtTheIntervalAndNoneAfterStop) {
    // Catches a frame read out at the first pulse (nothing was exposed yet), frames at any
    // spacing but the programmed interval, and frames after stop() set frame state 0.
    auto& b = readyBoard();
    ASSERT_EQ(b.start(), 0);
    const Micros pwmOn = lastPwmEnable();
    const long long t = interval();
    ASSERT_EQ(head().pwm().periodUs, t);

    sleep(kOneSecond);
    const Micros stopCalled = sim::Clock::now();
    ASSERT_EQ(b.stop(), 0);
    sleepIntervals(5);

    const std::vector<FrameRecord> all = frames();
    // Pulses at pwmOn + k t; the first one only starts the exposure.
    const long long pulses = (stopCalled - pwmOn).count() / t;
    ASSERT_EQ(static_cast<long long>(all.size()), pulses - 1);
    EXPECT_LE(std::llabs(static_cast<long long>(all.size()) - kOneSecond.count() / t), 1);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].index, static_cast<long long>(i));
        EXPECT_EQ(all[i].time, pwmOn + Micros((static_cast<long long>(i) + 2) * t)) << i;
        EXPECT_FALSE(all[i].triggered);
        EXPECT_EQ(all[i].width, 13280);
        EXPECT_EQ(all[i].height, 9184);
        EXPECT_TRUE(all[i].geometry.empty()) << all[i].geometry;
    }
    EXPECT_LE(all.back().time, stopCalled);
    EXPECT_EQ(sim::frames::count(), static_cast<long long>(all.size()));
}

TEST_F(FramesTest, EachTriggerDeliversOneFrameAndAnIdleNotificationNone) {
    // Catches a frame for each pulse of a trigger's two (or for start's arming pulse), an
    // exposure carried over from one trigger's pulses to the next, and frames from a
    // notification while no capture runs.
    auto& b = readyBoard();
    b.Handler(0, 1); // idle: only printed
    ASSERT_EQ(b.setTrigger(Vistrel::eeExternalTrigger), 0);
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    EXPECT_TRUE(frames().empty()) << "armed, no trigger yet";

    std::vector<Micros> bursts;
    for (int trigger = 0; trigger < 3; ++trigger) {
        b.Handler(0, 1);
        bursts.push_back(lastPwmEnable());
        sleepIntervals(2);
    }
    ASSERT_EQ(b.stop(), 0);
    b.Handler(0, 1);
    sleepIntervals(3);

    const std::vector<FrameRecord> all = frames();
    ASSERT_EQ(all.size(), 3u);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_TRUE(all[i].triggered);
        // Read out at the second pulse of its burst.
        EXPECT_EQ(all[i].time, bursts[i] + Micros(2 * interval())) << i;
    }
}

} // namespace
} // namespace frames_test
