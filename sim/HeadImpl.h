#pragma once
// The simulated head's state, shared by the stand-ins in sim/. Every field is guarded by
// mutex; the stand-ins lock it for each record and never while sleeping.
#include "sim/SimHead.h"
#include "sim/frames/FrameModel.h"

#include <cstdint>
#include <mutex>

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
const char* gpioNameOfPin(unsigned int pin); // null for an unknown pin

struct PwmModel {
    Micros phaseStart{0};      // enable time, or the last pulse before a period change
    long long index = 0;       // pulses since phaseStart
    long long waitedIndex = 0; // last pulse a wait has answered for
    uint64_t epoch = 0;        // bumped by every enable, disable and period change
};

struct ReceiverModel {
    bool enabled = false;
    long long polls = 0;       // sleeps since the core was seen enabled
    long long alignSleeps = 0; // sleeps since every lane's DPA was seen held
    bool locked = false;
    bool aligned = false;
    uint32_t dpaLock = 0; // as last traced
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
    std::vector<SpiFrame> spiFrames;
    std::optional<SpiConfigSeen> spiConfig;
    int tracedFrameState = -1;

    std::map<std::string, int> gpioLevels;
    std::vector<GpioEdge> gpioEdges;
    std::vector<unsigned int> ignoredGpioPins;
    std::optional<SetEdgeCall> setEdge;
    std::vector<std::pair<Micros, int>> adcReads;

    PwmState pwm;
    PwmModel pwmModel;
    PixelShiftState pixelShift;
    BadPixelState badPixel;
    std::vector<std::pair<char, int>> frameOutput;
    std::vector<TraceEvent> trace;
    std::vector<StatusLine> status;
    ReceiverModel rx;
    frames::FrameModel frames; // delivered frames, fed by stepPwm

    // All below: call with mutex held.
    void traceAt(Micros time, const std::string& signal, uint64_t value);
    void traceNow(const std::string& signal, uint64_t value) {
        traceAt(Clock::now(), signal, value);
    }
    uint32_t word(uint32_t address) const;
    void setWord(uint32_t address, uint32_t value);
    void stepPwm(Micros now);
    void stepReceiver(bool countSleep);
    void releaseMemory();
    void createMemory();
};

namespace detail {
// Clock back at 0 (virtual) and its real epoch at now.
void restartClock();
// Called by Clock::sleepFor after the delay: steps the models, counting one poll when
// slept is true.
void afterSleep(bool slept);
// Bumped at every head reset: register-file words written before it are forgotten.
uint64_t resetGeneration();
} // namespace detail

} // namespace sim
