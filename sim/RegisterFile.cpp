// The framework's process-wide register file.
#include "Vistrel/tcRegisterFile.h"

#include "sim/BrokenFramework.h"
#include "sim/FrameworkThreads.h"
#include "sim/HeadImpl.h"
#include "sim/LockGuard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Vistrel {
namespace {

std::mutex registryMutex;

// Instances by backing-store name, and the head reset each one last saw. A head reset
// makes the words written before it disappear; observers stay registered.
struct Registry {
    std::map<std::string, tcRegisterFile*> instances;
    std::map<const tcRegisterFile*, uint64_t> generationSeen;
    // The strict-lock mode's non-recursive lock of each instance.
    std::map<const tcRegisterFile*, std::unique_ptr<std::mutex>> strictLocks;
};

Registry& registry() {
    static Registry* const instance = new Registry(); // never destroyed: used at exit
    return *instance;
}

bool isStale(const tcRegisterFile* file) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto& seen = registry().generationSeen;
    auto found = seen.find(file);
    return found == seen.end() || found->second != sim::detail::resetGeneration();
}

void markCurrent(const tcRegisterFile* file) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().generationSeen[file] = sim::detail::resetGeneration();
}

std::mutex& strictLockOf(const tcRegisterFile* file) {
    std::lock_guard<std::mutex> lock(registryMutex);
    std::unique_ptr<std::mutex>& found = registry().strictLocks[file];
    if (!found)
        found = std::make_unique<std::mutex>();
    return *found;
}

// The instances whose strict lock this thread holds, innermost last.
thread_local std::vector<const tcRegisterFile*> strictLocksHeld;

// Marks the strict lock of one instance as held by this thread for a scope.
class StrictLockHeld {
public:
    explicit StrictLockHeld(const tcRegisterFile* file) { strictLocksHeld.push_back(file); }
    ~StrictLockHeld() { strictLocksHeld.pop_back(); }
    StrictLockHeld(const StrictLockHeld&) = delete;
    StrictLockHeld& operator=(const StrictLockHeld&) = delete;
};

bool holdsStrictLock(const tcRegisterFile* file) {
    return std::find(strictLocksHeld.begin(), strictLocksHeld.end(), file) != strictLocksHeld.end();
}

// A real register file would block for good on its own lock: the word is dropped instead
// and the breach logged, so that the run goes on and shows it.
void logReentrantWrite(uint32_t address, uint32_t value) {
    char reason[160];
    std::snprintf(reason, sizeof reason,
                  "update_word(0x%X, %u) from inside a notification on the same thread, which "
                  "holds the register file's non-recursive lock (word dropped)",
                  address, value);
    sim::Head::Impl& head = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(head.mutex);
    head.violate("regfile-reentrant", reason);
}

// Time this thread has waited for a register file's locks in update_word.
thread_local std::chrono::steady_clock::duration lockWaited{};

// Counts the wait for a lock that began at begin and has just been taken.
void countLockWait(std::chrono::steady_clock::time_point begin) {
    lockWaited += std::chrono::steady_clock::now() - begin;
}

sim::detail::NotificationThread& notifier() {
    static auto* const thread = new sim::detail::NotificationThread(); // lives with the process
    return *thread;
}

} // namespace

tcRegisterFile::tcRegisterFile()
    : mutex(!sim::broken::has(sim::broken::Fault::regfileNonRecursive)) {}

tcRegisterFile* tcRegisterFile::getInstance(const char* name, bool create) {
    const std::string key = name == nullptr ? std::string() : std::string(name);
    std::lock_guard<std::mutex> lock(registryMutex);
    auto& instances = registry().instances;
    auto found = instances.find(key);
    if (found != instances.end())
        return found->second;
    if (!create)
        return nullptr;
    auto* created = new tcRegisterFile(); // process-wide, never destroyed
    instances[key] = created;
    registry().generationSeen[created] = sim::detail::resetGeneration();
    return created;
}

void tcRegisterFile::update_word(uint32_t address, uint32_t value) {
    tsUpdate update;
    update.kind = tsUpdate::eeWordWritten;
    update.address = address;
    update.handled = false;
    update.value = value;
    // Call with the store lock held.
    const auto keep = [&] {
        if (isStale(this)) {
            store.clear();
            markCurrent(this);
        }
        store[address] = value;
    };
    const sim::RegisterFileMode mode = sim::detail::registerFileMode();
    if (mode == sim::RegisterFileMode::strictLock) {
        if (holdsStrictLock(this)) {
            logReentrantWrite(address, value);
            return;
        }
        // One lock, not recursive, across the store and every observer's call.
        const auto waitBegin = std::chrono::steady_clock::now();
        const std::lock_guard<std::mutex> strict(strictLockOf(this));
        countLockWait(waitBegin);
        const StrictLockHeld held(this);
        {
            sim::FrameworkLock lock(mutex.getMutex());
            keep();
        }
        observable.notifyObservers(update);
        return;
    }
    {
        const auto waitBegin = std::chrono::steady_clock::now();
        sim::FrameworkLock lock(mutex.getMutex());
        countLockWait(waitBegin);
        keep();
        if (mode == sim::RegisterFileMode::locked) {
            // The store lock stays held while the observers run, so every other writer
            // waits for them (recursive: an observer may write words on this thread).
            observable.notifyObservers(update);
            return;
        }
    }
    if (mode == sim::RegisterFileMode::thread) {
        notifier().post([this, update]() mutable { observable.notifyObservers(update); });
        return;
    }
    // Observers may write words themselves: notify without the store lock.
    observable.notifyObservers(update);
}

bool tcRegisterFile::read_word(uint32_t address, uint32_t& value) const {
    sim::FrameworkLock lock(mutex.getMutex());
    if (isStale(this))
        return false;
    auto found = store.find(address);
    if (found == store.end())
        return false;
    value = found->second;
    return true;
}

std::map<uint32_t, uint32_t> tcRegisterFile::words() const {
    sim::FrameworkLock lock(mutex.getMutex());
    if (isStale(this))
        return {};
    return store;
}

} // namespace Vistrel

namespace sim {

void waitForRegisterFileNotifications() {
    Vistrel::notifier().drain();
}

Micros registerFileLockWaited() {
    return std::chrono::duration_cast<Micros>(Vistrel::lockWaited);
}

namespace detail {

RegisterFileMode registerFileMode() {
    Head::Impl& head = Head::instance().impl();
    std::lock_guard<std::mutex> lock(head.mutex);
    return head.config.registerFileMode;
}

} // namespace detail
} // namespace sim
