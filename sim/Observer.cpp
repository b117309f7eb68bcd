// Observer pattern of the framework's register file.
#include "Vistrel/tcObserver.h"

#include "sim/LockGuard.h"

#include <algorithm>

namespace Vistrel {

tcObserver::~tcObserver() = default;

void tcObserver::update(tsUpdate&) {}

tcObservable::tcObservable() : mutex(false) {}

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
    std::vector<tcObserver*> snapshot;
    {
        sim::FrameworkLock lock(mutex.getMutex());
        snapshot = observers;
    }
    // Called without the lock, so an observer may write words or unregister; one that was
    // unregistered meanwhile (possibly destroyed) is skipped.
    for (tcObserver* observer : snapshot)
        if (isRegistered(observer))
            observer->update(update);
}

} // namespace Vistrel
