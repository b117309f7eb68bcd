#pragma once
// The tests' one view of the board's private parts (a friend of the board), shared by the
// suites and the fuzz harnesses.
#include "Vistrel/tcRegisterFile.h"
#include "plugin/tc120MXSSensorBoard.h"

#include <cstdint>
#include <mutex>
#include <pthread.h>

namespace Vistrel {

class BoardTestAccess {
public:
    static tc120MXS& sensor(tc120MXSSensorBoard& board) { return board.sensor; }
    static tc120MXSFpga& fpga(tc120MXSSensorBoard& board) { return board.fpga; }
    static tcObserver& observer(tc120MXSSensorBoard& board) { return board.regFileObs; }
    // Registers the observer with the register file as initialize() does.
    static void registerObserver(tc120MXSSensorBoard& board) {
        tcRegisterFile::getInstance(nullptr, true)->observable.registerObserver(&board.regFileObs);
        board.observerRegistered = true;
    }
    static void setCapturing(tc120MXSSensorBoard& board, bool on) { board.capturing = on; }
    static uint16_t verticalMode(const tc120MXSSensorBoard& board) { return board.verticalMode; }
    static void setVerticalMode(tc120MXSSensorBoard& board, uint16_t mode) {
        board.verticalMode = mode;
    }
    static uint32_t biasSubtract(const tc120MXSSensorBoard& board) { return board.biasSubtract; }
    static std::mutex& captureMutex(tc120MXSSensorBoard& board) { return board.captureMutex; }
    static pthread_mutex_t* boardMutex(tc120MXSSensorBoard& board) {
        return board.mutex.getMutex();
    }
};

} // namespace Vistrel
