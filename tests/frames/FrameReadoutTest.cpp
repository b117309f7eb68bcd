// What the sensor latches when: the exposure at its start, and the readout, which no pulse
// may cut into and nothing that shapes it may change during.
#include "FramesFixture.h"

#include "fpga/tcRegisterWindow.h"
#include "fpgacores/tcPwm.h"
#include "sim/SimHead.h"
#include "sim/frames/FrameModel.h"
#include "tcSPIDevice.h"

#include <string>

namespace frames_test {
namespace {

using Vistrel::ROI;

using testsupport::sendSensorFrame;

uint32_t chipRegister(uint16_t reg) {
    const auto chip = sim::Head::instance().chipRegisters();
    const auto found = chip.find(reg);
    return found == chip.end() ? 0 : found->second;
}

class FrameReadoutTest : public FramesTest {
protected:
    // Sleeps until `at` on the head's clock.
    static void sleepUntil(Micros at) {
        const Micros now = sim::Clock::now();
        ASSERT_GE(at, now);
        sleep(at - now);
    }
    std::vector<std::string> reasonsOf(const std::string& rule) {
        std::vector<std::string> reasons;
        for (const sim::Violation& violation : head().violations())
            if (violation.rule == rule)
                reasons.push_back(violation.reason);
        return reasons;
    }
};

TEST_F(FrameReadoutTest, EachFrameHasTheExposureInForceWhenItsExposureBegan) {
    // Catches settings latched at the readout pulse (the frame read out after a change
    // made during its exposure shows the new exposure) and at the pulse that started the
    // frame (a change made before the exposure began, after that pulse, is not shown).
    auto& b = readyBoard();
    ASSERT_EQ(b.start(), 0);
    const Micros pwmOn = lastPwmEnable();
    const long long t = interval();
    const long long sample = b.getExposure();
    ASSERT_GT(sample, 60000);

    // The frame read out at pwmOn + 3t began its exposure at about pwmOn + 3t - sample.
    sleepUntil(pwmOn + Micros(3 * t - 10000));
    ASSERT_EQ(b.setExposure(40000), 0);
    const long long shorter = b.getExposure();
    // Right after the pulse at pwmOn + 4t: that frame's exposure has not begun yet.
    sleepUntil(pwmOn + Micros(4 * t + 1000));
    ASSERT_EQ(b.setExposure(20000), 0);
    const long long shortest = b.getExposure();
    sleepUntil(pwmOn + Micros(5 * t + 1000));
    ASSERT_EQ(b.stop(), 0);

    const std::vector<FrameRecord> all = frames();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].time, pwmOn + Micros(3 * t));
    EXPECT_EQ(all[1].exposureUs, sample);
    EXPECT_EQ(all[2].exposureUs, shorter);
    EXPECT_EQ(all[3].exposureUs, shortest);
    for (const FrameRecord& frame : all)
        EXPECT_EQ(frame.exposureStart + Micros(frame.exposureUs), frame.time) << frame.index;
}

TEST_F(FrameReadoutTest, PulsesFasterThanTheReadoutAreFlaggedAndLoseTheirFrames) {
    // Catches a pulse during a readout going unnoticed, and frames delivered faster than
    // the sensor can read them out.
    expectViolation("readout-overrun");
    auto& b = readyBoard();
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    const size_t before = frames().size();
    const long long readout =
        sim::frames::readoutUs(9184, chipRegister(0x00)); // the full frame's band
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    pwm.setPeriodTime(std::chrono::microseconds(readout * 2 / 3));
    sleep(Micros(20 * readout));
    ASSERT_EQ(b.stop(), 0);

    const std::vector<FrameRecord> all = frames();
    ASSERT_GT(all.size(), before + 3);
    for (size_t i = before + 1; i < all.size(); ++i)
        EXPECT_GE((all[i].time - all[i - 1].time).count(), readout) << i;
    const std::vector<std::string> reasons = reasonsOf("readout-overrun");
    EXPECT_GE(reasons.size(), 5u);
    EXPECT_NE(reasons.front().find("reads the previous frame out"), std::string::npos)
        << reasons.front();
}

TEST_F(FrameReadoutTest, AReadoutTakesItsRowsAndThirtyFourLinesMoreRoundedUp) {
    // Catches a readout counted by its rows alone, or cut to the microsecond below: the
    // full frame at 520 clocks a line is 9218 lines of 11.56 us, 106,519.1 us.
    expectViolation("readout-overrun");
    auto& b = readyBoard();
    ASSERT_EQ(((chipRegister(0x00) >> 10) & 0x1FFF) + 1, 520u);
    ASSERT_EQ(b.start(), 0);
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    pwm.setPeriodTime(std::chrono::microseconds(106520));
    sleep(Micros(10 * 106520));
    EXPECT_TRUE(head().violations().empty());
    pwm.setPeriodTime(std::chrono::microseconds(106519));
    sleep(Micros(3 * 106520));
    ASSERT_EQ(b.stop(), 0);
    EXPECT_FALSE(reasonsOf("readout-overrun").empty());
}

TEST_F(FrameReadoutTest, AnExposureStartLineAfterRowEMinus4IsFlaggedWhenTheExposureBegins) {
    // Catches a start line the sensor cannot run going unnoticed, or noticed at the write
    // instead of when the exposure begins: rows 32..431, 520 clocks a line.
    expectViolation("start-line-late");
    auto& b = readyBoard();
    ASSERT_EQ(b.setROI(ROI(0, 0, 13280, 400)), 0);
    ASSERT_EQ(b.setExposure(2000), 0);
    ASSERT_EQ(b.start(), 0);
    const Micros pwmOn = lastPwmEnable();
    const long long t = interval();
    const uint32_t control = chipRegister(0x03);
    ASSERT_EQ((control >> 18) & 0x7, 4u);
    sleepIntervals(2);
    ASSERT_TRUE(sendSensorFrame(0x03, (control & ~0x7FFFu) | 427)); // RowE - 4: the latest
    sleepIntervals(3);
    EXPECT_TRUE(head().violations().empty());
    ASSERT_TRUE(sendSensorFrame(0x03, (control & ~0x7FFFu) | 428));
    const Micros sent = sim::Clock::now();
    sleepIntervals(3);
    ASSERT_EQ(b.stop(), 0);

    const std::vector<sim::Violation> all = head().violations();
    ASSERT_FALSE(all.empty());
    const long long offset = (428 * 520 + 44) / 45; // 4,946 us into the period
    EXPECT_GT(all.front().time, sent);
    EXPECT_EQ((all.front().time - pwmOn).count() % t, offset);
}

TEST_F(FrameReadoutTest, AnExposureThatWouldBeginAfterItsReadoutPulseIsFlagged) {
    // Catches a frame delivered with an exposure that never fitted its period (start line
    // past the pulse that reads it out).
    expectViolation("readout-overrun");
    auto& b = readyBoard();
    // A short readout at the bottom, where the start line may lie late in the frame.
    ASSERT_EQ(b.setROI(ROI(8784, 0, 13280, 400)), 0);
    ASSERT_EQ(b.setExposure(5000), 0);
    ASSERT_EQ(b.setFrameInterval(100000), 0); // the exposure starts about 95 ms in
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    const size_t fitting = frames().size();
    ASSERT_GE(fitting, 1u);
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    pwm.setPeriodTime(std::chrono::microseconds(50000));
    sleepIntervals(5);
    ASSERT_EQ(b.stop(), 0);

    EXPECT_LE(frames().size(), fitting + 1); // at most the one begun under the old period
    const std::vector<std::string> reasons = reasonsOf("readout-overrun");
    ASSERT_FALSE(reasons.empty());
    for (const std::string& reason : reasons)
        EXPECT_NE(reason.find("exposure would begin"), std::string::npos) << reason;
}

TEST_F(FrameReadoutTest, ReadoutShapeChangedDuringAReadoutIsFlaggedAndOutsideItNot) {
    // Catches a row band, line length or receiver region register changed while a frame is
    // read out going unnoticed, and the rule firing between readouts.
    expectViolation("changed-during-readout");
    auto& b = readyBoard();
    ASSERT_EQ(b.setROI(ROI(0, 0, 13280, 400)), 0); // read out in a few ms of the period
    ASSERT_EQ(b.start(), 0);
    const Micros pwmOn = lastPwmEnable();
    const long long t = interval();
    const uint32_t band = chipRegister(0x04);
    const uint32_t lineLength = chipRegister(0x00);
    const uint32_t moved = band + (4u << 14) + 4u; // the same size, four rows down
    tcRegisterWindow rx(sim::frame::base, 64);
    const uint32_t start = rx.read(sim::frame::roiStart);

    // Between readouts: allowed.
    sleepUntil(pwmOn + Micros(2 * t + t / 2));
    sendSensorFrame(0x04, moved);
    sendSensorFrame(0x04, band);
    rx.write(sim::frame::roiStart, start + 4);
    rx.write(sim::frame::roiStart, start);
    EXPECT_TRUE(head().violations().empty());

    // During the readout that starts at the pulse at pwmOn + 3t.
    sleepUntil(pwmOn + Micros(3 * t + 100));
    sendSensorFrame(0x04, moved);
    sendSensorFrame(0x00, lineLength + (1u << 10));
    rx.write(sim::frame::roiStart, start + 4);
    sendSensorFrame(0x00, lineLength + (1u << 10)); // unchanged: no breach
    ASSERT_EQ(b.stop(), 0);

    const std::vector<std::string> reasons = reasonsOf("changed-during-readout");
    ASSERT_EQ(reasons.size(), 3u);
    EXPECT_NE(reasons[0].find("register 0x4"), std::string::npos) << reasons[0];
    EXPECT_NE(reasons[1].find("register 0x0"), std::string::npos) << reasons[1];
    EXPECT_NE(reasons[2].find("receiver region register 0x24"), std::string::npos) << reasons[2];
}

} // namespace
} // namespace frames_test
