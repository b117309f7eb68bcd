#include "FpgaTestHelpers.h"

#include <filesystem>
#include <fstream>
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

std::vector<Mapping> mappingsOf(const std::string& path) {
    std::error_code error;
    const fs::path wanted = fs::canonical(path, error);
    std::vector<Mapping> found;
    if (error)
        return found;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        // start-end perms offset dev inode path
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, name;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, name);
        if (name.empty() || fs::path(name) != wanted)
            continue;
        const size_t dash = range.find('-');
        Mapping mapping{};
        mapping.start = static_cast<uintptr_t>(std::stoull(range.substr(0, dash), nullptr, 16));
        mapping.end = static_cast<uintptr_t>(std::stoull(range.substr(dash + 1), nullptr, 16));
        mapping.fileOffset = std::stoull(offset, nullptr, 16);
        found.push_back(mapping);
    }
    return found;
}

std::vector<Mapping> added(const std::vector<Mapping>& before, const std::vector<Mapping>& after) {
    std::vector<Mapping> result;
    for (const Mapping& candidate : after) {
        bool known = false;
        for (const Mapping& old : before)
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
