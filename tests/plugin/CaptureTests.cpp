// Capture start, stop and external triggers on the simulated head's virtual clock.
#include "BringupFixture.h"

#include "sim/FrameworkThreads.h"
#include "sim/SimHead.h"
#include "tests/support/BoardTestAccess.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace bringup {
namespace {

using Vistrel::eeExternalTrigger;
using Vistrel::eeFreeRunning;

const char* const kSyncError = "Error starting capture (failed to get all channels synced)\n";

// Index of the first trace event of signal with value, from position from; -1 if none.
long long traceIndex(const std::vector<sim::TraceEvent>& trace, const std::string& signal,
                     uint64_t value, size_t from = 0) {
    for (size_t i = from; i < trace.size(); ++i)
        if (trace[i].signal == signal && trace[i].value == value)
            return static_cast<long long>(i);
    return -1;
}

// The PWM waits' timeouts after the first from of them.
std::vector<long long> waitsAfter(const sim::PwmState& pwm, size_t from) {
    return std::vector<long long>(pwm.waitTimeoutsUs.begin() + from, pwm.waitTimeoutsUs.end());
}

class Capture : public BringupTest {
protected:
    // How far the head's logs had come, to look at what a start added to them.
    struct LogMarks {
        size_t trace, waits, outputCalls;
    };
    LogMarks logMarks() {
        return {head().trace().size(), head().pwm().waitTimeoutsUs.size(),
                head().frameOutputCalls().size()};
    }
    // What the board printed for a GPIO notification.
    std::string notify(Vistrel::tc120MXSSensorBoard& b, unsigned gpio, unsigned level) {
        testing::internal::CaptureStdout();
        b.Handler(gpio, level);
        return testing::internal::GetCapturedStdout();
    }
    // The PWM was neither waited on nor enabled or disabled since before.
    void expectPwmUntouchedSince(const sim::PwmState& before) {
        EXPECT_EQ(head().pwm().waitTimeoutsUs, before.waitTimeoutsUs);
        EXPECT_EQ(head().pwm().enableLog.size(), before.enableLog.size());
    }
};

TEST_F(Capture, FreeRunningStartLeavesThePwmRunning) {
    // Catches the PWM stopped after the first pulse, or the sensor started before the
    // frame sync runs.
    auto& b = readyBoard();
    const LogMarks from = logMarks();

    ASSERT_EQ(b.start(), 0);

    EXPECT_TRUE(b.isCapturing());
    const sim::PwmState pwm = head().pwm();
    EXPECT_TRUE(pwm.enabled);
    EXPECT_TRUE(pwm.interruptsEnabled);
    EXPECT_EQ(waitsAfter(pwm, from.waits), (std::vector<long long>{0, b.getFrameInterval() / 2}));
    EXPECT_NE(chipFrameState(), 0u);
    const auto trace = head().trace();
    const long long pwmOn = traceIndex(trace, "pwm.enable", 1, from.trace);
    ASSERT_GE(pwmOn, 0);
    const long long sensorOn = traceIndex(trace, "sensor.frameState", chipFrameState(), from.trace);
    EXPECT_GT(sensorOn, pwmOn);
    EXPECT_FALSE(head().pixelShift().reset);
    EXPECT_FALSE(head().badPixel().reset);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Starting capture..."});
    EXPECT_EQ(head().statusLines()[0].status, Vistrel::tcStatusReporter::eeStatusCapturing);
    EXPECT_EQ(head().frameOutputCalls().size(), from.outputCalls);
}

TEST_F(Capture, SecondStartIsRefusedAndTheCaptureKeepsRunning) {
    // Catches a second start that restarts the PWM or reports success.
    auto& b = readyBoard();
    ASSERT_EQ(b.start(), 0);
    const size_t enables = head().pwm().enableLog.size();

    testing::internal::CaptureStdout();
    EXPECT_EQ(b.start(), 6);
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_NE(out.find(kSyncError), std::string::npos);
    EXPECT_TRUE(b.isCapturing());
    EXPECT_TRUE(head().pwm().enabled);
    EXPECT_EQ(head().pwm().enableLog.size(), enables);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Starting capture..."});
}

TEST_F(Capture, TriggeredStartArmsTheSensorAndStopsThePwm) {
    // Catches a triggered capture that leaves the PWM free running or skips the
    // frame-output set-up.
    sim::HeadConfig config;
    config.frameOutputQ = 0x8123; // doubling overflows 16 bits
    resetHead(config);
    auto& b = readyBoard();
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), 0);
    const LogMarks from = logMarks();

    ASSERT_EQ(b.start(), 0);

    EXPECT_TRUE(b.isCapturing());
    const sim::PwmState pwm = head().pwm();
    EXPECT_FALSE(pwm.enabled);
    ASSERT_GE(pwm.enableLog.size(), 2u);
    EXPECT_TRUE(pwm.enableLog[pwm.enableLog.size() - 2].second);
    EXPECT_EQ(waitsAfter(pwm, from.waits), (std::vector<long long>{0, b.getFrameInterval() / 2}));
    using Calls = std::vector<std::pair<char, int>>;
    const Calls calls = head().frameOutputCalls();
    const Calls expected{{'P', 2}, {'Q', 0x8123}, {'R', 0x0246}};
    EXPECT_EQ(Calls(calls.begin() + from.outputCalls, calls.end()), expected);
    // Here the sensor is armed before the first pulse.
    const auto trace = head().trace();
    const long long sensorOn = traceIndex(trace, "sensor.frameState", chipFrameState(), from.trace);
    const long long pwmOn = traceIndex(trace, "pwm.enable", 1, from.trace);
    ASSERT_GE(sensorOn, 0);
    EXPECT_LT(sensorOn, pwmOn);
}

TEST_F(Capture, TriggerWhileArmedPulsesThePwmForTwoBoundedWaits) {
    // Catches a trigger that leaves the PWM enabled or waits without a bound.
    auto& b = readyBoard();
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), 0);
    ASSERT_EQ(b.start(), 0);
    const sim::PwmState before = head().pwm();

    b.Handler(42, 1);

    const sim::PwmState after = head().pwm();
    const long long bound = b.getFrameInterval() + 100;
    EXPECT_EQ(waitsAfter(after, before.waitTimeoutsUs.size()),
              (std::vector<long long>{0, bound, bound}));
    ASSERT_EQ(after.enableLog.size(), before.enableLog.size() + 2);
    EXPECT_TRUE(after.enableLog[before.enableLog.size()].second);
    EXPECT_FALSE(after.enableLog.back().second);
    EXPECT_FALSE(after.enabled);
    EXPECT_GT(after.pulses, before.pulses);
    // Two waits for pulses, each no longer than its bound.
    const auto elapsed =
        after.enableLog.back().first - after.enableLog[before.enableLog.size()].first;
    EXPECT_LE(elapsed.count(), 2 * bound);
}

TEST_F(Capture, TheCaptureAfterTheNumbersWrapIsStillACapture) {
    // Catches the capture counter wrapping to 0, the number that means idle: that capture
    // would refuse its triggers and let the region change under it.
    auto& b = readyBoard();
    Vistrel::BoardTestAccess::setLastCaptureNumber(b, UINT32_MAX);
    ASSERT_EQ(b.start(), 0);
    EXPECT_TRUE(b.isCapturing());
    EXPECT_EQ(b.setROI(Vistrel::ROI(0, 0, 1024, 1024)), Vistrel::eeCaputreInProgress);
}

TEST_F(Capture, ATriggerArrivingWhileTheBoardIsDestroyedDoesNothing) {
    // Catches a notification let into a board whose destruction has begun: it would pulse
    // the PWM and use members that are about to go.
    auto& b = readyBoard();
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), 0);
    ASSERT_EQ(b.start(), 0);
    Vistrel::BoardTestAccess::closeLifetime(b); // as the destructor does
    const sim::PwmState before = head().pwm();

    EXPECT_EQ(notify(b, 42, 1), "");
    expectPwmUntouchedSince(before);
}

TEST_F(Capture, NotificationOutsideATriggeredCaptureOnlyPrints) {
    // Catches a notification that drives the PWM while idle or during free running.
    auto& b = readyBoard();
    const sim::PwmState idle = head().pwm();
    EXPECT_EQ(notify(b, 7, 1), "tc120MXSSensorBoard::Handler: gpio 7 notification. currently 1\n");
    expectPwmUntouchedSince(idle);

    ASSERT_EQ(b.start(), 0); // free running
    const sim::PwmState running = head().pwm();
    EXPECT_EQ(notify(b, 3, 0), "tc120MXSSensorBoard::Handler: gpio 3 notification. currently 0\n");
    expectPwmUntouchedSince(running);
    EXPECT_TRUE(head().pwm().enabled);

    // Trigger mode, but no capture: before the first start and after a stop.
    ASSERT_EQ(b.stop(), 0);
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), 0);
    const sim::PwmState armed = head().pwm();
    notify(b, 5, 1);
    expectPwmUntouchedSince(armed);
}

TEST_F(Capture, StartSettles40MicrosecondsAroundThePulseGenerator) {
    // Catches a settle wait of start() dropped or shortened: the sensor's frame state and
    // the first frame sync would then come at once.
    auto& b = readyBoard();
    const long long half = b.getFrameInterval() / 2;
    const auto timeOf = [](const std::vector<sim::TraceEvent>& trace, const std::string& signal,
                           uint64_t value, size_t from) {
        const long long i = traceIndex(trace, signal, value, from);
        return i < 0 ? -1 : static_cast<long long>(trace[size_t(i)].time.count());
    };

    // The bus time of the writes made from instant since until instant until: the settle
    // waits are the rest.
    const auto busBetween = [this](long long since, long long until) {
        long long total = 0;
        for (const sim::SpiFrame& frame : head().spiFrames())
            if (frame.time.count() >= since && frame.released.count() <= until)
                total += (frame.released - frame.time).count();
        return total;
    };

    // Free running: wait, pulses on, half a frame for the first pulse, wait, frame state.
    size_t from = head().trace().size();
    long long begin = sim::Clock::now().count();
    ASSERT_EQ(b.start(), 0);
    auto trace = head().trace();
    const long long pwmOn = timeOf(trace, "pwm.enable", 1, from);
    EXPECT_EQ(pwmOn - begin - busBetween(begin, pwmOn), 40);
    EXPECT_EQ(timeOf(trace, "sensor.frameState", chipFrameState(), from) - pwmOn, half + 40);
    ASSERT_EQ(b.stop(), 0);

    // Triggered: frame state, wait, one pulse window, pulses off, wait.
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), 0);
    from = head().trace().size();
    ASSERT_EQ(b.start(), 0);
    const long long end = sim::Clock::now().count();
    trace = head().trace();
    const long long armedAt = timeOf(trace, "sensor.frameState", chipFrameState(), from);
    const long long triggerOn = timeOf(trace, "pwm.enable", 1, from);
    // The wait follows the frame state's write returning.
    EXPECT_EQ(triggerOn - armedAt - busBetween(armedAt, triggerOn), 40);
    EXPECT_EQ(timeOf(trace, "pwm.enable", 0, from) - triggerOn, half);
    EXPECT_EQ(end - timeOf(trace, "pwm.enable", 0, from), 40);
}

TEST_F(Capture, StopWhileIdleStillWaitsAFrameAndResetsThePipeline) {
    // Catches a stop that skips the frame wait or the pipeline reset when nothing ran.
    auto& b = readyBoard();
    const sim::Micros before = sim::Clock::now();

    EXPECT_EQ(b.stop(), 0);

    EXPECT_GE((sim::Clock::now() - before).count(), b.getFrameInterval());
    EXPECT_FALSE(b.isCapturing());
    EXPECT_FALSE(head().pwm().enabled);
    EXPECT_TRUE(head().pixelShift().reset);
    EXPECT_TRUE(head().badPixel().reset);
    EXPECT_EQ(statusTexts(), std::vector<std::string>{"Ending capture..."});
    EXPECT_EQ(head().statusLines()[0].status, Vistrel::tcStatusReporter::eeStatusStopped);
}

TEST_F(Capture, StopEndsAFreeRunningCapture) {
    // Catches a stop that leaves the sensor exposing or the PWM running.
    auto& b = readyBoard();
    ASSERT_EQ(b.start(), 0);
    ASSERT_NE(chipFrameState(), 0u);

    EXPECT_EQ(b.stop(), 0);

    EXPECT_EQ(chipFrameState(), 0u);
    EXPECT_FALSE(head().pwm().enabled);
    EXPECT_TRUE(head().pixelShift().reset);
    EXPECT_FALSE(b.isCapturing());
    // A new capture can start again.
    EXPECT_EQ(b.start(), 0);
}

TEST_F(Capture, StartWaitsHalfAnOddFrameIntervalTruncated) {
    // Catches the half-interval wait rounded up or computed from a stale interval.
    auto& b = readyBoard();
    ASSERT_EQ(b.setROI(Vistrel::ROI(0, 0, 13280, 1000)), 0);
    b.setFrameInterval(1); // raised to the readout time of the smaller region, unrounded
    const long long interval = b.getFrameInterval();
    const size_t waitsBefore = head().pwm().waitTimeoutsUs.size();

    ASSERT_EQ(b.start(), 0);

    const std::vector<long long> waits = head().pwm().waitTimeoutsUs;
    ASSERT_EQ(waits.size(), waitsBefore + 2);
    EXPECT_EQ(waits.back(), interval / 2);
    EXPECT_NE(interval, 106600); // the interval followed the region
}

TEST_F(Capture, HandlerStormWhileTheHostStartsAndStops) {
    // Catches data races between the notification thread and capture control, and a
    // trigger burst that outlives the capture it belonged to.
    auto& b = readyBoard();
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), 0);
    std::atomic<bool> done{false};
    testing::internal::CaptureStdout();
    std::thread notifier([&] {
        unsigned level = 0;
        while (!done.load()) {
            b.Handler(42, level);
            level ^= 1u;
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 40; ++round) {
        EXPECT_EQ(b.start(), 0);
        b.Handler(42, 1);
        EXPECT_EQ(b.stop(), 0);
    }
    done = true;
    notifier.join();
    testing::internal::GetCapturedStdout();

    EXPECT_FALSE(b.isCapturing());
    EXPECT_FALSE(head().pwm().enabled);
    EXPECT_EQ(chipFrameState(), 0u);
}

// Runs call on a thread that holds the framework's board mutex, as a framework that
// serialises its own calls does, and returns its answer. A deadlock ends the test process:
// the threads stuck in it cannot be joined.
int underFrameworkMutex(Vistrel::tc120MXSSensorBoard& b, const std::function<int()>& call,
                        const std::function<void()>& whileHeld = {}) {
    pthread_mutex_t* const mutex = Vistrel::BoardTestAccess::boardMutex(b);
    std::promise<int> answer;
    std::future<int> answered = answer.get_future();
    std::thread([&, mutex] {
        pthread_mutex_lock(mutex);
        if (whileHeld)
            whileHeld();
        const int result = call();
        pthread_mutex_unlock(mutex);
        answer.set_value(result);
    }).detach();
    if (answered.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        std::cerr << "deadlock: the call under the framework's board mutex did not return"
                  << std::endl;
        std::_Exit(EXIT_FAILURE);
    }
    return answered.get();
}

TEST_F(Capture, StopUnderTheFrameworksMutexEndsATriggeredCapture) {
    // Catches a triggered frame that waits for the board mutex while it holds the capture
    // mutex: stop(), called with the framework's board mutex held, then waits for the
    // frame's capture mutex for ever.
    auto& b = readyBoard();
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), 0);
    ASSERT_EQ(b.start(), 0);
    testing::internal::CaptureStdout();
    const auto triggerArrives = [&] {
        sim::notifyGpio(b, 7, 1);
        // Time for the frame to reach the locks it takes (a few microseconds).
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    EXPECT_EQ(underFrameworkMutex(
                  b, [&] { return b.stop(); }, triggerArrives),
              0);
    sim::waitForGpioNotifications();
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(b.isCapturing());
    EXPECT_FALSE(head().pwm().enabled);
}

TEST_F(Capture, StopUnderTheFrameworksMutexWhileAStartWaitsForIt) {
    // Catches start() taking the capture mutex before the board mutex: waiting for the
    // board mutex the framework holds, it keeps the capture mutex from the framework's own
    // stop(), and neither returns.
    auto& b = readyBoard();
    Vistrel::tcBoardTurns& turns = Vistrel::BoardTestAccess::turns(b);
    std::future<int> started;
    const int stopped = underFrameworkMutex(
        b, [&] { return b.stop(); },
        [&] {
            started = std::async(std::launch::async, [&b] { return b.start(); });
            while (turns.hostsWaiting() == 0) // start() waits for the board mutex
                std::this_thread::yield();
        });
    EXPECT_EQ(stopped, 0);
    EXPECT_EQ(started.get(), 0); // it came after the stop
    EXPECT_TRUE(b.isCapturing());
    EXPECT_EQ(b.stop(), 0);
}

} // namespace
} // namespace bringup
