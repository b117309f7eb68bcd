#include "FpgaTestHelpers.h"

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace fpgatest {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<sim::MemoryMapping> added(const std::vector<sim::MemoryMapping>& before,
                                      const std::vector<sim::MemoryMapping>& after) {
    std::vector<sim::MemoryMapping> result;
    for (const sim::MemoryMapping& candidate : after) {
        bool known = false;
        for (const sim::MemoryMapping& old : before)
            known = known || (old.start == candidate.start && old.end == candidate.end &&
                              old.fileOffset == candidate.fileOffset);
        if (!known)
            result.push_back(candidate);
    }
    return result;
}

int openDescriptors() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

} // namespace fpgatest
