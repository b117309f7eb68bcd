// Regions of interest: validation, the sensor's row band, the timing re-fit and the frame
// receiver's cut-out.
#include "plugin/BoardFixture.h"
#include "support/RegisterFileWords.h"

#include "Vistrel/teNackCode.h"

#include <gmock/gmock.h>

using namespace Vistrel;
using ::testing::HasSubstr;
using testsupport::BoardSetup;
using testsupport::BoardTest;

namespace {

uint32_t packed(uint32_t high, uint32_t low) {
    return (high << 16) | low;
}

class RegionsTest : public BoardTest {
protected:
    // What the frame receiver was told, as (resolution, blank offset, start) words.
    std::vector<uint32_t> receiverRegion() {
        return {receiver(sim::frame::roiResolution), receiver(sim::frame::blankOffset),
                receiver(sim::frame::roiStart)};
    }
};

TEST_F(RegionsTest, FullFrameIsProgrammedIntoSensorAndReceiver) {
    // Fault: the band, the receiver's height/width order or the blanking margin is wrong.
    tc120MXSSensorBoard& b = bringUp();
    EXPECT_EQ(b.setROI(ROI(0, 0, 13280, 9184)), eeSuccess);
    EXPECT_EQ(chipRowS(), 32u);
    EXPECT_EQ(chipRowE(), 9215u);
    EXPECT_EQ(receiverRegion(),
              (std::vector<uint32_t>{packed(9184, 13280), packed(33, 32), packed(0, 0)}));
    EXPECT_EQ(word(words::minFrameInterval), uint32_t(b.getMinFrameIntervalMicroS()));
}

// Where a region ends up: refused by the board's own tests, refused by the sensor's row
// limits, or programmed.
enum class Outcome { BoardRefuses, SensorRefuses, Programmed };

struct RegionCase {
    ROI region;
    Outcome outcome;
};

class RegionValidationTest : public RegionsTest,
                             public ::testing::WithParamInterface<RegionCase> {};

TEST_P(RegionValidationTest, AcceptsOrRefuses) {
    // Fault: a limit is off by the sensor's 32-row/column margin, an alignment or sign test
    // is missing, or a refusal still reaches the hardware or leaves the word stale.
    tc120MXSSensorBoard& b = bringUp();
    const RegionCase& c = GetParam();
    const size_t frames = spiFrameCount();
    const auto receiverBefore = receiverRegion();
    writeWord(words::minFrameInterval, 0xDEAD);

    const int result = b.setROI(c.region);

    EXPECT_EQ(word(words::minFrameInterval), uint32_t(b.getMinFrameIntervalMicroS()));
    switch (c.outcome) {
    case Outcome::BoardRefuses:
        EXPECT_EQ(result, eeArgumentOutOfRange);
        EXPECT_EQ(b.getROI(), kFullFrame);
        EXPECT_EQ(spiFrameCount(), frames);
        EXPECT_EQ(receiverRegion(), receiverBefore);
        break;
    case Outcome::SensorRefuses:
        // The sensor keeps the old band and the receiver the old cut-out: the getters answer
        // that region, not the refused one.
        EXPECT_EQ(result, eeArgumentOutOfRange);
        EXPECT_EQ(b.getROI(), kFullFrame);
        EXPECT_EQ(receiverRegion(), receiverBefore);
        break;
    case Outcome::Programmed:
        EXPECT_EQ(result, eeSuccess);
        EXPECT_EQ(b.getROI(), c.region);
        EXPECT_EQ(receiver(sim::frame::roiResolution),
                  packed(uint32_t(c.region.height), uint32_t(c.region.width)));
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegionValidationTest,
    ::testing::Values(RegionCase{ROI(0, 0, 13280, 9184), Outcome::Programmed},
                      RegionCase{ROI(0, 32, 13280, 9184), Outcome::Programmed}, // x+w = 13312
                      RegionCase{ROI(0, 0, 13320, 9184), Outcome::BoardRefuses},
                      RegionCase{ROI(32, 32, 13280, 9184), Outcome::SensorRefuses}, // y+h = 9216
                      RegionCase{ROI(36, 0, 13280, 9184), Outcome::BoardRefuses},
                      RegionCase{ROI(0, 4, 1024, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(0, 0, 1020, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(2, 0, 1024, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(0, 0, 1024, 66), Outcome::BoardRefuses},
                      // Odd by one: every bit of the alignment masks counts.
                      RegionCase{ROI(0, 1, 1024, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(0, 0, 1025, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(1, 0, 1024, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(0, 0, 1024, 65), Outcome::BoardRefuses},
                      RegionCase{ROI(0, 0, 0, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(0, 0, 1024, 0), Outcome::BoardRefuses},
                      RegionCase{ROI(-4, 0, 1024, 64), Outcome::BoardRefuses},
                      RegionCase{ROI(0, -8, 1024, 64), Outcome::BoardRefuses},
                      // y + height overflows 32 bits
                      RegionCase{ROI(0x7FFFFFFC, 0, 1024, 0x7FFFFFFC), Outcome::BoardRefuses}));

TEST_F(RegionsTest, SensorRefusalIsLoggedOnOneLineAndKeepsTheOldTiming) {
    // Fault: the refusal is swallowed, the log line is split, or the timing and receiver are
    // programmed for a band the sensor never took.
    tc120MXSSensorBoard& b = bringUp();
    const int interval = b.getFrameInterval();
    const auto receiverBefore = receiverRegion();
    testing::internal::CaptureStdout();
    EXPECT_EQ(b.setROI(ROI(32, 32, 13280, 9184)), eeArgumentOutOfRange);
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_THAT(out, HasSubstr("\nprogramMultipleROIsetROIArea Error3\n"));
    EXPECT_THAT(out, HasSubstr("setROI exit:3\n"));
    EXPECT_EQ(b.getFrameInterval(), interval);
    EXPECT_EQ(receiverRegion(), receiverBefore);
    EXPECT_EQ(chipRowS(), 32u);
    EXPECT_EQ(chipRowE(), 9215u);
}

TEST_F(RegionsTest, CaptureInProgressRefusesEvenAnInvalidRegion) {
    // Fault: validation runs before the capture check, or a region change reaches a
    // running capture.
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.start(), eeSuccess);
    const size_t frames = spiFrameCount();
    EXPECT_EQ(b.setROI(ROI(0, 4, 1024, 64)), eeCaputreInProgress);
    EXPECT_EQ(b.setROI(ROI(0, 0, 1024, 64)), eeCaputreInProgress);
    EXPECT_EQ(b.getROI(), kFullFrame);
    EXPECT_EQ(spiFrameCount(), frames);
    EXPECT_EQ(word(words::minFrameInterval), uint32_t(b.getMinFrameIntervalMicroS()));
}

struct FactorCase {
    uint16_t factor;
    ROI region;
    int result;
    unsigned rowS, rowE; // the band programmed; unused when refused
};

// Keeps failure reports readable.
void PrintTo(const FactorCase& c, std::ostream* out) {
    *out << "factor " << c.factor << " region " << c.region.toString();
}

class VerticalFactorTest : public RegionsTest, public ::testing::WithParamInterface<FactorCase> {};

TEST_P(VerticalFactorTest, BandHoldsEveryRowOfEveryOutputLine) {
    // Fault: the band ends at the first sensor row of the last output row (short by
    // factor - 1 rows), or a band past 16-bit row numbers wraps onto other rows and is
    // reported as programmed.
    tc120MXSSensorBoard& b = bringUp();
    const FactorCase& c = GetParam();
    BoardTestAccess::setVerticalMode(b, c.factor);
    const size_t frames = spiFrameCount();
    const auto receiverBefore = receiverRegion();
    const int interval = b.getFrameInterval();

    testing::internal::CaptureStdout();
    EXPECT_EQ(b.setROI(c.region), c.result);
    const std::string out = testing::internal::GetCapturedStdout();

    if (c.result == eeSuccess) {
        EXPECT_EQ(chipRowS(), c.rowS);
        EXPECT_EQ(chipRowE(), c.rowE);
        EXPECT_EQ((c.rowE - c.rowS + 1) % c.factor, 0u) << "not whole output rows";
        EXPECT_EQ((c.rowE - c.rowS + 1) / c.factor, unsigned(c.region.height));
    } else {
        EXPECT_THAT(out, HasSubstr("programMultipleROIsetROIArea Error3\n"));
        EXPECT_EQ(spiFrameCount(), frames);
        EXPECT_EQ(receiverRegion(), receiverBefore);
        EXPECT_EQ(b.getFrameInterval(), interval);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VerticalFactorTest,
    ::testing::Values(FactorCase{1, ROI(100, 0, 13280, 200), eeSuccess, 132, 331},
                      // Image rows 200..599 are sensor rows 232..631.
                      FactorCase{2, ROI(100, 0, 13280, 200), eeSuccess, 232, 631},
                      FactorCase{3, ROI(332, 0, 13280, 664), eeSuccess, 1028, 3019},
                      FactorCase{15, ROI(0, 0, 13280, 612), eeSuccess, 32, 9211},
                      // First row 66000: beyond 16 bits.
                      FactorCase{15, ROI(4400, 0, 13280, 400), eeArgumentOutOfRange, 0, 0},
                      // Last row 137759: beyond 16 bits.
                      FactorCase{15, ROI(0, 0, 13280, 9184), eeArgumentOutOfRange, 0, 0}));

TEST_F(RegionsTest, RegionChangeKeepsTheHostsExposure) {
    // Fault: re-fitting the interval to the shorter band stretches the exposure (to 136733
    // µs here) and the stretched value is kept.
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.getFrameInterval(), 204845);
    ASSERT_EQ(b.getExposure(), 80000);

    EXPECT_EQ(b.setROI(ROI(1000, 64, 4096, 2000)), eeSuccess);

    // Readout of sensor rows 1032..3031: 45200 µs; two of them above 80000, rounded down
    // to the 1000-cycle period.
    EXPECT_EQ(b.getMinFrameIntervalMicroS(), 45200);
    EXPECT_EQ(word(words::minFrameInterval), 45200u);
    EXPECT_EQ(b.getFrameInterval(), 90000);
    EXPECT_EQ(word(words::frameInterval), 90000u);
    EXPECT_EQ(head().pwm().periodUs, 90000);
    EXPECT_EQ(b.getExposure(), 80000);
    EXPECT_EQ(word(words::exposure), 80000u);
    // 10000 µs of 22.2 µs lines from the frame start.
    EXPECT_EQ(chipStartLine(), 450u);
    EXPECT_EQ(receiverRegion(),
              (std::vector<uint32_t>{packed(2000, 4096), packed(33, 96), packed(1000, 64)}));
}

TEST_F(RegionsTest, StackedRegionsShapeTheReceiverImage) {
    // Fault: the image takes the last region's columns, the first region's top row, or
    // misses the heights of the other regions.
    tc120MXSSensorBoard& b = bringUp();
    EXPECT_EQ(b.setMultipleROI({ROI(100, 64, 1024, 200), ROI(40, 0, 512, 300)}), eeSuccess);
    EXPECT_EQ(b.getImageROI(), ROI(40, 64, 1024, 500));
    EXPECT_EQ(receiverRegion(),
              (std::vector<uint32_t>{packed(500, 1024), packed(33, 96), packed(40, 64)}));
    // The sensor band still comes from the single region.
    EXPECT_EQ(chipRowS(), 32u);
    EXPECT_EQ(chipRowE(), 9215u);
}

TEST_F(RegionsTest, OneListedRegionLeavesTheImageToTheBoardRegion) {
    // Fault: with one framework region the image follows the list instead of setROI.
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.setROI(ROI(8, 16, 512, 64)), eeSuccess);
    b.setMultipleROI({ROI(400, 800, 1024, 1024)});
    EXPECT_EQ(b.getImageROI(), ROI(8, 16, 512, 64));
    EXPECT_EQ(receiver(sim::frame::roiResolution), packed(64, 512));
}

TEST_F(RegionsTest, NoListedRegionIsNoImageToProgram) {
    // Fault: the image geometry is read from an empty region list, or the receiver is told
    // to expect an image of no rows (it would wait for lines that never come).
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.setROI(ROI(8, 16, 512, 64)), eeSuccess);
    const uint32_t programmed = receiver(sim::frame::roiResolution);
    b.setNumberOfROI(0);
    EXPECT_EQ(b.setROI(ROI(8, 16, 512, 64)), eeArgumentOutOfRange);
    EXPECT_EQ(receiver(sim::frame::roiResolution), programmed);
    EXPECT_EQ(b.getImageROI(), ROI(8, 16, 512, 64)); // the image still delivered
}

} // namespace
