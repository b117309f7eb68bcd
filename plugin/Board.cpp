// Construction and destruction of the board, and the operations whose answer is fixed.
#include "plugin/tc120MXSSensorBoard.h"

#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/teNackCode.h"
#include "plugin/RegisterFileWords.h"

#include <iostream>

namespace Vistrel {

namespace {

// Framework values handed to the board base.
constexpr int kBoardSensorType = 4;
constexpr unsigned int kFpgaBase = tc120MXSFpga::kBridgeBase;
constexpr unsigned int kFpgaSpan = 0x18000;
constexpr int kPinCount = 4;

// I/O pin table held by the board base; the plug-in never writes it. Entry 0 is the
// trigger input.
int boardPins[kPinCount] = {0, 0, 0, 0};

} // namespace

tc120MXSSensorBoard::tc120MXSSensorBoard(const std::string& path)
    : tcSensorBoard(kBoardSensorType, kFpgaBase, kFpgaSpan, kPinCount, boardPins),
      tcMultipleROISensor(1), fpga("fpga_addresses.ini", record.get()), sensor(path, record.get()),
      verticalMode(1), capturing(false), roi(kFullFrame), biasSubtract(0), regFileObs(this) {
    std::cout << "Constructing tc120MXSSensorBoard" << std::endl;
    outbox->record(record.get());
}

tc120MXSSensorBoard::~tc120MXSSensorBoard() {
    // The board's last words are sent while it still hears their notifications, so that
    // its own words and their notifications fall within its life (and its record) however
    // its threads are paced. Bounded: the destroying thread may hold the board mutex.
    const auto deadline = std::chrono::steady_clock::now() + kMostToSettleAtClose;
    if (deferred->idleBy(deadline))
        outbox->publishedBy(deadline);
    // The register file outlives the board: it must never notify a destroyed observer.
    // Unregistering stops new notifications; those already in the board are waited for
    // (the observer enters the board first thing: see docs/integration.md for the rest).
    if (observerRegistered)
        tcRegisterFile::getInstance(nullptr, true)->observable.unregisterObserver(&regFileObs);
    observerRegistered = false;
    lifetime.closeAndWait();
    // Words left to the board's thread are applied before the parts they change go.
    deferred->close();
    // Every word is queued by now; the publishing thread sends what it still holds.
    outbox->close();
}

bool tc120MXSSensorBoard::tcLifetimeGate::enter() {
    const platform::tcScopedLock lock(mutex);
    if (closed)
        return false;
    ++inside;
    return true;
}

void tc120MXSSensorBoard::tcLifetimeGate::leave() {
    // Notified under the lock: once it is released, the board may be gone.
    const platform::tcScopedLock lock(mutex);
    if (--inside == 0 && closed)
        idle.notify_all();
}

void tc120MXSSensorBoard::tcLifetimeGate::closeAndWait() {
    platform::tcScopedLock lock(mutex);
    closed = true;
    lock.wait(idle, [&]() NO_THREAD_SAFETY_ANALYSIS { return inside == 0; });
}

namespace {
// Register-file notifications of the board running on this thread, nested.
thread_local int notificationDepth = 0;
} // namespace

tc120MXSSensorBoard::tcInNotification::tcInNotification() {
    ++notificationDepth;
}
tc120MXSSensorBoard::tcInNotification::~tcInNotification() {
    --notificationDepth;
}
bool tc120MXSSensorBoard::tcInNotification::active() {
    return notificationDepth > 0;
}

tc120MXSSensorBoard::tcBoardScope::tcBoardScope(tc120MXSSensorBoard& board_)
    : board(board_), lock(board_.turns, board_.mutex.getMutex(), tcInNotification::active()) {
    ++board.boardScopeDepth;
}

tc120MXSSensorBoard::tcBoardScope::tcBoardScope(tc120MXSSensorBoard& board_,
                                                std::chrono::microseconds within, bool stepAside)
    : board(board_), lock(board_.turns, board_.mutex.getMutex(), within, stepAside) {
    if (lock.acquired())
        ++board.boardScopeDepth;
}

tc120MXSSensorBoard::tcBoardScope::~tcBoardScope() {
    if (!lock.acquired())
        return;
    std::vector<tcRegFileOutbox::tsTicket> own;
    std::shared_ptr<tcRegFileOutbox> outbox;
    if (--board.boardScopeDepth == 0 && !board.pendingWords.empty()) {
        own.swap(board.pendingWords);
        if (tcInNotification::active())
            board.outbox->handOver(own); // before the notification leaves the board
        else
            outbox = board.outbox;
    }
    lock.unlock();
    if (outbox)
        outbox->send(own);
}

void tc120MXSSensorBoard::publishWord(uint32_t address, uint32_t value) {
    pendingWords.push_back(outbox->queue(address, value));
}

int tc120MXSSensorBoard::resetFpga() {
    return fpga.resetPipeline(true) ? 1 : 0;
}

int tc120MXSSensorBoard::setClockSetting(int) {
    return eeNotSupported;
}

int tc120MXSSensorBoard::getClockSetting(int& mhz) {
    mhz = static_cast<int>(fpga.getClockMhz()); // truncation toward zero, never rounded up
    return eeSuccess;
}

int tc120MXSSensorBoard::setVerticalBin(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::getVerticalBin() {
    return 1;
}
int tc120MXSSensorBoard::setHorizontalBin(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::getHorizontalBin() {
    return 1;
}
int tc120MXSSensorBoard::setShutterMode(teShutterMode) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::getShutterMode() {
    return 0;
}

int tc120MXSSensorBoard::getTestPattern() {
    const tcBoardScope scope(*this);
    return testPattern;
}
int tc120MXSSensorBoard::getTrigger() {
    return triggerMode.load();
}

int tc120MXSSensorBoard::validate() {
    return eeSuccess;
}
bool tc120MXSSensorBoard::isCapturing() {
    return capturing.load() != 0;
}

int tc120MXSSensorBoard::save(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::recall(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::power(bool) {
    return eeNotSupported;
}

int tc120MXSSensorBoard::setMirroring(bool, bool) {
    return eeNotSupported;
}

int tc120MXSSensorBoard::getMirroring(bool, bool* mirrored) {
    if (mirrored != nullptr)
        *mirrored = false;
    return eeNotSupported;
}

// Optional framework features this head does not have.
int tc120MXSSensorBoard::setBlackLevel(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::getBlackLevel(int&) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::setAnalogOffset(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::getAnalogOffset(int&) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::setLineRate(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::getLineRate(int&) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::setStrobe(int, int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::setDecimation(int) {
    return eeNotSupported;
}
int tc120MXSSensorBoard::setHDRMode(bool) {
    return eeNotSupported;
}

int tc120MXSSensorBoard::GetSkipFrames(bool& skip) {
    skip = triggerMode.load() != eeFreeRunning;
    return 1;
}

} // namespace Vistrel
