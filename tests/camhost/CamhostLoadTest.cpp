// Loading the module and camhost's exit statuses.
#include "camhost/CamhostFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using camhosttest::CamhostTest;
using camhosttest::runCamhost;
using nlohmann::json;

namespace {

std::string pluginDir() {
    return std::filesystem::path(TC120MXS_PLUGIN_PATH).parent_path();
}

TEST_F(CamhostTest, LoadsTheModuleBuildsAndDeletesABoard) {
    // Catches entry points looked up wrongly or a board that is never built or destroyed.
    const camhosttest::tsRun run = runScript("");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("sensorType: 8"), std::string::npos);
    EXPECT_NE(run.out.find("Constructing tc120MXSSensorBoard"), std::string::npos);
}

TEST_F(CamhostTest, DefaultsFindTheBuiltModuleAndSampleConfiguration) {
    // Catches a default plug-in or configuration path that only works from one directory.
    writeFile("test.cam", "init\n");
    const camhosttest::tsRun run = runCamhost({"--fast", "test.cam"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("[1] init -> 0"), std::string::npos) << run.out;
}

TEST_F(CamhostTest, AModuleThatCannotBeLoadedExitsWithOne) {
    // Catches a missing module or entry point reported as success, or a crash on it.
    camhosttest::tsRun run = runCamhost({"--fast", "--plugin", scratchDir() + "/none.so"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("none.so"), std::string::npos) << run.err;

    // The sim library loads but has neither entry point.
    run = runCamhost({"--fast", "--plugin", pluginDir() + "/libcamsim.so"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("sensorType"), std::string::npos) << run.err;
}

TEST_F(CamhostTest, UsageAndScriptErrorsExitWithTwoBeforeAnythingRuns) {
    // Catches a bad line found only after the head was driven, or an error without its line.
    camhosttest::tsRun run = runScript("init\n# fine\nexposure twenty\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("line 3"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("[1] init"), std::string::npos) << "init ran before the error";

    for (const std::string script : {"frobnicate\n", "roi 0 0 100\n", "get nothing\n",
                                     "regions 2 0 0 13280 100\n", "color 2\n", "cmd\n"}) {
        run = runScript("init\n" + script);
        EXPECT_EQ(run.status, 2) << script;
        EXPECT_NE(run.err.find("line 2"), std::string::npos) << script << run.err;
    }

    // The size limits, at their edges: a script from a device that never ends a line must
    // not grow without bound.
    const std::string comment = "get clock #";
    EXPECT_EQ(runScript(comment + std::string(4096 - comment.size(), 'x') + "\n").status, 0);
    run = runScript(comment + std::string(4097 - comment.size(), 'x') + "\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("line 1: the line is longer than 4096"), std::string::npos) << run.err;
    std::string large;
    while (large.size() <= 1 << 20)
        large += "#" + std::string(1000, 'x') + "\n";
    run = runScript(large);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("longer than 1048576 bytes"), std::string::npos) << run.err;

    EXPECT_EQ(runScript("", {"--bogus"}).status, 2);
    EXPECT_EQ(runScript("", {"--sim", "pll=soon"}).status, 2);
    EXPECT_EQ(runScript("", {"--sim", "nosuch=1"}).status, 2);
    EXPECT_EQ(runCamhost({"--fast", "--config", scratchDir() + "/absent"}).status, 2);
    EXPECT_EQ(runCamhost({"--fast", "absent.cam"}).status, 2);
    EXPECT_EQ(runCamhost({"--help"}).status, 0);
}

TEST_F(CamhostTest, AnExceptionFromThePluginExitsWithOneAndKeepsTheReport) {
    // Catches an exception that kills camhost without naming it or losing the report.
    camhosttest::tsRun run;
    const nlohmann::json report = reportOf("init\nversion\n", {"--sim", "spi=closed"}, &run);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Failed to open spidev"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 1"), std::string::npos) << run.err;
    ASSERT_EQ(report.at("results").size(), 1u); // "version" never ran
    EXPECT_EQ(report["results"][0]["error"], "Failed to open spidev");
    EXPECT_EQ(report["error"], "Failed to open spidev");
    EXPECT_EQ(report["sensor"]["spiFrames"], 0);
}

TEST_F(CamhostTest, ExpectChecksTheResultBeforeItAndEndsWithThreeWhenUnmet) {
    // Catches a failed bring-up invisible to a CI job, an expectation form read wrongly, a
    // run cut short by the first unmet one, or an unmet one that names no line.
    camhosttest::tsRun run;
    json report =
        reportOf("init\nexpect 0\nget interval\nexpect !0\n", {"--sim", "pll=never"}, &run);
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("line 2: expect 0: line 1 (init) gave -1"), std::string::npos)
        << run.err;
    EXPECT_EQ(report["results"][0]["expect"],
              json({{"line", 2}, {"expected", "0"}, {"met", false}}));
    EXPECT_EQ(report["results"][1]["expect"]["met"], true); // the script ran to its end
    EXPECT_EQ(report["expectations"], json({{"checked", 2}, {"failed", 1}}));

    // Every form met but the last, so exactly one failure, on line 12.
    report = reportOf("get roi\nexpect [0, 0, 13280, 9184]\nget roi\nexpect 0 0 13280 9184\n"
                      "cmd GBPRM\nexpect \"NACK 4\"\ncmd EXPM 0\nexpect NACK 7\n"
                      "get clock\nexpect 0x2D\nget clock\nexpect !45\n",
                      {}, &run);
    EXPECT_EQ(run.status, 3) << run.out;
    EXPECT_EQ(report["expectations"]["failed"], 1) << run.out;
    EXPECT_NE(run.err.find("line 12: expect !45: line 11 (get clock) gave 45"), std::string::npos)
        << run.err;
    EXPECT_EQ(runScript("init\nexpect 0\n").status, 0);

    // An exception from the plug-in outranks an unmet expectation.
    EXPECT_EQ(runScript("get clock\nexpect 1\ninit\n", {"--sim", "spi=closed"}).status, 1);
    // Nothing to check is a script error, found before anything runs.
    for (const std::string script :
         {"expect 0\n", "sleep 1\nexpect 0\n", "init\nexpect\n", "init\nexpect 0\nexpect 0\n"}) {
        run = runScript(script);
        EXPECT_EQ(run.status, 2) << script;
        EXPECT_EQ(run.out.find("sensorType"), std::string::npos) << script;
    }
}

TEST_F(CamhostTest, TheCommandLineSaysWhatToFix) {
    // Catches help without the valid values, a --sim mistake taken silently, or an error
    // that does not say where or why.
    camhosttest::tsRun run = runCamhost({"--help"});
    for (const char* text :
         {"0 free running, 1 external trigger", "2 8-bit", "17 (sensor", "any line and level",
          "dpa=MASK", "bits 0..27", "3 an expectation", "--quiet", "--version"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text;
    run = runCamhost({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("camhost ", 0), 0u) << run.out;

    run = runScript("", {"--sim", "gpio.RESET=absent"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("XRESET, MCLK_ENABLE"), std::string::npos) << run.err;
    run = runScript("", {"--sim", "pll=3", "--sim", "align=1", "--sim", "pll=4"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("pll=4: given twice"), std::string::npos) << run.err;

    std::filesystem::create_directory("empty");
    run = runCamhost({"--fast", "--config", "empty"});
    EXPECT_EQ(run.status, 2);
    const std::string here = std::filesystem::current_path().string();
    EXPECT_NE(run.err.find(here + "/empty lacks"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("120MXS_registers.txt"), std::string::npos) << run.err;

    run = runCamhost({"--fast", "absent.cam"});
    EXPECT_NE(run.err.find("absent.cam (working directory " + here + "): No such file"),
              std::string::npos)
        << run.err;

    run = runScript("init\n", {"--json", "nodir/report.json"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(here + "/nodir/report.json"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("[1] init"), std::string::npos) << "init ran before the error";

    // No script argument, standard input not a terminal: the script comes from there.
    run = runCamhost({"--fast"}, "get clock\n");
    EXPECT_NE(run.out.find("[1] get clock -> 45"), std::string::npos) << run.out;
}

TEST_F(CamhostTest, QuietKeepsThePluginsOutputOffTheTerminal) {
    // Catches the plug-in's lines mixed into the results, camhost's own lines lost with
    // them, or the log left empty.
    camhosttest::tsRun run = runScript("init\nget clock\n", {"--quiet"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("[2] get clock -> 45"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Constructing"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("STATUS"), std::string::npos) << run.out;

    run = runScript("init\nexpect 1\n", {"--quiet", "--log", "plugin.log"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out.find("Constructing"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("line 2: expect 1"), std::string::npos) << run.err;
    const std::string log = camhosttest::readText("plugin.log");
    EXPECT_NE(log.find("Constructing tc120MXSSensorBoard"), std::string::npos) << log;
    EXPECT_EQ(log.find("[1] init"), std::string::npos) << log;
}

TEST_F(CamhostTest, EveryFailedOutputWriteExitsWithTwo) {
    // Catches an output lost without a failing exit status: a log on a full device, a
    // report or waveform cut short, a contact sheet or a frame file that could not be
    // written. The frame file is blocked by a directory of its name (the tests may run as
    // root, whom permissions do not stop).
    std::filesystem::create_directories(scratchDir() + "/frames/frame-000000.pgm");
    const std::string capture = "init\nstart\nsleep 300000\nstop\n";
    for (const auto& [option, path] :
         std::vector<std::pair<std::string, std::string>>{{"--log", "/dev/full"},
                                                          {"--json", "/dev/full"},
                                                          {"--vcd", "/dev/full"},
                                                          {"--contact-sheet", "/dev/full"},
                                                          {"--frames", "frames"}}) {
        SCOPED_TRACE(option);
        const camhosttest::tsRun run = runScript(capture, {"--quiet", option, path});
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    }
}

TEST_F(CamhostTest, ReadsTheScriptFromStandardInput) {
    // Catches "-" taken for a file name.
    const camhosttest::tsRun run =
        runCamhost({"--fast", "--plugin", TC120MXS_PLUGIN_PATH, "-"}, "get clock\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("[1] get clock -> 45"), std::string::npos) << run.out;
}

} // namespace
