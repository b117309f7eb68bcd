// camhost --replay: a fault run's record, replayed on a head without the faults, answers
// what the faulty head answered; a replay in a folder configured otherwise than the
// record's parts from it and says where.
#include "camhost/CamhostFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class CamhostReplayTest : public camhosttest::CamhostTest {
protected:
    // Runs script (camhost --quiet --trace path, then extra) until the record holds words
    // the board's publishing thread sent: in a recording run on a loaded machine that thread
    // may first run while the board is being destroyed, which the record does not hold, and
    // a replay cannot make its own thread as late (docs/trace.md).
    void recordWithPublishedWords(const std::string& script, const std::vector<std::string>& extra,
                                  const std::string& path) {
        std::vector<std::string> args{"--plugin", TC120MXS_PLUGIN_PATH,
                                      "--config", std::string(TC120MXS_SOURCE_DIR) + "/config",
                                      "--quiet",  "--trace",
                                      path};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("test.cam");
        writeFile("test.cam", script);
        const std::regex published(R"((^|\n)\d+ t[1-9]\d* word )");
        for (int attempt = 0; attempt < 5; ++attempt) {
            const camhosttest::tsRun run = camhosttest::runCamhost(args);
            ASSERT_EQ(run.status, 0) << run.out << run.err;
            if (std::regex_search(camhosttest::readText(path), published))
                return;
        }
        FAIL() << "5 records of the script without a word of the publishing thread";
    }
    // What the replay printed for each operation, in order: "initialize() -> -1".
    static std::vector<std::string> operations(const std::string& out) {
        std::vector<std::string> lines;
        const std::regex line(R"(\[\d+\] (\w+\([^)]*\) -> .*))");
        std::istringstream in(out);
        for (std::string text; std::getline(in, text);) {
            std::smatch match;
            if (std::regex_match(text, match, line))
                lines.push_back(match[1]);
        }
        return lines;
    }
};

const char* const kScript = "init\nget exposure\ntemperature 0\n";

TEST_F(CamhostReplayTest, AFaultRunsRecordReplayedWithoutTheFaultsGivesItsAnswers) {
    // The PLL never locks and a rail reads low: initialize fails on this head alone.
    nlohmann::json faults = reportOf(kScript, {"--quiet", "--trace", "faults.trace", "--sim",
                                               "pll=never", "--sim", "rail.4=1.58"});
    ASSERT_EQ(camhosttest::resultOfLine(faults, 1), -1);
    ASSERT_EQ(camhosttest::resultOfLine(reportOf(kScript, {"--quiet"}), 1), 0)
        << "the head without faults brings the board up";

    const camhosttest::tsRun replay =
        runScript("", {"--quiet", "--replay", "faults.trace", "--json", "replay.json"});
    EXPECT_EQ(replay.status, 0) << replay.out << replay.err;
    const nlohmann::json report = camhosttest::readJson("replay.json");
    EXPECT_EQ(report.at("matched"), true);
    EXPECT_EQ(report.at("calls")[1].at("call"), "initialize()");
    EXPECT_EQ(report.at("calls")[1].at("answer"), "-1");
    const std::vector<std::string> answered = operations(replay.out);
    ASSERT_GE(answered.size(), 4u) << replay.out;
    EXPECT_EQ(answered[0], "getCustomHandlers(0,1) -> 1");
    EXPECT_EQ(answered[1], "initialize() -> -1");
    EXPECT_EQ(answered[2], "getExposure() -> " + faults.at("results")[1].at("result").dump());
    EXPECT_EQ(answered[3],
              "getTemperature(0) -> " + faults.at("results")[2].at("result").get<std::string>());
    EXPECT_NE(replay.out.find("replay matched the record"), std::string::npos) << replay.out;
}

TEST_F(CamhostReplayTest, TheDemosRecordReplaysAsRecordedItsTextCommandsIncluded) {
    recordWithPublishedWords(
        camhosttest::readText(std::string(TC120MXS_SOURCE_DIR) + "/config/demo.cam"), {"--fast"},
        "demo.trace");
    const camhosttest::tsRun replay = runScript("", {"--quiet", "--replay", "demo.trace"});
    EXPECT_EQ(replay.status, 0) << replay.out << replay.err;
    EXPECT_NE(replay.out.find("] cmd GCLK -> ACK <45>\n"), std::string::npos) << replay.out;
}

TEST_F(CamhostReplayTest, WordsOfClientWritesLeaveThePublishingThreadInTheRecordsGroups) {
    // Each vertical factor makes the board publish its region words from its publishing
    // thread, which keeps one word waiting per address: a replay that wrote the next factor
    // before that thread sent the last one's words would send the newest values alone. The
    // recording's pauses (real time) let its thread send each write's words before the next.
    recordWithPublishedWords("init\nexpect 0\nwrite 0x3A040 2\nsleep 50000\nwrite 0x3D000 7\n"
                             "sleep 50000\nwrite 0x3A040 1\nsleep 50000\nwrite 0x3D00C 1\n"
                             "sleep 50000\nwrite 0x3A020 0x01100005\nsleep 50000\n",
                             {}, "factors.trace");
    const camhosttest::tsRun replay = runScript("", {"--quiet", "--replay", "factors.trace"});
    EXPECT_EQ(replay.status, 0) << replay.out << replay.err;
}

TEST_F(CamhostReplayTest, AReplayConfiguredOtherwiseThanTheRecordStopsAtTheDivergence) {
    ASSERT_EQ(runScript("init\nexpect 0\n", {"--quiet", "--trace", "clean.trace"}).status, 0);
    const fs::path changed = fs::absolute("changed");
    fs::copy(fs::path(TC120MXS_SOURCE_DIR) / "config", changed, fs::copy_options::recursive);
    std::string ini = camhosttest::readText((changed / "120mxs_config.ini").string());
    const std::string before = "ExposureTime = 80000";
    ASSERT_NE(ini.find(before), std::string::npos);
    ini.replace(ini.find(before), before.size(), "ExposureTime = 40000");
    writeFile((changed / "120mxs_config.ini").string(), ini);

    const camhosttest::tsRun same = runScript("", {"--quiet", "--replay", "clean.trace"});
    EXPECT_EQ(same.status, 0) << same.out << same.err;
    std::vector<std::string> args{
        "--fast",  "--plugin", TC120MXS_PLUGIN_PATH, "--config", changed.string(),
        "--quiet", "--replay", "clean.trace",        "--json",   "replay.json"};
    const camhosttest::tsRun replay = camhosttest::runCamhost(args);
    EXPECT_EQ(replay.status, 3) << replay.out << replay.err;
    EXPECT_NE(replay.out.find("120mxs_config.ini"), std::string::npos) << replay.out;
    const nlohmann::json report = camhosttest::readJson("replay.json");
    EXPECT_EQ(report.at("matched"), false);
    ASSERT_FALSE(report.at("divergences").empty());
    EXPECT_NE(replay.out.find(report.at("divergences")[0].get<std::string>()), std::string::npos);
    EXPECT_EQ(replay.out.find("replay matched"), std::string::npos) << replay.out;
}

} // namespace
