// Observer pattern of the framework's register file.
#include "Vistrel/tcObserver.h"

#include "sim/BrokenFramework.h"
#include "sim/FrameworkThreads.h"
#include "sim/LockGuard.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

namespace Vistrel {
namespace {

// Deliveries running outside the observable's lock (direct and thread modes), so that
// unregisterObserver can wait for those of other threads.
struct Deliveries {
    std::mutex mutex;
    std::condition_variable ended;
    std::vector<std::tuple<const tcObservable*, const tcObserver*, std::thread::id>> running;
};

// Takes a delivery off the list when it ends, by return or by exception.
struct DeliveryEnd {
    Deliveries& d;
    std::tuple<const tcObservable*, const tcObserver*, std::thread::id> delivery;
    ~DeliveryEnd() {
        const std::lock_guard<std::mutex> record(d.mutex);
        d.running.erase(std::find(d.running.begin(), d.running.end(), delivery));
        d.ended.notify_all();
    }
};

Deliveries& deliveries() {
    static auto* const instance = new Deliveries(); // used by framework threads until exit
    return *instance;
}

// Notifications being delivered, by the thread that delivers them (one entry each, nested
// ones too), from the first observer's call to the last one's return.
struct UnderWay {
    std::mutex mutex;
    std::condition_variable ended;
    std::multiset<std::thread::id> threads;
};

UnderWay& underWay() {
    static auto* const instance = new UnderWay(); // used by framework threads until exit
    return *instance;
}

class NotificationUnderWay {
public:
    NotificationUnderWay() {
        const std::lock_guard<std::mutex> lock(underWay().mutex);
        underWay().threads.insert(self);
    }
    ~NotificationUnderWay() {
        UnderWay& u = underWay();
        const std::lock_guard<std::mutex> lock(u.mutex);
        u.threads.erase(u.threads.find(self));
        u.ended.notify_all();
    }
    NotificationUnderWay(const NotificationUnderWay&) = delete;
    NotificationUnderWay& operator=(const NotificationUnderWay&) = delete;

private:
    const std::thread::id self = std::this_thread::get_id();
};

} // namespace

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
    {
        sim::FrameworkLock lock(mutex.getMutex());
        observers.erase(std::remove(observers.begin(), observers.end(), observer), observers.end());
    }
    if (sim::broken::has(sim::broken::Fault::unregisterNoWait))
        return;
    // A notification to the observer already running on another thread ends first; one on
    // this thread is the caller itself.
    Deliveries& d = deliveries();
    std::unique_lock<std::mutex> lock(d.mutex);
    const std::thread::id self = std::this_thread::get_id();
    d.ended.wait(lock, [&] {
        return std::none_of(d.running.begin(), d.running.end(), [&](const auto& delivery) {
            return std::get<0>(delivery) == this && std::get<1>(delivery) == observer &&
                   std::get<2>(delivery) != self;
        });
    });
}

bool tcObservable::isRegistered(const tcObserver* observer) const {
    sim::FrameworkLock lock(mutex.getMutex());
    return std::find(observers.begin(), observers.end(), observer) != observers.end();
}

void tcObservable::notifyObservers(tsUpdate& update) {
    const NotificationUnderWay notifying;
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
    // unregistered before its turn is skipped; one whose call already began is waited for
    // by unregisterObserver.
    Deliveries& d = deliveries();
    for (tcObserver* observer : snapshot) {
        const auto delivery =
            std::make_tuple(static_cast<const tcObservable*>(this),
                            static_cast<const tcObserver*>(observer), std::this_thread::get_id());
        {
            sim::FrameworkLock lock(mutex.getMutex());
            if (std::find(observers.begin(), observers.end(), observer) == observers.end())
                continue;
            const std::lock_guard<std::mutex> record(d.mutex);
            d.running.push_back(delivery);
        }
        const DeliveryEnd end{d, delivery};
        observer->update(update);
    }
}

} // namespace Vistrel

namespace sim {

bool waitForNotificationsElsewhere(std::chrono::milliseconds timeout) {
    Vistrel::UnderWay& u = Vistrel::underWay();
    std::unique_lock<std::mutex> lock(u.mutex);
    const std::thread::id self = std::this_thread::get_id();
    return u.ended.wait_for(lock, timeout, [&] {
        return std::all_of(u.threads.begin(), u.threads.end(),
                           [&](const std::thread::id& thread) { return thread == self; });
    });
}

} // namespace sim
