#pragma once
// Register-file notifications the board could not take at once, applied on a thread of the
// board's own.
//
// A notification waits for the board mutex while the register file may hold its own lock
// around it. A framework thread that holds the board mutex and writes the register file
// then waits for that lock: neither would return. So a notification that does not get the
// board mutex within a bound leaves its word here, is marked handled and returns; this
// thread, which holds no lock of the register file's, applies the word once it gets the
// board mutex. Words are applied in the order they were left. A later notification first
// waits, within its bound, for those words to be applied (idleBy()); if they are not, it
// leaves its word behind them. A word left for an address that already has one waiting
// takes its place at the end: the older value would be overwritten at once, and so at most
// one word per address waits, however fast a client writes.
#include "platform/ThreadAnnotations.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

namespace Vistrel {

class tcDeferredNotifications : public std::enable_shared_from_this<tcDeferredNotifications> {
public:
    struct tsWord {
        uint32_t address;
        uint32_t value;
        bool ownWord; // delivered while the board sent this word itself
        bool echo;    // and that word was a client's value queued again
    };
    // Applies a word if it gets the board mutex within the bound; false if it did not.
    using tfApply = std::function<bool(const tsWord&, std::chrono::microseconds)>;

    // How long this thread waits for the board mutex at a time, and in all for one word once
    // the board is being destroyed.
    static constexpr std::chrono::microseconds kAttempt{1000};
    static constexpr std::chrono::microseconds kMostAtClose{200000};

    explicit tcDeferredNotifications(tfApply apply) : apply(std::move(apply)) {}
    tcDeferredNotifications(const tcDeferredNotifications&) = delete;
    tcDeferredNotifications& operator=(const tcDeferredNotifications&) = delete;

    // True once no word waits here and none is being applied; false if that is not so by
    // the deadline, and at once on this thread itself.
    bool idleBy(std::chrono::steady_clock::time_point deadline) EXCLUDES(mutex);
    // Leaves a word for the board's thread, started when first needed. Once closing, the
    // word is not applied and a line on standard error says so.
    void defer(const tsWord& word) EXCLUDES(mutex);
    // Applies what is left (each word at most kMostAtClose) and ends the thread. Called on
    // the thread itself (the board deleted from a notification it caused), it drops what is
    // left: the board is gone.
    void close() EXCLUDES(mutex);

    // For tests: returns once nothing waits here; how many words were ever deferred, and
    // how many of them a later word of their address replaced before they were applied.
    void waitUntilIdle() EXCLUDES(mutex);
    uint64_t deferredCount() EXCLUDES(mutex);
    uint64_t supersededCount() EXCLUDES(mutex);

private:
    void run() EXCLUDES(mutex);

    const tfApply apply;
    platform::tcMutexLock mutex; // a leaf: never held while a word is applied
    std::condition_variable changed;
    std::deque<tsWord> waiting GUARDED_BY(mutex);
    bool applying GUARDED_BY(mutex) = false;
    bool closing GUARDED_BY(mutex) = false;
    bool ownerGone GUARDED_BY(mutex) = false;
    uint64_t everDeferred GUARDED_BY(mutex) = 0;
    uint64_t everSuperseded GUARDED_BY(mutex) = 0;
    std::thread worker GUARDED_BY(mutex);
};

} // namespace Vistrel
