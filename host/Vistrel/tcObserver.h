#pragma once
// Observer pattern used by the register file.
#include "Vistrel/tcMutex.h"
#include "Vistrel/tsUpdate.h"
#include <vector>

namespace Vistrel {

class tcObserver {
public:
    virtual ~tcObserver();
    // Delivered once per notification; a receiver that acts sets update.handled.
    virtual void update(tsUpdate& update);
};

class tcObservable {
public:
    tcObservable();
    ~tcObservable();
    tcObservable(const tcObservable&) = delete;
    tcObservable& operator=(const tcObservable&) = delete;

    // Adds the observer once; registering an observer already present changes nothing.
    void registerObserver(tcObserver* observer);
    void unregisterObserver(tcObserver* observer);
    bool isRegistered(const tcObserver* observer) const;
    // Delivers the record to every registered observer, in registration order.
    void notifyObservers(tsUpdate& update);

private:
    mutable tcMutex mutex;
    std::vector<tcObserver*> observers;
};

} // namespace Vistrel
