#pragma once
// Boards for the harnesses: a board brought up through its own parts on a fresh head, the
// validation rules of a region written out independently, and the invariants every
// board harness checks after each operation.
#include "FuzzSupport.h"
#include "plugin/tc120MXSSensorBoard.h"
#include "tests/support/BoardTestAccess.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace fuzzsupport {

struct BoardSetup {
    unsigned horizontalPeriod = 520; // master-clock cycles per line, 1..8192
    int frameIntervalUs = 106713;
    int exposureUs = 80000;
    bool registerObserver = true; // register-file writes reach the board
};

// Writes "120MXS_registers.txt" for the line length (full-frame rows, frame state 0,
// gain 15), constructs the board, runs its FPGA and sensor bring-up phases and applies the
// setup's timing and the full-frame region, as bring-up does without the lane training.
std::unique_ptr<Vistrel::tc120MXSSensorBoard> bringUpBoard(InputScope& scope,
                                                           const BoardSetup& setup);

// Registers the board's observer with the process-wide register file.
void registerObserver(Vistrel::tc120MXSSensorBoard& board);

// The region rules, tested apart from the board's own code.
bool isValidRegion(const Vistrel::ROI& region);

// What the chip received for a register (nullopt when never written).
std::optional<uint32_t> chipRegister(uint16_t reg);
// A register-file word (nullopt when not written since the head was reset).
std::optional<uint32_t> word(uint32_t address);

// Checks after any board operation: the region is valid; the frame interval is not
// below the readout time; the frame-control register the chip holds is the sensor's
// shadow, with a start line that obeys the exposure rules; the chip's frame state follows
// the capture; the published timing words are the board's. `timingSet` once the board's
// timing has been programmed; `wordsIntact` while no client has overwritten the words the
// board publishes.
void checkBoardInvariants(Vistrel::tc120MXSSensorBoard& board, bool timingSet,
                          bool wordsIntact = true);

} // namespace fuzzsupport
