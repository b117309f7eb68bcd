// The board mutex: the plug-in locks it again on a thread that holds it (an operation that
// calls another, setFrameInterval inside initialize), and recovers it from a dead owner.
#include "Bounded.h"
#include "Checks.h"
#include "ProbeBoard.h"
#include "Roomy.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <string>

namespace frameworkprobe {
namespace {

const char* const kRecursive = "board mutex (tcSensorBoard::mutex) is recursive";
const char* const kRobust = "board mutex (tcSensorBoard::mutex) is robust";

std::string errorName(int code) {
    switch (code) {
    case 0:
        return "0";
    case EBUSY:
        return "EBUSY";
    case EDEADLK:
        return "EDEADLK";
    case ETIMEDOUT:
        return "ETIMEDOUT";
    case EOWNERDEAD:
        return "EOWNERDEAD";
    default:
        return std::to_string(code) + " (" + std::strerror(code) + ")";
    }
}

timespec deadlineIn(milliseconds wait) {
    timespec at{};
    clock_gettime(CLOCK_REALTIME, &at);
    const long long ns = at.tv_nsec + static_cast<long long>(wait.count()) * 1000000;
    at.tv_sec += static_cast<time_t>(ns / 1000000000);
    at.tv_nsec = static_cast<long>(ns % 1000000000);
    return at;
}

// What the owner's second lock answers.
struct SecondLock {
    int first = -1; // pthread_mutex_lock
    int retry = -1; // pthread_mutex_trylock by the owner
    int timed = -1; // pthread_mutex_timedlock by the owner, when the trylock failed
};

// Locks the mutex from a thread that then ends holding it; what a later trylock answers
// (EOWNERDEAD from a robust mutex, EBUSY from one whose lock would wait forever).
int lockAfterOwnerDied(pthread_mutex_t* mutex) {
    std::thread([mutex] { pthread_mutex_lock(mutex); }).join();
    const int answer = pthread_mutex_trylock(mutex);
    if (answer == EOWNERDEAD) {
        pthread_mutex_consistent(mutex);
        pthread_mutex_unlock(mutex);
    }
    return answer;
}

} // namespace

void checkBoardMutexRecursive(Report& report) {
    auto board = std::make_shared<ProbeBoard>(makeProbeBoard());
    auto seen = std::make_shared<SecondLock>();
    pthread_mutex_t* mutex = boardMutexOf(*board->get());
    const auto job = startDetached([board, seen, mutex] {
        seen->first = pthread_mutex_lock(mutex);
        if (seen->first == EOWNERDEAD)
            pthread_mutex_consistent(mutex);
        seen->retry = pthread_mutex_trylock(mutex);
        if (seen->retry == 0) {
            pthread_mutex_unlock(mutex);
        } else {
            const timespec deadline = deadlineIn(milliseconds(100));
            seen->timed = pthread_mutex_timedlock(mutex, &deadline);
        }
        pthread_mutex_unlock(mutex);
    });
    const std::string needed =
        "PTHREAD_MUTEX_RECURSIVE: an operation holding the board mutex calls another that "
        "locks it (setFrameInterval inside initialize), which otherwise hangs or runs unlocked";
    if (!endsWithin(job, kCallBound)) {
        board->abandon();
        report.markStuck();
        report.fail(kRecursive, "a second lock by the owning thread did not return within 2 s",
                    needed);
        return;
    }
    if (seen->first != 0 && seen->first != EOWNERDEAD) {
        report.fail(kRecursive,
                    "pthread_mutex_lock of a new board's mutex answered " + errorName(seen->first),
                    "a mutex the framework initialised in the board base");
        return;
    }
    if (seen->retry == 0) {
        report.ok(kRecursive, "the owning thread's pthread_mutex_trylock answered 0");
        return;
    }
    std::string kind = "not recursive";
    if (seen->timed == EDEADLK)
        kind =
            "error-checking: a second lock answers EDEADLK, which the plug-in's locks do not check";
    else if (seen->timed == ETIMEDOUT)
        kind = "normal: a second lock by the owner waits forever";
    report.fail(kRecursive,
                "the owning thread's pthread_mutex_trylock answered " + errorName(seen->retry) +
                    ", pthread_mutex_timedlock " + errorName(seen->timed) + " (" + kind + ")",
                needed);
}

void checkBoardMutexRobust(Report& report) {
    // Only a system with robust futexes reports a dead owner (qemu-user has none).
    pthread_mutex_t reference;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&reference, &attributes);
    pthread_mutexattr_destroy(&attributes);
    const int referenceAnswer = lockAfterOwnerDied(&reference);
    if (referenceAnswer != EOWNERDEAD) {
        report.notCheckable(kRobust, "this system does not report a dead owner even for a "
                                     "robust mutex made here (answered " +
                                         errorName(referenceAnswer) +
                                         "; qemu-user has no robust futexes)");
        return; // the reference stays locked by its dead owner: not destroyed
    }
    pthread_mutex_destroy(&reference);

    ProbeBoard board = makeProbeBoard();
    const int answer = lockAfterOwnerDied(boardMutexOf(*board.get()));
    if (answer == EOWNERDEAD) {
        report.ok(kRobust, "a trylock after its owner died answered EOWNERDEAD");
        return;
    }
    board.abandon(); // its mutex stays held by a thread that is gone
    report.fail(kRobust,
                "a trylock after its owner died answered " + errorName(answer) +
                    (answer == EBUSY ? " (a lock would wait forever)" : ""),
                "PTHREAD_MUTEX_ROBUST: a thread that dies inside the board must not stop every "
                "later operation; the plug-in recovers the mutex on EOWNERDEAD");
}

} // namespace frameworkprobe
