// Any sequence of register-file notifications (address, value, kind) delivered to the
// board's observer and to its command handlers, with captures started and stopped in
// between. A model of the words the board reacts to (gain, bias offset and enable, the
// vertical line factor with its region rescaling and roll-back, the bad-pixel words)
// predicts what the chip, the frame receiver and the bad-pixel core show afterwards and
// which receiver marks a notification handled; the board invariants hold after each.
//
// Input: per operation one byte (bits 1..0: 0 a client's write through the register
// file, 1 and 2 a record handed to the observer and the handlers directly, 3 start or
// stop), then for notifications an address byte (from the board's words unless >= 0xF0,
// then four raw bytes), a value byte (0..19 unless >= 0xC0, then four raw bytes) and,
// for direct records, the kind (one byte: 1 unless odd, then four raw bytes).
#include "BoardSupport.h"

#include "Vistrel/tcRegisterFile.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

using Vistrel::BoardTestAccess;
using Vistrel::ROI;
using Vistrel::tc120MXSSensorBoard;
using Vistrel::tcAbstractHandler;
using Vistrel::tsUpdate;

constexpr uint32_t kVerticalFactor = 0x3A040, kGain = 0x3D000, kBiasOffset = 0x3D008,
                   kBiasEnable = 0x3D00C, kBadPixelData = 0x3A070, kBadPixelMap = 0x3A074,
                   kExposureMode = 0x3A200, kRegionHeight = 0x3A00C, kRegionY = 0x3A014;

constexpr std::array<uint32_t, 16> kWords{
    kVerticalFactor, kVerticalFactor, kVerticalFactor, kVerticalFactor, kGain,   kBiasOffset,
    kBiasEnable,     kBadPixelData,   kBadPixelMap,    kExposureMode,   0x3A000, 0x3A004,
    kRegionHeight,   kRegionY,        0x3A020,         0x3C020};

constexpr uint32_t kStartupBias = 0x80000190;
const std::string kDefaultData = "bad_pixel_default.map"; // the simulated core's

// Sensor code of a vertical line factor; -1 when the sensor has none.
int verticalCode(uint32_t factor) {
    switch (factor) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 3:
        return 2;
    case 5:
        return 3;
    case 7:
        return 4;
    case 15:
        return 5;
    default:
        return -1;
    }
}

bool isGain(uint32_t value) {
    return value == 3 || value == 7 || value == 12 || value == 13 || value == 15;
}

// What the board, the chip and the cores are expected to show.
struct Model {
    uint16_t factor = 1;
    ROI roi = Vistrel::kFullFrame;
    uint32_t gain = 15;
    uint32_t bias = kStartupBias;
    std::string badPixelData;
    bool badPixelMap = false;
    bool bandKnown = true; // the chip's row band is the one of roi and factor
};

std::string text(const ROI& r) {
    return std::to_string(r.y) + "," + std::to_string(r.x) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

uint32_t chipField(uint16_t reg, uint32_t mask, unsigned shift) {
    return (fuzzsupport::chipRegister(reg).value_or(0) >> shift) & mask;
}

// The sensor accepts a band of sensor rows (image rows, before the 32-row offset) when it
// starts at or after the first block and ends within the last one.
bool sensorTakesBand(uint32_t start, uint32_t end) {
    const uint32_t firstRow = (start + 32) & 0xFFFF, lastRow = (end + 32) & 0xFFFF;
    const uint32_t startBlock = firstRow / 4, endBlock = (lastRow + 1) / 4;
    return startBlock >= 8 && startBlock <= 2303 && startBlock < endBlock && endBlock <= 2304;
}

// The model's step for a client's write of value to the vertical-factor word.
void changeFactor(Model& model, uint32_t value, bool capturing) {
    if (verticalCode(value) < 0)
        return;
    const uint32_t old = model.factor;
    const ROI r = model.roi;
    const uint32_t y = (old * static_cast<uint32_t>(r.y) / value) & ~3u;
    const uint32_t h = (old * static_cast<uint32_t>(r.height) / value) & ~3u;
    const ROI scaled(static_cast<int>(y), r.x, r.width, static_cast<int>(h));
    if (capturing || !fuzzsupport::isValidRegion(scaled))
        return; // refused by setROI: the factor goes back
    // The band ends at the last sensor row of the last output row; rows past 16 bits are
    // refused like a band the sensor refuses.
    const uint32_t first = y * value, last = (y + h) * value - 1;
    if (last > 0xFFFF || !sensorTakesBand(first, last))
        return; // the sensor refused the band: region and factor stay as they were
    model.factor = static_cast<uint16_t>(value);
    model.roi = scaled;
    model.bandKnown = true;
}

void apply(Model& model, int32_t kind, uint32_t address, uint32_t value, bool capturing) {
    if (kind != tsUpdate::eeWordWritten)
        return;
    switch (address) {
    case kGain:
        if (isGain(value))
            model.gain = value;
        break;
    case kBiasOffset:
        if (value < 0x800)
            model.bias = (model.bias & ~0x7FFu) | value;
        break;
    case kBiasEnable:
        model.bias = (model.bias & 0x7FFFFFFFu) | (value != 0 ? 0x80000000u : 0u);
        break;
    case kBadPixelData:
        model.badPixelData = value != 0 ? kDefaultData : std::string();
        break;
    case kBadPixelMap:
        model.badPixelMap = value != 0;
        break;
    case kVerticalFactor:
        changeFactor(model, value, capturing);
        break;
    default:
        break;
    }
}

void checkModel(tc120MXSSensorBoard& board, const Model& model) {
    sim::Head& head = sim::Head::instance();
    const ROI roi = board.getROI();
    FUZZ_CHECK(roi == model.roi, "region " << text(roi) << ", expected " << text(model.roi));
    const uint16_t factor = BoardTestAccess::verticalMode(board);
    FUZZ_CHECK(factor == model.factor, "factor " << factor << ", expected " << model.factor);
    FUZZ_CHECK(chipField(0x03, 0x7, 15) == static_cast<uint32_t>(verticalCode(factor)),
               "chip vertical code " << chipField(0x03, 0x7, 15) << " for factor " << factor);
    FUZZ_CHECK(chipField(0x7A, 0xF, 5) == model.gain,
               "chip gain " << chipField(0x7A, 0xF, 5) << ", expected " << model.gain);
    const uint32_t bias = head.frameRegister(sim::frame::biasSubtract);
    FUZZ_CHECK(bias == model.bias, std::hex << "bias 0x" << bias << ", expected 0x" << model.bias);
    const sim::BadPixelState core = head.badPixel();
    FUZZ_CHECK(core.data == model.badPixelData && core.mapState == model.badPixelMap,
               "bad-pixel core '" << core.data << "' map " << core.mapState);
    if (model.bandKnown) {
        const uint32_t start = static_cast<uint32_t>(roi.y) * factor + 32;
        const uint32_t end = (static_cast<uint32_t>(roi.y + roi.height) * factor + 32) / 4 * 4 - 1;
        FUZZ_CHECK(chipField(0x04, 0x3FFF, 0) == start && chipField(0x04, 0x3FFF, 14) == end,
                   "band " << chipField(0x04, 0x3FFF, 0) << ".." << chipField(0x04, 0x3FFF, 14)
                           << " for " << text(roi) << " x" << factor);
    }
}

uint32_t readAddress(fuzzsupport::ByteReader& input) {
    const uint8_t selector = input.u8();
    return selector < 0xF0 ? kWords[selector % kWords.size()] : input.u32();
}

uint32_t readValue(fuzzsupport::ByteReader& input) {
    const uint8_t selector = input.u8();
    return selector < 0xC0 ? selector % 20u : input.u32();
}

int32_t readKind(fuzzsupport::ByteReader& input) {
    const uint8_t selector = input.u8();
    return (selector & 1) == 0 ? tsUpdate::eeWordWritten : input.i32();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::ByteReader input(data, size);
    fuzzsupport::InputScope scope;
    auto boardPtr = fuzzsupport::bringUpBoard(scope, fuzzsupport::BoardSetup{});
    tc120MXSSensorBoard& board = *boardPtr;
    BoardTestAccess::fpga(board).frameCtrl.setBiasSubtract(kStartupBias);

    // The handlers the framework would offer every write to; the caller owns them.
    std::vector<std::unique_ptr<tcAbstractHandler>> handlers;
    for (tcAbstractHandler* h = board.getCustomHandlers(nullptr, nullptr); h != nullptr;
         h = h->getNext())
        handlers.emplace_back(h);
    FUZZ_CHECK(handlers.size() == 3, handlers.size() << " handlers");

    Vistrel::tcRegisterFile& registerFile = *Vistrel::tcRegisterFile::getInstance(nullptr, true);
    Model model;
    checkModel(board, model);
    // Until a client writes one of the words the board publishes itself.
    bool wordsIntact = true;

    for (int i = 0; i < fuzzsupport::kMaxOperations && !input.empty(); ++i) {
        const uint8_t operation = input.u8() & 3;
        if (operation == 3) {
            if (board.isCapturing())
                board.stop();
            else
                board.start();
            fuzzsupport::checkBoardInvariants(board, true, wordsIntact);
            continue;
        }

        const uint32_t address = readAddress(input);
        const uint32_t value = readValue(input);
        const int32_t kind = operation == 0 ? tsUpdate::eeWordWritten : readKind(input);
        const bool capturing = board.isCapturing();
        scope.clearOutput();

        bool observerHandled = false;
        if (operation == 0) {
            registerFile.update_word(address, value); // reaches the registered observer
            wordsIntact =
                wordsIntact && address != 0x3A000 && address != 0x3A004 && address != 0x3C020;
        } else {
            tsUpdate update;
            update.kind = kind;
            update.address = address;
            update.value = value;
            BoardTestAccess::observer(board).update(update);
            observerHandled = update.handled;
            const bool ours = kind == tsUpdate::eeWordWritten &&
                              (address == kGain || address == kBiasOffset ||
                               address == kBiasEnable || address == kVerticalFactor);
            FUZZ_CHECK(observerHandled == ours,
                       "observer handled " << observerHandled << " for 0x" << std::hex << address);
        }
        // Words of a notification leave the board after it.
        BoardTestAccess::waitForPublishedWords(board);
        // The handlers see every write, each with a record of its own.
        for (size_t h = 0; h < handlers.size(); ++h) {
            tsUpdate update;
            update.kind = kind;
            update.address = address;
            update.value = value;
            handlers[h]->update(update);
            // Only the bad-pixel handler (the first) acts; this board has no external
            // exposure for the exposure-mode handler.
            const bool ours = h == 0 && kind == tsUpdate::eeWordWritten &&
                              (address == kBadPixelData || address == kBadPixelMap);
            FUZZ_CHECK(update.handled == ours, "handler " << h << " handled " << update.handled
                                                          << " for 0x" << std::hex << address);
        }

        const Model before = model;
        apply(model, kind, address, value, capturing);
        checkModel(board, model);
        if (address == kVerticalFactor && kind == tsUpdate::eeWordWritten &&
            model.factor != before.factor) {
            FUZZ_CHECK(fuzzsupport::word(kRegionHeight) ==
                               static_cast<uint32_t>(model.roi.height) &&
                           fuzzsupport::word(kRegionY) == static_cast<uint32_t>(model.roi.y),
                       "region words after factor " << model.factor);
        }
        fuzzsupport::checkBoardInvariants(board, true, wordsIntact);
    }

    board.stop();
    handlers.clear();
    boardPtr.reset();
    return 0;
}
