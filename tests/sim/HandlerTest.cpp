#include "support/TestSupport.h"

#include "Vistrel/tcClockHandler.h"
#include "Vistrel/tcSensorBoard.h"

#include <map>

namespace {

struct ClockBoard : Vistrel::tcSensorBoard {
    int clockCode = 0;
    int setResult = 7;
    int lastSet = -1;
    ClockBoard() : tcSensorBoard(4, 0xFF200000, 0x18000, 4, pins) {}
    int getClockSetting(int& mhz) override {
        mhz = 45;
        return clockCode;
    }
    int setClockSetting(int mhz) override {
        lastSet = mhz;
        return setResult;
    }
    int pins[4] = {0, 0, 0, 0};
};

struct Tail : Vistrel::tcAbstractHandler {
    std::string lastCommand, lastArguments;
    std::vector<std::pair<int, int>> cascades;
    Tail() : tcAbstractHandler(nullptr, nullptr) {}
    std::string execute(std::string& command, std::string& arguments) override {
        lastCommand = command;
        lastArguments = arguments;
        return "TAIL";
    }
    void cascade(int event, int argument) override { cascades.emplace_back(event, argument); }
};

class HandlerTest : public testsupport::HeadTest {};

TEST_F(HandlerTest, ReplyTexts) {
    // Catches reply texts that the framework's clients could not parse.
    Vistrel::tcAbstractHandler handler(nullptr, nullptr);
    std::string extra = "<45>";
    EXPECT_EQ(handler.ack(nullptr), "ACK");
    EXPECT_EQ(handler.ack(&extra), "ACK <45>");
    EXPECT_EQ(handler.nack(3), "NACK 3");
    EXPECT_EQ(handler.carrotNumber(-2), "<-2>");
}

TEST_F(HandlerTest, BaseForwardsDownTheChainOrRefuses) {
    // Catches a chain that drops commands or cascades instead of passing them on unchanged.
    Tail tail;
    Vistrel::tcAbstractHandler middle(nullptr, &tail);
    std::string command = "EXPM", arguments = "1 2";
    EXPECT_EQ(middle.execute(command, arguments), "TAIL");
    EXPECT_EQ(tail.lastCommand, "EXPM");
    EXPECT_EQ(tail.lastArguments, "1 2");
    middle.cascade(3, -4);
    EXPECT_EQ(tail.cascades, (std::vector<std::pair<int, int>>{{3, -4}}));

    Vistrel::tcAbstractHandler last(nullptr, nullptr);
    EXPECT_EQ(last.execute(command, arguments), "NACK 7");
    last.cascade(1, 1); // nothing to forward to
}

TEST_F(HandlerTest, ClockHandlerAnswersGclkAndSclkAndPassesTheRestOn) {
    // Catches the clock handler swallowing other commands or misreporting the board's code.
    ClockBoard board;
    Tail tail;
    std::map<std::string, Vistrel::tcAbstractHandler*> handlers;
    Vistrel::tcClockHandler clock(&board, &tail, &handlers);
    EXPECT_EQ(handlers.at("GCLK"), &clock);
    EXPECT_EQ(handlers.at("SCLK"), &clock);

    std::string gclk = "GCLK", sclk = "SCLK", other = "GBPR", none = "", bad = "fast", fifty = "50";
    EXPECT_EQ(clock.execute(gclk, none), "ACK <45>");
    board.clockCode = 6;
    EXPECT_EQ(clock.execute(gclk, none), "NACK 6");
    EXPECT_EQ(clock.execute(sclk, none), "NACK 2");
    EXPECT_EQ(clock.execute(sclk, bad), "NACK 3");
    EXPECT_EQ(board.lastSet, -1);
    EXPECT_EQ(clock.execute(sclk, fifty), "NACK 7");
    EXPECT_EQ(board.lastSet, 50);
    EXPECT_EQ(clock.execute(other, fifty), "TAIL");
    EXPECT_EQ(tail.lastCommand, "GBPR");
}

} // namespace
