// The board's own check of the framework at bring-up: a board mutex its owner cannot lock
// again is reported (status 4, naming what to check) instead of hanging initialize() or
// letting it run unlocked, and the head is left untouched.
#include "plugin/FrameworkChecks.h"
#include "plugin/BringupFixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

namespace {

class FrameworkCheckTest : public bringup::BringupTest,
                           public ::testing::WithParamInterface<const char*> {
protected:
    // A board whose mutex is built by the stand-in broken as the parameter names.
    void makeBrokenBoard() {
        copyAllSampleFiles();
        Vistrel::tcRegisterFile::getInstance(nullptr,
                                             true); // made before: only the board is broken
        ASSERT_EQ(setenv("CAMSIM_BROKEN", GetParam(), 1), 0);
        makeBoard();
        unsetenv("CAMSIM_BROKEN");
    }
};

TEST_P(FrameworkCheckTest, BoardMutexThatDoesNotNestIsReportedAtBringUp) {
    makeBrokenBoard();

    // A hang must fail the test, not block it: the bring-up runs on a thread of its own.
    auto answer = std::make_shared<std::promise<int>>();
    std::future<int> result = answer->get_future();
    Vistrel::tc120MXSSensorBoard* raw = board.get();
    std::thread([answer, raw] { answer->set_value(raw->initialize()); }).detach();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "initialize() did not return within 20 s with %s\n", GetParam());
        std::abort(); // the board's mutex is held for good: nothing can be torn down
    }

    EXPECT_EQ(result.get(), Vistrel::kFrameworkFault);
    const std::vector<sim::StatusLine> lines = head().statusLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].status, 4);
    EXPECT_NE(lines[0].text.find("board mutex cannot be locked twice"), std::string::npos)
        << lines[0].text;
    EXPECT_NE(lines[0].text.find("recursive tcMutex"), std::string::npos) << lines[0].text;
    EXPECT_TRUE(head().spiFrames().empty()); // stopped before the hardware was touched
}

TEST_P(FrameworkCheckTest, AfterTheRefusalNoCallLocksTheBoardMutexTwice) {
    // Catches a board that, once initialize() has named a board mutex that does not nest,
    // goes on serving calls that lock it again inside their own lock (setROI reading the
    // minimum interval, a tool's end-of-run report): the caller hangs on the fault that
    // was already reported.
    makeBrokenBoard();

    auto answer = std::make_shared<std::promise<int>>();
    std::future<int> result = answer->get_future();
    Vistrel::tc120MXSSensorBoard* raw = board.get();
    std::thread([answer, raw] {
        int refusals = raw->initialize() == Vistrel::kFrameworkFault ? 1 : 0;
        // Settings are refused (the head was never brought up); getters answer.
        refusals += raw->setROI(Vistrel::ROI(0, 0, 1024, 1024)) == Vistrel::eeInvalidState;
        refusals += raw->setExposure(20000) == Vistrel::eeInvalidState;
        refusals += raw->setFrameInterval(100000) == Vistrel::eeInvalidState;
        refusals += raw->programMultipleROI() == Vistrel::eeInvalidState;
        raw->getImageROI();
        raw->getROI();
        raw->getExposure();
        raw->getFrameInterval();
        raw->getMinFrameIntervalMicroS();
        raw->getTestPattern();
        raw->getVersion();
        raw->stop();
        answer->set_value(refusals);
    }).detach();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "a board call hung after the refusal with %s\n", GetParam());
        std::abort();
    }
    EXPECT_EQ(result.get(), 5);
}

INSTANTIATE_TEST_SUITE_P(BrokenStandIns, FrameworkCheckTest,
                         ::testing::Values("mutex-nonrecursive", "mutex-errorcheck"));

} // namespace
