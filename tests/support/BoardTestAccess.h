#pragma once
// The tests' one view of the board's private parts (a friend of the board), shared by the
// suites and the fuzz harnesses.
#include "plugin/tc120MXSSensorBoard.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <pthread.h>

namespace Vistrel {

class BoardTestAccess {
public:
    static tc120MXS& sensor(tc120MXSSensorBoard& board) { return board.sensor; }
    static tc120MXSFpga& fpga(tc120MXSSensorBoard& board) { return board.fpga; }
    // The FPGA's fixed clock, for the rounding of a fractional one.
    static void setFpgaClockMhz(tc120MXSSensorBoard& board, float mhz) {
        board.fpga.clockMhz = mhz;
    }
    static tcObserver& observer(tc120MXSSensorBoard& board) { return board.regFileObs; }
    // Bring-up phases of initialize(), for fixtures that need a head brought only so far.
    static void registerObserver(tc120MXSSensorBoard& board) { board.registerWithRegisterFile(); }
    static int bringUpFpga(tc120MXSSensorBoard& board) {
        return board.bringUpFpga(tsStartupSettings{});
    }
    static int powerUpSensor(tc120MXSSensorBoard& board) { return board.powerUpSensor(); }
    static int trainReceiver(tc120MXSSensorBoard& board) { return board.trainReceiver(); }
    static void setCapturing(tc120MXSSensorBoard& board, bool on) { board.capturing = on; }
    // The number the last capture had: the next one counts on from it.
    static void setLastCaptureNumber(tc120MXSSensorBoard& board, uint32_t number) {
        board.lastCaptureRun = number;
    }
    static uint16_t verticalMode(const tc120MXSSensorBoard& board) { return board.verticalMode; }
    static void setVerticalMode(tc120MXSSensorBoard& board, uint16_t mode) {
        board.verticalMode = mode;
    }
    static uint32_t biasSubtract(const tc120MXSSensorBoard& board) { return board.biasSubtract; }
    static platform::tcMutexLock& captureMutex(tc120MXSSensorBoard& board) {
        return board.captureMutex;
    }
    static pthread_mutex_t* boardMutex(tc120MXSSensorBoard& board) {
        return board.mutex.getMutex();
    }
    // Returns once the words published inside register-file notifications were sent.
    static void waitForPublishedWords(tc120MXSSensorBoard& board) {
        board.deferred->waitUntilIdle();
        board.outbox->waitUntilPublished();
    }
    // Register-file words whose notification left them to the board's own thread.
    static uint64_t deferredWords(tc120MXSSensorBoard& board) {
        return board.deferred->deferredCount();
    }
    // How long a notification waits before it leaves its word to the board's thread.
    static void setMostNotificationWait(tc120MXSSensorBoard& board, std::chrono::microseconds bound) {
        board.regFileObs.mostWait.store(bound);
    }
    // Of those, the ones a later word of their address replaced before they were applied.
    static uint64_t supersededWords(tc120MXSSensorBoard& board) {
        return board.deferred->supersededCount();
    }
    // The most register-file words that ever waited in the board's outbox at once.
    static size_t mostWaitingWords(tc120MXSSensorBoard& board) {
        return board.outbox->mostWaiting();
    }
    // Closes the board to notifications, as its destructor does first.
    static void closeLifetime(tc120MXSSensorBoard& board) { board.lifetime.closeAndWait(); }
    // The board mutex's turns between host calls and register-file notifications.
    static tcBoardTurns& turns(tc120MXSSensorBoard& board) { return board.turns; }
    // The most addresses that ever waited for the outbox's publishing thread at once.
    static size_t mostHandedOverAddresses(tc120MXSSensorBoard& board) {
        return board.outbox->mostHandedOver();
    }
};

} // namespace Vistrel
