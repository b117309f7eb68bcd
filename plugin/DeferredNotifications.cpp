// Register-file notifications the board could not take at once.
#include "plugin/DeferredNotifications.h"

#include "plugin/ModuleLifetime.h"

#include <iostream>

namespace Vistrel {

bool tcDeferredNotifications::idleBy(std::chrono::steady_clock::time_point deadline) {
    platform::tcScopedLock lock(mutex);
    if (worker.get_id() == std::this_thread::get_id())
        return false; // a notification on this thread, of a word it applies
    return lock.waitUntil(changed, deadline, [this]() NO_THREAD_SAFETY_ANALYSIS {
        return !applying && waiting.empty();
    });
}

void tcDeferredNotifications::defer(const tsWord& word) {
    {
        const platform::tcScopedLock lock(mutex);
        if (!closing) {
            for (auto older = waiting.begin(); older != waiting.end(); ++older)
                if (older->address == word.address) {
                    waiting.erase(older);
                    ++everSuperseded;
                    break; // never more than one per address
                }
            waiting.push_back(word);
            ++everDeferred;
            if (!worker.joinable())
                worker = std::thread([self = shared_from_this()] { self->run(); });
            changed.notify_all();
            return;
        }
    }
    std::cerr << "Register file word 0x" << std::hex << word.address << " = 0x" << word.value
              << std::dec << " not applied: the board is being destroyed" << std::endl;
}

void tcDeferredNotifications::run() {
    platform::tcScopedLock lock(mutex);
    for (;;) {
        lock.wait(changed,
                  [this]() NO_THREAD_SAFETY_ANALYSIS { return !waiting.empty() || closing; });
        if (waiting.empty() || ownerGone)
            break;
        const tsWord word = waiting.front();
        waiting.pop_front();
        applying = true;
        // Until it gets the board mutex; once the board is being destroyed, for a bound: the
        // thread that destroys it may hold the board mutex itself.
        std::chrono::microseconds waited{0};
        bool applied = false;
        while (!applied && !ownerGone && !(closing && waited >= kMostAtClose)) {
            lock.unlock();
            applied = apply(word, kAttempt);
            lock.lock();
            waited += kAttempt;
        }
        applying = false;
        changed.notify_all();
        if (!applied && !ownerGone)
            std::cerr << "Register file word 0x" << std::hex << word.address << " = 0x"
                      << word.value << std::dec
                      << " not applied: the board mutex stayed held while the board was "
                         "destroyed"
                      << std::endl;
    }
    waiting.clear();
    changed.notify_all();
}

void tcDeferredNotifications::close() {
    std::thread ending;
    {
        const platform::tcScopedLock lock(mutex);
        closing = true;
        ending = std::move(worker);
        if (ending.joinable() && ending.get_id() == std::this_thread::get_id())
            ownerGone = true;
    }
    changed.notify_all();
    // On this thread itself, the board is deleted from inside a word it applies.
    joinOrDetach(ending);
}

void tcDeferredNotifications::waitUntilIdle() {
    platform::tcScopedLock lock(mutex);
    lock.wait(changed, [this]() NO_THREAD_SAFETY_ANALYSIS { return waiting.empty() && !applying; });
}

uint64_t tcDeferredNotifications::deferredCount() {
    const platform::tcScopedLock lock(mutex);
    return everDeferred;
}

uint64_t tcDeferredNotifications::supersededCount() {
    const platform::tcScopedLock lock(mutex);
    return everSuperseded;
}

} // namespace Vistrel
