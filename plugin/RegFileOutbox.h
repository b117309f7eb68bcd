#pragma once
// The board's register-file words on their way to the register file.
//
// The board queues a word under its own mutex and it is handed to the register file after
// that mutex was released: the register file may notify while holding a lock of its own,
// and its observers (the board's among them) take the board mutex. Each address holds at
// most one word waiting; a newer value replaces an older one still waiting, and the values
// of one address are sent one at a time, so they reach the register file in the order they
// were queued and the last one queued is the last one sent.
//
// A call from outside any register-file notification sends its own words itself before it
// returns, waiting at most for one send of each of its addresses already under way. A call
// inside a notification must not call the register file (one whose lock is not recursive
// would deadlock): its words go to a publishing thread of the outbox, started when first
// needed, which sends them once the notification has let go of the register file.
#include "platform/ThreadAnnotations.h"
#include "platform/TraceRecord.h"

#include <condition_variable>
#include <cstddef>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Vistrel {

class tcRegFileOutbox : public std::enable_shared_from_this<tcRegFileOutbox> {
public:
    // A queued word: its address and its place in the order words were queued.
    struct tsTicket {
        uint32_t address;
        uint64_t sequence;
    };

    tcRegFileOutbox() = default;
    tcRegFileOutbox(const tcRegFileOutbox&) = delete;
    tcRegFileOutbox& operator=(const tcRegFileOutbox&) = delete;

    // Queues a word; the caller holds the board mutex, which orders the words of all threads.
    tsTicket queue(uint32_t address, uint32_t value) EXCLUDES(mutex);
    // Sends the caller's words (or newer values of their addresses) and returns once each
    // was handed to the register file. Call without the board mutex, outside notifications.
    void send(const std::vector<tsTicket>& own) EXCLUDES(mutex);
    // Whether a word of address was queued since the last echo(): the register file may
    // store it after a client's word whose notification is being handled now, for the
    // client's word was stored at a moment the board cannot know.
    bool queuedSinceEcho(uint32_t address) EXCLUDES(mutex);
    // Called once the client's value was queued again: later words are measured from it.
    void echoed(uint32_t address) EXCLUDES(mutex);
    // True while this thread is inside the register file sending one of the board's words:
    // a notification it delivers carries the board's own value.
    static bool sendingOnThisThread();
    // The same, for a client's value queued again: the hardware holds it already.
    static bool sendingEchoOnThisThread();
    // Leaves the caller's words to the publishing thread (from inside a notification).
    void handOver(const std::vector<tsTicket>& own) EXCLUDES(mutex);
    // True once nothing waits for the publishing thread and it sends nothing; false if that
    // is not so by the deadline, and at once on the publishing thread itself.
    bool publishedBy(std::chrono::steady_clock::time_point deadline) EXCLUDES(mutex);
    // The publishing thread sends what is left and ends; waited for unless called on it.
    void close() EXCLUDES(mutex);
    // Each word sent goes into record (not owned; null: not recording) until close().
    void record(platform::tcTraceRecord* to) EXCLUDES(mutex);

    // For tests: returns once nothing waits for the publishing thread; the most words that
    // were ever waiting at once; the most addresses ever waiting for the publishing thread.
    void waitUntilPublished() EXCLUDES(mutex);
    size_t mostWaiting() const EXCLUDES(mutex);
    size_t mostHandedOver() const EXCLUDES(mutex);

private:
    struct tsSlot {
        uint32_t value = 0;
        uint64_t queued = 0; // sequence of the value waiting or last taken
        uint64_t taken = 0;  // sequence of the value being sent or last sent
        uint64_t sent = 0;   // sequence of the value last handed to the register file
        uint64_t echoed = 0; // sequence of the value queued by the last echoed()
        bool forPublisher = false;
    };

    // Sends the newest value of address once no other send of it is under way, unless a
    // value at least as new as sequence was sent meanwhile. Called with lock held.
    void sendAddress(platform::tcScopedLock& lock, uint32_t address, uint64_t sequence)
        REQUIRES(mutex);
    void publish() EXCLUDES(mutex);

    // Taken after the board mutex (words are queued under it), never held while the
    // register file is called.
    mutable platform::tcMutexLock mutex;
    std::condition_variable changed;
    std::unordered_map<uint32_t, tsSlot> slots GUARDED_BY(mutex);
    size_t waiting GUARDED_BY(mutex) = 0;
    size_t mostWaitingSeen GUARDED_BY(mutex) = 0;
    size_t mostHandedOverSeen GUARDED_BY(mutex) = 0;
    uint64_t lastSequence GUARDED_BY(mutex) = 0;
    std::deque<uint32_t> publisherAddresses GUARDED_BY(mutex);
    std::thread publisher GUARDED_BY(mutex);
    bool publisherBusy GUARDED_BY(mutex) = false;
    bool closing GUARDED_BY(mutex) = false;
    platform::tcTraceRecord* trace GUARDED_BY(mutex) = nullptr;
};

} // namespace Vistrel
