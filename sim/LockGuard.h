#pragma once
// Scoped lock of a framework mutex inside the stand-ins; recovers a mutex whose owner died.
#include <cerrno>
#include <pthread.h>

namespace sim {

class FrameworkLock {
public:
    explicit FrameworkLock(pthread_mutex_t* m) : mutex(m) {
        if (pthread_mutex_lock(mutex) == EOWNERDEAD)
            pthread_mutex_consistent(mutex);
    }
    ~FrameworkLock() { pthread_mutex_unlock(mutex); }
    FrameworkLock(const FrameworkLock&) = delete;
    FrameworkLock& operator=(const FrameworkLock&) = delete;

private:
    pthread_mutex_t* mutex;
};

} // namespace sim
