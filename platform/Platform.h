#pragma once
// The plug-in's two platform seams: where the FPGA's physical memory is mapped from and
// how hardware delays are waited. Both default to the real thing ("/dev/mem", nanosleep).
#include <chrono>
#include <string>

namespace platform {

// "/dev/mem" unless the host process offers another path.
std::string memoryDevicePath();

// Waits the whole duration; an interrupted sleep resumes with the time that remains.
void sleepFor(std::chrono::microseconds duration);
inline void sleepMicroseconds(long long microseconds) {
    sleepFor(std::chrono::microseconds(microseconds));
}

} // namespace platform
