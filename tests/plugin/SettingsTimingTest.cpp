// Exposure and frame interval: rounding, the readout-time floor, the exposure fit, the
// pulse generator's period and the published words.
#include "plugin/BoardFixture.h"
#include "support/RegisterFileWords.h"

#include "Vistrel/teNackCode.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <climits>

using namespace Vistrel;
using ::testing::HasSubstr;
using testsupport::BoardSetup;
using testsupport::BoardTest;

namespace {

constexpr unsigned kFullExposureLine = 0x7FFF;

// Full-frame readout times: (period * (9215 - 32 + 35) + 44) / 45 microseconds.
constexpr int kReadoutAtPeriod20 = 4097;
constexpr int kReadoutAtPeriod1000 = 204845;

// Bare head: sensor clocked and loaded, no timing applied yet.
BoardSetup bare(unsigned period) {
    BoardSetup setup;
    setup.horizontalPeriod = period;
    setup.frameIntervalUs = 0;
    setup.exposureUs = 0;
    setup.fullFrameRegion = false;
    return setup;
}

BoardSetup atPeriod(unsigned period) {
    BoardSetup setup;
    setup.horizontalPeriod = period;
    return setup;
}

bool hasStatus(const std::vector<sim::StatusLine>& lines, std::optional<int> status,
               const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const sim::StatusLine& line) {
        return line.status == status && line.text == text;
    });
}

// Board whose floor lies below the sensor's own readout limit, so that the sensor refuses.
class LowFloorBoard : public tc120MXSSensorBoard {
public:
    using tc120MXSSensorBoard::tc120MXSSensorBoard;
    int getMinFrameIntervalMicroS() override { return 1; }
};

class TimingTest : public BoardTest {};

TEST_F(TimingTest, IntervalIsRoundedDownToWholeHorizontalPeriods) {
    // Fault: the request is rounded to time instead of the period count, rounded up, or
    // not passed on to the pulse generator and the register file.
    tc120MXSSensorBoard& b = bringUp(bare(20));
    testing::internal::CaptureStdout();
    EXPECT_EQ(b.setFrameInterval(106713), eeSuccess);
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(b.getFrameInterval(), 106700);
    EXPECT_EQ(word(words::frameInterval), 106700u);
    EXPECT_EQ(head().pwm().periodUs, 106700);
    EXPECT_EQ(sensor().frameInterval.count(), 106700);
    EXPECT_THAT(out, HasSubstr("setFrameInterval min interval: 4097\n"));
    EXPECT_TRUE(hasStatus(takeStatusLines(), std::nullopt, "setFrameInterval: 106700 uS"));
    EXPECT_EQ(b.getMinFrameIntervalMicroS(), kReadoutAtPeriod20);
}

TEST_F(TimingTest, OneClockPeriodKeepsTheRequestAsItIs) {
    // Fault: a period of one clock taken for no period at all, the request dropped to the
    // readout-time floor.
    tc120MXSSensorBoard& b = bringUp(bare(1));
    EXPECT_EQ(b.setFrameInterval(106713), eeSuccess);
    EXPECT_EQ(b.getFrameInterval(), 106713);
    EXPECT_EQ(head().pwm().periodUs, 106713);
}

TEST_F(TimingTest, ShortIntervalIsRaisedToTheUnroundedReadoutTime) {
    // Fault: the floor is rounded to the period (204000 would be refused by the sensor) or
    // a request below it reaches the sensor.
    tc120MXSSensorBoard& b = bringUp(bare(1000));
    EXPECT_EQ(b.setFrameInterval(150000), eeSuccess);
    EXPECT_EQ(b.getFrameInterval(), kReadoutAtPeriod1000);
    EXPECT_EQ(word(words::frameInterval), uint32_t(kReadoutAtPeriod1000));
    EXPECT_EQ(head().pwm().periodUs, kReadoutAtPeriod1000);

    // Negative requests end at the floor as well.
    EXPECT_EQ(b.setFrameInterval(-5), eeSuccess);
    EXPECT_EQ(b.getFrameInterval(), kReadoutAtPeriod1000);
}

TEST_F(TimingTest, ExposureLongerThanTheIntervalRaisesTheIntervalFirst) {
    // Fault: the exposure is limited to the old interval instead of lengthening the frame,
    // or the raised interval is rounded down to a whole period below the exposure.
    tc120MXSSensorBoard& b = bringUp(atPeriod(20));
    head().clearStatusLines();
    EXPECT_EQ(b.setExposure(150013), eeSuccess);

    // The next whole period up: 150000 would end 13 µs before the exposure.
    EXPECT_EQ(b.getFrameInterval(), 150020);
    EXPECT_EQ(head().pwm().periodUs, 150020);
    EXPECT_EQ(word(words::frameInterval), 150020u);
    // Exposure starts 16 lines of 0.444 µs into the frame.
    EXPECT_EQ(chipStartLine(), 16u);
    EXPECT_EQ(b.getExposure(), 150012);
    EXPECT_EQ(word(words::exposure), 150012u);
    EXPECT_EQ(sensor().captureFrameState, tc120MXS::eeFrameStartLine);

    const auto lines = takeStatusLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().status, int(tcStatusReporter::eeStatusInfo));
    EXPECT_EQ(lines.front().text, "setExposure 150013 uS");
    EXPECT_TRUE(hasStatus(lines, std::nullopt, "setFrameInterval: 150020 uS"));
}

TEST_F(TimingTest, OnlyAnIntervalBelowTheExposureCutsTheExposure) {
    // Fault: the exposure keeps its old value past the end of the new, shorter frame, the
    // published exposure is the request rather than the sensor's value, or a longer (or
    // equal) interval stretches the exposure to the whole frame.
    tc120MXSSensorBoard& b = bringUp(atPeriod(20));
    ASSERT_GT(b.getExposure(), 50000);
    EXPECT_EQ(b.setFrameInterval(50000), eeSuccess);

    EXPECT_EQ(b.getFrameInterval(), 50000);
    EXPECT_EQ(b.getExposure(), 50000);
    EXPECT_EQ(word(words::exposure), 50000u);
    EXPECT_EQ(chipStartLine(), kFullExposureLine);

    // 2000 us longer: the exposure starts 4500 lines of 0.444 us into the frame.
    EXPECT_EQ(b.setFrameInterval(52000), eeSuccess);
    EXPECT_EQ(b.getFrameInterval(), 52000);
    EXPECT_NEAR(b.getExposure(), 50000, 1);
    EXPECT_EQ(word(words::exposure), static_cast<uint32_t>(b.getExposure()));
    EXPECT_EQ(chipStartLine(), 4500u);
}

TEST_F(TimingTest, ShortExposureShortensTheFrameToWholeReadoutTimes) {
    // Fault: a long frame is kept for a short exposure, the new interval is not the
    // smallest whole number of readout times above the exposure, or the exposure is not
    // cut to the shorter frame before the new one is set.
    tc120MXSSensorBoard& b = bringUp(atPeriod(20));
    // The bring-up's 80000 µs exposure already shortened 106700 to 20 readout times.
    ASSERT_EQ(b.getFrameInterval(), 20 * kReadoutAtPeriod20);
    ASSERT_EQ(b.getExposure(), 80000);
    const size_t before = spiFrameCount();

    EXPECT_EQ(b.setExposure(30000), eeSuccess);

    // 8 readout times (32776) rounded down to the period: 32760.
    EXPECT_EQ(b.getFrameInterval(), 32760);
    EXPECT_EQ(head().pwm().periodUs, 32760);
    EXPECT_EQ(word(words::frameInterval), 32760u);
    EXPECT_EQ(b.getExposure(), 30000);
    EXPECT_EQ(word(words::exposure), 30000u);

    // Start lines sent: first the old exposure cut to the new frame (whole frame), then the
    // requested exposure, 2760 µs of 0.444 µs lines after the frame start.
    std::vector<unsigned> startLines;
    for (uint32_t value : chipWrites(0x03, before))
        startLines.push_back(value & 0x7FFF);
    EXPECT_EQ(startLines, (std::vector<unsigned>{kFullExposureLine, 6210}));
    EXPECT_EQ(sensor().captureFrameState, tc120MXS::eeFrameStartLine);
}

TEST_F(TimingTest, AOneMicrosecondReadoutStillShortensTheFrame) {
    // Fault: a readout time of 1 µs (one-clock lines over a band of four rows) taken for
    // none, and a long frame kept for a short exposure.
    tc120MXSSensorBoard& b = bringUp(bare(1));
    b.setNumberOfROI(1); // one framework region, as initialize() leaves it
    ASSERT_EQ(b.setROI(ROI(0, 0, 13280, 4)), eeSuccess);
    ASSERT_EQ(b.getMinFrameIntervalMicroS(), 1);
    ASSERT_EQ(b.setFrameInterval(1000), eeSuccess);

    EXPECT_EQ(b.setExposure(100), eeSuccess);

    // The smallest whole number of readout times above the exposure: 101.
    EXPECT_EQ(b.getFrameInterval(), 101);
    EXPECT_EQ(head().pwm().periodUs, 101);
}

TEST_F(TimingTest, EveryExposureThePulsesCanFrameIsProgrammedWithinOneLine) {
    // Fault: an interval setExposure asks for itself is rounded down to a whole period
    // below the exposure (on small regions one request in twenty fell short, by up to
    // 506 µs), is rounded up where nothing was short, or leaves the readout-time floor; or
    // a request beyond what the pulses hold leaves them at another period than reported.
    tc120MXSSensorBoard& b = bringUp(atPeriod(520));
    ASSERT_EQ(b.setROI(ROI(100, 8, 1024, 400)), eeSuccess);
    const int readout = b.getMinFrameIntervalMicroS();
    ASSERT_EQ(readout, 5016);
    constexpr double kLineUs = 520.0 / 45;
    // The pulse generator counts 45 ticks a µs in 32 bits; whole periods up to there.
    constexpr int kLongestInterval = 4294967295LL / 45 / 520 * 520;

    uint32_t seed = 14;
    for (int i = 0; i < 600; ++i) {
        seed = seed * 1664525u + 1013904223u;
        // A third around the readout time, a third up to the longest interval, a third
        // beyond it.
        int requested = int(seed % (4 * readout));
        if (i % 3 == 1)
            requested = int(seed % kLongestInterval) + 1;
        if (i % 3 == 2)
            requested = kLongestInterval + 1 + int(seed % (INT_MAX - kLongestInterval));
        const int before = b.getFrameInterval();
        ASSERT_EQ(b.setExposure(requested), eeSuccess);
        const int interval = b.getFrameInterval();
        const int exposure = b.getExposure();
        ASSERT_EQ(head().pwm().periodUs, interval) << requested;
        if (requested > kLongestInterval) {
            EXPECT_EQ(interval, before) << requested;
            EXPECT_EQ(exposure, interval) << requested;
            continue;
        }
        EXPECT_LT(std::abs(exposure - requested), kLineUs) << requested;
        if (requested < readout)
            EXPECT_EQ(interval, readout) << requested;
        else
            EXPECT_EQ(interval % 520, 0) << requested;
        EXPECT_LT(interval, std::max(requested, readout) + readout + 520) << requested;
    }
}

TEST_F(TimingTest, ExposureWithinOneReadoutTimeKeepsTheInterval) {
    // Fault: the frame is shortened although the exposure already fills it to within one
    // readout time.
    tc120MXSSensorBoard& b = bringUp(atPeriod(1000));
    ASSERT_EQ(b.getFrameInterval(), kReadoutAtPeriod1000);
    EXPECT_EQ(b.setExposure(150000), eeSuccess);
    EXPECT_EQ(b.getFrameInterval(), kReadoutAtPeriod1000);
    EXPECT_EQ(b.getExposure(), 150000);
    EXPECT_EQ(word(words::exposure), 150000u);

    // An exposure of exactly the interval fits too: the interval is not programmed again.
    head().clearStatusLines();
    EXPECT_EQ(b.setExposure(kReadoutAtPeriod1000), eeSuccess);
    for (const sim::StatusLine& line : takeStatusLines())
        EXPECT_EQ(line.text.rfind("setFrameInterval", 0), std::string::npos) << line.text;
}

TEST_F(TimingTest, RefusedIntervalChangesNothing) {
    // Fault: the interval, pulse period or word is updated before the sensor accepted it.
    tc120MXSSensorBoard& b = bringUp<LowFloorBoard>(atPeriod(20));
    const int interval = b.getFrameInterval();
    const int exposure = b.getExposure();
    const long long period = head().pwm().periodUs;
    const auto intervalWord = word(words::frameInterval);

    EXPECT_EQ(b.setFrameInterval(1000), eeArgumentOutOfRange);

    EXPECT_EQ(b.getFrameInterval(), interval);
    EXPECT_EQ(b.getExposure(), exposure);
    EXPECT_EQ(head().pwm().periodUs, period);
    EXPECT_EQ(word(words::frameInterval), intervalWord);
    EXPECT_TRUE(hasStatus(takeStatusLines(), std::nullopt, "setFrameInterval: 1000 uS"));
}

TEST_F(TimingTest, PulsePeriodTheCoreCannotHoldIsRefusedAndChangesNothing) {
    // Fault: the pulse generator's exception escapes to the host, or the sensor, the
    // interval or its word take a period the pulses never got (stop() would then sleep for
    // it), or the exposure is reported longer than the frame that holds it.
    tc120MXSSensorBoard& b = bringUp(atPeriod(20));
    const int interval = b.getFrameInterval();
    const int exposure = b.getExposure();
    ASSERT_EQ(head().pwm().periodUs, interval);
    constexpr int kHundredSeconds = 100000000; // beyond the core's 32-bit tick counter

    EXPECT_EQ(b.setFrameInterval(kHundredSeconds), eeArgumentOutOfRange);

    EXPECT_EQ(head().pwm().periodUs, interval);
    EXPECT_EQ(b.getFrameInterval(), interval);
    EXPECT_EQ(sensor().frameInterval.count(), interval);
    EXPECT_EQ(word(words::frameInterval), uint32_t(interval));
    EXPECT_EQ(b.getExposure(), exposure);
    EXPECT_EQ(word(words::exposure), uint32_t(exposure));
    const auto errors = [this] {
        std::vector<std::string> texts;
        for (const sim::StatusLine& line : takeStatusLines())
            if (line.status == int(tcStatusReporter::eeStatusError))
                texts.push_back(line.text);
        return texts;
    };
    EXPECT_EQ(errors(), std::vector<std::string>{"tcPwm::setPeriodTime: 100000000 us is "
                                                 "4500000000.000000 ticks, more than the "
                                                 "32-bit counter holds"});

    // An exposure that needs such a frame is limited to the frame in force, and says so.
    EXPECT_EQ(b.setExposure(INT_MAX), eeSuccess);
    EXPECT_EQ(errors().size(), 1u);
    EXPECT_EQ(b.getFrameInterval(), interval);
    EXPECT_EQ(head().pwm().periodUs, interval);
    EXPECT_EQ(b.getExposure(), interval);
    EXPECT_EQ(word(words::exposure), uint32_t(interval));
    EXPECT_EQ(chipStartLine(), kFullExposureLine);
    const sim::Micros before = sim::Clock::now();
    const size_t sent = spiFrameCount();
    EXPECT_EQ(b.stop(), eeSuccess);
    // stop() waits one frame of the interval held, besides the time its writes took.
    EXPECT_EQ((sim::Clock::now() - before - sim::busTime(head().spiFrames(), sent)).count(),
              interval);
}

TEST_F(TimingTest, GetExposureLogsTheStoredValue) {
    // Fault: the diagnostic line shows something other than the value returned.
    tc120MXSSensorBoard& b = bringUp(atPeriod(1000));
    testing::internal::CaptureStdout();
    const int exposure = b.getExposure();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "getExposure: " + std::to_string(exposure) + "\n");
    EXPECT_EQ(exposure, 80000);
}

TEST_F(TimingTest, ALongerIntervalWaitsForTheNextPulseOnlyWhilePulsesRun) {
    // Fault: the longer interval's start line reaches the sensor while the old, shorter
    // period still runs (the frame in flight is lost), or a bring-up or idle board waits a
    // frame for a pulse that never comes.
    tc120MXSSensorBoard& b = bringUp();
    // Waits are measured without the time the writes keep the bus.
    sim::Micros before = sim::Clock::now();
    size_t frames = spiFrameCount();
    ASSERT_EQ(b.setFrameInterval(300000), eeSuccess);
    ASSERT_EQ(b.getFrameInterval(), 300000);
    EXPECT_EQ((sim::Clock::now() - before - sim::busTime(head().spiFrames(), frames)).count(), 0);

    ASSERT_EQ(b.start(), eeSuccess);
    before = sim::Clock::now();
    frames = spiFrameCount();
    ASSERT_EQ(b.setFrameInterval(500000), eeSuccess);
    const auto waited =
        (sim::Clock::now() - before - sim::busTime(head().spiFrames(), frames)).count();
    EXPECT_GT(waited, 0);
    EXPECT_LE(waited, 300000 + 100);
    // The start line for the longer frame went out after that wait, at the pulse.
    ASSERT_GT(spiFrameCount(), frames);
    EXPECT_GE(head().spiFrames().back().time, before + sim::Micros(waited));
    EXPECT_EQ(b.stop(), eeSuccess);
}

} // namespace
