#pragma once
// Framework calls that may never return (a second lock of a non-recursive mutex, a lock held
// across a notification) run on a thread of their own, waited for a bounded time. One that
// does not end is left running: joining it would hang the probe.
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <utility>

namespace frameworkprobe {

using std::chrono::milliseconds;

// How long a framework call may take before the probe calls it hung.
constexpr milliseconds kCallBound{2000};

// Starts job on a detached thread; the future becomes ready when it returns. Whatever the
// job uses must be owned by it (shared or leaked), since it may outlive the caller.
template <class Job> std::shared_future<void> startDetached(Job job) {
    auto done = std::make_shared<std::promise<void>>();
    std::shared_future<void> finished = done->get_future().share();
    std::thread([done, job = std::move(job)]() mutable {
        job();
        done->set_value();
    }).detach();
    return finished;
}

inline bool endsWithin(const std::shared_future<void>& job, milliseconds bound) {
    return job.wait_for(bound) == std::future_status::ready;
}

} // namespace frameworkprobe
