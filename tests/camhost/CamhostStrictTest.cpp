// camhost on the strict head: broken hardware rules in the report and --strict's status.
#include "camhost/CamhostFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

namespace {

using camhosttest::CamhostTest;
using nlohmann::json;

TEST_F(CamhostTest, StrictRunFailsOnAFrameTheHeadRefuses) {
    // Catches a breach left out of the report or a strict run that still exits 0. The
    // plug-in's own operations break no rule (it refuses a poke before bring-up), so the
    // breach comes from a framework whose SPI port never takes the configuration.
    setenv("CAMSIM_BROKEN", "spi-swapped", 1);
    camhosttest::tsRun run;
    const json report = reportOf("init\n", {"--strict"}, &run);
    const camhosttest::tsRun lenient = runScript("init\n");
    unsetenv("CAMSIM_BROKEN");
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.err.find("hardware rule spi-port-unconfigured broken at "), std::string::npos)
        << run.err;
    ASSERT_FALSE(report["violations"].empty());
    for (const json& breach : report["violations"])
        EXPECT_EQ(breach["rule"], "spi-port-unconfigured");
    // Without --strict the same run succeeds and still reports the breaches.
    EXPECT_EQ(lenient.status, 0);
}

TEST_F(CamhostTest, DemoBreaksNoHardwareRule) {
    // Catches the plug-in breaking a rule anywhere in bring-up, both capture modes, the
    // settings, commands and teardown.
    camhosttest::tsRun run;
    const json report =
        reportOf("", {"--strict", std::string(TC120MXS_SOURCE_DIR) + "/config/demo.cam"}, &run);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(report["violations"], json::array());
    EXPECT_GT(report["pwm"]["pulses"].get<long long>(), 0);
}

TEST_F(CamhostTest, LanesLockingOverPollsShowTheRetries) {
    // Catches a DPA lock that cannot be made to take retries.
    const camhosttest::tsRun run = runScript("init\n", {"--sim", "dpa=0x0FFFFFFF@3"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("DPA Lock: 0 tries: 0\nDPA Lock: 1ff tries: 1\n"
                           "DPA Lock: 3ffff tries: 2\nDPA Lock: fffffff\n"),
              std::string::npos)
        << run.out;
}

TEST_F(CamhostTest, APllThatNeverLocksNeverShowsAlignment) {
    // Catches "aligned" reported without PLL lock.
    const json report = reportOf("init\nsleep 1000000\n", {"--sim", "pll=never"});
    EXPECT_EQ(report["frameReceiver"]["status"].get<uint32_t>() & 3u, 0u);
    EXPECT_EQ(report["violations"], json::array());
}

} // namespace

namespace {

TEST_F(CamhostTest, ALongerLineWhileCapturingOverrunsTheReadoutAndIsFlagged) {
    // Catches pulses into a readout going unflagged, and frames delivered faster than the
    // sensor reads them out (a 1000-clock line: 9184 rows take 204088 us).
    camhosttest::tsRun run;
    const json report = reportOf(
        "init\nstart\nsleep 250000\npoke 0x00 0xF9C00\nsleep 1000000\nstop\n", {"--strict"}, &run);
    EXPECT_EQ(run.status, 4) << run.err;
    std::set<std::string> rules;
    for (const json& breach : report["violations"])
        rules.insert(breach["rule"].get<std::string>());
    EXPECT_EQ(rules, (std::set<std::string>{"changed-during-readout", "readout-overrun"}));
    EXPECT_GE(report["frameSummary"]["dropped"].get<long long>(), 4);
    const json& frames = report["frames"];
    ASSERT_GE(frames.size(), 4u);
    for (size_t i = 3; i < frames.size(); ++i)
        EXPECT_GE(frames[i]["timeUs"].get<long long>() - frames[i - 1]["timeUs"].get<long long>(),
                  204088)
            << i;
}

TEST_F(CamhostTest, AVerticalFactorWriteWhileCapturingReachesNoSensorAndIsRefused) {
    // Catches the plug-in writing the new vertical mode and then the old one to a sensor
    // that is reading a frame out, and an answer other than a refused region's.
    camhosttest::tsRun run;
    const json report =
        reportOf("init\nstart\nsleep 353380\nwrite 0x3A040 2\nget roi\nstop\n", {"--strict"}, &run);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(report["violations"], json::array());
    const json& results = report["results"];
    ASSERT_GE(results.size(), 5u);
    EXPECT_EQ(results[3]["handled"], true);
    EXPECT_EQ(results[4]["result"], json::array({0, 0, 13280, 9184})) << results[4].dump();
}

} // namespace
