// Any sequence of setROI, setExposure, setFrameInterval, setBPP, setTestPattern,
// setTrigger, start, stop and trigger notifications with arbitrary integers, on a board
// brought up for a line length the input chooses. After every call the board invariants
// hold (region valid, frame interval not below the readout time, the chip's
// frame-control register equal to the sensor's shadow with a start line inside its rules,
// published words equal to the board's values), an accepted call reached the hardware as
// it should, and a refused one changed nothing it must not.
//
// Input: two bytes of line length (1 + value % 8192), then per operation one byte
// choosing it and the bytes of its arguments; at most 64 operations.
#include "BoardSupport.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using Vistrel::BoardTestAccess;
using Vistrel::ROI;
using Vistrel::tc120MXSSensorBoard;

constexpr uint32_t kStartupBias = 0x80000190; // on, offset 400

enum Operation : uint8_t {
    kSetRoiRaw,
    kSetRoiAligned,
    kSetExposureRaw,
    kSetExposureNear,
    kSetFrameIntervalRaw,
    kSetFrameIntervalNear,
    kSetBpp,
    kSetTestPattern,
    kSetTrigger,
    kStart,
    kStop,
    kNotify,
    kSetMultipleRoi,
    kSetNumberOfRoi,
    kOperationCount
};

// What the hardware showed before a call.
struct Snapshot {
    ROI roi;
    int trigger;
    int testPattern;
    size_t spiFrames;
    uint32_t readoutRows;
    uint32_t resolution, blankOffset, roiStart, bias;
    sim::PixelShiftState pixelShift;
    size_t frameOutputCalls;
    std::optional<sim::SetEdgeCall> setEdge;
};

Snapshot snapshot(tc120MXSSensorBoard& board) {
    sim::Head& head = sim::Head::instance();
    Snapshot s;
    s.roi = board.getROI();
    s.trigger = board.getTrigger();
    s.testPattern = board.getTestPattern();
    s.spiFrames = head.spiFrames().size();
    s.readoutRows = fuzzsupport::chipRegister(0x04).value_or(0);
    s.resolution = head.frameRegister(sim::frame::roiResolution);
    s.blankOffset = head.frameRegister(sim::frame::blankOffset);
    s.roiStart = head.frameRegister(sim::frame::roiStart);
    s.bias = head.frameRegister(sim::frame::biasSubtract);
    s.pixelShift = head.pixelShift();
    s.frameOutputCalls = head.frameOutputCalls().size();
    s.setEdge = head.lastSetEdge();
    return s;
}

bool sameReceiverRegion(const Snapshot& a, const Snapshot& b) {
    return a.resolution == b.resolution && a.blankOffset == b.blankOffset &&
           a.roiStart == b.roiStart;
}

std::string text(const ROI& r) {
    return std::to_string(r.y) + "," + std::to_string(r.x) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

// The image the receiver is told to cut out: the region itself, or with several
// framework regions the first one's columns, the topmost row and all their rows.
ROI expectedImage(tc120MXSSensorBoard& board) {
    const ROI roi = board.getROI();
    const int count = board.getNumberOfROI();
    if (count == 1)
        return roi;
    if (count <= 0)
        return ROI(roi.y, roi.x, roi.width, 0);
    const ROI* list = board.getROIList();
    int top = list[0].y;
    uint32_t rows = 0;
    for (int i = 0; i < count; ++i) {
        top = std::min(top, list[i].y);
        rows = (rows + static_cast<uint32_t>(list[i].height)) & 0xFFFF;
    }
    return ROI(top, list[0].x, list[0].width, static_cast<int>(rows));
}

// The receiver registers hold the cut-out of image.
void checkReceiver(const ROI& image, const Snapshot& after) {
    const auto u16 = [](long long v) { return static_cast<uint32_t>(v) & 0xFFFF; };
    FUZZ_CHECK(after.resolution == (u16(image.height) << 16 | u16(image.width)),
               "receiver resolution of " << text(image));
    FUZZ_CHECK(after.roiStart == (u16(image.y) << 16 | u16(image.x)),
               "receiver start of " << text(image));
    FUZZ_CHECK(after.blankOffset == (33u << 16 | u16(image.x + 32LL)),
               "receiver blanking of " << text(image));
}

// The chip reads the band of region (one sensor row per output row): from row y + 32 to
// the end of its last complete block of four.
void checkBand(const ROI& region, const Snapshot& after) {
    const uint32_t rowS = static_cast<uint32_t>(region.y) + 32;
    const uint32_t rowE = (static_cast<uint32_t>(region.y + region.height - 1) + 33) / 4 * 4 - 1;
    FUZZ_CHECK((after.readoutRows & 0x3FFF) == rowS && ((after.readoutRows >> 14) & 0x3FFF) == rowE,
               "band of " << text(region) << ": register 4 0x" << std::hex << after.readoutRows);
}

void checkSetRoi(tc120MXSSensorBoard& board, const ROI& region, int result, bool wasCapturing,
                 const Snapshot& before) {
    const Snapshot after = snapshot(board);
    if (wasCapturing || !fuzzsupport::isValidRegion(region)) {
        FUZZ_CHECK(result == (wasCapturing ? 5 : 3), "setROI " << text(region) << ": " << result);
        FUZZ_CHECK(after.roi == before.roi,
                   "refused setROI " << text(region) << " left " << text(after.roi));
        FUZZ_CHECK(after.spiFrames == before.spiFrames, "refused setROI wrote to the sensor");
        FUZZ_CHECK(sameReceiverRegion(before, after), "refused setROI reached the receiver");
        return;
    }
    if (result != 0) {
        // The sensor refused the row band: the hardware keeps its old band and cut-out, and
        // the board the region in effect.
        FUZZ_CHECK(after.roi == before.roi,
                   "refused band " << text(region) << " left " << text(after.roi));
        FUZZ_CHECK(after.readoutRows == before.readoutRows, "refused band reached the sensor");
        FUZZ_CHECK(sameReceiverRegion(before, after), "refused band reached the receiver");
        return;
    }
    FUZZ_CHECK(after.roi == region, "accepted " << text(region) << " left " << text(after.roi));
    checkBand(region, after);
    checkReceiver(expectedImage(board), after);
}

ROI readRegion(fuzzsupport::ByteReader& input, bool raw) {
    if (raw)
        return ROI(input.i32(), input.i32(), input.i32(), input.i32());
    // Mostly aligned regions near the sensor's limits.
    ROI region;
    region.y = (input.u16() % 2400) * 4;
    region.x = (input.u16() % 1700) * 8;
    region.width = (input.u16() % 1700) * 8;
    region.height = (input.u16() % 2400) * 4;
    return region;
}

// An exposure or frame interval in microseconds: any int, or one below 4 s.
int readMicroseconds(fuzzsupport::ByteReader& input, bool raw) {
    return raw ? input.i32() : static_cast<int>(input.u32() % 4000000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::ByteReader input(data, size);
    fuzzsupport::BoardSetup setup;
    setup.horizontalPeriod = 1u + input.u16() % 8192u;

    fuzzsupport::InputScope scope;
    auto boardPtr = fuzzsupport::bringUpBoard(scope, setup);
    tc120MXSSensorBoard& board = *boardPtr;
    BoardTestAccess::fpga(board).frameCtrl.setBiasSubtract(kStartupBias);
    fuzzsupport::checkBoardInvariants(board, true);
    sim::Head& head = scope.head();

    for (int i = 0; i < fuzzsupport::kMaxOperations && !input.empty(); ++i) {
        const uint8_t operation = input.u8() % kOperationCount;
        const Snapshot before = snapshot(board);
        const bool wasCapturing = board.isCapturing();
        scope.clearOutput();

        switch (operation) {
        case kSetRoiRaw:
        case kSetRoiAligned: {
            const ROI region = readRegion(input, operation == kSetRoiRaw);
            const int result = board.setROI(region);
            checkSetRoi(board, region, result, wasCapturing, before);
            break;
        }
        case kSetExposureRaw:
        case kSetExposureNear:
            board.setExposure(readMicroseconds(input, operation == kSetExposureRaw));
            break;
        case kSetFrameIntervalRaw:
        case kSetFrameIntervalNear:
            board.setFrameInterval(readMicroseconds(input, operation == kSetFrameIntervalRaw));
            break;
        case kSetBpp: {
            const int mode = input.i32();
            const int result = board.setBPP(static_cast<Vistrel::teBPPMode>(mode));
            const Snapshot after = snapshot(board);
            if (mode == 0 || mode == 2 || mode == 3) {
                FUZZ_CHECK(result == 0, "setBPP " << mode << ": " << result);
                const int direction = mode == 0 ? 0 : 1, bits = mode == 0 ? 1 : 3;
                const int size = mode == 0 ? 2 : mode == 2 ? 1 : 3;
                FUZZ_CHECK(after.pixelShift.direction == direction && after.pixelShift.bits == bits,
                           "pixel shift of mode " << mode);
                const auto calls = head.frameOutputCalls();
                FUZZ_CHECK(calls.size() == before.frameOutputCalls + 1 &&
                               calls.back().first == 'S' && calls.back().second == size,
                           "frame output of mode " << mode);
            } else {
                FUZZ_CHECK(result != 0, "setBPP " << mode << " accepted");
                FUZZ_CHECK(after.pixelShift.direction == before.pixelShift.direction &&
                               after.pixelShift.bits == before.pixelShift.bits &&
                               after.frameOutputCalls == before.frameOutputCalls,
                           "refused setBPP " << mode << " reached the FPGA");
            }
            break;
        }
        case kSetTestPattern: {
            const int pattern = input.i32();
            const int result = board.setTestPattern(static_cast<Vistrel::teTestPattern>(pattern));
            const Snapshot after = snapshot(board);
            if (pattern == 0 || pattern == 1 || pattern == 16 || pattern == 17) {
                FUZZ_CHECK(result == 0 && after.testPattern == pattern,
                           "setTestPattern " << pattern);
            } else {
                FUZZ_CHECK(result == 3, "setTestPattern " << pattern << ": " << result);
                FUZZ_CHECK(after.testPattern == before.testPattern, "refused pattern " << pattern);
                FUZZ_CHECK(after.spiFrames == before.spiFrames && after.bias == before.bias,
                           "refused pattern " << pattern << " reached the hardware");
            }
            break;
        }
        case kSetTrigger: {
            const int mode = input.i32();
            const int result = board.setTrigger(static_cast<Vistrel::teTriggerMode>(mode));
            const Snapshot after = snapshot(board);
            if (!wasCapturing && (mode == 0 || mode == 1)) {
                FUZZ_CHECK(result == 0 && after.trigger == mode, "setTrigger " << mode);
                FUZZ_CHECK(after.setEdge && after.setEdge->mode == mode &&
                               after.setEdge->flags == 0,
                           "trigger edge of mode " << mode);
            } else {
                FUZZ_CHECK(result == (wasCapturing ? 5 : 3),
                           "setTrigger " << mode << ": " << result);
                FUZZ_CHECK(after.trigger == before.trigger, "refused trigger " << mode);
                FUZZ_CHECK(after.setEdge.has_value() == before.setEdge.has_value() &&
                               (!after.setEdge || after.setEdge->mode == before.setEdge->mode),
                           "refused trigger " << mode << " reached the GPIO");
            }
            break;
        }
        case kStart: {
            const int result = board.start();
            FUZZ_CHECK(result == (wasCapturing ? 6 : 0), "start: " << result);
            FUZZ_CHECK(board.isCapturing(), "not capturing after start");
            break;
        }
        case kStop:
            FUZZ_CHECK(board.stop() == 0, "stop");
            FUZZ_CHECK(!board.isCapturing() && !head.pwm().enabled, "still running after stop");
            break;
        case kSetMultipleRoi: {
            // The framework's list, unchecked: only the image geometry follows it.
            const uint8_t shape = input.u8();
            std::vector<ROI> list;
            for (int k = 0; k < (shape & 0x7F) % 5; ++k)
                list.push_back(readRegion(input, (shape & 0x80) != 0));
            const int result = board.setMultipleROI(list);
            const Snapshot after = snapshot(board);
            FUZZ_CHECK(after.roi == before.roi, "the list changed the region");
            if (result == 0) {
                checkReceiver(expectedImage(board), after);
            } else {
                FUZZ_CHECK(sameReceiverRegion(before, after), "refused band reached the receiver");
            }
            break;
        }
        case kSetNumberOfRoi:
            board.setNumberOfROI(static_cast<int8_t>(input.u8()) % 5);
            break;
        case kNotify: {
            const unsigned gpio = input.u8(), level = input.u8();
            board.Handler(gpio, level);
            break;
        }
        }

        fuzzsupport::checkBoardInvariants(board, true);
        // Bias subtraction is off exactly while a test pattern shows.
        const uint32_t bias = head.frameRegister(sim::frame::biasSubtract);
        FUZZ_CHECK(bias == (board.getTestPattern() == 0 ? kStartupBias : 0u),
                   "bias word 0x" << std::hex << bias << " with pattern " << std::dec
                                  << board.getTestPattern());
    }

    board.stop();
    boardPtr.reset();
    return 0;
}
