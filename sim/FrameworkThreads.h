#pragma once
// The framework's own threads in the stand-ins: the register file's notification thread
// (RegisterFileMode::thread) and the thread on which GPIO edges reach their listener.
#include "Tarnis/tcGpio.h"
#include "sim/SimHead.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sim {

// Delivers an edge notification to listener on the framework's GPIO thread, in posting
// order; returns at once. The listener must outlive the delivery.
void notifyGpio(Tarnis::tcGpioListener& listener, unsigned int pin, unsigned int level);
// Returns once every GPIO notification posted so far has been delivered.
void waitForGpioNotifications();
// Returns once every register-file notification queued so far has been delivered (thread
// mode; at once in the other modes).
void waitForRegisterFileNotifications();
// Returns true once no register-file notification is being delivered on another thread than
// the caller's (to any of its observers), false when timeout (real time) passed first.
bool waitForNotificationsElsewhere(std::chrono::milliseconds timeout);

// Time the calling thread has waited so far for the register file's locks in update_word
// (locked and strict-lock modes): the framework's share of a host call's time.
Micros registerFileLockWaited();

// Runs hook (empty: none) on the caller's thread after each call of a board's frame-output
// object, whose operation it is given: a framework whose frame output takes its time.
void setFrameOutputHook(std::function<void(char operation)> hook);
// Runs hook (empty: none) on the caller's thread as each of the plug-in's own waits
// (platform::sleepFor) begins, with its length: something else happening meanwhile.
void setPluginSleepHook(std::function<void(Micros duration)> hook);

namespace detail {

// The running head's register-file mode.
RegisterFileMode registerFileMode();

// One worker thread running posted jobs in order. Process-wide and never destroyed: the
// framework's threads live as long as the process.
class NotificationThread {
public:
    void post(std::function<void()> job) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!started) {
            started = true;
            std::thread([this] { run(); }).detach();
        }
        jobs.push_back(std::move(job));
        wake.notify_all();
    }

    // Waits until the queue is empty and no job runs. A job waiting for its own thread
    // would never return: then it returns at once.
    void drain() {
        std::unique_lock<std::mutex> lock(mutex);
        if (std::this_thread::get_id() == worker)
            return;
        idle.wait(lock, [this] { return jobs.empty() && !running; });
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        worker = std::this_thread::get_id();
        for (;;) {
            wake.wait(lock, [this] { return !jobs.empty(); });
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            running = true;
            lock.unlock();
            job();
            lock.lock();
            running = false;
            if (jobs.empty())
                idle.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable wake, idle;
    std::deque<std::function<void()>> jobs;
    std::thread::id worker;
    bool started = false;
    bool running = false;
};

} // namespace detail
} // namespace sim
