// The order in which host calls and register-file notifications get the board mutex.
#include "plugin/BoardTurns.h"

#include <exception>

namespace Vistrel {

namespace {

// The board mutexes this thread holds through tcBoardTurns::tcLock, each with its depth:
// one per board whose operation runs on this thread, so a few at most. Plain data, so
// that no thread-exit destructor of the module's outlives it.
struct tsHeld {
    pthread_mutex_t* mutex;
    int depth;
};
constexpr int kMostHeld = 8;
thread_local tsHeld held[kMostHeld];
thread_local int heldCount = 0;

tsHeld* heldEntry(pthread_mutex_t* mutex) {
    for (int i = 0; i < heldCount; ++i)
        if (held[i].mutex == mutex)
            return &held[i];
    return nullptr;
}

} // namespace

tcBoardTurns::tcLock::tcLock(tcBoardTurns& turns, pthread_mutex_t* mutex_, bool inNotification)
    : mutex(mutex_) {
    // A nested lock is counted, not taken again: the board never relies on the framework's
    // mutex being recursive (initialize() refuses one that is not, and the board's getters
    // still answer after that refusal without locking the mutex twice).
    if (tsHeld* entry = heldEntry(mutex)) {
        ++entry->depth;
        return;
    }
    if (inNotification)
        turns.stepAside();
    const bool announced = !inNotification;
    if (announced)
        turns.hostWaits();
    lock.emplace(mutex); // does not throw: a robust lock recovers a dead owner's mutex
    if (announced)
        turns.hostEntered();
    if (heldCount == kMostHeld)
        std::terminate(); // more boards on one thread's stack than any framework nests
    held[heldCount++] = {mutex, 1};
}

tcBoardTurns::tcLock::tcLock(tcBoardTurns& turns, pthread_mutex_t* mutex_,
                             std::chrono::microseconds within, bool stepAside)
    : mutex(mutex_) {
    if (tsHeld* entry = heldEntry(mutex)) {
        ++entry->depth;
        return;
    }
    if (stepAside)
        turns.stepAside();
    lock.emplace(mutex, within);
    if (!lock->owns()) {
        released = true; // nothing to let go of
        return;
    }
    if (heldCount == kMostHeld)
        std::terminate();
    held[heldCount++] = {mutex, 1};
}

tcBoardTurns::tcLock::~tcLock() {
    unlock();
}

void tcBoardTurns::tcLock::unlock() {
    if (released)
        return;
    released = true;
    tsHeld* entry = heldEntry(mutex);
    if (--entry->depth > 0)
        return;
    *entry = held[--heldCount]; // locks of different mutexes need not end in order
    lock.reset();
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
