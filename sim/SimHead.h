#pragma once
// The simulated camera head: one per process, behind the stand-ins of the framework,
// board-support and FPGA-core libraries. Tests and camhost configure it before building a
// board, then observe what reached the "hardware".
//
// Time: every stand-in and every plug-in delay runs on sim::Clock. On the virtual clock
// a sleep advances time at once, so a 300 ms reset or a 20 s lock timeout costs nothing.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Vistrel/ROI.h"

namespace sim {

using Micros = std::chrono::microseconds;

class Clock {
public:
    // Virtual: sleeps advance the clock immediately. Real: sleeps really wait.
    static void useVirtualTime(bool on);
    static bool isVirtual();
    // Time since the head was last reset.
    static Micros now();
    // A hardware delay: advances (or waits) the clock, then steps the head's models.
    static void sleepFor(Micros duration);
};

// How the register file delivers a word's notification: on the writer's thread without a
// lock, on the writer's thread holding the register file's recursive lock (which the
// observers' registration also takes), from a notification thread of its own, or on the
// writer's thread holding a non-recursive lock across the store and the notification
// (strictLock: a word written from inside its own notification on that thread would
// deadlock a real register file; the head logs "regfile-reentrant" and drops the word).
enum class RegisterFileMode { direct, locked, thread, strictLock };

// Fault and hardware set-up of a head. Defaults give a healthy head.
struct HeadConfig {
    // ADC input volts per channel (in range for every rail by default).
    std::array<float, 8> railVolts{2.49f, 1.90f, 1.75f, 1.70f, 1.65f, 1.75f, 1.70f, 2.50f};
    // Frame receiver, on the head's clock. The PLL locks this long after the core is
    // enabled with the sensor out of reset and clocked; std::nullopt never.
    std::optional<Micros> pllLockDelay = Micros(0);
    // Lanes whose DPA locks once trained (all 28 by default), and the plug-in's 10 ms DPA
    // polls over which the locked set grows to it, lowest lanes first (0: at once).
    uint32_t dpaLockMask = 0x0FFFFFFF;
    int dpaLockPolls = 0;
    // Lanes the board inverts between the sensor and the receiver, one bit a lane: a lane
    // trains only when the receiver's lane inversion (0x08) matched it at the release of its
    // DPA reset, and loses its lock when that bit changes. The sample configuration's mask.
    uint32_t laneInversion = 0x0200443A;
    // The deserializer aligns this long after every lane is locked and held with its FIFO
    // running; std::nullopt never.
    std::optional<Micros> alignDelay = Micros(0);
    bool memoryAbsent = false;    // the memory device cannot be opened
    bool adcAbsent = false;       // no rail ADC answers on the I2C bus
    bool spiClosed = false;       // the SPI device is not open
    bool spiRefuseConfig = false; // the SPI device refuses its configuration
    std::array<uint32_t, 2> sysId{0x00001234, 0x5E6F7A8B};
    uint32_t pllWord = 0x00000C0C; // PLL block word 0xC0
    uint32_t coreId = 0x0120CA11, coreRev = 0x00010002, coreCaps = 0x0000001C;
    bool pwmDown = false, pixelShiftDown = false, badPixelDown = false;
    // Clock the PWM core counts its period and duty ticks at; std::nullopt: the one the
    // plug-in constructed it with.
    std::optional<double> pwmClockMhz;
    std::set<std::string> absentGpios; // device-tree names that do not resolve
    int frameOutputQ = 0x0123;         // answer of the frame-output object's Q()
    bool echoStatus = false;           // also print status lines to standard output
    RegisterFileMode registerFileMode = RegisterFileMode::direct;
};

struct StatusLine {
    std::optional<int> status; // null for the status-less form
    std::string text;
};

struct SpiFrame {
    Micros time; // chip select taken
    std::vector<uint8_t> bytes;
    bool wellFormed; // 5 bytes with the marker bit set
    uint16_t reg;    // 11-bit register number
    uint32_t value;  // 28-bit value
    // How long chip select stays active: the bits at the port's clock, then its delay.
    Micros strobe{0};
    // When the write returned to its caller: chip select released and the port idle again.
    Micros released{0};
};

// The time the frames from index first on kept their writers blocked on the bus (from
// chip select taken to the write's return): a caller's own waits are the rest.
inline Micros busTime(const std::vector<SpiFrame>& frames, size_t first = 0) {
    Micros total{0};
    for (size_t i = first; i < frames.size(); ++i)
        total += frames[i].released - frames[i].time;
    return total;
}

struct GpioEdge {
    Micros time;
    std::string name; // device-tree name
    int level;
};

struct PwmState {
    bool enabled = false;
    bool interruptsEnabled = false;
    bool inverted = false;
    long long periodUs = 0;
    long long dutyUs = 0;
    long long pulses = 0;                           // pulses emitted so far
    long long waits = 0;                            // waitForInterrupt calls
    std::vector<long long> waitTimeoutsUs;          // the timeout of each wait, in order
    std::vector<std::pair<Micros, bool>> enableLog; // time-stamped enableCore calls
};

struct PixelShiftState {
    int direction = -1;
    int bits = -1;
    bool reset = false;
    std::vector<bool> resetLog;
};

struct BadPixelState {
    std::string data;
    std::vector<std::string> dataLog; // every setData argument
    Vistrel::ROI roi{0, 0, 13280, 9184};
    bool color = false;
    bool mapState = false;
    bool reset = false;
    int initializeCalls = 0;
};

struct SpiConfigSeen {
    uint8_t mode, lsbFirst, bitsPerWord;
    uint32_t speedHz;
};

// One change of a traced signal, for waveforms. Signals: "XRESET", "MCLK_ENABLE"
// (line levels), "pwm.enable", "pwm.pulse" (1 then 0 at each pulse), "sensor.frameState"
// (3 bits, from register 0x03 bits 20..18), "spi.strobe", "spi.reg", "spi.value",
// "rx.enable", "rx.pllLocked", "rx.aligned", "dpa.lock" (the receiver's DPA lock word).
struct TraceEvent {
    Micros time;
    std::string signal;
    uint64_t value;
};

// A breach of a hardware rule: what a real head would ignore or do wrong.
struct Violation {
    std::string rule;   // short name, e.g. "spi-in-reset"
    std::string reason; // one line
    Micros time;        // on the head's clock
};

struct SetEdgeCall {
    int pin, flags, mode;
};

// One mapping of the memory file in this process: address range and file offset.
struct MemoryMapping {
    uintptr_t start, end;
    uint64_t fileOffset; // the physical address at start
    size_t length() const { return static_cast<size_t>(end - start); }
};

// The memory file and the folder the head made for it, whatever memoryAbsent says.
struct MemoryFiles {
    std::string file, folder;
};

// Frame-receiver register offsets inside the simulated physical memory.
namespace frame {
constexpr uint32_t base = 0xFF212000;
constexpr uint32_t control = 0x00, status = 0x04, laneInversion = 0x08, irqFlags = 0x10,
                   irqMask = 0x14, roiResolution = 0x18, blankOffset = 0x1C, writeFaults = 0x20,
                   roiStart = 0x24, dpaReset = 0x28, dpaFifoReset = 0x2C, dpaHold = 0x30,
                   dpaLock = 0x34, indexSync = 0x38, frameTimestamp = 0x3C, biasSubtract = 0x40,
                   coreId = 0x200, coreRev = 0x204, coreCaps = 0x208;
} // namespace frame

class Head {
public:
    static Head& instance();

    // A fresh head with the given set-up: new memory image, logs, registers and the
    // register file's words cleared, clock back at 0.
    void reset(const HeadConfig& config = HeadConfig{});
    const HeadConfig& config() const;
    // Changes the set-up of the running head (rails, lock behaviour, faults).
    void configure(const std::function<void(HeadConfig&)>& change);

    // The file the plug-in maps as physical memory (empty when memoryAbsent makes it
    // unreachable, in which case a path that cannot be opened is given).
    std::string memoryPath() const;
    // This process's mappings of the memory file, from the kernel's list: the plug-in's
    // windows and the head's own.
    std::vector<MemoryMapping> memoryMappings() const;
    // For a tool that must remove them itself when it is killed (empty after release).
    MemoryFiles memoryFiles() const;
    // Raw 32-bit word of the simulated physical memory (any mapped block).
    uint32_t physicalWord(uint32_t address) const;
    void setPhysicalWord(uint32_t address, uint32_t value);
    uint32_t frameRegister(uint32_t offset) const { return physicalWord(frame::base + offset); }

    // Sensor chip, as received over SPI.
    std::map<uint16_t, uint32_t> chipRegisters() const;
    std::vector<SpiFrame> spiFrames() const;
    std::optional<SpiConfigSeen> lastSpiConfiguration() const;

    // GPIO lines by device-tree name.
    int gpioPin(const std::string& name) const;   // negative when absent
    int gpioLevel(const std::string& name) const; // -1 when never driven
    std::vector<GpioEdge> gpioEdges() const;
    std::optional<SetEdgeCall> lastSetEdge() const;
    // The edge mode in effect on the trigger input; none when never set there.
    std::optional<int> triggerEdge() const;
    // Pin numbers of GPIO calls made on lines the board does not have (ignored).
    std::vector<unsigned int> ignoredGpioPins() const;

    // ADC conversions: (time, channel) of each Volts call.
    std::vector<std::pair<Micros, int>> adcReads() const;

    PwmState pwm() const;
    PixelShiftState pixelShift() const;
    BadPixelState badPixel() const;
    // Frame-output calls in order: ('P', 2), ('Q', value returned), ('R', 4), ('S', 2).
    std::vector<std::pair<char, int>> frameOutputCalls() const;

    std::vector<TraceEvent> trace() const;

    std::vector<StatusLine> statusLines() const;
    void clearStatusLines();
    // Forgets the SPI frames, trace events and status lines recorded so far, keeping the
    // head's state: a long run that checks as it goes keeps its memory flat.
    void clearLogs();

    // Every breach of a hardware rule since the head was reset, in order.
    std::vector<Violation> violations() const;

    // Steps the time-driven models (frame receiver lock, PWM pulses) to Clock::now().
    void step();

    // Internal: used by the stand-ins.
    struct Impl;
    Impl& impl();

private:
    Head();
    ~Head();
    std::unique_ptr<Impl> state;
};

} // namespace sim
