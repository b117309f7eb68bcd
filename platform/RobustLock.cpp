#include "platform/RobustLock.h"

#include <cerrno>
#include <cstdio>

namespace platform {

tcRobustLock::tcRobustLock(pthread_mutex_t* m) : mutex(m) {
    if (pthread_mutex_lock(mutex) == EOWNERDEAD) {
        recovered = true;
        const int error = pthread_mutex_consistent(mutex);
        if (error != 0) {
            errno = error; // pthread calls return the error instead of setting errno
            perror("pthread_mutex_consistent failed");
        }
    }
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
