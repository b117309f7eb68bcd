#pragma once
// Shared fixture of the board tests: a fresh simulated head, a sensor register file for a
// chosen line length, and a board brought up through its own parts (power, registers,
// master clock) and its public timing and region operations, without the lane training
// and configuration reading of initialize().
#include "plugin/tc120MXSSensorBoard.h"
#include "support/TestSupport.h"
#include "tests/support/BoardTestAccess.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

constexpr const char* kBoardSpiPath = "/dev/spidev1.0";

// Sensor readout rows of the full frame (image rows 0..9183 are sensor rows 32..9215).
constexpr unsigned kFullFrameRowS = 32;
constexpr unsigned kFullFrameRowE = 9215;

// How bringUp() prepares the board.
struct BoardSetup {
    unsigned horizontalPeriod = 1000; // master-clock cycles per line (sensor register 0x00)
    int frameIntervalUs = 106713;     // applied with setFrameInterval; 0: not applied
    int exposureUs = 80000;           // applied with setExposure after it; 0: not applied
    bool fullFrameRegion = true;      // one framework region and setROI(full frame)
    bool registerObserver = true;     // register-file writes reach the board
};

class BoardTest : public HeadTest {
protected:
    void TearDown() override;

    // Writes "120MXS_registers.txt": the line length, readout rows of the full frame, frame
    // state 0 and gain 15.
    void writeSensorRegisterFile(unsigned horizontalPeriod);

    // Constructs the board (a test subclass of it, if given) after writing the register
    // file for setup.horizontalPeriod. Nothing is powered.
    template <typename Board = Vistrel::tc120MXSSensorBoard>
    Board& makeBoard(const BoardSetup& setup = {}) {
        writeSensorRegisterFile(setup.horizontalPeriod);
        auto made = std::make_unique<Board>(kBoardSpiPath);
        Board& reference = *made;
        boardPtr = std::move(made);
        return reference;
    }

    // makeBoard, then powers the sensor, loads its register file, sets the master clock
    // from the FPGA and applies the setup's timing and region. Status lines are cleared.
    template <typename Board = Vistrel::tc120MXSSensorBoard>
    Board& bringUp(const BoardSetup& setup = {}) {
        Board& made = makeBoard<Board>(setup);
        prepare(setup);
        return made;
    }

    Vistrel::tc120MXSSensorBoard& board() { return *boardPtr; }
    tc120MXS& sensor() { return Vistrel::BoardTestAccess::sensor(*boardPtr); }
    tc120MXSFpga& fpga() { return Vistrel::BoardTestAccess::fpga(*boardPtr); }
    void setCapturing(bool on) { Vistrel::BoardTestAccess::setCapturing(*boardPtr, on); }

    // Register-file words (nullopt when not written since the head was reset).
    static std::optional<uint32_t> word(uint32_t address);
    static void writeWord(uint32_t address, uint32_t value);

    // What the chip received over SPI.
    std::optional<uint32_t> chipRegister(uint16_t reg);
    uint32_t chipField(uint16_t reg, uint32_t mask, unsigned shift); // 0 when never written
    unsigned chipRowS() { return chipField(0x04, 0x3FFF, 0); }
    unsigned chipRowE() { return chipField(0x04, 0x3FFF, 14); }
    unsigned chipStartLine() { return chipField(0x03, 0x7FFF, 0); }
    unsigned chipVerticalCode() { return chipField(0x03, 0x7, 15); }
    unsigned chipFrameState() { return chipField(0x03, 0x7, 18); }
    unsigned chipGain() { return chipField(0x7A, 0xF, 5); }
    // Values of the SPI frames sent to reg, in order, from frame index `from` on.
    std::vector<uint32_t> chipWrites(uint16_t reg, size_t from = 0);
    size_t spiFrameCount();

    // Frame-receiver register and status lines.
    uint32_t receiver(uint32_t offset) { return head().frameRegister(offset); }
    std::vector<sim::StatusLine> takeStatusLines(); // returns them and clears the log

    std::unique_ptr<Vistrel::tc120MXSSensorBoard> boardPtr;

private:
    void prepare(const BoardSetup& setup);
};

} // namespace testsupport
