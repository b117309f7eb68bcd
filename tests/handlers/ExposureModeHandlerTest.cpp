// "EXPM" and word 0x3A200 on boards with and without external exposure control.
#include "handlers/tcExposureModeHandler.h"

#include "Vistrel/tcExternalExposure.h"
#include "Vistrel/tcSensorBoard.h"
#include "handlers/ChainSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using handlertest::deliver;
using handlertest::TailHandler;
using Vistrel::tcAbstractHandler;
using Vistrel::tcExposureModeHandler;

namespace {

constexpr uint32_t kExposureModeWord = 0x3A200;
int boardPins[4] = {0, 0, 0, 0};

// A board that offers external exposure control and records each switch.
class ExposureBoard : public Vistrel::tcSensorBoard, public Vistrel::tcExternalExposure {
public:
    ExposureBoard() : tcSensorBoard(4, 0xFF200000, 0x18000, 4, boardPins) {}
    void setExternalExposure(bool on) override { switches.push_back(on); }
    bool getExternalExposure() override { return switches.empty() ? false : switches.back(); }
    std::vector<bool> switches;
};

// A board without it.
class PlainBoard : public Vistrel::tcSensorBoard {
public:
    PlainBoard() : tcSensorBoard(4, 0xFF200000, 0x18000, 4, boardPins) {}
};

class ExposureModeHandlerTest : public testsupport::HeadTest {
protected:
    std::string run(tcAbstractHandler& head, const std::string& arguments,
                    const std::string& command = "EXPM") {
        return handlertest::run(head, command, arguments);
    }
    TailHandler tail;
    std::map<std::string, tcAbstractHandler*> handlers;
};

TEST_F(ExposureModeHandlerTest, ZeroSelectsExternalAnyOtherNumberTimed) {
    // Catches the inverted number sense lost (0 must mean external) and a set answered ACK.
    ExposureBoard board;
    tcExposureModeHandler mode(&board, &tail, &handlers);
    EXPECT_EQ(handlers.at("EXPM"), &mode);

    EXPECT_EQ(run(mode, "0"), "NACK 0");
    EXPECT_EQ(run(mode, "3"), "NACK 0");
    EXPECT_EQ(run(mode, "0x0"), "NACK 0");
    EXPECT_EQ(run(mode, "-1"), "NACK 0");
    EXPECT_EQ(board.switches, (std::vector<bool>{true, false, true, false}));
}

TEST_F(ExposureModeHandlerTest, QueryAnswersZeroForExternalOneForTimed) {
    // Catches a query that reports the flag instead of the command's number, or that sets.
    ExposureBoard board;
    tcExposureModeHandler mode(&board, &tail, nullptr);
    board.switches = {true};
    EXPECT_EQ(run(mode, ""), "ACK<0>");
    board.switches = {false};
    EXPECT_EQ(run(mode, "   "), "ACK<1>");
    EXPECT_EQ(board.switches, std::vector<bool>{false});
}

TEST_F(ExposureModeHandlerTest, OnlyTheFirstNumberCounts) {
    // Catches a parser that reads the last token, or refuses extra arguments.
    ExposureBoard board;
    tcExposureModeHandler mode(&board, &tail, nullptr);
    EXPECT_EQ(run(mode, "0 5"), "NACK 0");
    EXPECT_EQ(run(mode, "5 0"), "NACK 0");
    EXPECT_EQ(board.switches, (std::vector<bool>{true, false}));
}

TEST_F(ExposureModeHandlerTest, AWordThatIsNotANumberChangesNothing) {
    // Catches garbage taken for 0 and silently switching the head to external exposure.
    ExposureBoard board;
    tcExposureModeHandler mode(&board, &tail, nullptr);
    EXPECT_EQ(run(mode, "on"), "NACK 3");
    EXPECT_EQ(run(mode, "1e3"), "NACK 3");
    EXPECT_TRUE(board.switches.empty());
}

TEST_F(ExposureModeHandlerTest, OtherNamesGoDownTheChain) {
    // Catches case-blind or prefix matching of the command name.
    ExposureBoard board;
    tcExposureModeHandler mode(&board, &tail, nullptr);
    EXPECT_EQ(run(mode, "0", "expm"), "TAIL expm");
    EXPECT_EQ(run(mode, "0", "EXPMX"), "TAIL EXPMX");
    EXPECT_EQ(run(mode, "0", "EXP"), "TAIL EXP");
    EXPECT_EQ(tail.seen, (std::vector<std::string>{"expm|0", "EXPMX|0", "EXP|0"}));
    EXPECT_TRUE(board.switches.empty());
}

TEST_F(ExposureModeHandlerTest, WordUsesTheFlagSense) {
    // Catches the word read with the command's inverted sense, or left unmarked.
    ExposureBoard board;
    tcExposureModeHandler mode(&board, &tail, nullptr);
    EXPECT_TRUE(deliver(&mode, 1, kExposureModeWord, 1));
    EXPECT_TRUE(deliver(&mode, 1, kExposureModeWord, 0));
    EXPECT_TRUE(deliver(&mode, 1, kExposureModeWord, 0xFFFFFFFFu));
    EXPECT_EQ(board.switches, (std::vector<bool>{true, false, true}));

    EXPECT_FALSE(deliver(&mode, 2, kExposureModeWord, 0));
    EXPECT_FALSE(deliver(&mode, 1, kExposureModeWord + 4, 0));
    EXPECT_EQ(board.switches.size(), 3u);
}

TEST_F(ExposureModeHandlerTest, ABoardWithoutTheInterfaceIsNotSupported) {
    // Catches a missing capability check (a bad cast would crash or act on a wrong object).
    PlainBoard board;
    tcExposureModeHandler mode(&board, &tail, nullptr);
    EXPECT_EQ(run(mode, ""), "NACK 7");
    EXPECT_EQ(run(mode, "1"), "NACK 7");
    EXPECT_EQ(run(mode, "0"), "NACK 7");
    EXPECT_EQ(run(mode, "x"), "NACK 7");
    EXPECT_FALSE(deliver(&mode, 1, kExposureModeWord, 1));

    tcExposureModeHandler boardless(nullptr, &tail, nullptr);
    EXPECT_EQ(run(boardless, ""), "NACK 7");
    bool on = true;
    EXPECT_EQ(boardless.execute(tcExposureModeHandler::eeExposureModeGet, on), 7);
    EXPECT_TRUE(on);
    EXPECT_FALSE(deliver(&boardless, 1, kExposureModeWord, 1));
    EXPECT_TRUE(tail.seen.empty());
}

} // namespace
