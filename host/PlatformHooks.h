#pragma once
// Optional hooks a host process may offer the plug-in. The plug-in looks the function
// vistrelPlatformHooks up in the host process (dlsym on RTLD_DEFAULT) at first use; a
// host that does not define it (the camera framework on the board) gets "/dev/mem", real
// sleeps and plain volatile register accesses. A development host uses them to put the
// plug-in on a simulated head and a virtual clock without the plug-in knowing.
#include <cstdint>

extern "C" {

struct tsPlatformHooks {
    uint32_t version; // kPlatformHooksVersion1, kPlatformHooksVersion2 or kPlatformHooksVersion
    // Path of the physical-memory device the FPGA windows are mapped from.
    const char* (*memoryDevicePath)(void);
    // Hardware delay of the given length on the host's clock.
    void (*sleepMicroseconds)(int64_t microseconds);

    // From version 2 on (a version 1 table ends above). Each FPGA register access, given
    // the register's address in the plug-in's mapping; the function performs the one 32-bit
    // access itself. Null: the plug-in accesses the register directly.
    uint32_t (*readRegister32)(const volatile uint32_t* address);
    void (*writeRegister32)(volatile uint32_t* address, uint32_t value);

    // From version 3 on. The host's monotonic clock in microseconds, the one its sleeps
    // run on (the boundary record's timestamps). Null: the plug-in's monotonic clock.
    int64_t (*nowMicroseconds)(void);
};

enum { kPlatformHooksVersion1 = 1, kPlatformHooksVersion2 = 2, kPlatformHooksVersion = 3 };

typedef const tsPlatformHooks* (*tfPlatformHooks)(void);
}

#define VISTREL_PLATFORM_HOOKS_SYMBOL "vistrelPlatformHooks"
