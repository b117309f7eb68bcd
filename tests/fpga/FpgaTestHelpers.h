#pragma once
// Helpers shared by the FPGA tests: captured output split into lines, and the process's
// mappings of the simulated physical-memory file.
#include <cstdint>
#include <string>
#include <vector>

namespace fpgatest {

std::vector<std::string> splitLines(const std::string& text);

struct Mapping {
    uintptr_t start;
    uintptr_t end;
    uint64_t fileOffset;
    size_t length() const { return static_cast<size_t>(end - start); }
};

// Mappings of the file at path (compared after resolving links), from /proc/self/maps.
std::vector<Mapping> mappingsOf(const std::string& path);

// Mappings of after that are not in before (the simulation may map the file itself).
std::vector<Mapping> added(const std::vector<Mapping>& before, const std::vector<Mapping>& after);

// Number of open file descriptors of this process.
int openDescriptors();

} // namespace fpgatest
