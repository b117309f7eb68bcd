#include "BoardSupport.h"

#include "Vistrel/tcRegisterFile.h"
#include "tests/support/RegisterFileWords.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace fuzzsupport {
namespace {

using Vistrel::BoardTestAccess;

// Frame-control register 0x03 and readout-row register 0x04 of the chip.
constexpr uint16_t kFrameControl = 0x03;
constexpr uint16_t kReadoutRows = 0x04;
constexpr uint32_t kStartLineMask = 0x7FFF;
constexpr uint32_t kMaxStartLine = 0x7FFF;
constexpr uint32_t kSpiValueMask = 0x0FFFFFFF;

// A status line of a refused pulse-generator period.
bool pwmRefusedAPeriod() {
    for (const auto& line : sim::Head::instance().statusLines())
        if (line.status == 4 && line.text.rfind("tcPwm::setPeriodTime", 0) == 0)
            return true;
    return false;
}

} // namespace

std::unique_ptr<Vistrel::tc120MXSSensorBoard> bringUpBoard(InputScope& scope,
                                                           const BoardSetup& setup) {
    std::ostringstream file;
    file << std::hex;
    file << "# line length, full-frame readout rows 32..9215, frame state 0, gain 15\n";
    file << "0 " << (((setup.horizontalPeriod - 1) & 0x1FFFu) << 10) << "\n";
    file << "3 0\n";
    file << "4 " << (32u + 9215u * 16384u) << "\n";
    file << "7A 1E0\n";
    scope.writeFile("120MXS_registers.txt", file.str());

    auto board = std::make_unique<Vistrel::tc120MXSSensorBoard>(kSpiPath);
    if (setup.registerObserver)
        registerObserver(*board);
    FUZZ_CHECK(BoardTestAccess::bringUpFpga(*board) == 0, "FPGA cores on a healthy head");
    FUZZ_CHECK(BoardTestAccess::powerUpSensor(*board) == 0, "sensor power-up on a healthy head");
    FUZZ_CHECK(BoardTestAccess::trainReceiver(*board) == 0, "receiver lock on a healthy head");
    board->setFrameInterval(setup.frameIntervalUs);
    board->setExposure(setup.exposureUs);
    board->setNumberOfROI(1);
    FUZZ_CHECK(board->setROI(Vistrel::kFullFrame) == 0, "the full frame is accepted");
    return board;
}

void registerObserver(Vistrel::tc120MXSSensorBoard& board) {
    // The board's own registration phase: it sets the flag its destructor unregisters by.
    BoardTestAccess::registerObserver(board);
}

bool isValidRegion(const Vistrel::ROI& r) {
    const long long y = r.y, x = r.x, w = r.width, h = r.height;
    if (y < 0 || x < 0 || w < 1 || h < 1)
        return false;
    if (y + h > 9216 || x + w > 13312)
        return false;
    return x % 8 == 0 && w % 8 == 0 && y % 4 == 0 && h % 4 == 0;
}

std::optional<uint32_t> chipRegister(uint16_t reg) {
    const auto registers = sim::Head::instance().chipRegisters();
    const auto found = registers.find(reg);
    if (found == registers.end())
        return std::nullopt;
    return found->second;
}

std::optional<uint32_t> word(uint32_t address) {
    uint32_t value = 0;
    if (!Vistrel::tcRegisterFile::getInstance(nullptr, true)->read_word(address, value))
        return std::nullopt;
    return value;
}

void checkBoardInvariants(Vistrel::tc120MXSSensorBoard& board, bool timingSet, bool wordsIntact) {
    const Vistrel::ROI roi = board.getROI();
    FUZZ_CHECK(isValidRegion(roi), "region in effect " << roi.y << "," << roi.x << "," << roi.width
                                                       << "," << roi.height);

    const auto minWord = word(words::minFrameInterval);
    const int minimum = board.getMinFrameIntervalMicroS();
    if (minWord && wordsIntact)
        FUZZ_CHECK(*minWord == static_cast<uint32_t>(minimum),
                   "word 0x3C020 " << *minWord << " readout time " << minimum);
    if (!timingSet)
        return;

    const int interval = board.getFrameInterval();
    const int exposure = board.getExposure();
    FUZZ_CHECK(interval >= minimum, "frame interval " << interval << " readout " << minimum);
    if (wordsIntact) {
        FUZZ_CHECK(word(words::frameInterval) == static_cast<uint32_t>(interval),
                   "word 0x3A000 against " << interval);
        FUZZ_CHECK(word(words::exposure) == static_cast<uint32_t>(exposure),
                   "word 0x3A004 against " << exposure);
    }
    // Single precision may round a long interval up by a few parts in 2^24.
    FUZZ_CHECK(exposure >= 0 && exposure <= int64_t{interval} + interval / (1 << 22) + 1,
               "exposure " << exposure << " in frame interval " << interval);
    if (!pwmRefusedAPeriod())
        FUZZ_CHECK(sim::Head::instance().pwm().periodUs == interval,
                   "pulse period " << sim::Head::instance().pwm().periodUs << " interval "
                                   << interval);

    tc120MXS& sensor = BoardTestAccess::sensor(board);
    unsigned shadow = 0;
    FUZZ_CHECK(sensor.readShadowRegister(kFrameControl, shadow) == 0, "shadow of register 3");
    const auto chip = chipRegister(kFrameControl);
    FUZZ_CHECK(chip.has_value(), "register 3 never reached the chip");
    FUZZ_CHECK(*chip == (shadow & kSpiValueMask),
               std::hex << "chip register 3 0x" << *chip << " shadow 0x" << shadow);

    const uint32_t startLine = *chip & kStartLineMask;
    const uint32_t rowEnd = (chipRegister(kReadoutRows).value_or(0) >> 14) & 0x3FFF;
    FUZZ_CHECK(sensor.frameInterval.count() == interval,
               "sensor interval " << sensor.frameInterval.count() << " board " << interval);
    // The exposure reported is the one the chip's start line gives: the frame interval
    // less the lines before the start line.
    const uint32_t period = ((chipRegister(0x00).value_or(0) >> 10) & 0x1FFF) + 1;
    const double lineTime = period / static_cast<double>(sensor.mClockMhz);
    const double chipExposure = interval - startLine * lineTime;
    switch (sensor.captureFrameState) {
    case tc120MXS::eeFrameFullExposure:
        FUZZ_CHECK(startLine == kMaxStartLine, "full-frame exposure, start line " << startLine);
        FUZZ_CHECK(exposure == interval, "full-frame exposure " << exposure << " in " << interval);
        break;
    case tc120MXS::eeFrameStartLine:
        FUZZ_CHECK(startLine >= 1 && startLine + 4 <= rowEnd,
                   "start line " << startLine << " last row " << rowEnd);
        FUZZ_CHECK(std::abs(std::max(chipExposure, 0.0) - exposure) <= 1.0 + interval / 1e6,
                   "exposure " << exposure << ", start line " << startLine << " of " << lineTime
                               << " us lines in " << interval << " gives " << chipExposure);
        break;
    default:
        FUZZ_CHECK(false, "capture frame state " << sensor.captureFrameState);
    }

    const uint32_t frameState = (*chip >> 18) & 0x7;
    if (board.isCapturing())
        FUZZ_CHECK(frameState == static_cast<uint32_t>(sensor.captureFrameState),
                   "capturing in frame state " << frameState);
    else
        FUZZ_CHECK(frameState == 0, "stopped in frame state " << frameState);
}

} // namespace fuzzsupport
