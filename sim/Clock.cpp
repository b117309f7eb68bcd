// The head's clock: virtual (sleeps advance it at once) or real (monotonic, sleeps wait).
#include "sim/HeadImpl.h"

#include <atomic>
#include <cerrno>
#include <time.h>

namespace sim {
namespace {

std::atomic<bool> virtualMode{false};
std::atomic<long long> virtualMicros{0};
std::atomic<long long> realEpochNanos{0};

long long monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The real epoch starts when the library loads, so that time runs before the first reset.
const bool epochSet = [] {
    realEpochNanos.store(monotonicNanos());
    return true;
}();

void realSleep(Micros duration) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(duration.count() / 1000000);
    remaining.tv_nsec = static_cast<long>((duration.count() % 1000000) * 1000);
    // A signal cuts the sleep short; go on with what is left.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace

namespace detail {
void restartClock() {
    (void)epochSet;
    virtualMicros.store(0);
    realEpochNanos.store(monotonicNanos());
}
} // namespace detail

void Clock::useVirtualTime(bool on) {
    virtualMode.store(on);
}

bool Clock::isVirtual() {
    return virtualMode.load();
}

Micros Clock::now() {
    if (virtualMode.load())
        return Micros(virtualMicros.load());
    return Micros((monotonicNanos() - realEpochNanos.load()) / 1000);
}

void Clock::sleepFor(Micros duration) {
    if (duration.count() > 0) {
        if (virtualMode.load())
            virtualMicros.fetch_add(duration.count());
        else
            realSleep(duration);
    }
    detail::afterSleep();
}

} // namespace sim
