#include "plugin/BoardFixture.h"

#include "Vistrel/tcRegisterFile.h"

#include <sstream>

namespace testsupport {

void BoardTest::TearDown() {
    boardPtr.reset(); // before the scratch directory goes
    HeadTest::TearDown();
}

void BoardTest::writeSensorRegisterFile(unsigned horizontalPeriod) {
    std::ostringstream file;
    file << std::hex;
    file << "# line length, readout rows, frame state and gain of a test head\n";
    file << "0 " << (((horizontalPeriod - 1) & 0x1FFFu) << 10) << "\n";
    file << "3 0\n";
    file << "4 " << (kFullFrameRowS + kFullFrameRowE * 16384u) << "\n";
    file << "7A 1E0\n";
    writeFile("120MXS_registers.txt", file.str());
}

void BoardTest::prepare(const BoardSetup& setup) {
    Vistrel::tc120MXSSensorBoard& b = board();
    using Vistrel::BoardTestAccess;
    if (setup.registerObserver)
        BoardTestAccess::registerObserver(b);
    // The cores are used only once they reported themselves ready, the pulse generator only
    // once programmed, and capture needs an aligned receiver: as initialize() leaves them.
    EXPECT_EQ(BoardTestAccess::bringUpFpga(b), 0) << "FPGA cores on the simulated head";
    EXPECT_EQ(BoardTestAccess::powerUpSensor(b), 0) << "sensor power-up on the simulated head";
    EXPECT_EQ(BoardTestAccess::trainReceiver(b), 0) << "receiver lock on the simulated head";
    if (setup.frameIntervalUs != 0)
        b.setFrameInterval(setup.frameIntervalUs);
    if (setup.exposureUs != 0)
        b.setExposure(setup.exposureUs);
    if (setup.fullFrameRegion) {
        b.setNumberOfROI(1);
        EXPECT_EQ(b.setROI(Vistrel::kFullFrame), 0);
    }
    head().clearStatusLines();
}

std::optional<uint32_t> BoardTest::word(uint32_t address) {
    uint32_t value = 0;
    if (!Vistrel::tcRegisterFile::getInstance(nullptr, true)->read_word(address, value))
        return std::nullopt;
    return value;
}

void BoardTest::writeWord(uint32_t address, uint32_t value) {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)->update_word(address, value);
}

std::optional<uint32_t> BoardTest::chipRegister(uint16_t reg) {
    const auto registers = head().chipRegisters();
    const auto found = registers.find(reg);
    if (found == registers.end())
        return std::nullopt;
    return found->second;
}

uint32_t BoardTest::chipField(uint16_t reg, uint32_t mask, unsigned shift) {
    return (chipRegister(reg).value_or(0) >> shift) & mask;
}

std::vector<uint32_t> BoardTest::chipWrites(uint16_t reg, size_t from) {
    std::vector<uint32_t> values;
    const auto frames = head().spiFrames();
    for (size_t i = from; i < frames.size(); ++i)
        if (frames[i].wellFormed && frames[i].reg == reg)
            values.push_back(frames[i].value);
    return values;
}

size_t BoardTest::spiFrameCount() {
    return head().spiFrames().size();
}

std::vector<sim::StatusLine> BoardTest::takeStatusLines() {
    auto lines = head().statusLines();
    head().clearStatusLines();
    return lines;
}

} // namespace testsupport
