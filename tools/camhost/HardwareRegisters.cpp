#include "HardwareRegisters.h"

#include "platform/Platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace camhost {

tcHardwareRegisters::tcHardwareRegisters()
    : devicePath(platform::memoryDevicePath()), pageSize(static_cast<size_t>(getpagesize())) {
    // Read-only: a read-back must never change what it looks at.
    fd = open(devicePath.c_str(), O_RDONLY | O_SYNC | O_CLOEXEC);
    if (fd < 0)
        failure = "cannot open " + devicePath + " read-only: " + std::strerror(errno);
}

tcHardwareRegisters::~tcHardwareRegisters() {
    for (const auto& [base, words] : pages)
        munmap(const_cast<uint32_t*>(words), pageSize);
    if (fd >= 0)
        close(fd);
}

const volatile uint32_t* tcHardwareRegisters::page(uint32_t pageBase) {
    const auto found = pages.find(pageBase);
    if (found != pages.end())
        return found->second;
    if (fd < 0)
        return nullptr;
    void* mapped = mmap(nullptr, pageSize, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(pageBase));
    if (mapped == MAP_FAILED) {
        if (failure.empty())
            failure = "cannot map " + devicePath + " at " + std::to_string(pageBase) + ": " +
                      std::strerror(errno);
        return nullptr;
    }
    const auto* words = static_cast<const volatile uint32_t*>(mapped);
    pages.emplace(pageBase, words);
    return words;
}

std::optional<uint32_t> tcHardwareRegisters::read(uint32_t physical) {
    const uint32_t pageBase = physical - physical % static_cast<uint32_t>(pageSize);
    const volatile uint32_t* words = page(pageBase);
    if (words == nullptr)
        return std::nullopt;
    const volatile uint32_t* cell = words + (physical - pageBase) / 4;
    const platform::RegisterAccess access = platform::registerAccess();
    return access.read != nullptr ? access.read(cell) : *cell;
}

} // namespace camhost
