// Each --sim fault gives the plug-in's own outcome of that fault.
#include "camhost/CamhostFixture.h"

#include "sensor/tc120MXS.h"

#include <gtest/gtest.h>

using camhosttest::CamhostTest;
using camhosttest::resultOfLine;
using nlohmann::json;

namespace {

struct tsFault {
    const char* setting;
    int initResult;
    const char* message; // on standard output or error
};

void PrintTo(const tsFault& fault, std::ostream* out) {
    *out << fault.setting;
}

class CamhostFaultTest : public CamhostTest, public ::testing::WithParamInterface<tsFault> {};

TEST_P(CamhostFaultTest, InitAnswersTheFault) {
    // Catches a --sim key that does not reach the head, or a fault reported as success.
    const tsFault& fault = GetParam();
    camhosttest::tsRun run;
    const json report = reportOf("init\n", {"--sim", fault.setting}, &run);
    EXPECT_EQ(run.status, 0) << run.err; // a failed init is a result, not a camhost error
    EXPECT_EQ(resultOfLine(report, 1), fault.initResult);
    EXPECT_NE((run.out + run.err).find(fault.message), std::string::npos) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CamhostFaultTest,
    ::testing::Values(tsFault{"rail.2=1.9", -4, "Sensor powerup error!"},
                      tsFault{"rail.0=2.63", -4, "Sensor powerup error!"},
                      tsFault{"spi=refuse-config", 1, "Sensor powerup error!"},
                      tsFault{"pll=never", -1, "PLL failed to lock"},
                      tsFault{"dpa=0x0FFFFFFE", -2, "DPA failed to lock"},
                      tsFault{"invert=0x0200443B", -2, "DPA failed to lock"},
                      tsFault{"align=never", -1, "Not Aligned"},
                      tsFault{"memory=absent", 31, "FPGA Initialization error!"},
                      tsFault{"pwm=down", 4, "FPGA Initialization error!"},
                      tsFault{"pixelshift=down", 8, "FPGA Initialization error!"},
                      tsFault{"badpixel=down", 16, "FPGA Initialization error!"},
                      tsFault{"gpio.XRESET=absent", tc120MXS::kPowerUpMissingGpio,
                              "ERROR: GPIO XRESET not found in DT"}));

TEST_F(CamhostTest, AReceiverThatDoesNotLockLeavesTheMapUnloaded) {
    // Catches the bad-pixel map loaded although lane training failed.
    const json report = reportOf("init\n", {"--sim", "pll=never"});
    EXPECT_EQ(report["badPixel"]["data"], "");
    EXPECT_EQ(report["registerFile"]["0x3d000"], 15); // the rest of the bring-up still ran
}

TEST_F(CamhostTest, SlowLocksAreWaitedFor) {
    // Catches poll counts ignored: a lock after a few polls must still succeed.
    const json report = reportOf("init\n", {"--sim", "pll=3", "--sim", "align=2"});
    EXPECT_EQ(resultOfLine(report, 1), 0);
    EXPECT_GE(report["clock"]["nowUs"].get<long long>(), 500000); // 5 polls of 100 ms
}

TEST_F(CamhostTest, WithoutTheFpgaTheSensorIsNeverPowered) {
    // Catches the power-up run after the FPGA check failed.
    const json report = reportOf("init\n", {"--sim", "memory=absent"});
    EXPECT_EQ(report["sensor"]["reset"], 0);
    EXPECT_EQ(report["sensor"]["spiFrames"], 0);
}

TEST_F(CamhostTest, TheSystemIdShowsInTheVersion) {
    // Catches --sim sysid not reaching the FPGA's identity window.
    const json report = reportOf("version\n", {"--sim", "sysid=0xAB,0x12"});
    EXPECT_NE(resultOfLine(report, 1).get<std::string>().find("SYSID:ab.12"), std::string::npos)
        << resultOfLine(report, 1);
}

TEST_F(CamhostTest, ARailWithinLimitsStaysHealthy) {
    // Catches rail.N applied to the wrong channel (channel 7 at 2.5 V is in range).
    const json report = reportOf("init\n", {"--sim", "rail.7=2.5"});
    EXPECT_EQ(resultOfLine(report, 1), 0);
}

} // namespace
