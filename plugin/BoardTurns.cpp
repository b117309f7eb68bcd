// The order in which host calls and register-file notifications get the board mutex.
#include "plugin/BoardTurns.h"

namespace Vistrel {

namespace {
// Board locks this thread holds through tcBoardTurns::tcLock, of any board.
thread_local int locksHeld = 0;
} // namespace

tcBoardTurns::tcLock::tcLock(tcBoardTurns& turns, pthread_mutex_t* mutex, bool inNotification) {
    const bool outermost = locksHeld == 0;
    if (outermost && inNotification)
        turns.stepAside();
    const bool announced = outermost && !inNotification;
    if (announced)
        turns.hostWaits();
    lock.emplace(mutex); // does not throw: a robust lock recovers a dead owner's mutex
    if (announced)
        turns.hostEntered();
    ++locksHeld;
}

tcBoardTurns::tcLock::~tcLock() {
    unlock();
}

void tcBoardTurns::tcLock::unlock() {
    if (lock) {
        --locksHeld;
        lock.reset();
    }
}

void tcBoardTurns::hostWaits() {
    waitingHosts.fetch_add(1);
}

void tcBoardTurns::hostEntered() {
    waitingHosts.fetch_sub(1);
    // Sequentially consistent with stepAside(): either it sees this call no longer
    // waiting, or this call sees it stepping aside and wakes it.
    if (steppingAside.load() != 0) {
        const std::lock_guard<std::mutex> guard(mutex);
        ++hostEntries;
        entered.notify_all();
    }
}

void tcBoardTurns::stepAside() {
    if (waitingHosts.load() == 0)
        return;
    std::unique_lock<std::mutex> guard(mutex);
    steppingAside.fetch_add(1);
    stepAsideCount.fetch_add(1);
    const uint64_t oneMore = hostEntries + 1;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(mostStepAside.load());
    entered.wait_until(guard, deadline,
                       [&] { return waitingHosts.load() == 0 || hostEntries >= oneMore; });
    // Counted when the whole bound passed, also if the host call got in meanwhile unseen.
    if (std::chrono::steady_clock::now() >= deadline)
        timedOutCount.fetch_add(1);
    steppingAside.fetch_sub(1);
}

} // namespace Vistrel
