#pragma once
// Helpers shared by the FPGA tests: captured output split into lines, and what a step
// added to the process's mappings of the simulated physical-memory file.
#include "sim/SimHead.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fpgatest {

// Physical addresses of the system-identity and PLL windows.
constexpr uint32_t kSysIdBase = 0xFF200000;
constexpr uint32_t kPllBase = 0xFF204000;

std::vector<std::string> splitLines(const std::string& text);

// Mappings of after that are not in before (the simulation maps the file itself).
std::vector<sim::MemoryMapping> added(const std::vector<sim::MemoryMapping>& before,
                                      const std::vector<sim::MemoryMapping>& after);

// Number of open file descriptors of this process.
int openDescriptors();

} // namespace fpgatest
