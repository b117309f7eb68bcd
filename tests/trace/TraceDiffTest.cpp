// tracediff: a board's record beside the model's. Each fault the head can have shows as the
// one divergence that names it; waits and times matter only where a tolerance says so; the
// exit status tells agree, differ and unreadable apart.
#include "TraceDiff.h"
#include "RecordText.h"
#include "TraceDiffCommand.h"
#include "TraceRecord.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using trace::teDivergence;
using tracetest::record;

const std::string kStatus = "fpga_read base=0xff212000 off=0x4 val=";
const std::string kDpaLock = "fpga_read base=0xff212000 off=0x34 val=";

struct tsBringUp {
    int pllPolls = 1;
    std::vector<std::string> dpaLocks{"0xfffffff"}; // one per poll
    std::string rail4 = "1.65";
    std::string result = "0";
    uint64_t shift = 0; // added to every time
};

// A bring-up as the recorder writes it, shortened: a rail, the PLL wait (status read twice
// per look), DPA training and its wait, alignment.
std::string bringUp(const tsBringUp& run) {
    std::vector<std::string> lines;
    uint64_t t = 100 + run.shift;
    auto at = [&](const std::string& thread, const std::string& event) {
        lines.push_back(std::to_string(t++) + " " + thread + " " + event);
    };
    at("t0", "gpio_pin name=XRESET pin=40");
    at("t0", "op name=initialize args=\"\"");
    at("t0", "file name=\"120mxs_config.ini\" bytes=812 crc32=0x1a2b3c4d");
    at("t0", "adc ch=4 single=1 volts=" + run.rail4 + " result=0");
    at("t0", "gpio_set pin=40 val=1 result=0");
    for (int poll = 1; poll < run.pllPolls; ++poll) {
        at("t0", kStatus + "0x0");
        at("t0", kStatus + "0x0");
        at("t0", "delay us=100000 took=100000");
    }
    at("t0", kStatus + "0x1");
    at("t0", kStatus + "0x1");
    if (run.result != "-1") {
        at("t0", "fpga_write base=0xff212000 off=0x28 val=0x0");
        for (size_t poll = 0; poll < run.dpaLocks.size(); ++poll) {
            if (poll > 0)
                at("t0", "delay us=10000 took=10000");
            at("t0", kDpaLock + run.dpaLocks[poll]);
        }
        at("t0", "fpga_write base=0xff212000 off=0x30 val=" + run.dpaLocks.back());
    }
    at("t1", "word addr=0x3a000 val=0x2710");
    at("t0", "op_ret name=initialize result=" + run.result);
    return record(lines);
}

trace::tsDiffResult compare(const std::string& board, const std::string& model,
                            trace::tsDiffOptions options = {}) {
    return trace::compareRecords(trace::readRecord(board, "board.trace"),
                                 trace::readRecord(model, "model.trace"), options);
}

std::vector<std::string> texts(const trace::tsDiffResult& result) {
    std::vector<std::string> out;
    for (const auto& d : result.divergences)
        out.push_back(d.text);
    return out;
}

TEST(TraceDiff, EachHeadFaultIsTheOneDivergenceThatNamesIt) {
    const std::string clean = bringUp({});
    tsBringUp later;
    later.shift = 5000;
    EXPECT_TRUE(compare(clean, bringUp(later)).divergences.empty());
    // Threads are numbered as they first wrote: the same thread under another number agrees.
    std::string renumbered = bringUp({});
    renumbered.replace(renumbered.find(" t1 word"), 3, " t2");
    EXPECT_TRUE(compare(clean, renumbered).divergences.empty());

    tsBringUp faults;
    faults.pllPolls = 7;
    faults.dpaLocks = {"0x3", "0xff", "0xffffff", "0xfffffff"};
    faults.rail4 = "1.58";
    const trace::tsDiffResult result = compare(bringUp(faults), clean);
    EXPECT_EQ(texts(result),
              (std::vector<std::string>{
                  "t0 op initialize #1: read ADC channel 4 (3V3_VIN_DIV2): board volts=1.58 "
                  "result=0, model volts=1.65 result=0 (board line 5, model line 5)",
                  "t0 op initialize #1: polls frame receiver status (bit 0 PLL locked, bit 1 "
                  "aligned) [0xff212000+0x4]: board 7, model 1, tolerance 1 (board lines 7-26, "
                  "model lines 7-8)",
                  "t0 op initialize #1: polls frame receiver DPA lock (one bit per lane) "
                  "[0xff212000+0x34]: board 4, model 1, tolerance 1 (board lines 28-34, model "
                  "line 10)"}));
    EXPECT_EQ(trace::totalLine(result), "3 divergences: 1 read, 2 polls");

    // Within the tolerance a poll count is no divergence; the ADC's noise band likewise.
    trace::tsDiffOptions loose;
    loose.pollTolerance = 3;
    loose.voltsTolerance = 0.1;
    const trace::tsDiffResult tolerant = compare(bringUp(faults), clean, loose);
    ASSERT_EQ(tolerant.divergences.size(), 1u);
    EXPECT_EQ(tolerant.divergences[0].kind, teDivergence::Polls);
    EXPECT_NE(tolerant.divergences[0].text.find("board 7, model 1, tolerance 3"),
              std::string::npos);
}

TEST(TraceDiff, AnOperationThatEndsOtherwiseShowsItsAnswerAndWhatOneSideAloneDid) {
    // The PLL never locked on the board: its last look answered otherwise, the model went on.
    tsBringUp never;
    never.pllPolls = 3;
    never.result = "-1";
    const std::string board = bringUp(never);
    const trace::tsDiffResult result = compare(board, bringUp({}));
    std::vector<teDivergence> kinds;
    for (const auto& d : result.divergences)
        kinds.push_back(d.kind);
    EXPECT_EQ(kinds, (std::vector<teDivergence>{teDivergence::Polls, teDivergence::OneSide,
                                                teDivergence::Operation}));
    EXPECT_NE(result.divergences[1].text.find("model only: 3 events from fpga_write frame "
                                              "receiver DPA reset [0xff212000+0x28] val=0x0 "
                                              "(model lines 9-11)"),
              std::string::npos)
        << result.divergences[1].text;
    EXPECT_NE(result.divergences[2].text.find("returned: board result=-1, model result=0"),
              std::string::npos);

    // Another value written is the plug-in asking for something else, not two strays.
    const std::string inverted = bringUp({});
    std::string other = inverted;
    other.replace(other.find("off=0x28 val=0x0"), 16, "off=0x28 val=0x1");
    const auto sent = texts(compare(other, inverted));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].find("sent fpga_write frame receiver DPA reset [0xff212000+0x28]: board "
                           "val=0x1, model val=0x0"),
              std::string::npos)
        << sent[0];

    // An operation that threw answered otherwise than one that returned.
    std::string threw = inverted;
    threw.replace(threw.find("result=0\n999999"), 8, "exception=\"Failed to open spidev\"");
    const auto returned = compare(threw, inverted);
    ASSERT_EQ(returned.divergences.size(), 1u);
    EXPECT_EQ(returned.divergences[0].kind, teDivergence::Operation);
    EXPECT_NE(returned.divergences[0].text.find(
                  "returned: board exception=\"Failed to open spidev\", model result=0"),
              std::string::npos)
        << returned.divergences[0].text;
}

TEST(TraceDiff, AWordLeftToTheNotificationThreadIsComparedWhereItWasApplied) {
    // The gain's notification found the board busy; its thread applied the word later and
    // sent the client's value again, whose notification is part of the application.
    const auto deferred = [](const std::string& handled) {
        return record({"10 t1 notify addr=0x3d000 val=0x7", "10 t1 deferred addr=0x3d000 val=0x7",
                       "10 t1 notify_ret addr=0x3d000 handled=1",
                       "12 t2 deferred_apply addr=0x3d000 val=0x7",
                       "12 t2 spi_write reg=0x7a val=0x180 bytes=5 result=5",
                       "30 t2 word addr=0x3d000 val=0x7", "30 t2 notify addr=0x3d000 val=0x7",
                       "30 t2 notify_ret addr=0x3d000 handled=" + handled,
                       "31 t2 deferred_apply addr=0x3d008 val=0x100"});
    };
    EXPECT_TRUE(compare(deferred("1"), deferred("1")).divergences.empty());
    const auto result = compare(deferred("1"), deferred("0"));
    ASSERT_EQ(texts(result).size(), 1u);
    EXPECT_EQ(texts(result)[0].rfind("t2 deferred_apply 0x3d000 val=0x7 #1: answer notify_ret ", 0),
              0u)
        << texts(result)[0];
}

TEST(TraceDiff, TimesAreComparedOnlyWithATolerance) {
    tsBringUp slow;
    slow.shift = 300;
    slow.pllPolls = 2;
    std::string board = bringUp(slow);
    board.replace(board.find("took=100000"), 11, "took=100450");
    tsBringUp model = slow;
    model.shift = 0;
    EXPECT_TRUE(compare(board, bringUp(model)).divergences.empty());
    trace::tsDiffOptions within;
    within.timeToleranceUs = 400;
    const auto timed = compare(board, bringUp(model), within);
    EXPECT_EQ(timed.divergences.size(), 0u) << "times 300 us apart are within 400 us";
    trace::tsDiffOptions tight;
    tight.timeToleranceUs = 100;
    const auto strict = compare(board, bringUp(model), tight);
    ASSERT_FALSE(strict.divergences.empty());
    for (const auto& d : strict.divergences)
        EXPECT_EQ(d.kind, teDivergence::Time) << d.text;
}

class TraceDiffCommand : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::string& text) {
        const std::string path =
            ::testing::TempDir() + "tracediff-" + std::to_string(getpid()) + "-" + name;
        std::ofstream(path, std::ios::binary) << text;
        paths.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const std::string& path : paths)
            std::remove(path.c_str());
    }
    int run(const std::vector<std::string>& arguments) {
        out.str("");
        err.str("");
        return trace::runTraceDiff(arguments, out, err);
    }
    std::vector<std::string> paths;
    std::ostringstream out, err;
};

TEST_F(TraceDiffCommand, ExitStatusSaysAgreeDifferOrUnreadableWithWhereAndWhat) {
    const std::string clean = file("clean", bringUp({}));
    tsBringUp late;
    late.pllPolls = 7;
    const std::string board = file("late", bringUp(late));
    EXPECT_EQ(run({clean, clean}), 0);
    EXPECT_EQ(out.str(), "tracediff: the records agree\n");
    EXPECT_EQ(run({board, clean}), 1);
    EXPECT_NE(out.str().find("tracediff: 1 divergence: 1 polls\n"), std::string::npos) << out.str();
    EXPECT_EQ(run({"--poll-tolerance", "6", board, clean}), 0);

    // Cut short inside an operation: compared as far as it goes, and said so.
    std::string text = bringUp({});
    text.erase(text.rfind(" t0 op_ret"));
    text.erase(text.rfind('\n') + 1);
    EXPECT_EQ(run({file("cut", text), clean}), 1);
    EXPECT_NE(out.str().find("t0 op initialize #1: model only: op_ret result=0 (model line 13)\n"
                             "note: board record " +
                             paths.back() + " was cut short"),
              std::string::npos)
        << out.str();

    const std::string broken = file("broken", bringUp({}).substr(0, 200));
    EXPECT_EQ(run({clean, broken}), 2);
    EXPECT_NE(err.str().find(broken + ":5: the line is cut in the middle"), std::string::npos)
        << err.str();
    EXPECT_EQ(run({clean, "/nonexistent/model.trace"}), 2);
    EXPECT_NE(err.str().find("/nonexistent/model.trace: cannot open"), std::string::npos);
    EXPECT_EQ(run({clean}), 2);
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out.str().find("--poll-tolerance"), std::string::npos);
}

} // namespace
