// The board's register-file words on their way to the register file.
#include "plugin/RegFileOutbox.h"

#include "plugin/ModuleLifetime.h"
#include "plugin/RegisterFileWords.h"

#include <algorithm>

namespace Vistrel {

namespace {

// Set while this thread is in update_word for one of the board's words.
thread_local bool sending = false;
// Set while that word is a client's value queued again (echoed()).
thread_local bool sendingEcho = false;

} // namespace

tcRegFileOutbox::tsTicket tcRegFileOutbox::queue(uint32_t address, uint32_t value) {
    const platform::tcScopedLock lock(mutex);
    tsSlot& slot = slots[address];
    if (slot.queued == slot.taken) {
        ++waiting;
        mostWaitingSeen = std::max(mostWaitingSeen, waiting);
    }
    slot.value = value;
    slot.queued = ++lastSequence;
    return tsTicket{address, slot.queued};
}

void tcRegFileOutbox::send(const std::vector<tsTicket>& own) {
    platform::tcScopedLock lock(mutex);
    for (const tsTicket& ticket : own)
        sendAddress(lock, ticket.address, ticket.sequence);
}

void tcRegFileOutbox::sendAddress(platform::tcScopedLock& lock, uint32_t address,
                                  uint64_t sequence) {
    for (;;) {
        tsSlot& slot = slots[address];
        if (slot.sent >= sequence)
            return; // this value or a newer one reached the register file
        if (slot.taken != slot.sent) {
            lock.wait(changed); // another thread sends this address: one send at most
            continue;
        }
        // Nothing under way and the value is not sent: the newest one waits.
        const uint32_t value = slot.value;
        const uint64_t taking = slot.queued;
        const bool echo = slot.echoed == taking;
        slot.taken = taking;
        --waiting;
        if (trace != nullptr)
            trace->event("word", "addr=0x%x val=0x%x", address, value);
        mutex.unlock(); // the register file is never called with it held
        sending = true;
        sendingEcho = echo;
        regfile::publish(address, value);
        sending = false;
        sendingEcho = false;
        mutex.lock();
        slots[address].sent = taking;
        changed.notify_all();
        return;
    }
}

bool tcRegFileOutbox::queuedSinceEcho(uint32_t address) {
    const platform::tcScopedLock lock(mutex);
    const auto found = slots.find(address);
    return found != slots.end() && found->second.queued > found->second.echoed;
}

void tcRegFileOutbox::echoed(uint32_t address) {
    const platform::tcScopedLock lock(mutex);
    tsSlot& slot = slots[address];
    slot.echoed = slot.queued;
}

bool tcRegFileOutbox::sendingOnThisThread() {
    return sending;
}

bool tcRegFileOutbox::sendingEchoOnThisThread() {
    return sendingEcho;
}

void tcRegFileOutbox::handOver(const std::vector<tsTicket>& own) {
    const platform::tcScopedLock lock(mutex);
    for (const tsTicket& ticket : own) {
        tsSlot& slot = slots[ticket.address];
        if (!slot.forPublisher) {
            slot.forPublisher = true;
            publisherAddresses.push_back(ticket.address);
        }
    }
    mostHandedOverSeen = std::max(mostHandedOverSeen, publisherAddresses.size());
    if (!publisher.joinable() && !closing)
        publisher = std::thread([self = shared_from_this()] { self->publish(); });
    changed.notify_all();
}

void tcRegFileOutbox::publish() {
    platform::tcScopedLock lock(mutex);
    for (;;) {
        lock.wait(changed, [this]() NO_THREAD_SAFETY_ANALYSIS {
            return !publisherAddresses.empty() || closing;
        });
        if (publisherAddresses.empty())
            return;
        const uint32_t address = publisherAddresses.front();
        publisherAddresses.pop_front();
        slots[address].forPublisher = false;
        publisherBusy = true;
        sendAddress(lock, address, slots[address].queued);
        publisherBusy = false;
        changed.notify_all();
    }
}

void tcRegFileOutbox::close() {
    std::thread ending;
    {
        const platform::tcScopedLock lock(mutex);
        closing = true;
        ending = std::move(publisher);
        // The record goes with the board, and a publisher left to end by itself outlives
        // it; one that is joined sends its last words into the record first.
        if (ending.joinable() && ending.get_id() == std::this_thread::get_id())
            trace = nullptr;
    }
    changed.notify_all();
    // On the publishing thread itself (the board deleted from a notification of one of its
    // own words) it ends by itself once it has sent the rest, holding the outbox.
    joinOrDetach(ending);
    const platform::tcScopedLock lock(mutex);
    trace = nullptr;
}

void tcRegFileOutbox::record(platform::tcTraceRecord* to) {
    const platform::tcScopedLock lock(mutex);
    trace = to;
}

bool tcRegFileOutbox::publishedBy(std::chrono::steady_clock::time_point deadline) {
    platform::tcScopedLock lock(mutex);
    if (publisher.get_id() == std::this_thread::get_id())
        return false; // its own send is under way
    return lock.waitUntil(changed, deadline, [this]() NO_THREAD_SAFETY_ANALYSIS {
        return publisherAddresses.empty() && !publisherBusy;
    });
}

void tcRegFileOutbox::waitUntilPublished() {
    platform::tcScopedLock lock(mutex);
    lock.wait(changed, [this]() NO_THREAD_SAFETY_ANALYSIS {
        return publisherAddresses.empty() && !publisherBusy;
    });
}

size_t tcRegFileOutbox::mostWaiting() const {
    const platform::tcScopedLock lock(mutex);
    return mostWaitingSeen;
}

size_t tcRegFileOutbox::mostHandedOver() const {
    const platform::tcScopedLock lock(mutex);
    return mostHandedOverSeen;
}

} // namespace Vistrel
