#include "fpga/tcCanon120FrameCtrl.h"

#include "platform/Platform.h"
#include "platform/TraceRecord.h"

#include <chrono>
#include <iostream>

namespace {

// Register byte offsets from the core's base.
constexpr uint32_t kControl = 0x00;
constexpr uint32_t kStatus = 0x04;
constexpr uint32_t kLaneInversion = 0x08;
constexpr uint32_t kIrqFlags = 0x10;
constexpr uint32_t kIrqMask = 0x14;
constexpr uint32_t kRoiResolution = 0x18;
constexpr uint32_t kBlankOffset = 0x1C;
constexpr uint32_t kWriteFaults = 0x20;
constexpr uint32_t kRoiStart = 0x24;
constexpr uint32_t kDpaReset = 0x28;
constexpr uint32_t kDpaFifoReset = 0x2C;
constexpr uint32_t kDpaHold = 0x30;
constexpr uint32_t kDpaLock = 0x34;
constexpr uint32_t kIndexSync = 0x38;
constexpr uint32_t kFrameTimestamp = 0x3C;
constexpr uint32_t kBiasSubtract = 0x40;
// Identification lies past the 64 control words, inside the same first page.
constexpr uint32_t kCoreId = 0x200;
constexpr uint32_t kCoreRev = 0x204;
constexpr uint32_t kCoreCaps = 0x208;
constexpr uint32_t kWindowWords = 64;

// Fields.
constexpr uint32_t kCoreEnable = 1u << 31;
constexpr uint32_t kStatusLocked = 1u << 0;
constexpr uint32_t kStatusAligned = 1u << 1;
constexpr uint32_t kLaneMask = 0x0FFFFFFF; // one bit for each of the 28 serial lanes

// Lock waits: at most 200 polls each.
constexpr int kMaxPolls = 200;
constexpr std::chrono::milliseconds kPllPoll{100};
constexpr std::chrono::milliseconds kDpaPoll{10};
constexpr std::chrono::milliseconds kAlignPoll{100};

// Registers of two 16-bit fields, high half first, each half read as its own access.
struct tsHalves {
    uint16_t high;
    uint16_t low;
};
tsHalves readHalves(const tcRegisterWindow& window, uint32_t offset) {
    const uint16_t high = static_cast<uint16_t>(window.read(offset) >> 16);
    const uint16_t low = static_cast<uint16_t>(window.read(offset) & 0xFFFF);
    return {high, low};
}
void writeHalves(tcRegisterWindow& window, uint32_t offset, uint16_t high, uint16_t low) {
    window.write(offset, (uint32_t{high} << 16) | low);
}
int flag(bool value) {
    return value ? 1 : 0;
}

// Waits until `reached` (a fresh reading each call) holds: at most kMaxPolls waits of
// `interval`, each announced by `report(tries so far)`. False when it never held.
template <typename Reached, typename Report>
bool pollBounded(platform::tcTraceRecord* record, std::chrono::milliseconds interval,
                 Reached reached, Report report) {
    if (reached())
        return true;
    for (int tries = 0; tries < kMaxPolls;) {
        report(tries);
        platform::sleepFor(interval, record);
        ++tries;
        if (reached())
            return true;
    }
    return false;
}

} // namespace

tcCanon120FrameCtrl::tcCanon120FrameCtrl(unsigned int base, platform::tcTraceRecord* record)
    : window(base, kWindowWords, record), record(record) {}

tcCanon120FrameCtrl::~tcCanon120FrameCtrl() = default;

bool tcCanon120FrameCtrl::initialized() const {
    return window.isValid();
}

int tcCanon120FrameCtrl::enableCore(bool enable) {
    if (!enable) {
        window.write(kControl, window.read(kControl) & ~kCoreEnable);
        return 0;
    }

    window.write(kControl, window.read(kControl) | kCoreEnable);
    const bool locked = pollBounded(
        record, kPllPoll, [&] { return readStatus().locked; },
        [](int tries) {
            std::cout << "Locked 0" << std::endl;
            std::cout << " tries: " << std::dec << tries << std::endl;
        });
    std::cout << " Locked " << flag(locked) << std::endl;
    if (!locked) {
        std::cerr << "PLL failed to lock" << std::endl;
        return -1;
    }

    // Train every lane's phase: release the hold, pulse the DPA reset with the FIFOs held
    // in reset, then let the lanes search.
    setDPAHold(0);
    setDPAReset(kLaneMask);
    setDPAFifoReset(kLaneMask);
    setDPAReset(0);

    unsigned lock = 0;
    pollBounded(
        record, kDpaPoll, [&] { return (lock = readDPALock()) == kLaneMask; },
        [&](int tries) {
            std::cout << "DPA Lock: " << std::hex << lock << std::dec << " tries: " << tries
                      << std::endl;
        });
    std::cout << "DPA Lock: " << std::hex << lock << std::endl << std::dec;
    if (lock != kLaneMask) {
        std::cerr << "DPA failed to lock" << std::endl;
        return -2;
    }

    // Every lane found its phase: start the FIFOs and hold the phases.
    setDPAFifoReset(0);
    setDPAHold(lock);

    const bool aligned = pollBounded(
        record, kAlignPoll, [&] { return readStatus().aligned; },
        [](int tries) {
            std::cout << "Deserializer Status:   "
                      << "Not Aligned"
                      << " tries: " << std::dec << tries << std::endl;
        });
    std::cout << " Aligned " << flag(aligned) << std::endl;
    if (aligned)
        return 0;
    std::cerr << "Not Aligned" << std::endl;
    return -1;
}

bool tcCanon120FrameCtrl::readCoreEnabled() {
    return (window.read(kControl) & kCoreEnable) != 0;
}

tcCanon120FrameCtrl::tsStatus tcCanon120FrameCtrl::readStatus() {
    tsStatus status{};
    status.aligned = (window.read(kStatus) & kStatusAligned) != 0;
    status.locked = (window.read(kStatus) & kStatusLocked) != 0;
    return status;
}

unsigned tcCanon120FrameCtrl::readLaneInversion() {
    return window.read(kLaneInversion);
}
void tcCanon120FrameCtrl::setLaneInversion(unsigned mask) {
    window.write(kLaneInversion, mask & kLaneMask);
}

unsigned tcCanon120FrameCtrl::readIrqFlags() {
    return window.read(kIrqFlags);
}
void tcCanon120FrameCtrl::clearIrqFlags(unsigned flags) {
    window.write(kIrqFlags, flags);
}

unsigned tcCanon120FrameCtrl::readIrqMask() {
    return window.read(kIrqMask);
}
void tcCanon120FrameCtrl::setIrqMask(unsigned mask) {
    window.write(kIrqMask, mask);
}

tcCanon120FrameCtrl::tsResolutionConfig tcCanon120FrameCtrl::readRoiResCntConfig() {
    const tsHalves halves = readHalves(window, kRoiResolution);
    return {halves.high, halves.low};
}
void tcCanon120FrameCtrl::setRoiResCntConfig(tsResolutionConfig config) {
    writeHalves(window, kRoiResolution, config.height, config.width);
}

tcCanon120FrameCtrl::tsBlankOffsetConfig tcCanon120FrameCtrl::readBlankOffsetConfig() {
    const tsHalves halves = readHalves(window, kBlankOffset);
    return {halves.high, halves.low};
}
void tcCanon120FrameCtrl::setBlankOffsetConfig(tsBlankOffsetConfig config) {
    writeHalves(window, kBlankOffset, config.vertical, config.horizontal);
}

unsigned tcCanon120FrameCtrl::readWriteFaults() {
    return window.read(kWriteFaults);
}
void tcCanon120FrameCtrl::clearWriteFaults(unsigned faults) {
    window.write(kWriteFaults, faults);
}

tcCanon120FrameCtrl::tsRoiConfig tcCanon120FrameCtrl::readRoiConfig() {
    const tsHalves halves = readHalves(window, kRoiStart);
    return {halves.high, halves.low};
}
void tcCanon120FrameCtrl::setRoiConfig(tsRoiConfig config) {
    writeHalves(window, kRoiStart, config.y, config.x);
}

unsigned tcCanon120FrameCtrl::readDPAReset() {
    return window.read(kDpaReset) & kLaneMask;
}
void tcCanon120FrameCtrl::setDPAReset(unsigned mask) {
    window.write(kDpaReset, mask & kLaneMask);
}

unsigned tcCanon120FrameCtrl::readDPAFifoReset() {
    return window.read(kDpaFifoReset) & kLaneMask;
}
void tcCanon120FrameCtrl::setDPAFifoReset(unsigned mask) {
    window.write(kDpaFifoReset, mask & kLaneMask);
}

unsigned tcCanon120FrameCtrl::readDPAHold() {
    return window.read(kDpaHold);
}
void tcCanon120FrameCtrl::setDPAHold(unsigned mask) {
    window.write(kDpaHold, mask & kLaneMask);
}

unsigned tcCanon120FrameCtrl::readDPALock() {
    return window.read(kDpaLock) & kLaneMask;
}

void tcCanon120FrameCtrl::setIndexSync(unsigned value) {
    window.write(kIndexSync, value);
}
void tcCanon120FrameCtrl::setFrameTimestamp(unsigned value) {
    window.write(kFrameTimestamp, value);
}

unsigned tcCanon120FrameCtrl::readBiasSubtract() {
    return window.read(kBiasSubtract);
}
void tcCanon120FrameCtrl::setBiasSubtract(unsigned word) {
    window.write(kBiasSubtract, word);
}

unsigned tcCanon120FrameCtrl::readCoreId() {
    return window.read(kCoreId);
}
unsigned tcCanon120FrameCtrl::readCoreRev() {
    return window.read(kCoreRev);
}
unsigned tcCanon120FrameCtrl::readCoreCaps() {
    return window.read(kCoreCaps);
}

void tcCanon120FrameCtrl::dumpRegisters() {
    std::ostream& out = std::cout;
    out << "FPGA register dump" << std::endl;
    out << "Core enabled:\t" << flag(readCoreEnabled()) << std::endl;
    out << std::hex;
    out << "Core ID:\t0x" << readCoreId() << std::endl;
    out << "Core Rev:\t0x" << readCoreRev() << std::endl;
    out << "Core Caps:\t0x" << readCoreCaps() << std::endl;
    const tsStatus status = readStatus();
    out << "Status: Aligned " << flag(status.aligned) << " Locked " << flag(status.locked)
        << std::endl;
    out << "Lane Inversion:\t0x" << readLaneInversion() << std::endl;
    out << "Irq Flags:\t0x" << readIrqFlags() << std::endl;
    out << "Irq Mask:\t0x" << readIrqMask() << std::endl;
    out << std::dec;
    const tsResolutionConfig resolution = readRoiResCntConfig();
    out << "Roi Res Cnt Cfg:\tH: " << resolution.height << " W: " << resolution.width << std::endl;
    const tsBlankOffsetConfig blank = readBlankOffsetConfig();
    out << "Blank Cfg:\tV: " << blank.vertical << " H: " << blank.horizontal << std::endl;
    const tsRoiConfig roi = readRoiConfig();
    out << "ROI Cfg:\tx: " << roi.x << " y: " << roi.y << std::endl;
    out << std::hex;
    out << "DPA Reset:\t0x" << readDPAReset() << std::endl;
    out << "DPA Fifo Reset:\t0x" << readDPAFifoReset() << std::endl;
    out << "DPA Hold:\t0x" << readDPAHold() << std::endl;
    out << "DPA Lock:\t0x" << readDPALock() << std::endl;
    out << "Write Faults:\t0x" << readWriteFaults() << std::endl;
    out << "Bias Subtract:\t0x" << readBiasSubtract() << std::endl;
    out << std::dec;
}
