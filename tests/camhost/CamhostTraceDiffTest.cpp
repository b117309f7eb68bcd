// tracediff on records camhost made: each head fault of a bring-up is named by the one
// divergence it causes, beside a clean run of the same script.
#include "camhost/CamhostFixture.h"

#include "TraceDiffCommand.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class CamhostTraceDiffTest : public camhosttest::CamhostTest {
protected:
    void record(const std::string& path, std::vector<std::string> sim,
                const std::string& script = "init\nexpect 0\n") {
        std::vector<std::string> extra{"--quiet", "--trace", path};
        for (const std::string& key : sim) {
            extra.push_back("--sim");
            extra.push_back(key);
        }
        ASSERT_EQ(runScript(script, extra).status, 0) << path;
    }
};

TEST_F(CamhostTraceDiffTest, ALatePllLockALowRailAndSlowLanesAreEachNamed) {
    record("clean.trace", {});
    // The rail low but within its limits, so that the bring-up goes on to the lock waits.
    record("faults.trace", {"pll=6", "rail.4=1.58", "dpa=0x0FFFFFFF@4"});
    std::ostringstream out, err;
    EXPECT_EQ(trace::runTraceDiff({"faults.trace", "clean.trace"}, out, err), 1) << err.str();
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << out.str();
    EXPECT_NE(lines[0].find("read ADC channel 4 (3V3_VIN_DIV2): board volts=1.58"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("polls frame receiver status (bit 0 PLL locked, bit 1 aligned)"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[1].find(": board 7, model 1"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("polls frame receiver DPA lock"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3], "tracediff: 3 divergences: 1 read, 2 polls");

    record("again.trace", {});
    out.str("");
    EXPECT_EQ(trace::runTraceDiff({"clean.trace", "again.trace"}, out, err), 0) << out.str();

    // The demo holds every kind of event the recorder writes: all of it reads.
    record("demo.trace", {},
           camhosttest::readText(std::string(TC120MXS_SOURCE_DIR) + "/config/demo.cam"));
    out.str("");
    EXPECT_EQ(trace::runTraceDiff({"demo.trace", "demo.trace"}, out, err), 0) << err.str();
}

} // namespace
