// Bad-pixel replacement commands and register-file words, on the simulated core.
#include "handlers/tcBadPixelHandler.h"

#include "fpgacores/tcBadPixelReplacement.h"
#include "handlers/ChainSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

using handlertest::deliver;
using handlertest::TailHandler;
using Vistrel::tcAbstractHandler;
using Vistrel::tcBadPixelHandler;

namespace {

constexpr uint32_t kDataWord = 0x3A070;
constexpr uint32_t kMapWord = 0x3A074;

class BadPixelHandlerTest : public testsupport::HeadTest {
protected:
    void SetUp() override {
        HeadTest::SetUp();
        core = std::make_unique<tcBadPixelReplacement>(0xFF215000, 0xFF216000, 0xFF219000,
                                                       0x12000000, Vistrel::ROI(0, 0, 13280, 9184));
        ASSERT_TRUE(core->initialize()); // a core is used only once it reports itself ready
        handler = std::make_unique<tcBadPixelHandler<tcBadPixelReplacement>>(core.get(), &tail,
                                                                             &handlers);
    }

    std::string run(const std::string& command, const std::string& arguments = "") {
        return handlertest::run(*handler, command, arguments);
    }
    size_t dataWrites() { return head().badPixel().dataLog.size(); }

    TailHandler tail;
    std::map<std::string, tcAbstractHandler*> handlers;
    std::unique_ptr<tcBadPixelReplacement> core;
    std::unique_ptr<tcBadPixelHandler<tcBadPixelReplacement>> handler;
};

// A core with states the handler must pass on untouched.
struct FakeCore {
    int mapState() { return 5; }
    int onState() { return 9; }
    void setMapState(bool on) { map = on; }
    std::string defaultData() { return "default.txt"; }
    void setData(std::string text) { data = text; }
    bool map = false;
    std::string data = "unset";
};

// A derived handler whose operation reports a failure code.
class FailingHandler : public tcBadPixelHandler<FakeCore> {
public:
    using tcBadPixelHandler<FakeCore>::tcBadPixelHandler;
    using tcBadPixelHandler<FakeCore>::execute;
    int execute(teBadPixelOp, int&) override { return 6; }
};

TEST_F(BadPixelHandlerTest, SbprLoadsTheDefaultDataOrClearsIt) {
    // Catches "on" loading the wrong data and "off" leaving the old map in the core.
    const std::string defaults = core->defaultData();
    ASSERT_FALSE(defaults.empty()) << "the core's default data names no map";

    EXPECT_EQ(run("SBPR", "1"), "ACK");
    EXPECT_EQ(head().badPixel().data, defaults);
    EXPECT_EQ(run("SBPR", "0"), "ACK");
    EXPECT_EQ(head().badPixel().data, "");
    EXPECT_EQ(run("SBPR", "7"), "ACK");
    EXPECT_EQ(head().badPixel().data, defaults);
    EXPECT_EQ(run("SBPR", "0x0 9"), "ACK");
    EXPECT_EQ(head().badPixel().data, "");

    const std::vector<std::string> expected{defaults, "", defaults, ""};
    EXPECT_EQ(head().badPixel().dataLog, expected);
    EXPECT_TRUE(tail.seen.empty());
}

TEST_F(BadPixelHandlerTest, SbprmSwitchesOnlyTheMap) {
    // Catches a negative number read as "off" and SBPRM mistaken for SBPR (a data load).
    EXPECT_EQ(run("SBPRM", "-1"), "ACK");
    EXPECT_TRUE(head().badPixel().mapState);
    EXPECT_EQ(run("SBPRM", "0"), "ACK");
    EXPECT_FALSE(head().badPixel().mapState);
    EXPECT_EQ(run("SBPRM", "0x10"), "ACK");
    EXPECT_TRUE(head().badPixel().mapState);
    EXPECT_EQ(dataWrites(), 0u);
}

TEST_F(BadPixelHandlerTest, SetCommandsRefuseMissingAndNonNumericArguments) {
    // Catches a missing or garbled argument read as 0 and switching the core off.
    run("SBPR", "1");
    run("SBPRM", "1");
    const size_t writes = dataWrites();

    EXPECT_EQ(run("SBPRM", ""), "NACK 2");
    EXPECT_EQ(run("SBPRM", "   "), "NACK 2");
    EXPECT_EQ(run("SBPRM", "x"), "NACK 3");
    EXPECT_EQ(run("SBPRM", "0x"), "NACK 3");
    EXPECT_EQ(run("SBPR", ""), "NACK 2");
    EXPECT_EQ(run("SBPR", "1x"), "NACK 3");
    EXPECT_EQ(run("SBPR", "off 1"), "NACK 3");

    EXPECT_TRUE(head().badPixel().mapState);
    EXPECT_EQ(dataWrites(), writes);
    EXPECT_EQ(head().badPixel().data, core->defaultData());
}

TEST_F(BadPixelHandlerTest, GetCommandsReportTheCoreStateItself) {
    // Catches swapped map/on states, a state turned into 0/1, and arguments being parsed.
    FakeCore fake;
    TailHandler end;
    tcBadPixelHandler<FakeCore> getter(&fake, &end, nullptr);
    EXPECT_EQ(handlertest::run(getter, "GBPRM"), "ACK <5>");
    EXPECT_EQ(handlertest::run(getter, "GBPRM", "x 12"), "ACK <5>");
    EXPECT_EQ(handlertest::run(getter, "GBPR", "1"), "ACK <9>");
    EXPECT_EQ(fake.data, "unset");
    EXPECT_FALSE(fake.map);

    // On the simulated core, the map state as the core reports it.
    run("SBPRM", "1");
    EXPECT_EQ(run("GBPRM", "0"), "ACK <" + std::to_string(core->mapState()) + ">");
    EXPECT_EQ(run("GBPR"), "ACK <" + std::to_string(core->onState()) + ">");
}

TEST_F(BadPixelHandlerTest, OnlyExactNamesAreAnswered) {
    // Catches prefix or case-blind matching that would steal other handlers' commands.
    for (const char* name : {"SBPRX", "SBP", "sbpr", "Sbprm", "GBPRMM", " SBPR", "SBPR "})
        EXPECT_EQ(run(name, "1"), std::string("TAIL ") + name) << name;
    ASSERT_EQ(tail.seen.size(), 7u);
    EXPECT_EQ(tail.seen.front(), "SBPRX|1"); // arguments passed on unchanged
    EXPECT_EQ(dataWrites(), 0u);
    EXPECT_FALSE(head().badPixel().mapState);
}

TEST_F(BadPixelHandlerTest, RegisterFileWordsSwitchDataAndMap) {
    // Catches a word acted on without being marked handled, or the words swapped.
    EXPECT_TRUE(deliver(handler.get(), 1, kDataWord, 5));
    EXPECT_EQ(head().badPixel().data, core->defaultData());
    EXPECT_FALSE(head().badPixel().mapState);
    EXPECT_TRUE(deliver(handler.get(), 1, kMapWord, 0x80000000u));
    EXPECT_TRUE(head().badPixel().mapState);
    EXPECT_TRUE(deliver(handler.get(), 1, kMapWord, 0));
    EXPECT_FALSE(head().badPixel().mapState);
    EXPECT_TRUE(deliver(handler.get(), 1, kDataWord, 0));
    EXPECT_EQ(head().badPixel().data, "");
}

TEST_F(BadPixelHandlerTest, OtherNotificationsAreLeftAlone) {
    // Catches a receiver that claims words or kinds that are not its own.
    EXPECT_FALSE(deliver(handler.get(), 2, kMapWord, 1));
    EXPECT_FALSE(deliver(handler.get(), 0, kDataWord, 1));
    EXPECT_FALSE(deliver(handler.get(), 1, kMapWord + 4, 1));
    EXPECT_FALSE(deliver(handler.get(), 1, 0x3A200, 1));
    EXPECT_FALSE(head().badPixel().mapState);
    EXPECT_EQ(dataWrites(), 0u);
    EXPECT_EQ(tail.updates, 4); // every handler is offered each write
}

TEST_F(BadPixelHandlerTest, RegistersItsFourCommandsByKey) {
    // Catches a registration that keeps a stale entry instead of replacing it.
    TailHandler stale;
    std::map<std::string, tcAbstractHandler*> map{{"SBPR", &stale}, {"OTHER", &stale}};
    tcBadPixelHandler<tcBadPixelReplacement> fresh(core.get(), nullptr, &map);
    for (const char* name : {"SBPR", "GBPR", "SBPRM", "GBPRM"})
        EXPECT_EQ(map.at(name), &fresh) << name;
    EXPECT_EQ(map.at("OTHER"), &stale);
    EXPECT_EQ(map.size(), 5u);
    EXPECT_EQ(handlers.size(), 4u);
}

TEST_F(BadPixelHandlerTest, AFailureCodeOfTheOperationIsTheReply) {
    // Catches the reply ignoring the operation's code (virtual dispatch bypassed).
    FakeCore fake;
    FailingHandler failing(&fake, nullptr, nullptr);
    EXPECT_EQ(handlertest::run(failing, "GBPR"), "NACK 6");
    EXPECT_EQ(handlertest::run(failing, "SBPR", "1"), "NACK 6");
    EXPECT_EQ(fake.data, "unset");
}

} // namespace
