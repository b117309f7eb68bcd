// Timing, gain, readout-area, frame-state and test-pattern fields, and the exposure's
// start-line arithmetic.
#include "SensorFixture.h"

#include <chrono>

using namespace sensortest;
using Vistrel::eeArgumentOutOfRange;
using Vistrel::eeSuccess;

namespace {

constexpr const char* kExposurePrefix =
    "Vistrel::teNackCode tc120MXS::setExposure(std::chrono::microseconds)";

uint32_t startLineOf(uint32_t reg3) {
    return reg3 & 0x7FFF;
}
uint32_t frameStateOf(uint32_t reg3) {
    return (reg3 >> 18) & 0x7;
}

class TimingTest : public SensorTest {
protected:
    void SetUp() override {
        SensorTest::SetUp();
        setFullFrameTiming(*sensor);
    }
    // setExposure with its standard output captured into out.
    Vistrel::teNackCode expose(long long us, std::string* out = nullptr) {
        CaptureStdout();
        const auto result = sensor->setExposure(microseconds(us));
        const std::string text = GetCapturedStdout();
        if (out != nullptr)
            *out = text;
        return result;
    }
};

TEST_F(TimingTest, HorizontalPeriodRange) {
    // Catches an off-by-one at either end of the 13-bit period field or a refused value
    // that still writes.
    const size_t before = frames().size();
    EXPECT_EQ(sensor->setHorizontalPeriod(0), eeArgumentOutOfRange);
    EXPECT_EQ(sensor->setHorizontalPeriod(8193), eeArgumentOutOfRange);
    EXPECT_EQ(frames().size(), before);
    EXPECT_EQ(sensor->setHorizontalPeriod(8192), eeSuccess);
    EXPECT_EQ(chipField(0x00, 0x1FFF, 10), 8191u);
    EXPECT_EQ(sensor->getHorizontalPeriod(), 8192);
    EXPECT_EQ(sensor->setHorizontalPeriod(1), eeSuccess);
    EXPECT_EQ(chip(0x00), 0u);
}

TEST_F(TimingTest, FieldSettersRefuseCodesOutsideTheirSets) {
    // Catches a wrong accepted set for start line, frame state, vertical mode or gain, or a
    // refused code that still reaches the chip.
    const size_t before = frames().size();
    EXPECT_EQ(sensor->setExposureStartLine(0x8000), eeArgumentOutOfRange);
    EXPECT_EQ(sensor->setFrameState(static_cast<tc120MXS::teFrameState>(2)), eeArgumentOutOfRange);
    EXPECT_EQ(sensor->setFrameState(static_cast<tc120MXS::teFrameState>(5)), eeArgumentOutOfRange);
    EXPECT_EQ(sensor->setVerticalMode(4), eeArgumentOutOfRange);
    EXPECT_EQ(sensor->setGain(static_cast<tc120MXS::teGain>(8)), eeArgumentOutOfRange);
    EXPECT_EQ(frames().size(), before);
    EXPECT_FALSE(chipHas(0x7A));
}

TEST_F(TimingTest, StartLineAndFrameStateLandInTheirFields) {
    // Catches a wrong code or field for the exposure start line or the frame state.
    EXPECT_EQ(sensor->setExposureStartLine(0x7FFF), eeSuccess);
    EXPECT_EQ(startLineOf(chip(3)), 0x7FFFu);
    EXPECT_EQ(sensor->setFrameState(tc120MXS::eeFrameState3), eeSuccess);
    EXPECT_EQ(frameStateOf(chip(3)), 3u);
}

TEST_F(TimingTest, VerticalModeTakesTheChipCodeOfItsMode) {
    // Catches a vertical mode written or read back with the wrong code.
    EXPECT_EQ(sensor->setVerticalMode(15), eeSuccess);
    EXPECT_EQ(chipField(3, 0x7, 15), 5u);
    EXPECT_EQ(sensor->getVerticalMode(), 5u);
    EXPECT_EQ(sensor->setVerticalMode(7), eeSuccess);
    EXPECT_EQ(sensor->getVerticalMode(), 4u);
}

TEST_F(TimingTest, FieldsOfRegister3KeepEachOther) {
    // Catches a field setter or the shutter reset that clears the other fields it shares
    // register 3 with.
    sensor->setExposureStartLine(0x7FFF);
    sensor->setFrameState(tc120MXS::eeFrameState3);
    sensor->setVerticalMode(15);
    sensor->setVerticalMode(7);
    sensor->resetShutter_PSETM(true);
    EXPECT_EQ(chipField(3, 1, 21), 1u);
    EXPECT_EQ(startLineOf(chip(3)), 0x7FFFu);
    EXPECT_EQ(frameStateOf(chip(3)), 3u);
}

TEST_F(TimingTest, GainGoesOutAsItsFrameAndReadsBack) {
    // Catches a wrong gain code or frame, or a gain read back other than the one set.
    CaptureStderr();
    EXPECT_EQ(sensor->setGain(tc120MXS::eeGain15), eeSuccess);
    GetCapturedStderr();
    EXPECT_THAT(frames().back().bytes, ElementsAre(0x87, 0xA0, 0x00, 0x01, 0xE0));
    EXPECT_EQ(sensor->getGain(), tc120MXS::eeGain15);
    EXPECT_EQ(sensor->setGain(tc120MXS::eeGain3), eeSuccess);
    EXPECT_EQ(chip(0x7A), 3u << 5);
}

struct RoiCase {
    unsigned short start, end;
    bool accepted;
    unsigned int rowS, rowE;
};

TEST_F(TimingTest, ReadoutAreaRoundsToWholeBlocks) {
    // Catches wrong block rounding, an off-by-one at the last block, or a refused area that
    // is still written.
    const RoiCase cases[] = {
        {0, 9183, true, 32, 9215},      {0, 2, false, 0, 0},       {0, 3, true, 32, 35},
        {5, 100, true, 36, 131},        {0, 9186, true, 32, 9215}, {0, 9187, false, 0, 0},
        {9180, 9183, true, 9212, 9215}, {9184, 9187, false, 0, 0},
    };
    const uint32_t before = 0xF0000000 | (32 + 35 * 16384); // a band the chip takes
    for (const auto& c : cases) {
        sensor->writeRegister(4, before);
        CaptureStdout();
        const auto result = sensor->setROIArea(c.start, c.end);
        const std::string out = GetCapturedStdout();
        const std::string first = "setROIArea start row : " + std::to_string(c.start + 32) +
                                  " end row : " + std::to_string(c.end + 32) + "\n";
        if (c.accepted) {
            EXPECT_EQ(result, eeSuccess) << c.start << ".." << c.end;
            EXPECT_EQ(out, first + "setROIArea RowS: " + std::to_string(c.rowS) +
                               " RowE: " + std::to_string(c.rowE) + "\n");
            EXPECT_EQ(chip(4), (c.rowS + c.rowE * 16384) & 0x0FFFFFFF);
            EXPECT_EQ(shadow(4), 0xF0000000 | (c.rowS + c.rowE * 16384)); // top bits kept
        } else {
            EXPECT_EQ(result, eeArgumentOutOfRange) << c.start << ".." << c.end;
            EXPECT_EQ(out, first);
            EXPECT_EQ(shadow(4), before);
        }
    }
    sensor->setROIArea(0, 9183);
    EXPECT_EQ(chip(4), 0x8FFC020u);
}

TEST_F(TimingTest, ReadoutAndOverheadTimesAndTheShortestFrameInterval) {
    // Catches truncating instead of rounding up, a wrong overhead line count, or a frame
    // interval accepted below the readout time.
    EXPECT_EQ(sensor->getFrameReadoutTime(), microseconds(204845));
    EXPECT_EQ(sensor->getOverheadTime(), microseconds(756));
    EXPECT_EQ(sensor->setFrameInterval(microseconds(204844)), eeArgumentOutOfRange);
    EXPECT_EQ(sensor->frameInterval, microseconds(0));
    EXPECT_EQ(sensor->getExposure(), microseconds(0)); // nothing exposed yet
    EXPECT_EQ(sensor->setFrameInterval(microseconds(204845)), eeSuccess);
    EXPECT_EQ(sensor->frameInterval, microseconds(204845));
    EXPECT_TRUE(framesFrom(3).empty()); // the interval is not a register
}

TEST_F(TimingTest, ReadoutTimeOfAnUnconfiguredHead) {
    // Catches unwritten timing registers read as garbage rather than 0 with a warning.
    sensor.reset();
    resetHead(sim::HeadConfig{});
    sensor = std::make_unique<tc120MXS>(sensortest::kSpiPath);
    CaptureStderr();
    EXPECT_EQ(sensor->getHorizontalPeriod(), 1);
    EXPECT_EQ(sensor->getFrameReadoutTime(), microseconds((35 + 44) / 45));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("register: 0 was not in shadow register"));
}

TEST_F(TimingTest, ExposureWithinTheFrameSetsAStartLine) {
    // Catches a wrong line time, rounding, or frame state for an exposure shorter than the
    // frame interval.
    ASSERT_EQ(sensor->setFrameInterval(microseconds(300000)), eeSuccess);
    std::string out;
    EXPECT_EQ(expose(100000, &out), eeSuccess);

    EXPECT_EQ(startLineOf(chip(3)), 9000u);
    EXPECT_EQ(frameStateOf(chip(3)), 0u); // not capturing: the frame state stays stopped
    EXPECT_EQ(sensor->captureFrameState, tc120MXS::eeFrameStartLine);
    EXPECT_EQ(sensor->getExposure(), microseconds(100000));
    const std::string p = kExposurePrefix;
    EXPECT_EQ(out,
              p + ": 100000\n" + p + "start line:9000 roiend: 9215\n" + p + " after: 100000\n");
}

TEST_F(TimingTest, ExposureBeyondTheFrameIsLimited) {
    // Catches an exposure longer than the frame interval being programmed as a negative
    // start line instead of filling the frame.
    ASSERT_EQ(sensor->setFrameInterval(microseconds(300000)), eeSuccess);
    std::string out;
    EXPECT_EQ(expose(400000, &out), eeSuccess);

    EXPECT_EQ(startLineOf(chip(3)), 0x7FFFu);
    EXPECT_EQ(sensor->captureFrameState, tc120MXS::eeFrameFullExposure);
    EXPECT_EQ(sensor->getExposure(), microseconds(300000));
    const std::string p = kExposurePrefix;
    EXPECT_EQ(out, p + ": 400000\n" + p + ": Limiting exposure: exposure duration: \n");

    // Within half a line of the interval is limited too.
    EXPECT_EQ(expose(300000 - 11), eeSuccess);
    EXPECT_EQ(sensor->captureFrameState, tc120MXS::eeFrameFullExposure);
}

TEST_F(TimingTest, StartLineKeepsFourLinesBeforeTheLastReadoutRow) {
    // Catches a start line programmed at or after the last rows read.
    CaptureStdout();
    ASSERT_EQ(sensor->setROIArea(0, 3), eeSuccess); // rows 32..35
    GetCapturedStdout();
    ASSERT_EQ(sensor->setFrameInterval(microseconds(10000)), eeSuccess);
    // 34 lines of 22.22 us before the end of the frame.
    expose(10000 - 756);
    EXPECT_EQ(startLineOf(chip(3)), 31u);
    EXPECT_EQ(sensor->captureFrameState, tc120MXS::eeFrameStartLine);
    EXPECT_EQ(sensor->getExposure(), microseconds(10000 - 689)); // 31 lines of 22.22 us
}

TEST_F(TimingTest, ExposureItsStartLineLeavesNoTimeForIsZero) {
    // Catches an exposure that its start line leaves nothing of read back as more than 0:
    // a negative request in a frame whose lines grew after its interval was set.
    ASSERT_EQ(sensor->setHorizontalPeriod(20), eeSuccess);
    ASSERT_EQ(sensor->setFrameInterval(microseconds(5000)), eeSuccess);
    ASSERT_EQ(sensor->setHorizontalPeriod(1000), eeSuccess); // lines of 22.22 us
    expose(-5000);
    EXPECT_EQ(startLineOf(chip(3)), 450u); // 10000 us of lead
    EXPECT_EQ(sensor->captureFrameState, tc120MXS::eeFrameStartLine);
    EXPECT_EQ(sensor->getExposure(), microseconds(0));
}

TEST_F(TimingTest, StartLineBeyondTheFieldStaysInRange) {
    // Catches a start-line quotient above 32767 wrapping as a 16-bit number: into a
    // negative line (wrongly taken as the limiting case) or into a line after the readout.
    for (const long long interval : {889000LL, 2000000LL, 5000000LL}) {
        ASSERT_EQ(sensor->setFrameInterval(microseconds(interval)), eeSuccess);
        std::string out;
        expose(100, &out);
        EXPECT_THAT(out, HasSubstr("start line:32767 roiend: 9215")) << interval;
        EXPECT_EQ(startLineOf(chip(3)), 9211u) << interval;
        EXPECT_EQ(sensor->captureFrameState, tc120MXS::eeFrameStartLine) << interval;
        EXPECT_LT(sensor->getExposure(), microseconds(interval)) << interval;
        EXPECT_GE(sensor->getExposure(), microseconds(interval - 204690)) << interval;
        EXPECT_LE(sensor->getExposure(), microseconds(interval - 204688)) << interval;
    }
}

TEST_F(TimingTest, ExposureWithoutMasterClockFillsTheFrame) {
    // Catches a division by a zero master clock.
    sensor->setMClockMhz(0.0f);
    ASSERT_EQ(sensor->setFrameInterval(microseconds(300000)), eeSuccess);
    CaptureStderr();
    std::string out;
    EXPECT_EQ(expose(100000, &out), eeSuccess);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("master clock not set"));
    EXPECT_THAT(out, HasSubstr("Limiting exposure"));
    EXPECT_EQ(startLineOf(chip(3)), 0x7FFFu);
    EXPECT_EQ(sensor->captureFrameState, tc120MXS::eeFrameFullExposure);
    EXPECT_EQ(sensor->getExposure(), microseconds(300000));
}

TEST_F(TimingTest, ExposureChangeDuringCaptureAppliesTheFrameStateAtOnce) {
    // Catches a running capture keeping the old frame state after the exposure mode
    // changes, and a stopped sensor being started by an exposure change.
    ASSERT_EQ(sensor->setFrameInterval(microseconds(300000)), eeSuccess);
    expose(100000);
    EXPECT_EQ(frameStateOf(chip(3)), 0u);

    ASSERT_EQ(sensor->setFrameState(tc120MXS::eeFrameStartLine), eeSuccess);
    expose(400000);
    EXPECT_EQ(frameStateOf(chip(3)), 1u);
    EXPECT_EQ(sensor->getFrameState(), tc120MXS::eeFrameFullExposure);
    expose(100000);
    EXPECT_EQ(frameStateOf(chip(3)), 4u);
    EXPECT_EQ(startLineOf(chip(3)), 9000u);
}

TEST_F(TimingTest, TestPatternsWriteTheirTableInOrder) {
    // Catches a missing or reordered pattern register, patterns 3 and 4 differing, the
    // normal image values being wrong, or missing gaps between the writes.
    const size_t start = frames().size();
    EXPECT_EQ(sensor->setTestPattern(static_cast<tc120MXS::teTestPattern>(5)),
              eeArgumentOutOfRange);
    EXPECT_EQ(frames().size(), start);

    EXPECT_EQ(sensor->setTestPattern(tc120MXS::eePattern3), eeSuccess);
    const auto three = framesFrom(start);
    EXPECT_EQ(sensor->setTestPattern(tc120MXS::eePattern4), eeSuccess);
    const auto four = framesFrom(start + three.size());
    ASSERT_EQ(three.size(), 6u);
    ASSERT_EQ(four.size(), 6u);
    EXPECT_THAT(registersOf(three), ElementsAre(0x3A, 0x47, 0x55, 0x56, 0x5C, 0x5D));
    const uint32_t testValues[] = {0x015011, 0x000001, 0x3FF3FF, 0x3FF3FF, 0x03C028, 0x032028};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(three[i].value, testValues[i]);
        EXPECT_EQ(four[i].bytes, three[i].bytes);
        if (i > 0) {
            // The gap follows the previous write's return (its bus time is not part of it).
            EXPECT_EQ(three[i].time - three[i - 1].released, microseconds(10));
        }
    }

    EXPECT_EQ(sensor->setTestPattern(tc120MXS::eePatternNormal), eeSuccess);
    expectNormalImage();
}

} // namespace
