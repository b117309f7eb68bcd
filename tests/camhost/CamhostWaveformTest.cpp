// The waveform: a value change dump a viewer can open, showing the bring-up's timing.
#include "camhost/CamhostFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

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

// Every (time, value) change of a signal, value as written ("1", "b101").
std::vector<std::pair<long long, std::string>> changes(const camhosttest::tsVcd& vcd,
                                                       const std::string& name) {
    const auto id = vcd.names.find(name);
    if (id == vcd.names.end() || vcd.changes.count(id->second) == 0)
        return {};
    return vcd.changes.at(id->second);
}

// The last value of a signal, "" when it never changed.
std::string last(const camhosttest::tsVcd& vcd, const std::string& name) {
    const auto all = changes(vcd, name);
    return all.empty() ? "" : all.back().second;
}

// The value a number takes in the dump.
std::string bits(unsigned long long value) {
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + (value & 1)));
        value >>= 1;
    } while (value != 0);
    return "b" + text;
}

// When the command on the given line started.
long long startOfLine(const nlohmann::json& report, int line) {
    for (const auto& record : report.at("results"))
        if (record.at("line") == line)
            return record.at("atUs");
    return -1;
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
    // Catches frames or pulses lost: each frame has its strobe, and the frame count shows
    // each of them.
    nlohmann::json report;
    const camhosttest::tsVcd vcd =
        traceOf("init\ntrigger 1\nstart\nnotify 0 1\nnotify 0 1\nstop\n", &report);
    EXPECT_EQ(last(vcd, "spi.frames"), bits(report["sensor"]["spiFrames"].get<size_t>()));
    EXPECT_EQ(edges(vcd, "spi.strobe", "1").size(), edges(vcd, "spi.strobe", "0").size());
    EXPECT_EQ(edges(vcd, "pwm.pulse", "1").size(), report["pwm"]["pulses"].get<size_t>());
    // Each pulse falls again after it rose.
    const auto rises = edges(vcd, "pwm.pulse", "1");
    const auto falls = edges(vcd, "pwm.pulse", "0");
    ASSERT_FALSE(rises.empty());
    EXPECT_GT(falls.back(), rises.back());
}

TEST_F(CamhostWaveformTest, SpiFramesKeepChipSelectForTheirTrueLengthAndNeverOverlap) {
    // Catches a strobe drawn shorter or longer than its frame (5 bytes at 4 MHz: 10 us, and
    // the 7 us delay the port keeps from power-on), and a write that returns before its frame
    // is out, so that the next frame starts under the same strobe.
    nlohmann::json report;
    const camhosttest::tsVcd vcd =
        traceOf("init\nstart\nexposure 30000\npattern 3\nstop\n", &report);
    const auto rises = edges(vcd, "spi.strobe", "1"), falls = edges(vcd, "spi.strobe", "0");
    ASSERT_EQ(rises.size(), report["sensor"]["spiFrames"].get<size_t>());
    ASSERT_EQ(falls.size(), rises.size());
    ASSERT_GT(rises.size(), 1u);
    for (size_t i = 0; i < rises.size(); ++i) {
        EXPECT_EQ(falls[i] - rises[i], 17) << "frame " << i << " at " << rises[i];
        if (i + 1 < rises.size()) {
            EXPECT_GT(rises[i + 1], falls[i]) << "frame " << i + 1 << " at " << rises[i + 1];
        }
    }
}

TEST_F(CamhostWaveformTest, ChangesShowAtTheirTrueTimeAndPulsesWithTheirWidth) {
    // Catches a timeline shifted by bursts at one instant (5000 pokes pushed the capture
    // start 10 ms late), or pulses and strobes drawn without their physical width.
    std::string script = "init\nsleep 1000\n"; // the pokes at an instant of their own
    for (int i = 0; i < 5000; ++i)
        script += "poke 0x10 " + std::to_string(i) + "\n";
    script += "sleep 1000\ntrigger 0\nstart\nsleep 500000\nstop\n";
    nlohmann::json report;
    const camhosttest::tsVcd vcd = traceOf(script, &report);
    const long long pokes = startOfLine(report, 3), start = startOfLine(report, 5005);

    // The 5000 frames: one after another, the first at its poke's start, the last at the
    // last poke's start, 4999 frames later; the first strobe lasts its frame (5 bytes at
    // 4 MHz: 10 us, and the 7 us delay the port keeps from power-on).
    const long long lastPoke = startOfLine(report, 5002);
    const auto frames = changes(vcd, "spi.frames");
    const auto at = [&](long long time) {
        return std::find_if(frames.begin(), frames.end(),
                            [&](const auto& change) { return change.first == time; });
    };
    const auto count = [](const auto& change) {
        return std::stoll(change->second.substr(1), nullptr, 2);
    };
    const auto burst = at(pokes), tail = at(lastPoke);
    ASSERT_NE(burst, frames.end());
    ASSERT_NE(burst, frames.begin());
    ASSERT_NE(tail, frames.end());
    EXPECT_EQ(count(burst) - count(std::prev(burst)), 1);
    EXPECT_EQ(count(tail) - count(burst), 4999);
    const auto rises = edges(vcd, "spi.strobe", "1"), falls = edges(vcd, "spi.strobe", "0");
    const auto rise = std::find(rises.begin(), rises.end(), pokes);
    ASSERT_NE(rise, rises.end());
    EXPECT_EQ(falls[static_cast<size_t>(rise - rises.begin())], pokes + 17);

    // The capture starts when start runs, not after a shifted burst.
    const std::vector<long long> enables = edges(vcd, "pwm.enable", "1");
    ASSERT_FALSE(enables.empty());
    EXPECT_GE(enables.back(), start);
    EXPECT_LT(enables.back(), start + 1000);
    // Each frame pulse lasts the PWM's duty time.
    const auto pulseRises = edges(vcd, "pwm.pulse", "1"), pulseFalls = edges(vcd, "pwm.pulse", "0");
    ASSERT_EQ(pulseRises.size(), report["pwm"]["pulses"].get<size_t>());
    ASSERT_EQ(pulseFalls.size(), pulseRises.size());
    ASSERT_FALSE(pulseRises.empty());
    for (size_t i = 0; i < pulseRises.size(); ++i)
        EXPECT_EQ(pulseFalls[i] - pulseRises[i], report["pwm"]["dutyUs"].get<long long>());
}

TEST_F(CamhostWaveformTest, ShowsTriggersRegisterWritesConversionsAndTheDpaLock) {
    // Catches a notification, client write, ADC conversion or DPA lock change missing from
    // the dump or shown at another time or value.
    nlohmann::json report;
    const camhosttest::tsVcd vcd = traceOf("init\nsleep 1000\nnotify 3 1\nsleep 1000\n"
                                           "write 0x3D000 12\n",
                                           &report);
    EXPECT_EQ(edges(vcd, "notify.event", "1"), std::vector<long long>{startOfLine(report, 3)});
    ASSERT_FALSE(changes(vcd, "notify.gpio").empty());
    EXPECT_EQ(changes(vcd, "notify.gpio").back(), std::make_pair(startOfLine(report, 3), bits(3)));
    EXPECT_EQ(edges(vcd, "regfile.write", "1"), std::vector<long long>{startOfLine(report, 5)});
    EXPECT_EQ(last(vcd, "regfile.address"), bits(0x3D000));
    EXPECT_EQ(last(vcd, "regfile.value"), bits(12));
    // The rails are read during the power-up, after the reset is released.
    const auto conversions = edges(vcd, "adc.convert", "1");
    ASSERT_FALSE(conversions.empty());
    EXPECT_GT(conversions.front(), edges(vcd, "gpio.XRESET", "1").front());
    EXPECT_EQ(last(vcd, "adc.channel"), bits(7));
    EXPECT_EQ(last(vcd, "dpa.lock"), bits(0x0FFFFFFF));

    // Lane 0 never locks: the mask shows it.
    const camhosttest::tsVcd failing = [&] {
        camhosttest::tsRun run;
        reportOf("init\n", {"--sim", "dpa=0x0FFFFFFE", "--vcd", "lane.vcd"}, &run);
        return parseVcd(readText("lane.vcd"));
    }();
    EXPECT_EQ(last(failing, "dpa.lock"), bits(0x0FFFFFFE));
}

} // namespace

namespace {

TEST_F(CamhostWaveformTest, ALongRunKeepsEveryPulseAndFrameAndNamesItsSpan) {
    // Catches a waveform that keeps only the latest pulses or frames of a long wait, and a
    // header that does not say which span the dump holds.
    nlohmann::json report;
    const camhosttest::tsVcd vcd = traceOf("init\nstart\nsleep 1200000000\nstop\n", &report);
    const size_t pulses = report["pwm"]["pulses"].get<size_t>();
    ASSERT_GT(pulses, 11000u);
    EXPECT_EQ(edges(vcd, "pwm.pulse", "1").size(), pulses);
    EXPECT_EQ(edges(vcd, "frame.valid", "1").size(), report["frameSummary"]["count"].get<size_t>());
    const std::string text = readText("trace.vcd");
    EXPECT_NE(text.find("$comment holds every change of the run from 0 us to "), std::string::npos)
        << text.substr(0, 400);
}

} // namespace
