#pragma once
// The order in which host calls and register-file notifications get the board mutex.
//
// The board mutex is the framework's and it is not fair. A client writing the register file
// in a tight loop runs one notification after another on its own thread, and each takes
// the board mutex again before a host call woken on another core gets it: the host call
// waited for up to 200 ms behind such a storm. So a notification that finds a host call
// waiting for the board mutex steps aside until one waiting call holds it. The wait is
// bounded (kMostStepAside): the host call may itself be waiting for the framework, which
// can hold the board mutex while it writes the register file.
#include "platform/RobustLock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <pthread.h>

namespace Vistrel {

class tcBoardTurns {
public:
    static constexpr std::chrono::microseconds kMostStepAside{2000};

    // The board mutex, held for a scope. Only a thread's outermost lock of a mutex takes
    // turns and locks it; a nested one counts itself and leaves the mutex as it is.
    class tcLock {
    public:
        tcLock(tcBoardTurns& turns, pthread_mutex_t* mutex, bool inNotification);
        // A notification's lock (stepping aside first if asked): waits at most within for
        // the mutex.
        tcLock(tcBoardTurns& turns, pthread_mutex_t* mutex, std::chrono::microseconds within,
               bool stepAside);
        ~tcLock();
        // False only for a lock that waited its whole bound in vain.
        bool acquired() const { return !lock || lock->owns(); }
        tcLock(const tcLock&) = delete;
        tcLock& operator=(const tcLock&) = delete;
        // Unlocks before the end of the scope; the destructor then does nothing.
        void unlock();

    private:
        pthread_mutex_t* mutex;
        std::optional<platform::tcRobustLock> lock; // the outermost lock only
        bool released = false;
    };

    // For tests: host calls waiting for the board mutex; how often a notification stepped
    // aside, and how often it waited its whole bound; a longer bound for a slow test machine.
    unsigned hostsWaiting() const { return waitingHosts.load(); }
    uint64_t stepsAside() const { return stepAsideCount.load(); }
    uint64_t stepsAsideTimedOut() const { return timedOutCount.load(); }
    void setMostStepAside(std::chrono::microseconds most) { mostStepAside = most.count(); }

private:
    void stepAside();
    void hostWaits();
    void hostEntered();

    std::mutex mutex; // a leaf: nothing else is taken while it is held
    std::condition_variable entered;
    std::atomic<unsigned> waitingHosts{0};
    std::atomic<unsigned> steppingAside{0};
    uint64_t hostEntries = 0;                                   // guarded by mutex
    std::atomic<int64_t> mostStepAside{kMostStepAside.count()}; // µs
    std::atomic<uint64_t> stepAsideCount{0}, timedOutCount{0};
};

} // namespace Vistrel
