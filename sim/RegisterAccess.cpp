// The plug-in's FPGA register accesses, through the platform hooks: each is performed on
// the plug-in's own mapping, with the models run at that moment (before a read, so it sees
// the state as of now; after a write, so it takes effect) and read-only registers kept.
// An address in no mapping of the memory device is refused as a breach: on the board that
// access faults, and answering it would hide a window that only believes itself mapped.
#include "sim/HeadImpl.h"

#include <fstream>
#include <sstream>

namespace sim {
namespace {

constexpr uint32_t kFrameEnd = frame::base + 0x1000;

bool isReadOnly(uint32_t offset) {
    return offset == frame::status || offset == frame::dpaLock || offset == frame::coreId ||
           offset == frame::coreRev || offset == frame::coreCaps;
}

// This process's mappings of the memory file, from the kernel's list.
std::vector<MemoryMapping> mappingsOf(const std::string& path) {
    std::vector<MemoryMapping> found;
    if (path.empty())
        return found; // no memory file: anonymous mappings have no name either
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, name;
        fields >> range >> perms >> offset >> device >> inode;
        std::getline(fields >> std::ws, name);
        const std::string::size_type dash = range.find('-');
        if (name != path || dash == std::string::npos)
            continue;
        found.push_back(
            MemoryMapping{static_cast<uintptr_t>(std::stoull(range.substr(0, dash), nullptr, 16)),
                          static_cast<uintptr_t>(std::stoull(range.substr(dash + 1), nullptr, 16)),
                          std::stoull(offset, nullptr, 16)});
    }
    return found;
}

// Physical address of a register the plug-in reaches at address; 0 when it is not in the
// memory file (then it is no register of the head's).
uint32_t physicalOf(Head::Impl& h, const volatile void* address) {
    const auto at = reinterpret_cast<uintptr_t>(address);
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const MemoryMapping& range : h.mappings)
            if (at >= range.start && at < range.end)
                return static_cast<uint32_t>(range.fileOffset + (at - range.start));
        if (attempt == 0)
            h.mappings = mappingsOf(h.realMemPath);
    }
    return 0;
}

void unmappedAccess(Head::Impl& h, const char* access, const volatile void* address) {
    std::ostringstream reason;
    reason << access << " at " << const_cast<const void*>(address)
           << ", in no mapping of the memory device: not performed (on the board it faults)";
    h.violate("register-access-unmapped", reason.str());
}

} // namespace

std::vector<MemoryMapping> Head::memoryMappings() const {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        path = state->realMemPath;
    }
    return mappingsOf(path);
}

namespace detail {

void forgetMappings() {
    Head::Impl& h = Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.mappings.clear();
}

uint32_t readRegister(const volatile uint32_t* address) {
    Head::Impl& h = Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    const uint32_t physical = physicalOf(h, address);
    if (physical == 0) {
        unmappedAccess(h, "read", address);
        return 0;
    }
    // Replayed: what the record read there, as long as it holds reads of that register.
    if (const auto replayed =
            replay::active() ? replay::next(replay::fpga(physical)) : std::nullopt)
        return static_cast<uint32_t>(replay::number(replayed->value));
    h.stepReceiver();
    return *address;
}

void writeRegister(volatile uint32_t* address, uint32_t value) {
    Head::Impl& h = Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    const uint32_t physical = physicalOf(h, address);
    if (physical == 0) {
        unmappedAccess(h, "write", address);
        return;
    }
    if (physical < frame::base || physical >= kFrameEnd) {
        *address = value;
        return;
    }
    const uint32_t offset = physical - frame::base;
    h.stepReceiver();
    h.stepPwm(Clock::now()); // pulses until now ran under the receiver's old registers
    const uint32_t old = *address;
    if (isReadOnly(offset)) {
        std::ostringstream reason;
        reason << "write of 0x" << std::hex << value << " to read-only receiver register 0x"
               << offset << " (kept 0x" << old << ")";
        h.violate("read-only-register", reason.str());
        return;
    }
    *address = value;
    h.receiverWritten(offset, old, value);
    h.stepReceiver();
}

} // namespace detail
} // namespace sim
