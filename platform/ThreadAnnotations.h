#pragma once
// Lock annotations for Clang's thread-safety analysis (the `threadsafety` preset builds the
// plug-in with -Wthread-safety -Wthread-safety-beta -Werror), and the annotated mutex and
// scoped lock the plug-in's own locks use. Under GCC every annotation is empty and the
// types are a std::mutex and its guard. docs/concurrency.md gives the locks and their order.
#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define TC_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TC_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) TC_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY TC_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(lock) TC_THREAD_ANNOTATION(guarded_by(lock))
#define ACQUIRED_AFTER(...) TC_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) TC_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define REQUIRES(...) TC_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TC_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TC_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) TC_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) TC_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS TC_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace platform {

// A std::mutex the analysis knows as a lock.
class CAPABILITY("mutex") tcMutexLock {
public:
    void lock() ACQUIRE() { mutex.lock(); }
    void unlock() RELEASE() { mutex.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex.try_lock(); }
    // For a condition variable's wait, which lets go of the mutex while it waits.
    std::mutex& native() { return mutex; }

private:
    std::mutex mutex;
};

// Holds a tcMutexLock for a scope; unlock() lets go of it early.
class SCOPED_CAPABILITY tcScopedLock {
public:
    explicit tcScopedLock(tcMutexLock& mutex) ACQUIRE(mutex) : mutex(mutex) { mutex.lock(); }
    ~tcScopedLock() RELEASE() {
        if (held)
            mutex.unlock();
    }
    void unlock() RELEASE() {
        held = false;
        mutex.unlock();
    }
    void lock() ACQUIRE() {
        mutex.lock();
        held = true;
    }
    tcScopedLock(const tcScopedLock&) = delete;
    tcScopedLock& operator=(const tcScopedLock&) = delete;

    // Waits on condition, letting go of the mutex meanwhile; holds it again on return.
    template <typename Predicate> void wait(std::condition_variable& condition, Predicate ready) {
        std::unique_lock<std::mutex> native(mutex.native(), std::adopt_lock);
        condition.wait(native, ready);
        native.release();
    }
    void wait(std::condition_variable& condition) {
        std::unique_lock<std::mutex> native(mutex.native(), std::adopt_lock);
        condition.wait(native);
        native.release();
    }
    template <typename Clock, typename Duration, typename Predicate>
    bool waitUntil(std::condition_variable& condition,
                   const std::chrono::time_point<Clock, Duration>& deadline, Predicate ready) {
        std::unique_lock<std::mutex> native(mutex.native(), std::adopt_lock);
        const bool result = condition.wait_until(native, deadline, ready);
        native.release();
        return result;
    }

private:
    tcMutexLock& mutex;
    bool held = true;
};

// A lock owned by someone else (the framework's board mutex, the sensor's tcMutex), named
// for the analysis: the scoped locks that take the real mutex acquire this name.
class CAPABILITY("mutex") tcLockName {};

} // namespace platform
