// The waveform: a value change dump a viewer can open, showing the bring-up's timing.
#include "camhost/CamhostFixture.h"

#include <gtest/gtest.h>

using camhosttest::CamhostTest;
using camhosttest::parseVcd;
using camhosttest::readText;

namespace {

// Times at which a 1-bit signal changed to value.
std::vector<long long> edges(const camhosttest::tsVcd& vcd, const std::string& name,
                             const std::string& value) {
    std::vector<long long> times;
    const auto id = vcd.names.find(name);
    if (id == vcd.names.end())
        return times;
    const auto changes = vcd.changes.find(id->second);
    if (changes == vcd.changes.end())
        return times;
    for (const auto& [time, written] : changes->second)
        if (written == value)
            times.push_back(time);
    return times;
}

class CamhostWaveformTest : public CamhostTest {
protected:
    camhosttest::tsVcd traceOf(const std::string& script, nlohmann::json* report = nullptr) {
        camhosttest::tsRun run;
        const nlohmann::json json = reportOf(script, {"--vcd", "trace.vcd"}, &run);
        EXPECT_EQ(run.status, 0) << run.err;
        if (report != nullptr)
            *report = json;
        return parseVcd(readText("trace.vcd"));
    }
};

TEST_F(CamhostWaveformTest, TheDumpIsWellFormed) {
    // Catches a dump a viewer rejects: wrong timescale, time going back, unknown ids.
    const camhosttest::tsVcd vcd = traceOf("init\n");
    EXPECT_EQ(vcd.timescale, "1 us");
    EXPECT_TRUE(vcd.monotonic);
    EXPECT_FALSE(vcd.undeclared);
    for (const char* name :
         {"gpio.XRESET", "gpio.MCLK_ENABLE", "pwm.enable", "pwm.pulse", "sensor.frameState",
          "spi.strobe", "spi.reg", "spi.value", "rx.enable", "rx.pllLocked", "rx.aligned"})
        EXPECT_TRUE(vcd.names.count(name)) << name;
    EXPECT_EQ(vcd.widths.at(vcd.names.at("sensor.frameState")), 3);
    EXPECT_EQ(vcd.widths.at(vcd.names.at("spi.reg")), 11);
    EXPECT_EQ(vcd.widths.at(vcd.names.at("spi.value")), 28);
}

TEST_F(CamhostWaveformTest, ShowsTheResetPulseOf300Ms) {
    // Catches a reset released early or a dump on the wrong time base.
    const camhosttest::tsVcd vcd = traceOf("init\n");
    const std::vector<long long> low = edges(vcd, "gpio.XRESET", "0");
    const std::vector<long long> high = edges(vcd, "gpio.XRESET", "1");
    ASSERT_EQ(high.size(), 1u);
    ASSERT_FALSE(low.empty());
    EXPECT_EQ(high[0] - low.back(), 300000);
    // The master clock follows the reset release, and the register burst follows it.
    const std::vector<long long> clock = edges(vcd, "gpio.MCLK_ENABLE", "1");
    ASSERT_EQ(clock.size(), 1u);
    EXPECT_GT(clock[0], high[0]);
    const std::vector<long long> strobes = edges(vcd, "spi.strobe", "1");
    ASSERT_FALSE(strobes.empty());
    EXPECT_GE(strobes.front(), clock[0]);
}

TEST_F(CamhostWaveformTest, EverySpiFrameAndTriggeredPulseIsVisible) {
    // Catches frames or pulses at one instant merged into a single change.
    nlohmann::json report;
    const camhosttest::tsVcd vcd =
        traceOf("init\ntrigger 1\nstart\nnotify 0 1\nnotify 0 1\nstop\n", &report);
    EXPECT_EQ(edges(vcd, "spi.strobe", "1").size(), report["sensor"]["spiFrames"].get<size_t>());
    EXPECT_EQ(edges(vcd, "spi.strobe", "0").size(), report["sensor"]["spiFrames"].get<size_t>());
    EXPECT_EQ(edges(vcd, "pwm.pulse", "1").size(), report["pwm"]["pulses"].get<size_t>());
    // Each pulse falls again after it rose.
    const auto rises = edges(vcd, "pwm.pulse", "1");
    const auto falls = edges(vcd, "pwm.pulse", "0");
    ASSERT_FALSE(rises.empty());
    EXPECT_GT(falls.back(), rises.back());
}

} // namespace
