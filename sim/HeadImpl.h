#pragma once
// The simulated head's state, shared by the stand-ins in sim/. Every field is guarded by
// mutex; the stand-ins lock it for each record and never while sleeping.
#include "sim/Replay.h"
#include "sim/SimHead.h"
#include "sim/frames/FrameModel.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

// Range of the simulated physical memory that the head maps itself.
constexpr uint32_t kWindowBase = 0xFF200000;
constexpr uint32_t kWindowEnd = 0xFF220000; // also the size of the memory file
constexpr uint32_t kPllWord = 0xFF204000 + 0x300;

// Frame-receiver bits the model drives.
constexpr uint32_t kRxEnable = 1u << 31;
constexpr uint32_t kRxPllLocked = 1u << 0;
constexpr uint32_t kRxAligned = 1u << 1;
constexpr uint32_t kAllLanes = 0x0FFFFFFF;

// GPIO lines of the simulated board by device-tree name.
constexpr int kPinXreset = 40, kPinMclkEnable = 41, kPinTriggerIn = 42;
// The framework numbers the board's I/O pins 0 to 3 (the pin count handed to its base) and
// the base's GPIO object takes those numbers; on this head I/O pin 0 is wired to the
// trigger input (TRIGGER_IN). Ours: the plug-in's pin table names the trigger input in its
// entry 0, and that entry is 0.
constexpr int kTriggerIoPin = 0;
const char* gpioNameOfPin(unsigned int pin); // null for an unknown pin

struct PwmModel {
    Micros phaseStart{0};      // enable time, or the last pulse before a period change
    long long index = 0;       // pulses since phaseStart
    long long waitedIndex = 0; // last pulse a wait has answered for
    uint64_t epoch = 0;        // bumped by every enable, disable and period change
};

constexpr int kLanes = 28;

struct ReceiverModel {
    bool enabled = false;
    std::optional<Micros> pllReadySince;   // enabled with the sensor running since
    std::optional<Micros> alignReadySince; // every lane locked and held, FIFOs running
    uint32_t trained = 0;                  // lanes whose DPA reset was released properly
    std::array<Micros, kLanes> trainedAt{};
    bool locked = false;
    bool aligned = false;
    uint32_t dpaLock = 0; // as last traced
};

// The sensor's reset and supplies as its power rules see them (SensorRules.cpp). An
// undriven line reads low: the sensor is in reset, its clock off, from the head's reset.
struct SensorPowerModel {
    Micros resetLowSince{0};
    Micros clockOffSince{0};
    std::optional<Micros> resetHighSince; // supplies on since (XRESET released)
    bool resetTaken = false;              // that release ended a full reset pulse
};

struct Head::Impl {
    mutable std::mutex mutex;
    HeadConfig config;

    // Memory image.
    std::string tempDir;
    std::string memPath;
    int memFd = -1;
    void* window = nullptr; // kWindowBase..kWindowEnd of the memory file

    std::map<uint16_t, uint32_t> chip;
    // The logs that grow with every register write are deques: a long run appends to them
    // in constant time, where a vector's growth copied the whole log under the head mutex
    // and stalled every caller of the head for tens of milliseconds.
    std::deque<SpiFrame> spiFrames;
    std::optional<SpiConfigSeen> spiConfig;
    int tracedFrameState = -1;

    std::map<std::string, int> gpioLevels;
    std::vector<GpioEdge> gpioEdges;
    std::vector<unsigned int> ignoredGpioPins;
    std::optional<SetEdgeCall> setEdge; // the last SetEdge call, whatever its pin
    std::optional<int> triggerEdge;     // the edge mode set on the trigger input
    std::vector<std::pair<Micros, int>> adcReads;

    PwmState pwm;
    PwmModel pwmModel;
    PixelShiftState pixelShift;
    BadPixelState badPixel;
    std::vector<std::pair<char, int>> frameOutput;
    std::deque<TraceEvent> trace;
    std::deque<StatusLine> status;
    ReceiverModel rx;
    frames::FrameModel frames; // delivered frames, fed by stepPwm
    std::vector<Violation> violations;
    bool pulseBreach = false; // a pulses-unaligned stretch is being logged once

    // Hardware state the rules need.
    std::set<std::string> gpioOutputs; // lines set as outputs
    SensorPowerModel power;
    bool adcAwake = false; // power-down cleared
    bool adcInternalReference = false;
    bool pwmReady = false, pixelShiftReady = false, badPixelReady = false; // reported so
    std::string realMemPath;             // memPath with links resolved
    std::vector<MemoryMapping> mappings; // cache of the plug-in's mappings

    // All below: call with mutex held.
    void traceAt(Micros time, const std::string& signal, uint64_t value);
    void traceNow(const std::string& signal, uint64_t value) {
        traceAt(Clock::now(), signal, value);
    }
    uint32_t word(uint32_t address) const;
    void setWord(uint32_t address, uint32_t value);
    void stepPwm(Micros now);
    // Brings the frame receiver's status and lock words to the state as of now.
    void stepReceiver();
    // A write of value over old at a receiver register: training steps and their order.
    void receiverWritten(uint32_t offset, uint32_t old, uint32_t value);
    void violate(const char* rule, const std::string& reason);
    // The same for a breach found after the fact (a pulse the models step through later).
    void violateAt(Micros time, const char* rule, const std::string& reason);
    // Frame state (register 0x03 bits 20..18) the chip holds; 0 when never written.
    int chipFrameState() const;
    // False, with the breach logged, for a core used before it reported itself ready.
    bool coreReady(bool reported, const char* core, const char* operation);
    void releaseMemory();
    void createMemory();
};

// The head locked for one call of an FPGA core's stand-in. The plug-in may use a core only
// once it reported itself ready; a breach is logged on entry, after the pulses due by now
// for a call that changes what they see. A null reported marks an operation the contract
// lets a host use before it asked (stopping a core: disabling the pulse generator, holding
// the pixel shift in reset).
class CoreCall {
public:
    enum class Pulses { later, first };
    CoreCall(bool Head::Impl::*reported, const char* core, const char* operation,
             Pulses pulses = Pulses::later)
        : h(Head::instance().impl()), lock(h.mutex) {
        if (pulses == Pulses::first)
            h.stepPwm(Clock::now());
        if (reported != nullptr)
            h.coreReady(h.*reported, core, operation);
    }
    Head::Impl* operator->() { return &h; }

    // A core's answer whether it is initialised, remembered for the calls after: yes unless
    // its fault is set or the memory device, which every core maps, is absent.
    // Under a replay, the record's answer.
    static bool answer(bool Head::Impl::*reported, bool HeadConfig::*down, const char* core) {
        const std::optional<std::string> replayed = replay::coreCall(core, "initialized");
        Head::Impl& h = Head::instance().impl();
        std::lock_guard<std::mutex> lock(h.mutex);
        h.*reported =
            replayed ? replay::number(*replayed) != 0 : !(h.config.*down) && !h.config.memoryAbsent;
        return h.*reported;
    }

private:
    Head::Impl& h;
    std::lock_guard<std::mutex> lock;
};

// False, with the breach logged, when the chip ignores frame: port not set up for it, the
// sensor in reset, or its master clock off or not yet settled. Call with mutex held.
bool spiFrameLatched(Head::Impl& h, const SpiFrame& frame);

// A sensor line (XRESET, MCLK_ENABLE) driven from level before to level now: the reset
// pulse and clock rules. Call with mutex held.
void sensorLineDriven(Head::Impl& h, const std::string& name, int before, int level);
// How far the sensor's switched supply rail of an ADC channel has come up, 0 to 1; 1 for
// a channel that measures an input supply. Call with mutex held.
float railLevel(const Head::Impl& h, int channel);

// GPIO directions: a line drives only once it is an output (the breach is logged).
void setGpioDirection(unsigned int pin, bool output);
bool gpioMayDrive(unsigned int pin, int value);

namespace detail {
// Clock back at 0 (virtual) and its real epoch at now.
void restartClock();
// Called by Clock::sleepFor after the delay: steps the models to the new time.
void afterSleep();
// The plug-in's register accessors (platform hooks), and the cache of its mappings they
// use, forgotten whenever the plug-in asks for the memory device to map it anew.
uint32_t readRegister(const volatile uint32_t* address);
void writeRegister(volatile uint32_t* address, uint32_t value);
void forgetMappings();
// Bumped at every head reset: register-file words written before it are forgotten.
uint64_t resetGeneration();
} // namespace detail

} // namespace sim
