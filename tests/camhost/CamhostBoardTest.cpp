// camhost-board: the host on nothing but the framework's interfaces gives what camhost
// gives, and its read-back sees a register the plug-in did not program.
#include "camhost/CamhostFixture.h"

#include "BoardSide.h"
#include "PluginLibrary.h"
#include "Runner.h"
#include "StatusTap.h"
#include "WriteWitness.h"

#include "sim/Environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>

using camhosttest::CamhostTest;
using nlohmann::json;

namespace {

// An environment variable for the programs this test starts, restored afterwards.
class tcEnvironment {
public:
    tcEnvironment(const char* name, const std::string& value) : name(name) {
        const char* previous = std::getenv(name);
        had = previous != nullptr;
        saved = had ? previous : "";
        setenv(name, value.c_str(), 1);
    }
    ~tcEnvironment() { had ? setenv(name, saved.c_str(), 1) : unsetenv(name); }

private:
    const char* name;
    bool had = false;
    std::string saved;
};

// The results without the time stamps: camhost's are on the head's clock, camhost-board's
// on its own.
json withoutTimes(json results) {
    for (json& record : results)
        record.erase("atUs");
    return results;
}

TEST_F(CamhostTest, CamhostBoardAnswersTheDemoAsCamhostDoesWithoutTheSimulator) {
    // Catches a core that behaves differently without the simulator's layer: a result, an
    // expectation, a handled write or a register-file word that camhost-board gets wrong,
    // a write not waited for when the framework notifies from its own thread, or settings
    // the sim does not take from the environment.
    const std::string demo = std::string(TC120MXS_SOURCE_DIR) + "/config/demo.cam";
    for (const std::string mode : {"direct", "thread"}) {
        SCOPED_TRACE(mode);
        const camhosttest::tsRun camhost =
            runScript("", {"--quiet", "--sim", "regfile=" + mode, "--json", "camhost.json", demo});
        ASSERT_EQ(camhost.status, 0) << camhost.err;

        const tcEnvironment clock("CAMSIM_CLOCK", "virtual");
        const tcEnvironment regfile("CAMSIM_REGFILE", mode);
        const camhosttest::tsRun board = camhosttest::runCamhost(
            {"--plugin", TC120MXS_PLUGIN_PATH, "--config",
             std::string(TC120MXS_SOURCE_DIR) + "/config", "--quiet", "--json", "board.json", demo},
            "", TC120MXS_CAMHOST_BOARD_PATH);
        ASSERT_EQ(board.status, 0) << board.err;
        EXPECT_EQ(board.err, "");

        const json expected = camhosttest::readJson("camhost.json");
        const json got = camhosttest::readJson("board.json");
        EXPECT_EQ(withoutTimes(got.at("results")), withoutTimes(expected.at("results")));
        EXPECT_EQ(got.at("expectations"), (json{{"checked", 19}, {"failed", 0}}));
        EXPECT_EQ(got.at("expectations"), expected.at("expectations"));
        EXPECT_EQ(got.at("registerFile"), expected.at("registerFile"));
        EXPECT_EQ(got.at("board"), expected.at("board"));
        // The status lines as they passed to the framework, as the head recorded them.
        EXPECT_EQ(got.at("status"), expected.at("status"));
        EXPECT_EQ(got.at("statusText"), expected.at("statusText"));
        EXPECT_FALSE(got.at("unavailable").contains("status"));
        // What only the simulator shows stays out; what the framework may lack is said.
        for (const char* simOnly : {"sensor", "frameReceiver", "frames", "violations"})
            EXPECT_FALSE(got.contains(simOnly)) << simOnly;
        EXPECT_TRUE(got.at("unavailable").contains("regions"));
        EXPECT_TRUE(got.at("unavailable").contains("registerFileListing"));
    }
}

TEST_F(CamhostTest, TheStatusTapRecordsEachLineAndHandsItOnToTheFrameworkUnchanged) {
    // Catches a line the framework no longer receives (on the board its clients would lose
    // "Sensor powerup error!"), one changed on the way, or one recorded twice.
    const size_t before =
        camhost::tappedStatusLines().value_or(std::vector<camhost::tsStatusLine>{}).size();
    Vistrel::tcStatusReporter board;
    board.updateStatus(Vistrel::tcStatusReporter::eeStatusError, "Sensor powerup error!");
    board.updateStatusFMT(Vistrel::tcStatusReporter::eeStatusInfo, "setExposure %d uS", 20000);
    board.updateStatusFMT("%s at 100%%", "unmarked");
    const std::vector<std::pair<std::optional<int>, std::string>> sent{
        {4, "Sensor powerup error!"},
        {6, "setExposure 20000 uS"},
        {std::nullopt, "unmarked at 100%"}};

    const std::optional<std::vector<camhost::tsStatusLine>> tapped = camhost::tappedStatusLines();
    ASSERT_TRUE(tapped.has_value()) << "the framework's own operations were not found";
    ASSERT_EQ(tapped->size(), before + sent.size());
    const std::vector<sim::StatusLine> received = head().statusLines();
    ASSERT_EQ(received.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        const camhost::tsStatusLine& seen = (*tapped)[tapped->size() - sent.size() + i];
        EXPECT_EQ(std::make_pair(seen.status, seen.text), sent[i]);
        EXPECT_EQ(std::make_pair(received[i].status, received[i].text), sent[i]);
    }
}

TEST_F(CamhostTest, TheSimTakesCamhostBoardsSettingsFromTheEnvironment) {
    // Catches a setting camhost-board cannot give the sim (it calls none of it): a clock
    // that really waits in tests, a register-file mode not applied, a bad value taken.
    const tcEnvironment clock("CAMSIM_CLOCK", "virtual");
    const tcEnvironment regfile("CAMSIM_REGFILE", "thread");
    sim::Clock::useVirtualTime(false);
    sim::detail::applyEnvironment(head());
    EXPECT_TRUE(sim::Clock::isVirtual());
    EXPECT_EQ(head().config().registerFileMode, sim::RegisterFileMode::thread);
    EXPECT_NE(head().memoryPath(), ""); // the plug-in finds its memory device at once

    // camhost's --sim keys, blank-separated; CAMSIM_REGFILE still decides the mode.
    {
        const tcEnvironment faults("CAMSIM_SIM", "pwm=down  gpio.XRESET=absent regfile=locked");
        sim::detail::applyEnvironment(head());
        EXPECT_TRUE(head().config().pwmDown);
        EXPECT_EQ(head().config().absentGpios, std::set<std::string>{"XRESET"});
        EXPECT_EQ(head().config().registerFileMode, sim::RegisterFileMode::thread);
    }

    const tcEnvironment wrong("CAMSIM_REGFILE", "threaded");
    const tcEnvironment wrongKey("CAMSIM_SIM", "pwm=down pwm=down");
    testing::internal::CaptureStderr();
    sim::detail::applyEnvironment(head());
    const std::string refused = testing::internal::GetCapturedStderr();
    EXPECT_NE(refused.find("CAMSIM_REGFILE=threaded ignored"), std::string::npos);
    EXPECT_NE(refused.find("CAMSIM_SIM ignored: --sim pwm=down: given twice"), std::string::npos)
        << refused;
    EXPECT_EQ(head().config().registerFileMode, sim::RegisterFileMode::direct);
    EXPECT_FALSE(head().config().pwmDown);
}

TEST_F(CamhostTest, CamhostBoardWithoutConfigReadsTheWorkingDirectoryNeverTheSamples) {
    // Catches camhost-board powering a head with the sample register set (made up, to be
    // replaced before first power) when --config is left out, as the framework never would.
    const tcEnvironment clock("CAMSIM_CLOCK", "virtual");
    const std::vector<std::string> args{"--plugin", TC120MXS_PLUGIN_PATH, "-"};
    camhosttest::tsRun run = camhosttest::runCamhost(args, "init\n", TC120MXS_CAMHOST_BOARD_PATH);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(scratchDir() + " lacks"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("[1] init"), std::string::npos) << run.out;

    for (const char* name : {"120mxs_config.ini", "120mxs_sensor.ini", "120MXS_registers.txt",
                             "bad_pixel_map.txt", "version"})
        copySampleConfig(name);
    run = camhosttest::runCamhost(args, "init\nexpect 0\n", TC120MXS_CAMHOST_BOARD_PATH);
    EXPECT_EQ(run.status, 0) << run.err;
}

// The readback row of a register.
json rowOf(const json& readback, const std::string& name) {
    for (const json& row : readback.at("registers"))
        if (row.at("register") == name)
            return row;
    return json();
}

TEST_F(CamhostTest, AReceiverRegisterChangedBehindThePluginsBackIsReadBackAsAMismatch) {
    // Catches a read-back that reads the plug-in's belief instead of the hardware, compares
    // nothing, or derives the plug-in's settings wrongly (a mismatch on a healthy board).
    for (const char* name : {"120mxs_config.ini", "120mxs_sensor.ini", "120MXS_registers.txt",
                             "bad_pixel_map.txt", "version"})
        copySampleConfig(name);
    camhost::tcPluginLibrary library(TC120MXS_PLUGIN_PATH);
    const camhost::tcRegisterFileLog words;
    std::unique_ptr<Vistrel::tcSensorBoard> board = library.makeSensor("/dev/spidev1.0");
    {
        camhost::tcBoardSide host;
        camhost::tcScriptRunner runner(*board, host, words, [] { return camhost::Json(); });
        std::istringstream script("init\nroi 3600 16 13264 2000\nwrite 0x3D008 0x123\nreadback\n"
                                  "readback\n");
        const std::vector<camhost::tsCommand> commands = camhost::readScript(script);
        for (size_t i = 0; i < 4; ++i)
            runner.run(commands[i]);
        const camhost::Json healthy = runner.results().back();
        EXPECT_EQ(healthy.at("result"), 0) << healthy.dump(1);
        int compared = 0;
        for (const auto& row : healthy.at("readback").at("registers"))
            compared += row.contains("match") ? 1 : 0;
        EXPECT_EQ(compared, 6); // control, status, lanes, region size and start, bias

        // The receiver's cut-out start, moved as nothing in the plug-in would.
        head().setPhysicalWord(sim::frame::base + sim::frame::roiStart, 0x00080010);
        runner.run(commands[4]);
        const camhost::Json changed = runner.results().back();
        EXPECT_EQ(changed.at("result"), 1);
        const camhost::Json start = rowOf(changed.at("readback"), "receiver.roiStart");
        EXPECT_EQ(start.at("value"), "0x00080010");
        EXPECT_EQ(start.at("believed"), "0x0e100010");
        EXPECT_EQ(start.at("match"), false);
        EXPECT_EQ(rowOf(changed.at("readback"), "receiver.biasSubtract").at("value"), "0x80000123");
    }
    board.reset();
}

} // namespace
