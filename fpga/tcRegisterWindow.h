#pragma once
// A window of 32-bit FPGA registers mapped from the physical-memory device.
// An unmapped window reads as 0 and ignores writes. Every access goes through read() and
// write(): one volatile 32-bit access, or the host's accessor when it offers one.
#include <cstdint>
#include <sys/types.h>

namespace platform {
class tcTraceRecord;
}

// FPGA addresses lie above 2 GiB: a 32-bit off_t would map them and fault on first access.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

class tcRegisterWindow {
public:
    // Accesses and the mapping go into record unless it is null.
    tcRegisterWindow(uint32_t base, uint32_t count, platform::tcTraceRecord* record = nullptr);
    ~tcRegisterWindow();
    tcRegisterWindow(const tcRegisterWindow&) = delete;
    tcRegisterWindow& operator=(const tcRegisterWindow&) = delete;

    bool isValid() const { return valid && registers != nullptr; }
    uint32_t read(uint32_t byteOffset) const;
    void write(uint32_t byteOffset, uint32_t value);

    uint32_t baseAddress() const { return base; }
    uint32_t wordCount() const { return count; }
    // Bytes mapped (whole pages); 0 when unmapped.
    size_t mappedLength() const { return length; }

private:
    void map();

    volatile uint32_t* registers = nullptr;
    uint32_t base;
    uint32_t count;
    bool valid = true;
    uint32_t offset = 0;
    size_t length = 0;
    size_t limit = 0; // bytes reachable from registers inside the mapping
    // Looked up once at construction, so an access costs one predictable branch.
    uint32_t (*readHook)(const volatile uint32_t*) = nullptr;
    void (*writeHook)(volatile uint32_t*, uint32_t) = nullptr;
    platform::tcTraceRecord* record; // not owned
};
