#include "plugin/FrameworkChecks.h"

#include "platform/RobustLock.h"

#include <cerrno>
#include <cstring>

namespace Vistrel {

int checkBoardMutexNests(pthread_mutex_t* boardMutex, tcStatusReporter& status) {
    int second = 0;
    {
        const platform::tcRobustLock held(boardMutex);
        // A recursive mutex lets its owner in again; a normal one answers EBUSY (a real second
        // lock would never return), an error-checking one EBUSY or EDEADLK (its lock errors
        // would go unnoticed and the board would run unlocked).
        second = pthread_mutex_trylock(boardMutex);
        if (second == EOWNERDEAD)
            pthread_mutex_consistent(boardMutex);
        if (second == 0 || second == EOWNERDEAD)
            pthread_mutex_unlock(boardMutex);
    }
    if (second == 0 || second == EOWNERDEAD)
        return 0;
    status.updateStatusFMT(tcStatusReporter::eeStatusError,
                           "Framework error: the board mutex cannot be locked twice by its owner "
                           "(%s); check that tcSensorBoard::mutex is a recursive tcMutex "
                           "(frameworkprobe)",
                           std::strerror(second));
    return kFrameworkFault;
}

} // namespace Vistrel
