// Board bring-up end to end on the simulated head.
#include "BringupFixture.h"
#include "plugin/BoardFixture.h"
#include "support/RegisterFileWords.h"

#include "sim/SimHead.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bringup {
namespace {

using Vistrel::ROI;

constexpr uint16_t kChipGainRegister = 0x7A;

uint32_t chipGain(const std::map<uint16_t, uint32_t>& chip) {
    const auto found = chip.find(kChipGainRegister);
    return found == chip.end() ? 0xFFFF : (found->second >> 5) & 0xF;
}

size_t spiFramesTo(const std::vector<sim::SpiFrame>& frames, uint16_t reg) {
    size_t count = 0;
    for (const sim::SpiFrame& frame : frames)
        count += frame.reg == reg ? 1 : 0;
    return count;
}

size_t xresetEdges(const std::vector<sim::GpioEdge>& edges) {
    size_t count = 0;
    for (const sim::GpioEdge& edge : edges)
        count += edge.name == "XRESET" ? 1 : 0;
    return count;
}

class Bringup : public BringupTest {};

// A good bring-up from the sample files, the receiver training for 300 ms; each test below
// checks one part of what it leaves behind.
class GoodRun : public BringupTest {
protected:
    void SetUp() override {
        BringupTest::SetUp();
        copyAllSampleFiles();
        sim::HeadConfig config;
        config.pllLockDelay = sim::Micros(3 * 100000); // the receiver trains for 300 ms
        resetHead(config);
        // The bad-pixel core as an earlier session left it: replacing colour pixels.
        tcBadPixelReplacement leftOver(0xFF215000, 0xFF216000, 0xFF219000, 0x12000000,
                                       Vistrel::kFullFrame);
        ASSERT_TRUE(leftOver.initialize());
        leftOver.setColor(true);
        ASSERT_EQ(makeBoard().initialize(), 0);
    }
};

TEST_F(GoodRun, ReportsItsStepsInOrder) {
    // Catches a bring-up that reorders its steps or reports an error on the way.
    const std::vector<sim::StatusLine> lines = head().statusLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0].text, "Initializing FPGA...");
    EXPECT_EQ(lines[0].status, Vistrel::tcStatusReporter::eeStatusInfo);
    EXPECT_EQ(lines[1].text, "FPGA Initialization done");
    EXPECT_EQ(lines[1].status, Vistrel::tcStatusReporter::eeStatusInfo);
    EXPECT_EQ(lines[2].text, "Powering up sensor...");
    EXPECT_EQ(lines[2].status, Vistrel::tcStatusReporter::eeStatusInfo);
    // The interval is programmed before the exposure, then the region, then pixel format.
    EXPECT_EQ(lines[3].text,
              "setFrameInterval: " + std::to_string(board->getFrameInterval()) + " uS");
    EXPECT_EQ(lines[4].text, "setExposure 80000 uS");
    EXPECT_EQ(lines.back().text, "setBPP: 0");
    for (const sim::StatusLine& line : lines)
        EXPECT_NE(line.status, Vistrel::tcStatusReporter::eeStatusError) << line.text;
}

TEST_F(GoodRun, LeavesTheFrameReceiverEnabledWithLaneInversionAndBias) {
    // Catches a skipped receiver set-up: lane inversion, bias subtraction on at 400.
    EXPECT_EQ(head().frameRegister(sim::frame::laneInversion), 0x0200443Au);
    EXPECT_EQ(head().frameRegister(sim::frame::biasSubtract), 0x80000190u);
    EXPECT_NE(head().frameRegister(sim::frame::control) & 0x80000000u, 0u);
}

TEST_F(GoodRun, RunsThePulseOnlyWhileTheReceiverTrains) {
    // Catches a sync pulse of the wrong shape or period, or one left running (or stopped
    // early) around the receiver's training: inverted, 1 us, at the frame interval.
    const sim::PwmState pwm = head().pwm();
    EXPECT_TRUE(pwm.inverted);
    EXPECT_EQ(pwm.dutyUs, 1);
    EXPECT_EQ(pwm.periodUs, board->getFrameInterval());
    EXPECT_FALSE(pwm.enabled);
    // Stopped first (a capture an earlier board left running), then run for the training.
    ASSERT_EQ(pwm.enableLog.size(), 3u);
    EXPECT_FALSE(pwm.enableLog[0].second);
    EXPECT_TRUE(pwm.enableLog[1].second);
    EXPECT_FALSE(pwm.enableLog[2].second);
    EXPECT_GE((pwm.enableLog[2].first - pwm.enableLog[1].first).count(), 300000);
}

TEST_F(GoodRun, SetsGainPixelShiftAndBadPixelMap) {
    // Catches a skipped sensor start-up setting: gain 15 on the chip, pixel shift of mode
    // 0, bad-pixel map over the region, monochrome replacement.
    EXPECT_EQ(chipGain(head().chipRegisters()), 15u);
    EXPECT_EQ(head().pixelShift().direction, 0);
    EXPECT_EQ(head().pixelShift().bits, 1);
    const sim::BadPixelState badPixel = head().badPixel();
    EXPECT_EQ(badPixel.dataLog, std::vector<std::string>{"bad_pixel_map.txt"});
    EXPECT_EQ(badPixel.roi, ROI(0, 0, 13280, 9184));
    EXPECT_FALSE(badPixel.color);
}

TEST_F(GoodRun, PublishesItsWordsAndDoesNotCapture) {
    // Catches start-up settings missing from the register file, or a capture started.
    EXPECT_EQ(word(words::pixelFormat), 0x01080001u);
    EXPECT_EQ(word(words::gain), 15u);
    EXPECT_EQ(word(words::biasOffset), 400u);
    EXPECT_EQ(word(words::biasEnable), 1u);
    EXPECT_FALSE(board->isCapturing());
}

TEST_F(Bringup, WithoutConfigurationFileTheDefaultsApply) {
    // Catches wrong built-in defaults for the region, interval, exposure or lane mask.
    copyHeadFiles();
    auto& b = makeBoard();
    ASSERT_EQ(b.initialize(), 0);

    EXPECT_EQ(b.getROI(), ROI(0, 0, 13280, 9184));
    EXPECT_EQ(head().frameRegister(sim::frame::laneInversion), 0x0200443Au);
    // 106713 us rounded down to whole 520-cycle line periods, above the 106520 us readout.
    const int interval = b.getFrameInterval();
    EXPECT_EQ(interval, 106600);
    EXPECT_EQ(word(words::frameInterval), static_cast<uint32_t>(interval));
    EXPECT_EQ(head().pwm().periodUs, interval);
    EXPECT_TRUE(hasStatus("setExposure 80000 uS"));
    // The sensor quantises the exposure to whole lines (about 11.6 us).
    EXPECT_NEAR(b.getExposure(), 80000, 12);
    EXPECT_EQ(word(words::exposure), static_cast<uint32_t>(b.getExposure()));
}

TEST_F(Bringup, ConfiguredOffsetsReachRegionReceiverAndBadPixelCore) {
    // Catches RoiX and RoiY swapped when the start-up region is built.
    resetHeadWith([](sim::HeadConfig& c) { c.laneInversion = 5; }); // wired as configured
    copyHeadFiles();
    writeFile("120mxs_config.ini", "[Settings]\n"
                                   "LaneInvertMask = 0x00000005\n"
                                   "RoiX = 16\n"
                                   "RoiY = 8\n"
                                   "RoiWidth = 1024\n"
                                   "RoiHeight = 1000\n");
    auto& b = makeBoard();
    ASSERT_EQ(b.initialize(), 0);

    const ROI expected(8, 16, 1024, 1000);
    EXPECT_EQ(b.getROI(), expected);
    EXPECT_EQ(head().badPixel().roi, expected);
    EXPECT_EQ(head().frameRegister(sim::frame::roiStart), (8u << 16) | 16u);
    EXPECT_EQ(head().frameRegister(sim::frame::roiResolution), (1000u << 16) | 1024u);
    EXPECT_EQ(head().frameRegister(sim::frame::blankOffset), (33u << 16) | (16u + 32u));
    EXPECT_EQ(head().frameRegister(sim::frame::laneInversion), 5u);
}

TEST_F(Bringup, RegionWithoutOffsetsStartsAtTheCorner) {
    // Catches a default offset other than 0 for a missing RoiX or RoiY (a misaligned
    // default would be refused and leave the full frame).
    copyHeadFiles();
    writeFile("120mxs_config.ini", "[Settings]\nRoiWidth = 1024\nRoiHeight = 1000\n");
    auto& b = makeBoard();
    ASSERT_EQ(b.initialize(), 0);
    EXPECT_EQ(b.getROI(), ROI(0, 0, 1024, 1000));
    EXPECT_EQ(head().badPixel().roi, ROI(0, 0, 1024, 1000));
}

TEST_F(Bringup, OutOfRangeOffsetIsRefusedNotWrapped) {
    // Catches a 64-bit setting cut to int (2^32 + 16 would become a valid offset of 16),
    // and a refused region handed to the bad-pixel core all the same.
    copyHeadFiles();
    writeFile("120mxs_config.ini", "[Settings]\nRoiX = 4294967312\nRoiWidth = 1024\n");
    auto& b = makeBoard();
    ASSERT_EQ(b.initialize(), 0);
    // Where long is 32 bits (the ARM board) the reader itself cannot hold the number and
    // gives the key's default, 0, so the 1024-wide region at offset 0 is accepted.
    const ROI expected = sizeof(long) > 4 ? ROI(0, 0, 13280, 9184) : ROI(0, 0, 1024, 9184);
    EXPECT_EQ(b.getROI(), expected);
    EXPECT_EQ(head().badPixel().roi, expected);
    EXPECT_EQ(head().frameRegister(sim::frame::roiStart), 0u);
}

TEST_F(Bringup, FpgaFaultStopsBeforeTheSensorIsPowered) {
    // Catches a bring-up that powers or programs the sensor with an unusable FPGA.
    copyAllSampleFiles();
    sim::HeadConfig config;
    config.pwmDown = true;
    resetHead(config);
    auto& b = makeBoard();
    const size_t edgesBefore = xresetEdges(head().gpioEdges());

    EXPECT_EQ(b.initialize(), 4);

    const std::vector<sim::StatusLine> lines = head().statusLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "Initializing FPGA...");
    EXPECT_EQ(lines[1].text, "FPGA Initialization error!");
    EXPECT_EQ(lines[1].status, Vistrel::tcStatusReporter::eeStatusError);
    EXPECT_EQ(xresetEdges(head().gpioEdges()), edgesBefore);
    EXPECT_TRUE(head().spiFrames().empty());
    EXPECT_FALSE(head().lastSpiConfiguration().has_value());
    EXPECT_TRUE(head().adcReads().empty());
    EXPECT_EQ(head().frameRegister(sim::frame::laneInversion), 0u);
}

TEST_F(Bringup, ReceiverFailureIsReturnedButTheSettingsAreStillPublished) {
    // Catches an early return that skips gain and bias, or a map loaded into a dead
    // receiver.
    copyAllSampleFiles();
    sim::HeadConfig config;
    config.pllLockDelay = std::nullopt;
    resetHead(config);
    auto& b = makeBoard();

    EXPECT_EQ(b.initialize(), -1);

    EXPECT_TRUE(head().badPixel().dataLog.empty());
    EXPECT_EQ(chipGain(head().chipRegisters()), 15u);
    EXPECT_EQ(word(words::gain), 15u);
    EXPECT_EQ(word(words::biasOffset), 400u);
    EXPECT_EQ(word(words::biasEnable), 1u);
    EXPECT_EQ(word(words::pixelFormat), 0x01080001u);
    EXPECT_EQ(head().frameRegister(sim::frame::biasSubtract), 0x80000190u);
    EXPECT_EQ(head().pixelShift().bits, 1);
    EXPECT_FALSE(head().pwm().enabled);
}

TEST_F(Bringup, StartUpPulseSetUpThatThrowsIsReportedAndTheRestOfItsBlockSkipped) {
    // Catches the exception of the start-up pulse set-up leaving initialize(), the rest of
    // that block still run, or bring-up stopping there.
    copyAllSampleFiles();
    auto& b = makeBoard();
    // A core clock at which the start-up 106713 us overflows the 32-bit period counter
    // while the configured interval, 106600 us, still fits.
    head().configure([](sim::HeadConfig& c) { c.pwmClockMhz = 40260.0; });
    // The skipped duty set-up leaves the pulse generator without a duty when it runs.
    expectViolation("pwm-not-programmed");

    EXPECT_EQ(b.initialize(), 0);

    std::vector<std::string> errors;
    for (const sim::StatusLine& line : head().statusLines())
        if (line.status == Vistrel::tcStatusReporter::eeStatusError)
            errors.push_back(line.text);
    EXPECT_EQ(errors, std::vector<std::string>{"tcPwm::setPeriodTime: 106713 us is "
                                               "4296265380.000000 ticks, more than the 32-bit "
                                               "counter holds"});
    EXPECT_TRUE(hasStatus("FPGA Initialization done"));
    EXPECT_EQ(head().pwm().dutyUs, 0); // skipped after the throw
    EXPECT_EQ(head().pwm().periodUs, 106600);
    EXPECT_TRUE(head().pwm().inverted);
}

TEST_F(Bringup, RailOutOfLimitsStopsAfterPowerUp) {
    // Catches a bring-up that loads registers into a sensor whose supply is out of range.
    copyAllSampleFiles();
    sim::HeadConfig config;
    config.railVolts[2] = 1.95f; // D_VDDH_3V5_DIV2 allows 1.7..1.8 V
    resetHead(config);
    auto& b = makeBoard();

    EXPECT_EQ(b.initialize(), -4);

    const std::vector<sim::StatusLine> lines = head().statusLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "Sensor powerup error!");
    EXPECT_EQ(lines.back().status, Vistrel::tcStatusReporter::eeStatusError);
    EXPECT_TRUE(head().chipRegisters().empty());
    EXPECT_FALSE(head().pwm().inverted);
    EXPECT_EQ(head().pwm().periodUs, 106713);
    EXPECT_EQ(head().frameRegister(sim::frame::control) & 0x80000000u, 0u);
    EXPECT_FALSE(word(words::gain).has_value());
}

TEST_F(Bringup, ASecondBringUpStopsTheMasterClockBeforeTheResetPulse) {
    // Fault: the power-up trusts the master clock to be off, as the constructor leaves it;
    // a second initialize() then pulses the reset with the clock still running from the
    // first.
    copyAllSampleFiles();
    ASSERT_EQ(makeBoard().initialize(), 0);
    const size_t from = head().gpioEdges().size();
    ASSERT_EQ(board->initialize(), 0);

    const std::vector<sim::GpioEdge> edges = head().gpioEdges();
    int clock = 1; // the register set started it
    size_t resetAt = edges.size();
    for (size_t i = from; i < edges.size() && resetAt == edges.size(); ++i) {
        if (edges[i].name == "MCLK_ENABLE")
            clock = edges[i].level;
        else if (edges[i].name == "XRESET" && edges[i].level == 0)
            resetAt = i;
    }
    ASSERT_LT(resetAt, edges.size());
    EXPECT_EQ(clock, 0) << "master clock when the reset pulse began";
}

TEST_F(Bringup, RepeatedInitializeDeliversEachNotificationOnce) {
    // Catches the observer registered a second time: every gain write would reach the
    // sensor twice.
    auto& b = readyBoard();
    ASSERT_EQ(b.initialize(), 0);
    const size_t before = spiFramesTo(head().spiFrames(), kChipGainRegister);

    Vistrel::tcRegisterFile::getInstance(nullptr, true)->update_word(words::gain, 13);

    EXPECT_EQ(spiFramesTo(head().spiFrames(), kChipGainRegister), before + 1);
    EXPECT_EQ(chipGain(head().chipRegisters()), 13u);
}

} // namespace
} // namespace bringup
