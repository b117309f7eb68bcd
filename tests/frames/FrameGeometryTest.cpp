// Frame geometry end to end: the vertical line factor's example.
#include "FramesFixture.h"
#include "support/RegisterFileWords.h"

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

} // namespace
} // namespace frames_test
