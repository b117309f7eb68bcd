#pragma once
// Optional hooks a host process may offer the plug-in. The plug-in looks the function
// vistrelPlatformHooks up in the host process (dlsym on RTLD_DEFAULT) at first use; a
// host that does not define it (the camera framework on the board) gets "/dev/mem" and
// real sleeps. A development host uses them to put the plug-in on a simulated head and
// a virtual clock without the plug-in knowing.
#include <cstdint>

extern "C" {

struct tsPlatformHooks {
    uint32_t version; // kPlatformHooksVersion
    // Path of the physical-memory device the FPGA windows are mapped from.
    const char* (*memoryDevicePath)(void);
    // Hardware delay of the given length on the host's clock.
    void (*sleepMicroseconds)(int64_t microseconds);
};

enum { kPlatformHooksVersion = 1 };

typedef const tsPlatformHooks* (*tfPlatformHooks)(void);
}

#define VISTREL_PLATFORM_HOOKS_SYMBOL "vistrelPlatformHooks"
