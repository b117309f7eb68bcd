// One timeline: random scripts of timing, region, trigger and capture commands, and the
// head's records (pulses, frames, violations, waveform changes) never stamped before the
// command that caused them nor before the record logged ahead of them.
#include "FramesFixture.h"
#include "support/RegisterFileWords.h"

#include "fpgacores/tcPwm.h"
#include "sim/HeadImpl.h"

#include <random>
#include <sstream>

namespace frames_test {
namespace {

using Vistrel::ROI;

// Everything the head recorded so far, in the order it was recorded.
struct Records {
    std::vector<sim::TraceEvent> trace;
    std::vector<FrameRecord> frames;
    std::vector<sim::Violation> violations;
};

Records recorded() {
    sim::Head& head = sim::Head::instance();
    Records r;
    r.frames = sim::frames::records(); // steps the head to now first
    r.violations = head.violations();
    std::lock_guard<std::mutex> lock(head.impl().mutex);
    r.trace.assign(head.impl().trace.begin(), head.impl().trace.end());
    return r;
}

class FrameTimelineTest : public FramesTest {
protected:
    // One random command; returns its name for the failure message.
    std::string randomCommand(std::mt19937& random, tcPwm& pwm) {
        const auto pick = [&random](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        auto& b = *board;
        switch (pick(0, 11)) {
        case 0:
            b.setExposure(pick(1, 40) * 3000);
            return "exposure";
        case 1:
            b.setFrameInterval(pick(1, 40) * 5000);
            return "interval";
        case 2: {
            const int height = pick(1, 200) * 4, width = pick(1, 100) * 8;
            b.setROI(ROI(pick(0, 1000) * 4, pick(0, 1000) * 8, width, height));
            return "roi";
        }
        case 3:
            b.setTrigger(pick(0, 1) == 0 ? Vistrel::eeFreeRunning : Vistrel::eeExternalTrigger);
            return "trigger";
        case 4:
        case 5:
            b.start();
            return "start";
        case 6:
            b.stop();
            return "stop";
        case 7:
            b.Handler(0, 1);
            return "notify";
        case 8:
            writeWord(words::verticalFactor, static_cast<uint32_t>(pick(1, 2)));
            return "vertical factor";
        case 9:
            // Behind the board's back: the pulse period shortened or stretched mid-run.
            pwm.setPeriodTime(std::chrono::microseconds(pick(2, 30) * 5000));
            return "pwm period";
        default:
            sleep(Micros(pick(0, 400000)));
            return "sleep";
        }
    }
};

TEST_F(FrameTimelineTest, RandomScriptsNeverStampARecordBeforeItsCause) {
    // Catches a period change that lays pulses (and their frames) before the change, a
    // violation logged when the model caught up rather than at its pulse, and a frame or
    // waveform change stamped before the command that produced it.
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        resetHeadWith([](sim::HeadConfig&) {});
        readyBoard();
        tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
        ASSERT_TRUE(pwm.initialized());
        std::mt19937 random(seed);
        Records before = recorded();
        for (int step = 0; step < 60; ++step) {
            const Micros cause = sim::Clock::now();
            const std::string command = randomCommand(random, pwm);
            const Records after = recorded();
            const std::string where = "step " + std::to_string(step) + " (" + command + ")";

            for (size_t i = before.trace.size(); i < after.trace.size(); ++i)
                ASSERT_GE(after.trace[i].time, cause) << where << ": " << after.trace[i].signal;
            for (size_t i = before.frames.size(); i < after.frames.size(); ++i) {
                const FrameRecord& frame = after.frames[i];
                ASSERT_GE(frame.time, cause) << where << ": frame " << frame.index;
                ASSERT_LE(frame.exposureStart, frame.time) << where;
                if (i > 0) {
                    ASSERT_GT(frame.time, after.frames[i - 1].time) << where;
                }
            }
            for (size_t i = before.violations.size(); i < after.violations.size(); ++i) {
                const sim::Violation& violation = after.violations[i];
                ASSERT_GE(violation.time, cause) << where << ": " << violation.rule;
                if (i > 0) {
                    ASSERT_GE(violation.time, after.violations[i - 1].time) << where;
                }
            }
            before = after;
        }
        board->stop();
        // Pulses in the order logged are in time order, one period or more apart.
        Micros last{-1};
        for (const sim::TraceEvent& event : before.trace)
            if (event.signal == "pwm.pulse" && event.value == 1) {
                ASSERT_GT(event.time, last);
                last = event.time;
            }
        // The behind-the-back period may be shorter than a readout: that rule, and only it.
        for (const sim::Violation& violation : head().violations())
            EXPECT_EQ(violation.rule, "readout-overrun")
                << violation.time.count() << " us: " << violation.reason;
        board.reset();
    }
    for (const sim::Violation& violation : head().violations())
        expectViolation(violation.rule); // the last seed's, checked above
}

} // namespace
} // namespace frames_test
