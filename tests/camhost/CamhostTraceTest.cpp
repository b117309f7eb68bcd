// The boundary record (--trace, TC120MXS_TRACE) as camhost runs it: it changes nothing of
// the run, it holds every kind of crossing, it is the same for two runs of one script on
// the virtual clock, and a killed run leaves whole lines up to the kill.
#include "camhost/CamhostFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using camhosttest::readText;
using nlohmann::json;

std::string demoScript() {
    return readText(std::string(TC120MXS_SOURCE_DIR) + "/config/demo.cam");
}

// The demo without the client writes the board answers with words of its own (gain, bias
// offset): its publishing thread sends those as it runs, beside the script's next commands,
// and the sensor may or may not see a second gain frame, with recording or without. The
// bad-pixel map's write, which the command handlers take, stays.
std::string demoWithoutBoardAnsweredWrites() {
    std::string script;
    std::istringstream in(demoScript());
    for (std::string line; std::getline(in, line);)
        if (line.rfind("write ", 0) != 0 || line.rfind("write 0x3A07", 0) == 0)
            script += line + "\n";
    return script;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

const std::regex& lineGrammar() {
    static const std::regex grammar(
        R"((\d+) (t\d+) ([a-z_]+)( [a-z0-9_]+=("([^"\\]|\\.)*"|[^ "]+))*)");
    return grammar;
}

// A record as two runs on the virtual clock must agree on it: every event with its time,
// whichever thread it ran on (the register file's notification thread and the board's
// publishing thread take turns as they like), and the framework's calls and commands in
// their order.
struct tsComparable {
    std::multiset<std::string> events;
    std::vector<std::string> operations;
    bool operator==(const tsComparable& other) const {
        return events == other.events && operations == other.operations;
    }
};
std::ostream& operator<<(std::ostream& out, const tsComparable& record) {
    for (const std::string& event : record.events)
        out << event << "\n";
    return out;
}
tsComparable comparable(const std::string& record) {
    tsComparable result;
    for (const std::string& line : lines(record)) {
        std::smatch parts;
        if (!std::regex_match(line, parts, lineGrammar()) || parts[3] == "trace")
            continue; // the first line names the process
        const std::string withoutThread =
            parts[1].str() + line.substr(parts[1].length() + 1 + parts[2].length());
        result.events.insert(withoutThread);
        if (parts[3] == "op" || parts[3] == "op_ret" || parts[3] == "cmd" || parts[3] == "cmd_ret")
            result.operations.push_back(line);
    }
    return result;
}

class CamhostTraceTest : public camhosttest::CamhostTest {};

TEST_F(CamhostTraceTest, RecordingChangesNeitherAnswersNorWordsNorOutput) {
    camhosttest::tsRun off, on;
    const json plain = reportOf(demoWithoutBoardAnsweredWrites(), {}, &off);
    const json recorded = reportOf(demoWithoutBoardAnsweredWrites(), {"--trace", "run.trace"}, &on);
    EXPECT_EQ(off.status, 0);
    EXPECT_EQ(on.status, 0);
    // Results, register-file words, the head's state: the report holds them all.
    EXPECT_EQ(plain, recorded);
    // The plug-in's own lines, of which the register file's notification thread writes
    // some at moments that differ from run to run: the same lines, each as often.
    std::multiset<std::string> offLines, onLines;
    for (const std::string& line : lines(off.out))
        offLines.insert(line);
    for (const std::string& line : lines(on.out))
        onLines.insert(line);
    EXPECT_EQ(offLines, onLines);
    EXPECT_FALSE(readText("run.trace").empty());
}

TEST_F(CamhostTraceTest, DemoRecordHoldsEveryKindOfCrossingInWholeLines) {
    ASSERT_EQ(runScript(demoScript(), {"--trace", "demo.trace"}).status, 0);
    const std::vector<std::string> record = lines(readText("demo.trace"));
    ASSERT_GE(record.size(), 2u);
    std::map<std::string, int> kinds;
    std::set<std::string> fileNames;
    for (const std::string& line : record) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, lineGrammar())) << line;
        ++kinds[parts[3]];
        const auto name = line.find(" file name=\"");
        if (name != std::string::npos)
            fileNames.insert(line.substr(name + 12, line.find('"', name + 12) - name - 12));
    }
    EXPECT_EQ(record.front().rfind("0 t0 trace format=2 module=", 0), 0u) << record.front();
    for (const char* kind :
         {"file",       "op",        "op_ret",   "cmd",       "cmd_ret",    "notify",
          "notify_ret", "word",      "map",      "fpga_read", "fpga_write", "spi_open",
          "spi_config", "spi_write", "gpio_pin", "gpio_dir",  "gpio_set",   "gpio_edge",
          "gpio_irq",   "adc_setup", "adc",      "core",      "delay"})
        EXPECT_GT(kinds[kind], 0) << kind;
    EXPECT_EQ(kinds["op"], kinds["op_ret"]);
    EXPECT_EQ(kinds["cmd"], kinds["cmd_ret"]);
    EXPECT_EQ(kinds["notify"], kinds["notify_ret"]);
    EXPECT_EQ(kinds["dropped"], 0);
    for (const char* name : {"120mxs_config.ini", "120mxs_sensor.ini", "120MXS_registers.txt"})
        EXPECT_EQ(fileNames.count(name), 1u) << name;
    // Complete: the last line counts every event between it and the first.
    const std::regex end(R"(\d+ t0 end events=(\d+) dropped=0)");
    std::smatch counted;
    ASSERT_TRUE(std::regex_match(record.back(), counted, end)) << record.back();
    EXPECT_EQ(std::stoul(counted[1]), record.size() - 2);
}

TEST_F(CamhostTraceTest, TwoRunsOfOneScriptOnTheVirtualClockRecordTheSame) {
    ASSERT_EQ(runScript(demoWithoutBoardAnsweredWrites(), {"--trace", "first.trace"}).status, 0);
    ASSERT_EQ(runScript(demoWithoutBoardAnsweredWrites(), {"--trace", "second.trace"}).status, 0);
    const tsComparable first = comparable(readText("first.trace"));
    ASSERT_GT(first.operations.size(), 10u);
    EXPECT_EQ(first, comparable(readText("second.trace")));
}

TEST_F(CamhostTraceTest, CamhostBoardOnTheStandInFrameworkRecordsWhatCamhostRecords) {
    const std::string script = demoWithoutBoardAnsweredWrites();
    ASSERT_NE(script.find("\ncmd "), std::string::npos);
    ASSERT_NE(script.find("\nwrite "), std::string::npos);
    writeFile("test.cam", script);
    ASSERT_EQ(runScript("", {"--trace", "model.trace", "test.cam"}).status, 0);
    setenv("CAMSIM_CLOCK", "virtual", 1);
    const camhosttest::tsRun board = camhosttest::runCamhost(
        {"--config", std::string(TC120MXS_SOURCE_DIR) + "/config", "--plugin", TC120MXS_PLUGIN_PATH,
         "--trace", "board.trace", "test.cam"},
        "", TC120MXS_CAMHOST_BOARD_PATH);
    unsetenv("CAMSIM_CLOCK");
    ASSERT_EQ(board.status, 0) << board.err;
    const tsComparable model = comparable(readText("model.trace"));
    ASSERT_GT(model.operations.size(), 10u);
    EXPECT_EQ(comparable(readText("board.trace")), model);
}

TEST_F(CamhostTraceTest, RunKilledDuringLockWaitLeavesWholeLinesUpToTheKill) {
    writeFile("test.cam", "init\n");
    // Real time, a PLL that never locks: the bring-up polls for 20 s unless killed.
    camhosttest::tcCamhostProcess process(
        {"--plugin", TC120MXS_PLUGIN_PATH, "--config", std::string(TC120MXS_SOURCE_DIR) + "/config",
         "--quiet", "--sim", "pll=never", "--trace", "killed.trace", "test.cam"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    // Two polls' delays on file: the writer keeps up with the wait as it goes.
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = readText("killed.trace");
        size_t polls = 0;
        for (size_t at = text.find(" delay us=100000 "); at != std::string::npos;
             at = text.find(" delay us=100000 ", at + 1))
            ++polls;
        if (polls >= 2)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process.signal(SIGKILL);
    const camhosttest::tsRun run = process.wait();
    EXPECT_EQ(run.signal, SIGKILL);

    const std::string text = readText("killed.trace");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "the last line is cut";
    bool pllRead = false;
    for (const std::string& line : lines(text)) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, lineGrammar())) << line;
        EXPECT_NE(parts[3], "end");
        pllRead = pllRead || line.find("fpga_read base=0xff212000 ") != std::string::npos;
    }
    EXPECT_TRUE(pllRead);
    EXPECT_NE(text.find(" delay us=100000 took="), std::string::npos);
}

} // namespace
