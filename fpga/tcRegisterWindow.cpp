#include "fpga/tcRegisterWindow.h"

#include "platform/Platform.h"
#include "platform/TraceRecord.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

tcRegisterWindow::tcRegisterWindow(uint32_t base, uint32_t count, platform::tcTraceRecord* record)
    : base(base), count(count), record(record) {
    map();
    if (record != nullptr)
        record->event("map", "base=0x%08x words=%u ok=%d", base, count, isValid() ? 1 : 0);
}

void tcRegisterWindow::map() {
    const uint32_t page = static_cast<uint32_t>(getpagesize());
    const std::string device = platform::memoryDevicePath();
    const int descriptor = open(device.c_str(), O_RDWR | O_SYNC);
    if (descriptor < 0) {
        perror("/dev/mem");
        valid = false;
        return;
    }

    offset = base % page;
    // Computed in 64 bits: a large count must not wrap the length on a 32-bit board.
    const uint64_t wanted = uint64_t{offset} + uint64_t{4} * count;
    const uint64_t rounded = (wanted + page - 1) / page * page;
    const off_t start = static_cast<off_t>(base - offset);
    void* mapping = MAP_FAILED;
    errno = ENOMEM; // a length the address space cannot hold is not handed to mmap
    if (rounded <= SIZE_MAX)
        mapping = mmap(nullptr, static_cast<size_t>(rounded), PROT_READ | PROT_WRITE, MAP_SHARED,
                       descriptor, start);
    // The mapping keeps its own reference to the device.
    close(descriptor);
    if (mapping == MAP_FAILED) {
        perror("mmap");
        valid = false;
        return;
    }

    length = static_cast<size_t>(rounded);
    limit = length - offset;
    registers = reinterpret_cast<volatile uint32_t*>(static_cast<char*>(mapping) + offset);
    const platform::RegisterAccess access = platform::registerAccess();
    readHook = access.read;
    writeHook = access.write;
}

tcRegisterWindow::~tcRegisterWindow() {
    if (registers == nullptr)
        return;
    char* first = reinterpret_cast<char*>(const_cast<uint32_t*>(registers));
    munmap(first - offset, length);
}

namespace {

// A register inside the mapping, on a 32-bit boundary.
bool reachable(uint32_t byteOffset, size_t limit) {
    return byteOffset % 4 == 0 && limit >= 4 && byteOffset <= limit - 4;
}

} // namespace

uint32_t tcRegisterWindow::read(uint32_t byteOffset) const {
    if (!isValid() || !reachable(byteOffset, limit))
        return 0;
    const volatile uint32_t* cell = registers + byteOffset / 4;
    const uint32_t value = readHook != nullptr ? readHook(cell) : *cell;
    if (record != nullptr)
        record->event("fpga_read", "base=0x%08x off=0x%04x val=0x%08x", base, byteOffset, value);
    return value;
}

void tcRegisterWindow::write(uint32_t byteOffset, uint32_t value) {
    if (!isValid() || !reachable(byteOffset, limit))
        return;
    volatile uint32_t* cell = registers + byteOffset / 4;
    if (record != nullptr)
        record->event("fpga_write", "base=0x%08x off=0x%04x val=0x%08x", base, byteOffset, value);
    if (writeHook != nullptr) {
        writeHook(cell, value);
        return;
    }
    *cell = value;
}
