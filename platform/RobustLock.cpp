#include "platform/RobustLock.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace platform {

namespace {

// A lock that answered owner-dead holds the mutex; it is made consistent for the next owner.
bool makeConsistent(pthread_mutex_t* mutex) {
    const int error = pthread_mutex_consistent(mutex);
    if (error != 0) {
        errno = error; // pthread calls return the error instead of setting errno
        perror("pthread_mutex_consistent failed");
    }
    return true;
}

} // namespace

tcRobustLock::tcRobustLock(pthread_mutex_t* m) : mutex(m) {
    if (pthread_mutex_lock(mutex) == EOWNERDEAD)
        recovered = makeConsistent(mutex);
}

tcRobustLock::tcRobustLock(pthread_mutex_t* m, std::chrono::microseconds within) : mutex(m) {
    // pthread_mutex_timedlock takes a deadline on the realtime clock; a step of that clock
    // only lengthens or shortens this one wait.
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    const long long nanoseconds =
        static_cast<long long>(deadline.tv_nsec) + within.count() * 1000LL;
    deadline.tv_sec += static_cast<time_t>(nanoseconds / 1000000000LL);
    deadline.tv_nsec = static_cast<long>(nanoseconds % 1000000000LL);
    const int result = pthread_mutex_timedlock(mutex, &deadline);
    if (result == EOWNERDEAD)
        recovered = makeConsistent(mutex);
    else if (result != 0)
        held = false;
}

tcRobustLock::~tcRobustLock() {
    if (held)
        pthread_mutex_unlock(mutex);
}

void tcRobustLock::unlock() {
    if (held) {
        held = false;
        pthread_mutex_unlock(mutex);
    }
}

} // namespace platform
