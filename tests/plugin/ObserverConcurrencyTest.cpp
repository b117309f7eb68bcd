// Host settings and register-file writes arriving on different threads at once, whichever
// way the register file delivers its notifications.
#include "plugin/BoardFixture.h"
#include "sim/FrameworkThreads.h"

#include <atomic>
#include <thread>

using namespace Vistrel;
using testsupport::BoardTest;

namespace {

class ObserverConcurrencyTest : public BoardTest,
                                public testing::WithParamInterface<sim::RegisterFileMode> {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        resetHeadWithRegisterFile(GetParam());
    }
    void TearDown() override {
        sim::waitForRegisterFileNotifications();
        BoardTest::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(RegisterFile, ObserverConcurrencyTest,
                         testsupport::allRegisterFileModes());

TEST_P(ObserverConcurrencyTest, ExposureAndRegisterFileWritesDoNotRace) {
    // Fault: unguarded board or sensor state shared by the host thread and the register
    // file's notifications (ThreadSanitizer reports it), a lock-order deadlock, or words
    // left out of step with the board.
    tc120MXSSensorBoard& b = bringUp();
    constexpr int kRounds = 60;
    std::atomic<bool> go{false};

    std::thread host([&] {
        while (!go.load()) {
        }
        for (int i = 0; i < kRounds; ++i)
            b.setExposure(20000 + (i % 12) * 10000);
    });
    std::thread client([&] {
        while (!go.load()) {
        }
        for (int i = 0; i < kRounds; ++i) {
            writeWord(0x3D000, i % 2 == 0 ? 13 : 15);
            writeWord(0x3D008, static_cast<uint32_t>(i) & 0x7FF);
            writeWord(0x3D00C, static_cast<uint32_t>(i) & 1);
            if (i % 10 == 0)
                writeWord(0x3A040, (i / 10) % 2 == 0 ? 2 : 1); // region change: timing re-fit
        }
    });
    go = true;
    host.join();
    client.join();
    sim::waitForRegisterFileNotifications();
    BoardTestAccess::waitForPublishedWords(b);
    sim::waitForRegisterFileNotifications();

    EXPECT_EQ(word(0x3A000), uint32_t(b.getFrameInterval()));
    EXPECT_EQ(word(0x3A004), uint32_t(b.getExposure()));
    EXPECT_EQ(head().pwm().periodUs, b.getFrameInterval());
    EXPECT_LE(b.getExposure(), b.getFrameInterval());
    EXPECT_EQ(chipGain(), 15u);
}

} // namespace
