// Host settings and register-file writes arriving on different threads at once, whichever
// way the register file delivers its notifications.
#include "plugin/BoardFixture.h"
#include "sim/FrameworkThreads.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <iostream>
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

TEST_P(ObserverConcurrencyTest, AClientWriteDuringBringUpLeavesWordsAndHardwareAgreeing) {
    // Fault: a client's write that waits for the board mutex while initialize() holds it
    // is applied after the bring-up's own words were stored: the register file then shows
    // the bring-up's gain and bias while the hardware runs the client's.
    copySampleConfig("120mxs_sensor.ini");
    copySampleConfig("bad_pixel_map.txt");
    copySampleConfig("120mxs_config.ini");
    constexpr int kRounds = 10;
    int apart = 0;
    for (int round = 0; round < kRounds; ++round) {
        resetHeadWithRegisterFile(GetParam());
        tc120MXSSensorBoard& b = makeBoard();
        std::atomic<bool> clientWrote{false};
        std::thread client;
        // At the bring-up's first wait, with the board mutex held, the client writes.
        sim::setPluginSleepHook([&](sim::Micros) {
            if (clientWrote.exchange(true))
                return;
            client = std::thread([] {
                writeWord(0x3D000, 7);
                writeWord(0x3D00C, 0);
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // it waits for the board
        });
        testing::internal::CaptureStdout();
        EXPECT_EQ(b.initialize(), 0);
        sim::setPluginSleepHook({});
        ASSERT_TRUE(client.joinable());
        client.join();
        sim::waitForRegisterFileNotifications();
        BoardTestAccess::waitForPublishedWords(b);
        sim::waitForRegisterFileNotifications();
        testing::internal::GetCapturedStdout();

        const bool biasOn =
            (fpga().frameCtrl.readBiasSubtract() & tcCanon120FrameCtrl::kBiasSubtractEnable) != 0;
        const bool agree = word(0x3D000) == chipGain() && word(0x3D00C) == (biasOn ? 1u : 0u);
        apart += agree ? 0 : 1;
        boardPtr.reset();
    }
    EXPECT_EQ(apart, 0) << "rounds of " << kRounds << " with words and hardware apart";
}

TEST_P(ObserverConcurrencyTest, AFrameworkThreadHoldingTheBoardMutexCanWriteTheRegisterFile) {
    // Fault: a client's notification that waits for the board mutex for as long as it takes.
    // A register file that notifies under its own lock holds that lock meanwhile, and the
    // framework thread that holds the board mutex and writes the register file waits for
    // the same lock: neither returns. The client's value must still reach the hardware.
    tc120MXSSensorBoard& b = bringUp();
    pthread_mutex_t* const boardMutex = BoardTestAccess::boardMutex(b);
    std::promise<void> wrote;
    std::future<void> written = wrote.get_future();
    testing::internal::CaptureStdout();
    std::thread framework([&] {
        pthread_mutex_lock(boardMutex);
        std::thread client([] { writeWord(0x3D000, 7); });
        // Time for the client's notification to wait for the board mutex.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        writeWord(0x3F000, 1); // a word of the framework's own
        pthread_mutex_unlock(boardMutex);
        client.join();
        wrote.set_value();
    });
    if (written.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        std::cerr << "deadlock: the framework's register-file write did not return" << std::endl;
        std::_Exit(EXIT_FAILURE); // the threads stuck in it cannot be joined
    }
    framework.join();
    sim::waitForRegisterFileNotifications();
    BoardTestAccess::waitForPublishedWords(b);
    sim::waitForRegisterFileNotifications();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(chipGain(), 7u);
    EXPECT_EQ(word(0x3D000), 7u);
}

TEST_P(ObserverConcurrencyTest, WordsLeftWhileTheBoardMutexIsHeldKeepOnePerAddressTheNewest) {
    // Fault: every word a client writes while the framework holds the board mutex waits on
    // the board's thread, however many: a client writing in a tight loop grows that queue
    // without end, and the sensor is then sent every stale value in turn. Or the wrong one
    // of two words of an address is kept, and the hardware ends on an older value.
    tc120MXSSensorBoard& b = bringUp();
    pthread_mutex_t* const boardMutex = BoardTestAccess::boardMutex(b);
    constexpr int kWrites = 30;
    testing::internal::CaptureStdout();
    pthread_mutex_lock(boardMutex);
    const size_t from = spiFrameCount();
    std::thread client([] {
        for (int i = 0; i < kWrites; ++i) {
            writeWord(0x3D000, i % 2 == 0 ? 7 : 12); // the last is 12
            writeWord(0x3D00C, static_cast<uint32_t>(i) & 1);
        }
    });
    client.join();
    sim::waitForRegisterFileNotifications(); // each waited its bound and left its word
    pthread_mutex_unlock(boardMutex);
    sim::waitForRegisterFileNotifications();
    BoardTestAccess::waitForPublishedWords(b);
    sim::waitForRegisterFileNotifications();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(chipGain(), 12u);
    EXPECT_EQ(word(0x3D000), 12u);
    EXPECT_NE(fpga().frameCtrl.readBiasSubtract() & tcCanon120FrameCtrl::kBiasSubtractEnable, 0u);
    EXPECT_EQ(word(0x3D00C), 1u);
    EXPECT_LE(chipWrites(0x7A, from).size(), 2u) << "gain frames sent for stale values";
    EXPECT_GE(BoardTestAccess::supersededWords(b), uint64_t(2 * kWrites - 4));
}

// The first SPI frame to reg at or after index from, or the end.
size_t firstFrameTo(const std::vector<sim::SpiFrame>& frames, size_t from, uint16_t reg) {
    for (size_t i = from; i < frames.size(); ++i)
        if (frames[i].reg == reg)
            return i;
    return frames.size();
}

// Each case on a register file that notifies on the writer's thread, with the board's
// turns, given a step-aside bound, and its mutex at hand.
class BoardTurnsTest : public BoardTest {
protected:
    tc120MXSSensorBoard& bringUpWithBound(std::chrono::microseconds mostStepAside) {
        resetHeadWithRegisterFile(sim::RegisterFileMode::direct);
        tc120MXSSensorBoard& b = bringUp();
        turns = &BoardTestAccess::turns(b);
        turns->setMostStepAside(mostStepAside);
        boardMutex = BoardTestAccess::boardMutex(b);
        return b;
    }

    tcBoardTurns* turns = nullptr;
    pthread_mutex_t* boardMutex = nullptr;
};

TEST_F(BoardTurnsTest, ANotificationLetsTheWaitingHostCallGoFirst) {
    // Fault: a register-file notification takes the board mutex ahead of a host call that
    // was already waiting for it. The framework's mutex is not fair, so a client writing
    // in a tight loop then keeps a host call out for hundreds of milliseconds.
    tc120MXSSensorBoard& b = bringUpWithBound(std::chrono::seconds(10)); // however slow the machine

    // Without the turns the notification goes first in about one round of 60.
    constexpr int kRounds = 200;
    int notificationFirst = 0;
    for (int round = 0; round < kRounds; ++round) {
        const size_t from = head().spiFrames().size();
        pthread_mutex_lock(boardMutex); // the framework holds the board for a moment
        std::thread host([&b, round] { b.setExposure(round % 2 == 0 ? 30000 : 60000); });
        while (turns->hostsWaiting() == 0)
            std::this_thread::yield();
        // Let go, and at once write the register file: a client's next write.
        pthread_mutex_unlock(boardMutex);
        writeWord(0x3D000, round % 2 == 0 ? 13 : 15);
        host.join();
        BoardTestAccess::waitForPublishedWords(b); // a word left to the board's thread

        const std::vector<sim::SpiFrame> frames = head().spiFrames();
        const size_t exposureAt = firstFrameTo(frames, from, 0x03);
        const size_t gainAt = firstFrameTo(frames, from, 0x7A);
        ASSERT_LT(exposureAt, frames.size());
        ASSERT_LT(gainAt, frames.size());
        notificationFirst += gainAt < exposureAt ? 1 : 0;
    }
    EXPECT_EQ(notificationFirst, 0)
        << "rounds of " << kRounds << " in which the notification went first";
    EXPECT_EQ(turns->stepsAsideTimedOut(), 0u);
}

TEST_F(BoardTurnsTest, ANotificationStepsAsideForOneWaitingHostCallNotForAll) {
    // Fault: a notification steps aside until more than one of the host calls waiting when
    // it arrived holds the board. The first of them may hold it for long, so the
    // notification waits out its whole bound, and host calls that keep coming keep it out.
    constexpr auto kBound = std::chrono::milliseconds(500); // a wake-up takes far less
    tc120MXSSensorBoard& b = bringUpWithBound(kBound);

    pthread_mutex_lock(boardMutex); // the framework holds the board for a moment
    // Two host calls queue; whichever gets the board first keeps it for twice the bound.
    const auto longHostCall = [&] {
        const tcBoardTurns::tcLock lock(*turns, boardMutex, false);
        std::this_thread::sleep_for(2 * kBound);
    };
    std::thread first(longHostCall), second(longHostCall);
    while (turns->hostsWaiting() < 2)
        std::this_thread::yield();
    std::thread client([&] { writeWord(0x3D000, 13); });
    while (turns->stepsAside() == 0)
        std::this_thread::yield();
    pthread_mutex_unlock(boardMutex);
    first.join();
    second.join();
    client.join();

    BoardTestAccess::waitForPublishedWords(b); // a word left to the board's thread

    EXPECT_EQ(turns->stepsAside(), 1u);
    EXPECT_EQ(turns->stepsAsideTimedOut(), 0u)
        << "the notification kept stepping aside after one waiting host call held the board";
    EXPECT_EQ(chipGain(), 13u);
}

TEST_F(BoardTurnsTest, ANotificationWithinItsBoundAppliesItsWordItself) {
    // Fault: a wait for the board mutex that gives up before its bound (a deadline in the
    // past): every notification that finds the mutex held leaves its word to the board's
    // thread, and takes effect late, however short the framework's hold.
    tc120MXSSensorBoard& b = bringUpWithBound(std::chrono::seconds(10));
    BoardTestAccess::setMostNotificationWait(b, std::chrono::seconds(10)); // however slow
    pthread_mutex_lock(boardMutex); // the framework holds the board for a moment
    std::thread client([] { writeWord(0x3D000, 7); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pthread_mutex_unlock(boardMutex);
    client.join();
    EXPECT_EQ(BoardTestAccess::deferredWords(b), 0u);
    EXPECT_EQ(chipGain(), 7u) << "applied before the client's write returned";
}

TEST_F(BoardTurnsTest, ANotificationDoesNotStepAsideForAnotherNotification) {
    // Fault: a notification's lock counted as a host call's, so that a client's write waits
    // up to the bound behind another client's: the turns are for host calls only.
    tc120MXSSensorBoard& b = bringUpWithBound(std::chrono::milliseconds(20));

    pthread_mutex_lock(boardMutex); // the framework holds the board for a moment
    std::thread firstClient([&] { writeWord(0x3D000, 13); });
    // Time for the first notification to queue for the board mutex.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::thread secondClient([&] { writeWord(0x3D008, 7); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pthread_mutex_unlock(boardMutex);
    firstClient.join();
    secondClient.join();
    BoardTestAccess::waitForPublishedWords(b); // words left to the board's thread

    EXPECT_EQ(turns->stepsAside(), 0u);
    EXPECT_EQ(chipGain(), 13u);
}

TEST_F(BoardTurnsTest, ANotificationStepsAsideNoLongerThanItsBound) {
    // Fault: a notification waits for a host call that cannot get in, because the framework
    // holds the board mutex while it writes the register file; or such a wait, the sign of
    // a framework that does so, goes uncounted.
    tc120MXSSensorBoard& b = bringUpWithBound(std::chrono::milliseconds(20));

    pthread_mutex_lock(boardMutex); // the framework holds the board throughout
    std::thread host([&b] { b.setExposure(30000); });
    while (turns->hostsWaiting() == 0)
        std::this_thread::yield();
    std::thread client([&] { writeWord(0x3D000, 13); });
    // The notification must give up stepping aside by itself: nothing lets the host in.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (turns->stepsAsideTimedOut() == 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    const uint64_t timedOut = turns->stepsAsideTimedOut();
    pthread_mutex_unlock(boardMutex);
    host.join();
    client.join();
    BoardTestAccess::waitForPublishedWords(b);

    EXPECT_EQ(timedOut, 1u) << "step-asides counted as having waited their whole bound";
    EXPECT_EQ(chipGain(), 13u);
}

} // namespace
