// The board's own handler chain, built by getCustomHandlers on the real board.
#include "plugin/tc120MXSSensorBoard.h"

#include "Vistrel/tcClockHandler.h"
#include "handlers/ChainSupport.h"
#include "handlers/tcBadPixelHandler.h"
#include "handlers/tcExposureModeHandler.h"
#include "support/TestSupport.h"

#include "tests/support/BoardTestAccess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>

// Allocation failure on demand: with allocationsLeft at n >= 0, the (n+1)th allocation from
// then on throws std::bad_alloc. This binary's only replacement of the global operator new.
namespace {
std::atomic<long> allocationsLeft{-1};
} // namespace

void* operator new(std::size_t size) {
    if (allocationsLeft.load() >= 0 && allocationsLeft.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
// GCC takes the free() of a replaced operator delete for one of memory from new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop

using handlertest::deliver;
using handlertest::own;
using handlertest::run;
using handlertest::TailHandler;
using Vistrel::tcAbstractHandler;

namespace {

using BadPixelHandler = Vistrel::tcBadPixelHandler<tcBadPixelReplacement>;

class CustomHandlersTest : public testsupport::HeadTest {
protected:
    void SetUp() override {
        HeadTest::SetUp();
        board = std::make_unique<Vistrel::tc120MXSSensorBoard>("/dev/spidev1.0");
        // The board's bad-pixel core is used only once it reported itself ready, as the
        // board's initialize() asks it.
        ASSERT_EQ(Vistrel::BoardTestAccess::bringUpFpga(*board), 0);
    }
    void TearDown() override {
        board.reset();
        HeadTest::TearDown();
    }
    std::unique_ptr<Vistrel::tc120MXSSensorBoard> board;
    TailHandler tail;
};

// The chain's handlers from its head, checked to be bad-pixel -> mode -> clock -> tail.
void expectBoardChain(tcAbstractHandler* head, const tcAbstractHandler* tail) {
    ASSERT_NE(dynamic_cast<BadPixelHandler*>(head), nullptr);
    tcAbstractHandler* mode = head->getNext();
    ASSERT_NE(dynamic_cast<Vistrel::tcExposureModeHandler*>(mode), nullptr);
    tcAbstractHandler* clock = mode->getNext();
    ASSERT_NE(dynamic_cast<Vistrel::tcClockHandler*>(clock), nullptr);
    EXPECT_EQ(clock->getNext(), tail);
}

TEST_F(CustomHandlersTest, BuildsBadPixelModeClockInFrontOfNext) {
    // Catches a wrong order or a handler missing from the chain or the map.
    std::map<std::string, tcAbstractHandler*> handlers;
    tcAbstractHandler* chain = board->getCustomHandlers(&tail, &handlers);
    auto owned = own(chain, &tail);
    ASSERT_EQ(owned.size(), 3u);
    expectBoardChain(chain, &tail);

    EXPECT_EQ(handlers.at("EXPM"), chain->getNext());
    for (const char* name : {"SBPR", "GBPR", "SBPRM", "GBPRM"})
        EXPECT_EQ(handlers.at(name), chain) << name;
    // Whatever the clock handler registers points at it.
    std::set<tcAbstractHandler*> targets;
    for (const auto& entry : handlers)
        targets.insert(entry.second);
    EXPECT_EQ(targets.size(), 3u);
    EXPECT_TRUE(targets.count(chain->getNext()->getNext()));
}

TEST_F(CustomHandlersTest, ANullMapStillBuildsTheChain) {
    // Catches a null map being dereferenced, or the chain not built without one.
    tcAbstractHandler* chain = board->getCustomHandlers(&tail, nullptr);
    auto owned = own(chain, &tail);
    ASSERT_EQ(owned.size(), 3u);
    expectBoardChain(chain, &tail);
    EXPECT_EQ(run(*chain, "NOSUCH", "1 2"), "TAIL NOSUCH");
    EXPECT_EQ(tail.seen.back(), "NOSUCH|1 2");
}

TEST_F(CustomHandlersTest, ASecondCallReplacesTheEntries) {
    // Catches entries left pointing at the first call's handlers (freed by their owner).
    std::map<std::string, tcAbstractHandler*> handlers;
    tcAbstractHandler* first = board->getCustomHandlers(&tail, &handlers);
    auto firstOwned = own(first, &tail);
    tcAbstractHandler* second = board->getCustomHandlers(&tail, &handlers);
    auto secondOwned = own(second, &tail);
    firstOwned.clear();

    EXPECT_EQ(handlers.at("EXPM"), second->getNext());
    for (const char* name : {"SBPR", "GBPR", "SBPRM", "GBPRM"})
        EXPECT_EQ(handlers.at(name), second) << name;
    for (const auto& entry : handlers)
        EXPECT_TRUE(entry.second == second || entry.second == second->getNext() ||
                    entry.second == second->getNext()->getNext())
            << entry.first << " still points at a handler of the first call";
}

TEST_F(CustomHandlersTest, AFailedConstructionLeavesTheCallersMapAsItWas) {
    // Catches a map cleared by a construction that throws, or one left holding handlers that
    // were freed on the way out: every allocation of the call fails in turn.
    const std::map<std::string, tcAbstractHandler*> original{{"SBPR", &tail}, {"OWN", &tail}};
    int failures = 0;
    for (long failing = 0;; ++failing) {
        std::map<std::string, tcAbstractHandler*> handlers = original;
        allocationsLeft = failing;
        tcAbstractHandler* chain = nullptr;
        try {
            chain = board->getCustomHandlers(&tail, &handlers);
        } catch (const std::bad_alloc&) {
            allocationsLeft = -1;
            ++failures;
            EXPECT_EQ(handlers, original) << "allocation " << failing << " failed";
            continue;
        }
        allocationsLeft = -1;
        auto owned = own(chain, &tail);
        EXPECT_EQ(handlers.at("OWN"), &tail);
        EXPECT_EQ(handlers.at("SBPR"), chain);
        break;
    }
    // The three handlers and the map's new entries are allocated one by one.
    EXPECT_GE(failures, 6);
}

TEST_F(CustomHandlersTest, ExpmIsNotSupportedOnThisBoard) {
    // Catches the exposure mode claimed on a board that has no external exposure control.
    tcAbstractHandler* chain = board->getCustomHandlers(&tail, nullptr);
    auto owned = own(chain, &tail);
    EXPECT_EQ(run(*chain, "EXPM"), "NACK 7");
    EXPECT_EQ(run(*chain, "EXPM", "1"), "NACK 7");
    EXPECT_EQ(run(*chain, "EXPM", "0"), "NACK 7");
    EXPECT_FALSE(deliver(chain, 1, 0x3A200, 1));
    EXPECT_TRUE(tail.seen.empty());
}

TEST_F(CustomHandlersTest, BadPixelCommandsReachTheBoardsCore) {
    // Catches the handler wired to a core other than the board's FPGA core.
    tcAbstractHandler* chain = board->getCustomHandlers(&tail, nullptr);
    auto owned = own(chain, &tail);
    const size_t before = head().badPixel().dataLog.size();

    EXPECT_EQ(run(*chain, "SBPRM", "1"), "ACK");
    EXPECT_TRUE(head().badPixel().mapState);
    EXPECT_EQ(run(*chain, "SBPR", "0"), "ACK");
    ASSERT_EQ(head().badPixel().dataLog.size(), before + 1);
    EXPECT_EQ(head().badPixel().data, "");
    EXPECT_TRUE(deliver(chain, 1, 0x3A074, 0));
    EXPECT_FALSE(head().badPixel().mapState);
    EXPECT_TRUE(tail.seen.empty());
}

} // namespace
