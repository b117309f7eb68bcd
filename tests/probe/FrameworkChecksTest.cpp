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
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(FrameworkCheckTest, BoardMutexThatDoesNotNestIsReportedAtBringUp) {
    copyAllSampleFiles();
    Vistrel::tcRegisterFile::getInstance(nullptr, true); // made before: only the board is broken
    ASSERT_EQ(setenv("CAMSIM_BROKEN", GetParam(), 1), 0);
    makeBoard();
    unsetenv("CAMSIM_BROKEN");

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

INSTANTIATE_TEST_SUITE_P(BrokenStandIns, FrameworkCheckTest,
                         ::testing::Values("mutex-nonrecursive", "mutex-errorcheck"));

} // namespace
