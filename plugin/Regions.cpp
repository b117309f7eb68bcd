// Regions of interest: validation, the sensor's readout row band, the timing re-fit for the
// new band, and the frame receiver's cut-out of the delivered image.
#include "plugin/RegisterFileWords.h"
#include "plugin/tc120MXSSensorBoard.h"

#include <cstdint>
#include <iostream>

namespace Vistrel {

namespace {

// A region may reach 32 rows and columns past the full frame (the sensor's margin); the
// sensor's own row limits decide the rest.
constexpr int64_t kRowLimit = 0x2400;    // 9216
constexpr int64_t kColumnLimit = 0x3400; // 13312
constexpr int kColumnAlign = 8;          // x and width: multiples of 8
constexpr int kRowAlign = 4;             // y and height: multiples of 4 (sensor row blocks)

// Frame receiver blanking: fixed vertical lines, horizontal offset past the margin.
constexpr uint16_t kBlankVertical = 0x21;
constexpr int kBlankHorizontalMargin = 32;

bool isValidRegion(const ROI& region) {
    // Sums in 64 bits: extreme host values must not overflow.
    return region.y >= 0 && region.x >= 0 && region.width >= 1 && region.height >= 1 &&
           int64_t{region.y} + region.height <= kRowLimit &&
           int64_t{region.x} + region.width <= kColumnLimit &&
           ((region.x | region.width) & (kColumnAlign - 1)) == 0 &&
           ((region.y | region.height) & (kRowAlign - 1)) == 0;
}

uint16_t low16(int value) {
    return static_cast<uint16_t>(static_cast<uint32_t>(value));
}

} // namespace

int tc120MXSSensorBoard::setROI(ROI region) {
    // The region, the line factor, the sensor's row band, the receiver's cut-out and the
    // minimum-interval word change as one step.
    tcBoardScope scope(*this);
    std::cout << "SetROI enter" << std::endl;
    std::cout << "SetROI region" << region.toString() << std::endl;

    int result;
    if (!sensorReady) {
        std::cout << "SetROI eeInvalidState" << std::endl;
        result = eeInvalidState;
    } else if (readoutMayRun()) {
        std::cout << "SetROI eeCaputreInProgress" << std::endl;
        result = eeCaputreInProgress;
    } else if (!isValidRegion(region)) {
        std::cout << "SetROI eeArgumentOutOfRange" << std::endl;
        result = eeArgumentOutOfRange;
    } else {
        std::cout << "SetROI checked valid" << std::endl;
        // The getters answer the region in effect: one the sensor refuses leaves the old
        // band on the chip and in the receiver, so the old region is kept here too.
        const ROI previous = roi;
        roi = region;
        result = programMultipleROI();
        if (result != eeSuccess)
            roi = previous;
    }

    std::cout << "setROI exit:" << result << std::endl;
    publishWord(regfile::kMinFrameInterval, static_cast<uint32_t>(getMinFrameIntervalMicroS()));
    return result;
}

int tc120MXSSensorBoard::programMultipleROI() {
    tcBoardScope scope(*this);
    std::cout << "programMultipleROI " << roi.toString() << std::endl;
    // The framework calls this whenever its region list changes: a new band or cut-out
    // while the sensor may read a frame out would tear that frame.
    if (!sensorReady)
        return eeInvalidState;
    if (readoutMayRun())
        return eeCaputreInProgress;
    // The sensor reads one band, the rows of roi; the receiver cuts the framework's regions
    // out of it. An image of more rows than the band, or of columns past the line, would
    // leave the receiver waiting for lines that never come: no frame at all.
    const ROI image = imageOfRegions();
    if (image.height < 1 || image.height > roi.height || image.width < 1 || image.x < 0 ||
        int64_t{image.x} + image.width > kColumnLimit) {
        std::cout << "programMultipleROI image " << image.toString() << " not in the band"
                  << std::endl;
        return eeArgumentOutOfRange;
    }

    // Sensor rows of the band; one output row spans verticalMode sensor rows, so the band
    // ends at the last sensor row of the last output row. In 64 bits: a band past the
    // 16-bit row numbers is refused, not wrapped onto other rows.
    const int64_t factor = verticalMode;
    const int64_t firstRow = int64_t{roi.y} * factor;
    const int64_t lastRow = (int64_t{roi.y} + roi.height) * factor - 1;
    const teNackCode err =
        firstRow < 0 || lastRow > UINT16_MAX
            ? eeArgumentOutOfRange
            : sensor.setROIArea(static_cast<uint16_t>(firstRow), static_cast<uint16_t>(lastRow));
    if (err != eeSuccess) {
        std::cout << "programMultipleROI"
                  << "setROIArea Error" << err << std::endl;
        return err;
    }

    // The readout time follows the band: fit the frame interval again, then give back the
    // exposure the host set. It is read before the interval is re-fitted, whose own fit
    // against the shorter band may have stretched it.
    const int heldExposure = getExposure();
    setFrameInterval(getFrameInterval());
    setExposure(heldExposure);

    std::cout << "image" << image.toString() << std::endl;
    imageInEffect = image;

    fpga.frameCtrl.setRoiResCntConfig({low16(image.height), low16(image.width)});
    // Unsigned sum: the framework's regions are not validated, and any x must give its low
    // 16 bits without a signed overflow.
    const auto blankHorizontal =
        static_cast<uint16_t>(static_cast<uint32_t>(image.x) + kBlankHorizontalMargin);
    fpga.frameCtrl.setBlankOffsetConfig({kBlankVertical, blankHorizontal});
    fpga.frameCtrl.setRoiConfig({low16(image.y), low16(image.x)});
    return eeSuccess;
}

ROI tc120MXSSensorBoard::getROI() {
    const tcBoardScope scope(*this);
    return roi;
}

ROI tc120MXSSensorBoard::getImageROI() {
    const tcBoardScope scope(*this);
    // The framework may change its region list without the board programming it (a
    // programMultipleROI refused during a capture): the image is the one programmed.
    return imageInEffect ? *imageInEffect : imageOfRegions();
}

ROI tc120MXSSensorBoard::imageOfRegions() {
    const ROI region = roi;
    const int count = getNumberOfROI();
    if (count == 1)
        return region;

    const ROI* list = getROIList();
    if (count <= 0 || list == nullptr) {
        // No framework regions: nothing is stacked, so the image has no rows. Position and
        // width stay those of the single region.
        return ROI(region.y, region.x, region.width, 0);
    }

    // Regions stacked one under the other: the first one's columns, the topmost row, the
    // rows of all of them.
    int top = list[0].y;
    uint16_t rows = 0;
    for (int i = 0; i < count; ++i) {
        if (list[i].y < top)
            top = list[i].y;
        rows = static_cast<uint16_t>(rows + low16(list[i].height));
    }
    return ROI(top, list[0].x, list[0].width, rows);
}

} // namespace Vistrel
