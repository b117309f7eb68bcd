#pragma once
// The FPGA's registers as the hardware holds them, read the way the plug-in reads them:
// through the host's register accessor where the process offers one (the platform hooks
// of a development host), otherwise straight from a read-only mapping of the memory
// device ("/dev/mem" on the board, which needs root or CAP_SYS_RAWIO).
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace camhost {

class tcHardwareRegisters {
public:
    // Opens the memory device read-only; problem() tells why when it cannot.
    tcHardwareRegisters();
    ~tcHardwareRegisters();
    tcHardwareRegisters(const tcHardwareRegisters&) = delete;
    tcHardwareRegisters& operator=(const tcHardwareRegisters&) = delete;

    // The 32-bit register at the physical address; nothing when its page cannot be mapped.
    std::optional<uint32_t> read(uint32_t physical);
    const std::string& device() const { return devicePath; }
    // The first failure, empty while every read succeeded.
    const std::string& problem() const { return failure; }

private:
    const volatile uint32_t* page(uint32_t pageBase);

    std::string devicePath;
    int fd = -1;
    size_t pageSize;
    std::map<uint32_t, const volatile uint32_t*> pages; // page base -> mapping
    std::string failure;
};

} // namespace camhost
