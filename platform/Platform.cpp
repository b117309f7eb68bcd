#include "platform/Platform.h"

#include "PlatformHooks.h"

#include <cerrno>
#include <dlfcn.h>
#include <time.h>

namespace platform {
namespace {

const tsPlatformHooks* hostHooks() {
    // Looked up once; the camera framework on the board does not define the symbol.
    static const tsPlatformHooks* const hooks = []() -> const tsPlatformHooks* {
        void* symbol = dlsym(RTLD_DEFAULT, VISTREL_PLATFORM_HOOKS_SYMBOL);
        if (symbol == nullptr)
            return nullptr;
        const tsPlatformHooks* offered = reinterpret_cast<tfPlatformHooks>(symbol)();
        // Version 1 tables lack the register accessors, version 2 tables the clock; both
        // are still accepted.
        if (offered == nullptr || (offered->version != kPlatformHooksVersion &&
                                   offered->version != kPlatformHooksVersion2 &&
                                   offered->version != kPlatformHooksVersion1))
            return nullptr;
        return offered;
    }();
    return hooks;
}

void realSleep(std::chrono::microseconds duration) {
    if (duration.count() <= 0)
        return;
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(duration.count() / 1000000);
    remaining.tv_nsec = static_cast<long>((duration.count() % 1000000) * 1000);
    // A signal cuts nanosleep short; go on with what is left.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace

std::string memoryDevicePath() {
    const tsPlatformHooks* hooks = hostHooks();
    if (hooks != nullptr && hooks->memoryDevicePath != nullptr) {
        const char* path = hooks->memoryDevicePath();
        if (path != nullptr)
            return path;
    }
    return "/dev/mem";
}

RegisterAccess registerAccess() {
    const tsPlatformHooks* hooks = hostHooks();
    RegisterAccess access;
    if (hooks != nullptr && hooks->version >= kPlatformHooksVersion2) {
        // Both or neither: a read hook alone would see state its writes never made.
        if (hooks->readRegister32 != nullptr && hooks->writeRegister32 != nullptr) {
            access.read = hooks->readRegister32;
            access.write = hooks->writeRegister32;
        }
    }
    return access;
}

int64_t nowMicroseconds() {
    const tsPlatformHooks* hooks = hostHooks();
    if (hooks != nullptr && hooks->version >= kPlatformHooksVersion &&
        hooks->nowMicroseconds != nullptr)
        return hooks->nowMicroseconds();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void sleepFor(std::chrono::microseconds duration) {
    const tsPlatformHooks* hooks = hostHooks();
    if (hooks != nullptr && hooks->sleepMicroseconds != nullptr) {
        hooks->sleepMicroseconds(duration.count());
        return;
    }
    realSleep(duration);
}

} // namespace platform
