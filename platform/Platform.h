#pragma once
// The plug-in's platform seams: where the FPGA's physical memory is mapped from, how
// hardware delays are waited and how FPGA registers are accessed. All default to the real
// thing ("/dev/mem", nanosleep, one volatile 32-bit access).
#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

// "/dev/mem" unless the host process offers another path.
std::string memoryDevicePath();

// Waits the whole duration; an interrupted sleep resumes with the time that remains.
void sleepFor(std::chrono::microseconds duration);

// The host's monotonic clock in µs when it offers one, else the system's.
int64_t nowMicroseconds();

// The host's register accessors; both null when registers are accessed directly.
struct RegisterAccess {
    uint32_t (*read)(const volatile uint32_t* address) = nullptr;
    void (*write)(volatile uint32_t* address, uint32_t value) = nullptr;
};
RegisterAccess registerAccess();

} // namespace platform
