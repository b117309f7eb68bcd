// Observer pattern of the framework's register file.
#include "Vistrel/tcObserver.h"

#include "sim/FrameworkThreads.h"
#include "sim/LockGuard.h"

#include <algorithm>

namespace Vistrel {

tcObserver::~tcObserver() = default;

void tcObserver::update(tsUpdate&) {}

// Recursive: in the locked mode an observer may write words (and so notify) on the
// notifying thread.
tcObservable::tcObservable() : mutex(true) {}

tcObservable::~tcObservable() = default;

void tcObservable::registerObserver(tcObserver* observer) {
    if (observer == nullptr)
        return;
    sim::FrameworkLock lock(mutex.getMutex());
    if (std::find(observers.begin(), observers.end(), observer) == observers.end())
        observers.push_back(observer);
}

void tcObservable::unregisterObserver(tcObserver* observer) {
    sim::FrameworkLock lock(mutex.getMutex());
    observers.erase(std::remove(observers.begin(), observers.end(), observer), observers.end());
}

bool tcObservable::isRegistered(const tcObserver* observer) const {
    sim::FrameworkLock lock(mutex.getMutex());
    return std::find(observers.begin(), observers.end(), observer) != observers.end();
}

void tcObservable::notifyObservers(tsUpdate& update) {
    if (sim::detail::registerFileMode() == sim::RegisterFileMode::locked) {
        // Held across every delivery: registration from other threads waits meanwhile.
        sim::FrameworkLock lock(mutex.getMutex());
        const std::vector<tcObserver*> snapshot = observers;
        for (tcObserver* observer : snapshot)
            if (std::find(observers.begin(), observers.end(), observer) != observers.end())
                observer->update(update);
        return;
    }
    std::vector<tcObserver*> snapshot;
    {
        sim::FrameworkLock lock(mutex.getMutex());
        snapshot = observers;
    }
    // Called without the lock, so an observer may write words or unregister. One that was
    // unregistered before its turn is skipped; one whose call already began is not waited
    // for by unregisterObserver.
    for (tcObserver* observer : snapshot)
        if (isRegistered(observer))
            observer->update(update);
}

} // namespace Vistrel
