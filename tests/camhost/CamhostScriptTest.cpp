// Script results and the state report, checked against what reached the simulated head.
#include "camhost/CamhostFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using camhosttest::CamhostTest;
using camhosttest::resultOfLine;
using nlohmann::json;

namespace {

const char* const kBringUp = R"(# comment line
init   # trailing comment
get roi

roi 8 16 13280 2000
get image-roi
exposure 0x4E20
get exposure
get clock
trigger 1
get skip-frames
get trigger
cmd SBPRM 1
cmd GBPRM ignored args
cmd EXPM 0
cmd sbpr 1
peek 0x3
write 0x3D008 0x100
write 0x3A074 0
sleep 1000
)";

TEST_F(CamhostTest, ResultsCarryLineCommandAndTheOperationsAnswer) {
    // Catches miscounted lines, results of the wrong type, or getters mapped to wrong calls.
    camhosttest::tsRun run;
    const json report = reportOf(kBringUp, {}, &run);
    ASSERT_EQ(run.status, 0) << run.err;

    const json& results = report.at("results");
    ASSERT_EQ(results.size(), 18u);
    EXPECT_EQ(results[0]["line"], 2);
    EXPECT_EQ(results[0]["command"], "init");
    EXPECT_EQ(resultOfLine(report, 2), 0);
    EXPECT_EQ(resultOfLine(report, 3), json::array({0, 0, 13280, 9184}));
    EXPECT_EQ(resultOfLine(report, 5), 0);
    EXPECT_EQ(resultOfLine(report, 7), 0);
    EXPECT_GE(resultOfLine(report, 8).get<int>(), 19900); // read back from the sensor
    EXPECT_LE(resultOfLine(report, 8).get<int>(), 20100);
    EXPECT_EQ(resultOfLine(report, 9), 45);
    EXPECT_EQ(resultOfLine(report, 11), 1);
    EXPECT_EQ(resultOfLine(report, 12), 1);
    EXPECT_EQ(resultOfLine(report, 13), "ACK");
    EXPECT_EQ(resultOfLine(report, 14), "ACK <1>");
    EXPECT_EQ(resultOfLine(report, 15), "NACK 7");
    EXPECT_EQ(resultOfLine(report, 16), "NACK 7"); // not a command of the board's
    EXPECT_EQ(resultOfLine(report, 17), 0);
    ASSERT_EQ(results[14]["line"], 17);
    EXPECT_EQ(results[14].value("value", "").rfind("0x", 0), 0u); // the peeked word
    EXPECT_TRUE(resultOfLine(report, 18).is_null());
    EXPECT_TRUE(resultOfLine(report, 20).is_null());
    // Every command printed its result line.
    EXPECT_NE(run.out.find("[14] cmd GBPRM ignored args -> \"ACK <1>\""), std::string::npos);
}

TEST_F(CamhostTest, ClientWritesReachTheObserverAndTheHandlers) {
    // Catches a write stored in the register file but never delivered to the board.
    const json report = reportOf(kBringUp);
    EXPECT_EQ(report["frameReceiver"]["biasSubtract"].get<uint32_t>() & 0x7FF, 0x100u);
    EXPECT_EQ(report["frameReceiver"]["biasSubtract"].get<uint32_t>() & 0x80000000u, 0x80000000u);
    EXPECT_EQ(report["badPixel"]["mapState"], false); // SBPRM 1, then the word cleared it
    EXPECT_EQ(report["registerFile"]["0x3a074"], 0);
    EXPECT_EQ(report["registerFile"]["0x3d008"], 0x100);
}

TEST_F(CamhostTest, TheReportHasEveryKeyOfItsContract) {
    // Catches a renamed or missing key that the report's readers depend on.
    const json report = reportOf(kBringUp);
    for (const char* key :
         {"sensorType", "results", "status", "registerFile", "sensor", "frameReceiver", "pwm",
          "pixelShift", "badPixel", "frameOutput", "gpioEdge"})
        EXPECT_TRUE(report.contains(key)) << key;
    EXPECT_EQ(report["sensorType"], 8);
    for (const char* key : {"registers", "spiFrames", "reset", "masterClock"})
        EXPECT_TRUE(report["sensor"].contains(key)) << key;
    for (const char* key : {"control", "laneInversion", "roiResolution", "blankOffset", "roiStart",
                            "biasSubtract", "dpaHold"})
        EXPECT_TRUE(report["frameReceiver"][key].is_number_unsigned()) << key;
    for (const char* key : {"enabled", "periodUs", "dutyUs", "inverted", "pulses"})
        EXPECT_TRUE(report["pwm"].contains(key)) << key;
    for (const char* key : {"direction", "bits", "reset"})
        EXPECT_TRUE(report["pixelShift"].contains(key)) << key;
    for (const char* key : {"data", "roi", "color", "mapState", "reset"})
        EXPECT_TRUE(report["badPixel"].contains(key)) << key;

    // The status lines of a good bring-up, in order, with their codes.
    const json& status = report["status"];
    ASSERT_GE(status.size(), 3u);
    EXPECT_EQ(status[0], json({{"status", 6}, {"text", "Initializing FPGA..."}}));
    EXPECT_EQ(status[1]["text"], "FPGA Initialization done");

    // Addresses and register numbers as lowercase hex keys.
    EXPECT_EQ(report["registerFile"]["0x3a020"], 0x01080001);
    EXPECT_EQ(report["registerFile"]["0x3d000"], 15);
    for (const auto& entry : report["registerFile"].items())
        EXPECT_EQ(entry.key(), [&] {
            std::ostringstream text;
            text << "0x" << std::hex << std::stoul(entry.key(), nullptr, 16);
            return text.str();
        }()) << entry.key();
    EXPECT_FALSE(report["sensor"]["registers"].empty());
    EXPECT_GT(report["sensor"]["spiFrames"].get<int>(), 0);
    EXPECT_EQ(report["sensor"]["reset"], 1);
    EXPECT_EQ(report["sensor"]["masterClock"], 1);

    // The start-up region of the sample configuration, handed to the core by init.
    EXPECT_EQ(report["badPixel"]["roi"], json::array({0, 0, 13280, 9184}));
    EXPECT_EQ(report["badPixel"]["data"], "bad_pixel_map.txt");
    EXPECT_EQ(report["gpioEdge"], json({{"pin", 0}, {"mode", 1}})); // trigger 1: rising edge
    for (const json& call : report["frameOutput"]) {
        ASSERT_TRUE(call.is_array());
        EXPECT_TRUE(call[0].is_string());
        EXPECT_EQ(call.size(), call[0] == "Q" ? 1u : 2u) << call.dump();
    }
}

TEST_F(CamhostTest, TheReportIsReadableBesideItsRawNumbers) {
    // Catches hex texts that disagree with the raw words, receiver fields decoded from the
    // wrong bits, a board section that is not the board's, or writes said to be handled
    // by the wrong receiver.
    const json report = reportOf(std::string(kBringUp) +
                                 "write 0x12345 1\nregions 2 40 16 13280 100 400 16 13280 100\n");
    EXPECT_EQ(report["registerFileHex"]["0x3a020"], "0x01080001");
    for (const char* section : {"registerFile", "sensor"}) {
        const json& raw = section == std::string("sensor") ? report["sensor"]["registers"]
                                                           : report["registerFile"];
        const json& hex = section == std::string("sensor") ? report["sensor"]["registersHex"]
                                                           : report["registerFileHex"];
        ASSERT_EQ(hex.size(), raw.size()) << section;
        for (const auto& entry : raw.items())
            EXPECT_EQ(std::stoul(hex.at(entry.key()).get<std::string>(), nullptr, 16),
                      entry.value().get<unsigned long>())
                << section << " " << entry.key();
    }

    const json& fields = report["frameReceiver"]["fields"];
    // The receiver holds the image region: the two regions stacked.
    EXPECT_EQ(fields["roiStart"], json({{"y", 40}, {"x", 16}}));
    EXPECT_EQ(fields["roiResolution"], json({{"height", 200}, {"width", 13280}}));
    EXPECT_EQ(fields["blankOffset"], json({{"vertical", 33}, {"horizontal", 48}}));
    EXPECT_EQ(fields["biasSubtract"], json({{"enabled", true}, {"offset", 0x100}}));
    EXPECT_EQ(fields["coreEnabled"], true);
    EXPECT_EQ(fields["pllLocked"], true);
    EXPECT_EQ(fields["dpaLockedLanes"], "0xfffffff");
    EXPECT_EQ(report["frameReceiver"]["hex"]["biasSubtract"], "0x80000100");

    EXPECT_EQ(report["statusText"][0], "info (6): Initializing FPGA...");
    EXPECT_EQ(report["results"][4]["resultName"], "success");  // exposure
    EXPECT_FALSE(report["results"][5].contains("resultName")); // a getter's value
    const auto write = [&](int line) {
        for (const json& record : report["results"])
            if (record["line"] == line)
                return record;
        return json();
    };
    EXPECT_EQ(write(18)["handledBy"], json::array({"observer"}));
    EXPECT_NE(write(19)["handledBy"][0].get<std::string>().find("tcBadPixelHandler"),
              std::string::npos);
    EXPECT_EQ(write(21)["command"], "write 0x12345 1");
    EXPECT_EQ(write(21)["handled"], false);

    const json& board = report["board"];
    EXPECT_EQ(board["region"], json::array({8, 16, 13280, 2000}));
    EXPECT_EQ(board["imageRegion"], json::array({40, 16, 13280, 200}));
    EXPECT_EQ(board["triggerName"], "external trigger");
    EXPECT_EQ(board["exposureUs"], resultOfLine(report, 8));
    EXPECT_EQ(board["capturing"], false);
    // The XRESET line is high: the sensor runs; a core's reset is the core held in reset.
    EXPECT_EQ(report["sensor"]["xresetLevel"], 1);
    EXPECT_EQ(report["sensor"]["heldInReset"], false);
    EXPECT_EQ(report["pixelShift"]["heldInReset"], report["pixelShift"]["reset"]);
}

TEST_F(CamhostTest, StatePrintsTheReportMidScript) {
    // Catches "state" printing nothing parseable or a report of the wrong moment.
    const camhosttest::tsRun run = runScript("init\nstate\nexposure 30000\n");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto begin = run.out.find("\n{\n");
    const auto end = run.out.find("\n}\n", begin);
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const json state = json::parse(run.out.substr(begin + 1, end - begin + 1));
    ASSERT_EQ(state["results"].size(), 1u); // only init had run
    EXPECT_EQ(state["sensorType"], 8);
}

TEST_F(CamhostTest, CaptureCommandsDriveThePulseGenerator) {
    // Catches start/stop/notify not reaching the board's capture control.
    const json report = reportOf("init\ntrigger 1\nstart\nget capturing\nnotify 0 1\n"
                                 "notify 0 1\nstop\nget capturing\n");
    EXPECT_EQ(resultOfLine(report, 3), 0);
    EXPECT_EQ(resultOfLine(report, 4), 1);
    EXPECT_EQ(resultOfLine(report, 7), 0);
    EXPECT_EQ(resultOfLine(report, 8), 0);
    EXPECT_GE(report["pwm"]["pulses"].get<int>(), 2); // one at least per triggered frame
    EXPECT_EQ(report["pwm"]["enabled"], false);
}

TEST_F(CamhostTest, TheDemoScriptRunsClean) {
    // Catches a shipped demo that no longer matches the commands or fails a bring-up step.
    copySampleConfig("demo.cam");
    camhosttest::tsRun run;
    const json report = reportOf("", {"demo.cam"}, &run);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const json& record : report["results"]) {
        const std::string command = record["command"];
        for (const char* name : {"init", "start", "stop", "roi", "exposure"}) {
            if (command.rfind(name, 0) == 0) {
                EXPECT_EQ(record["result"], 0) << command;
            }
        }
    }
}

} // namespace

TEST_F(CamhostTest, TheReportHoldsTheWordsAClientsWriteMadeTheBoardPublish) {
    // Catches a report written while the board's publishing thread still holds the region words
    // a vertical-factor write produced: they leave after the notification returns.
    for (const char* mode : {"direct", "locked", "thread", "strict-lock"}) {
        for (int run = 0; run < 5; ++run) {
            const json report =
                reportOf("init\nwrite 0x3A040 2\n", {"--sim", std::string("regfile=") + mode});
            EXPECT_EQ(report["registerFile"]["0x3a00c"], 9184 / 2) << mode;
        }
    }
}
