#include "ProbeBoard.h"

#include "LayoutFigures.h"

namespace frameworkprobe {
namespace {

// The plug-in's values: sensor type 4, the FPGA bridge and its span, four I/O pins.
constexpr int kSensorType = 4;
constexpr unsigned int kFpgaBase = 0xFF200000;
constexpr unsigned int kFpgaSpan = 0x18000;
constexpr int kPinCount = 4;
int pins[kPinCount] = {0, 0, 0, 0};

} // namespace

ProbeBoard makeProbeBoard(unsigned char pattern) {
    return ProbeBoard(pattern, kSensorType, kFpgaBase, kFpgaSpan, kPinCount, pins);
}

pthread_mutex_t* boardMutexOf(Vistrel::tcSensorBoard& board) {
    auto* bytes = reinterpret_cast<unsigned char*>(&board);
    return reinterpret_cast<Vistrel::tcMutex*>(bytes + layout::BoardMembers::mutexAt())->getMutex();
}

} // namespace frameworkprobe
