// Bringing the frame receiver up: PLL lock, DPA training, alignment, and their failures.
#include "FpgaTestHelpers.h"
#include "fpga/tcCanon120FrameCtrl.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace frame = sim::frame;
using fpgatest::splitLines;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kAllLanes = 0x0FFFFFFF;

struct Transcript {
    int result;
    std::vector<std::string> out;
    std::string err;
    sim::Micros elapsed;
};

class FrameCtrlEnableTest : public testsupport::HeadTest {
protected:
    // The receiver's PLL locks onto a running sensor's clock.
    void SetUp() override {
        HeadTest::SetUp();
        powerSensorChip();
    }
    // A fresh head set up by change, its sensor running.
    void resetRunningHead(const std::function<void(sim::HeadConfig&)>& change) {
        resetHeadWith(change);
        powerSensorChip();
    }
    uint32_t reg(uint32_t offset) { return head().frameRegister(offset); }

    // Lanes inverted as wired, as the board does first, then the transcript of enableCore.
    Transcript enable(tcCanon120FrameCtrl& core) {
        core.setLaneInversion(head().config().laneInversion);
        const sim::Micros start = sim::Clock::now();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int result = core.enableCore(true);
        // Numbers printed afterwards must be decimal again.
        std::cout << 255 << std::endl;
        Transcript run{result, {}, testing::internal::GetCapturedStderr(), {}};
        run.out = splitLines(testing::internal::GetCapturedStdout());
        run.elapsed = sim::Clock::now() - start;
        EXPECT_FALSE(run.out.empty());
        if (!run.out.empty()) {
            EXPECT_EQ(run.out.back(), "255");
            run.out.pop_back();
        }
        return run;
    }
};

// Catches extra polling or messages when everything locks at once.
TEST_F(FrameCtrlEnableTest, HealthyReceiverPrintsThreeLines) {
    tcCanon120FrameCtrl core(frame::base);
    const Transcript run = enable(core);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out, (std::vector<std::string>{" Locked 1", "DPA Lock: fffffff", " Aligned 1"}));
    EXPECT_EQ(run.err, "");
    EXPECT_NE(reg(frame::control) & 0x80000000u, 0u);
    EXPECT_EQ(run.elapsed, 0us);
}

// Catches a wrong tries counter or a missing "Locked" report while the PLL settles.
TEST_F(FrameCtrlEnableTest, PllLockingAfterTwoPollsPrintsSevenLines) {
    resetRunningHead([](sim::HeadConfig& c) { c.pllLockDelay = sim::Micros(2 * 100000); });
    tcCanon120FrameCtrl core(frame::base);
    const Transcript run = enable(core);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out, (std::vector<std::string>{"Locked 0", " tries: 0", "Locked 0", " tries: 1",
                                                 " Locked 1", "DPA Lock: fffffff", " Aligned 1"}));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.elapsed, 200ms);
}

// Catches an unbounded or mis-bounded PLL wait, and a PLL failure reported as success.
TEST_F(FrameCtrlEnableTest, PllNeverLockingFailsAfter200PollsOfTwentySeconds) {
    resetRunningHead([](sim::HeadConfig& c) { c.pllLockDelay = std::nullopt; });
    tcCanon120FrameCtrl core(frame::base);
    head().setPhysicalWord(frame::base + frame::dpaHold, 0x5);
    const Transcript run = enable(core);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.err, "PLL failed to lock\n");
    ASSERT_EQ(run.out.size(), 401u);
    EXPECT_EQ(run.out[0], "Locked 0");
    EXPECT_EQ(run.out[1], " tries: 0");
    EXPECT_EQ(run.out[398], "Locked 0");
    EXPECT_EQ(run.out[399], " tries: 199");
    EXPECT_EQ(run.out[400], " Locked 0");
    EXPECT_EQ(run.elapsed, 20s);
    // The core stays enabled and DPA training never started.
    EXPECT_NE(reg(frame::control) & 0x80000000u, 0u);
    EXPECT_EQ(reg(frame::dpaHold), 0x5u);
}

// Catches a lane that never locks being accepted, or the DPA wait not bounded at 200.
TEST_F(FrameCtrlEnableTest, OneDpaLaneNeverLockingGivesMinusTwo) {
    resetRunningHead([](sim::HeadConfig& c) { c.dpaLockMask = 0x0FFFFFFE; });
    tcCanon120FrameCtrl core(frame::base);
    head().setPhysicalWord(frame::base + frame::dpaHold, kAllLanes);
    const Transcript run = enable(core);
    EXPECT_EQ(run.result, -2);
    EXPECT_EQ(run.err, "DPA failed to lock\n");
    ASSERT_EQ(run.out.size(), 202u);
    EXPECT_EQ(run.out[0], " Locked 1");
    EXPECT_EQ(run.out[1], "DPA Lock: ffffffe tries: 0");
    EXPECT_EQ(run.out[200], "DPA Lock: ffffffe tries: 199");
    EXPECT_EQ(run.out[201], "DPA Lock: ffffffe");
    EXPECT_EQ(run.elapsed, 2s);
    // Left as training left it: hold released, lane reset released, FIFOs still in reset.
    EXPECT_NE(reg(frame::control) & 0x80000000u, 0u);
    EXPECT_EQ(reg(frame::dpaHold), 0u);
    EXPECT_EQ(reg(frame::dpaReset), 0u);
    EXPECT_EQ(reg(frame::dpaFifoReset), kAllLanes);
}

// Catches the FIFOs left in reset or the lane phases not held once every lane locked.
TEST_F(FrameCtrlEnableTest, TrainingEndsWithFifosRunningAndEveryLaneHeld) {
    tcCanon120FrameCtrl core(frame::base);
    head().setPhysicalWord(frame::base + frame::dpaReset, kAllLanes);
    ASSERT_EQ(enable(core).result, 0);
    EXPECT_EQ(reg(frame::dpaReset), 0u);
    EXPECT_EQ(reg(frame::dpaFifoReset), 0u);
    EXPECT_EQ(reg(frame::dpaHold), kAllLanes);
}

// Catches a wrong alignment message or counter while the deserializer settles.
TEST_F(FrameCtrlEnableTest, AlignmentAfterThreePollsIsReportedPerPoll) {
    resetRunningHead([](sim::HeadConfig& c) { c.alignDelay = sim::Micros(3 * 100000); });
    tcCanon120FrameCtrl core(frame::base);
    const Transcript run = enable(core);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.out, (std::vector<std::string>{" Locked 1", "DPA Lock: fffffff",
                                                 "Deserializer Status:   Not Aligned tries: 0",
                                                 "Deserializer Status:   Not Aligned tries: 1",
                                                 "Deserializer Status:   Not Aligned tries: 2",
                                                 " Aligned 1"}));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.elapsed, 300ms);
}

// Catches an alignment failure reported as success or an unbounded alignment wait.
TEST_F(FrameCtrlEnableTest, AlignmentNeverGivesMinusOneAfter200Polls) {
    resetRunningHead([](sim::HeadConfig& c) { c.alignDelay = std::nullopt; });
    tcCanon120FrameCtrl core(frame::base);
    const Transcript run = enable(core);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.err, "Not Aligned\n");
    ASSERT_EQ(run.out.size(), 203u);
    EXPECT_EQ(run.out[2], "Deserializer Status:   Not Aligned tries: 0");
    EXPECT_EQ(run.out[201], "Deserializer Status:   Not Aligned tries: 199");
    EXPECT_EQ(run.out[202], " Aligned 0");
    EXPECT_EQ(run.elapsed, 20s);
    EXPECT_EQ(reg(frame::dpaHold), kAllLanes);
    EXPECT_EQ(reg(frame::dpaFifoReset), 0u);
}

// Catches enableCore faulting on a receiver that never mapped: it must time out cleanly.
TEST_F(FrameCtrlEnableTest, UnmappedReceiverFailsThePllWait) {
    resetHeadWith([](sim::HeadConfig& c) { c.memoryAbsent = true; });
    testing::internal::CaptureStderr();
    tcCanon120FrameCtrl core(frame::base);
    testing::internal::GetCapturedStderr();
    const Transcript run = enable(core);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.err, "PLL failed to lock\n");
}

} // namespace
