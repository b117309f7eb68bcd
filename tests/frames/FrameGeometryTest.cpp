// Frame geometry end to end: the vertical line factor's example.
#include "FramesFixture.h"
#include "support/RegisterFileWords.h"

#include "fpga/tcRegisterWindow.h"
#include "sim/SimHead.h"
#include "sim/frames/Frame.h"

namespace frames_test {
namespace {

using Vistrel::ROI;

// NEEDS THE ROW-BAND MEND of the regions code (end row = (y + height) x factor - 1): without
// it the sensor reads 1996 rows (998 lines at factor 2) for the receiver's 1000 lines, and
// this test fails with the "frame geometry" finding.
TEST_F(FramesTest, VerticalFactorExampleDeliversWholeFrames) {
    // Catches a row band that misses the region's last rows at a vertical factor, and a
    // receiver that gets a height other than the sensor's line count.
    auto& b = readyBoard();
    ASSERT_EQ(b.setROI(ROI(1000, 0, 13280, 2000)), 0);
    writeWord(words::verticalFactor, 2);
    ASSERT_EQ(b.getROI().y, 500);
    ASSERT_EQ(b.getROI().height, 1000);
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    ASSERT_EQ(b.stop(), 0);

    for (const sim::frames::Finding& finding : sim::frames::findings())
        ADD_FAILURE() << finding.rule << ": " << finding.reason;
    const std::vector<FrameRecord> all = frames();
    ASSERT_FALSE(all.empty());
    for (const FrameRecord& frame : all) {
        EXPECT_EQ(frame.height, 1000);
        EXPECT_EQ(frame.width, 13280);
        EXPECT_TRUE(frame.geometry.empty()) << frame.geometry;
    }
    // The last line comes from the region's last sensor rows, not from missing data.
    sim::frames::LineRenderer renderer(all.back().settings, 1);
    std::vector<uint16_t> line(renderer.lineSize());
    renderer.render(999, line.data());
    EXPECT_NE(line[100], 0);
}

TEST_F(FramesTest, StackedRegionsTakeFewerLinesThanSentAndThatIsNoFault) {
    // Catches a receiver that takes fewer lines than the sensor sends flagged as a fault,
    // and a frame that does not record both figures.
    auto& b = readyBoard();
    ASSERT_EQ(b.setMultipleROI({ROI(100, 64, 1024, 200), ROI(40, 0, 512, 300)}), 0);
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    ASSERT_EQ(b.stop(), 0);

    EXPECT_TRUE(sim::frames::findings().empty());
    const FrameRecord frame = lastFrame();
    EXPECT_EQ(frame.height, 500);
    EXPECT_EQ(frame.width, 1024);
    EXPECT_NE(frame.geometry.find("sensor sends 9184 lines"), std::string::npos) << frame.geometry;
    EXPECT_NE(frame.geometry.find("receiver expects 500 lines of 1024 columns"), std::string::npos)
        << frame.geometry;
}

TEST_F(FramesTest, AReceiverWaitingForLinesOrColumnsNeverSentIsAFault) {
    // Catches a receiver cut past the sensor's last line or outside its line going
    // unflagged; each new mismatch is logged once.
    expectViolation("frame-geometry");
    auto& b = readyBoard();
    ASSERT_EQ(b.setROI(ROI(0, 0, 13280, 400)), 0);
    tcRegisterWindow rx(sim::frame::base, 64);
    rx.write(sim::frame::roiResolution, (404u << 16) | 13280u); // four lines never come
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    ASSERT_EQ(b.stop(), 0);
    rx.write(sim::frame::roiResolution, (400u << 16) | 13320u); // past the line's end
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    ASSERT_EQ(b.stop(), 0);

    std::vector<std::string> rules;
    for (const sim::Violation& violation : head().violations())
        rules.push_back(violation.rule);
    EXPECT_EQ(rules, (std::vector<std::string>(2, "frame-geometry")));
    EXPECT_EQ(sim::frames::findings().size(), 2u);
}

} // namespace
} // namespace frames_test
