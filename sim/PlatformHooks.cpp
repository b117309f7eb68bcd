// Hooks that put a plug-in in this process on the simulated head and its clock.
#include "PlatformHooks.h"

#include "sim/SimHead.h"

#include <string>

namespace {

const char* simMemoryDevicePath() {
    // Kept per thread: valid until the same thread asks again.
    thread_local std::string path;
    path = sim::Head::instance().memoryPath();
    return path.c_str();
}

void simSleepMicroseconds(int64_t microseconds) {
    sim::Clock::sleepFor(sim::Micros(microseconds));
}

const tsPlatformHooks hooks{kPlatformHooksVersion, simMemoryDevicePath, simSleepMicroseconds};

} // namespace

extern "C" __attribute__((visibility("default"))) const tsPlatformHooks*
vistrelPlatformHooks(void) {
    return &hooks;
}
