#pragma once
// Scoped lock of a robust pthread mutex. When the previous owner died holding it
// (EOWNERDEAD), the mutex is made consistent and the caller goes on; the unlock runs on
// every exit, exceptions included.
#include "platform/ThreadAnnotations.h"

#include <chrono>
#include <pthread.h>

namespace platform {

class tcRobustLock {
public:
    explicit tcRobustLock(pthread_mutex_t* mutex);
    // Waits at most within for the mutex; owns() tells whether it was got.
    tcRobustLock(pthread_mutex_t* mutex, std::chrono::microseconds within);
    ~tcRobustLock();
    tcRobustLock(const tcRobustLock&) = delete;
    tcRobustLock& operator=(const tcRobustLock&) = delete;

    // True when this lock recovered the mutex from a dead owner.
    bool recoveredOwnerDeath() const { return recovered; }
    bool owns() const { return held; }
    // Unlocks before the end of the scope; the destructor then does nothing.
    void unlock();

private:
    pthread_mutex_t* mutex;
    bool recovered = false;
    bool held = true;
};

// A tcRobustLock of a mutex the analysis knows by name (a tcLockName beside it).
class SCOPED_CAPABILITY tcNamedRobustLock {
public:
    tcNamedRobustLock(pthread_mutex_t* mutex, [[maybe_unused]] const tcLockName& name) ACQUIRE(name)
        : lock(mutex) {}
    ~tcNamedRobustLock() RELEASE() {}
    tcNamedRobustLock(const tcNamedRobustLock&) = delete;
    tcNamedRobustLock& operator=(const tcNamedRobustLock&) = delete;

private:
    tcRobustLock lock;
};

} // namespace platform
