// Hooks that put a plug-in in this process on the simulated head and its clock.
#include "PlatformHooks.h"

#include "sim/HeadImpl.h"

#include <string>

namespace {

const char* simMemoryDevicePath() {
    // Kept per thread: valid until the same thread asks again.
    thread_local std::string path;
    // A new window is about to be mapped, perhaps where an old one was.
    sim::detail::forgetMappings();
    path = sim::Head::instance().memoryPath();
    return path.c_str();
}

void simSleepMicroseconds(int64_t microseconds) {
    sim::Clock::sleepFor(sim::Micros(microseconds));
}

const tsPlatformHooks hooks{kPlatformHooksVersion, simMemoryDevicePath, simSleepMicroseconds,
                            sim::detail::readRegister, sim::detail::writeRegister};

} // namespace

extern "C" __attribute__((visibility("default"))) const tsPlatformHooks*
vistrelPlatformHooks(void) {
    return &hooks;
}
