// What frames show: the chart cut where the region lies, the test image, and levels that
// follow the exposure and the bias subtraction.
#include "FramesFixture.h"
#include "support/RegisterFileWords.h"

#include "sim/frames/Scene.h"

namespace frames_test {
namespace {

using sim::frames::FrameSettings;
using Vistrel::ROI;

// The delivered value of the chart at an image pixel under a frame's settings.
uint16_t chartValue(const FrameSettings& settings, int row, int column) {
    return sim::frames::delivered(
        settings, sim::frames::sampleOfCode(settings, sim::frames::sceneCode(row, column)));
}

TEST_F(FramesTest, RegionFrameHasTheRegionsSizeAndShowsTheChartWhereItLies) {
    // Catches a receiver cut that ignores the region's column or the blanking offset, a
    // line off by one, and a frame sized by the full sensor instead of the region.
    auto& b = readyBoard();
    const ROI region(1000, 4000, 512, 256);
    ASSERT_EQ(b.setROI(region), 0);
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(3);
    ASSERT_EQ(b.stop(), 0);

    const FrameRecord frame = lastFrame();
    ASSERT_EQ(frame.width, 512);
    ASSERT_EQ(frame.height, 256);
    EXPECT_TRUE(frame.geometry.empty()) << frame.geometry;
    const std::vector<uint16_t> image = sim::frames::pixels(frame.settings);
    ASSERT_EQ(image.size(), 512u * 256u);

    int wrong = 0;
    for (int r = 0; r < 256; ++r)
        for (int c = 0; c < 512; ++c)
            wrong += image[r * 512 + c] != chartValue(frame.settings, 1000 + r, 4000 + c);
    EXPECT_EQ(wrong, 0);
    // The chart's grid lines at column 4096 and row 1024 are darker than their neighbours.
    const auto at = [&](int r, int c) { return image[r * 512 + c]; };
    EXPECT_LT(at(100, 96), at(100, 95));
    EXPECT_LT(at(100, 97), at(100, 98));
    EXPECT_LT(at(24, 300), at(23, 300));
    EXPECT_LT(at(25, 300), at(26, 300));
}

TEST_F(FramesTest, TestPatternGivesTheTestImageAndPatternZeroTheSceneBack) {
    // Catches test-pattern registers that do not switch the image, and a test image that
    // stays after the registers got their normal values back.
    auto& b = readyBoard();
    ASSERT_EQ(b.setROI(ROI(2000, 1000, 256, 64)), 0);
    ASSERT_EQ(b.start(), 0);
    sleepIntervals(2);
    const FrameRecord scene = lastFrame();
    const std::vector<uint16_t> scenePixels = sim::frames::pixels(scene.settings);

    ASSERT_EQ(b.setTestPattern(static_cast<Vistrel::teTestPattern>(1)), 0);
    sleepIntervals(2);
    const FrameRecord test = lastFrame();
    EXPECT_TRUE(test.settings.testImage);
    const std::vector<uint16_t> testPixels = sim::frames::pixels(test.settings);
    ASSERT_EQ(testPixels.size(), 256u * 64u);
    int wrong = 0;
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 256; ++c) {
            // A diagonal ramp of 11-bit samples, shifted left once in the 16-bit format.
            const int expected = ((2000 + r + 1000 + c) % 2048) * 2;
            wrong += testPixels[r * 256 + c] != expected;
        }
    EXPECT_EQ(wrong, 0);

    ASSERT_EQ(b.setTestPattern(static_cast<Vistrel::teTestPattern>(0)), 0);
    sleepIntervals(2);
    const FrameRecord back = lastFrame();
    ASSERT_EQ(b.stop(), 0);
    EXPECT_FALSE(back.settings.testImage);
    EXPECT_EQ(sim::frames::pixels(back.settings), scenePixels);
    EXPECT_DOUBLE_EQ(back.meanLevel, scene.meanLevel);
}

TEST_F(FramesTest, DoubleExposureDoublesTheLevelAndBiasSubtractionLowersItByTheOffset) {
    // Catches a level that ignores the programmed exposure (the frame interval stays the
    // same here), and a bias word whose enable bit or offset is not applied.
    auto& b = readyBoard();
    writeWord(words::biasEnable, 0);
    ASSERT_EQ(b.start(), 0);

    ASSERT_EQ(b.setExposure(25000), 0);
    sleepIntervals(2);
    const FrameRecord single = lastFrame();
    ASSERT_EQ(b.setExposure(50000), 0);
    sleepIntervals(2);
    const FrameRecord twice = lastFrame();
    writeWord(words::biasEnable, 1);
    sleepIntervals(2);
    const FrameRecord biased = lastFrame();
    ASSERT_EQ(b.stop(), 0);

    ASSERT_EQ(single.settings.bias >> 31, 0u);
    ASSERT_EQ(biased.settings.bias, 0x80000190u); // offset 400
    EXPECT_NEAR(single.exposureUs, 25000, 25);
    EXPECT_NEAR(twice.exposureUs, 50000, 25);
    EXPECT_NEAR(twice.meanLevel / single.meanLevel, 2.0, 0.01);
    // Offset 400 in sensor samples, shifted left once in the 16-bit format.
    EXPECT_NEAR(twice.meanLevel - biased.meanLevel, 800.0, 1e-6);
}

} // namespace
} // namespace frames_test
