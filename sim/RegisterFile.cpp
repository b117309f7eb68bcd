// The framework's process-wide register file.
#include "Vistrel/tcRegisterFile.h"

#include "sim/BrokenFramework.h"
#include "sim/FrameworkThreads.h"
#include "sim/HeadImpl.h"
#include "sim/LockGuard.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Vistrel {
namespace {

std::mutex registryMutex;

// Instances by backing-store name, and the head reset each one last saw. A head reset
// makes the words written before it disappear; observers stay registered.
struct Registry {
    std::map<std::string, tcRegisterFile*> instances;
    std::map<const tcRegisterFile*, uint64_t> generationSeen;
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
    const sim::RegisterFileMode mode = sim::detail::registerFileMode();
    {
        sim::FrameworkLock lock(mutex.getMutex());
        if (isStale(this)) {
            store.clear();
            markCurrent(this);
        }
        store[address] = value;
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

namespace detail {

RegisterFileMode registerFileMode() {
    Head::Impl& head = Head::instance().impl();
    std::lock_guard<std::mutex> lock(head.mutex);
    return head.config.registerFileMode;
}

} // namespace detail
} // namespace sim
