// Hooks that put a plug-in in this process on the simulated head and its clock.
#include "PlatformHooks.h"

#include "sim/FrameworkThreads.h"
#include "sim/HeadImpl.h"

#include <functional>
#include <mutex>
#include <string>

namespace {

std::mutex sleepHookMutex;
std::function<void(sim::Micros)> sleepHook;

const char* simMemoryDevicePath() {
    // Kept per thread: valid until the same thread asks again.
    thread_local std::string path;
    // A new window is about to be mapped, perhaps where an old one was.
    sim::detail::forgetMappings();
    path = sim::Head::instance().memoryPath();
    return path.c_str();
}

void simSleepMicroseconds(int64_t microseconds) {
    std::function<void(sim::Micros)> hook;
    {
        const std::lock_guard<std::mutex> lock(sleepHookMutex);
        hook = sleepHook;
    }
    if (hook)
        hook(sim::Micros(microseconds));
    sim::Clock::sleepFor(sim::Micros(microseconds));
}

// The head's clock, virtual or real: the plug-in's record then has the head's times.
int64_t simNowMicroseconds() {
    return sim::Clock::now().count();
}

const tsPlatformHooks hooks{kPlatformHooksVersion,      simMemoryDevicePath,
                            simSleepMicroseconds,       sim::detail::readRegister,
                            sim::detail::writeRegister, simNowMicroseconds};

} // namespace

namespace sim {

void setPluginSleepHook(std::function<void(Micros duration)> hook) {
    const std::lock_guard<std::mutex> lock(sleepHookMutex);
    sleepHook = std::move(hook);
}

} // namespace sim

extern "C" __attribute__((visibility("default"))) const tsPlatformHooks*
vistrelPlatformHooks(void) {
    return &hooks;
}
