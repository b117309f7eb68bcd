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

#include <optional>
#include <string>

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
        // The sensor refused the row band: the board keeps the region, the hardware its
        // old band and cut-out.
        FUZZ_CHECK(after.readoutRows == before.readoutRows, "refused band reached the sensor");
        FUZZ_CHECK(sameReceiverRegion(before, after), "refused band reached the receiver");
        return;
    }
    FUZZ_CHECK(after.roi == region, "accepted " << text(region) << " left " << text(after.roi));
    // One sensor row per output row: the band starts at row y + 32 and ends with the last
    // complete block of four.
    const uint32_t rowS = static_cast<uint32_t>(region.y) + 32;
    const uint32_t rowE = (static_cast<uint32_t>(region.y + region.height - 1) + 33) / 4 * 4 - 1;
    FUZZ_CHECK((after.readoutRows & 0x3FFF) == rowS && ((after.readoutRows >> 14) & 0x3FFF) == rowE,
               "band of " << text(region) << ": register 4 0x" << std::hex << after.readoutRows);
    const auto u16 = [](int v) { return static_cast<uint32_t>(v) & 0xFFFF; };
    FUZZ_CHECK(after.resolution == (u16(region.height) << 16 | u16(region.width)),
               "receiver resolution of " << text(region));
    FUZZ_CHECK(after.roiStart == (u16(region.y) << 16 | u16(region.x)),
               "receiver start of " << text(region));
    FUZZ_CHECK(after.blankOffset == (33u << 16 | u16(region.x + 32)),
               "receiver blanking of " << text(region));
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
            ROI region;
            if (operation == kSetRoiRaw) {
                region = ROI(input.i32(), input.i32(), input.i32(), input.i32());
            } else {
                // Mostly aligned regions near the sensor's limits.
                region.y = (input.u16() % 2400) * 4;
                region.x = (input.u16() % 1700) * 8;
                region.width = (input.u16() % 1700) * 8;
                region.height = (input.u16() % 2400) * 4;
            }
            const int result = board.setROI(region);
            checkSetRoi(board, region, result, wasCapturing, before);
            break;
        }
        case kSetExposureRaw:
            board.setExposure(input.i32());
            break;
        case kSetExposureNear:
            board.setExposure(static_cast<int>(input.u32() % 4000000));
            break;
        case kSetFrameIntervalRaw:
            board.setFrameInterval(input.i32());
            break;
        case kSetFrameIntervalNear:
            board.setFrameInterval(static_cast<int>(input.u32() % 4000000));
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
