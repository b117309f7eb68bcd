// The simulated head: its memory image, its logs and the getters tests and camhost use.
#include "sim/HeadImpl.h"

#include "sim/Environment.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace sim {
namespace {

std::atomic<uint64_t> generation{0};

std::string tempRoot() {
    const char* dir = std::getenv("TMPDIR");
    return (dir != nullptr && *dir != '\0') ? dir : "/tmp";
}

void removeTempFilesAtExit() {
    Head::Impl& state = Head::instance().impl();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.releaseMemory();
}

} // namespace

namespace detail {
uint64_t resetGeneration() {
    return generation.load();
}
} // namespace detail

const char* gpioNameOfPin(unsigned int pin) {
    switch (pin) {
    case kPinXreset:
        return "XRESET";
    case kPinMclkEnable:
        return "MCLK_ENABLE";
    case kPinTriggerIn:
        return "TRIGGER_IN";
    default:
        return nullptr;
    }
}

Head& Head::instance() {
    // Never destroyed: notification threads may still reach the head while the process
    // exits. The temporary files are removed by an exit handler instead.
    static Head* const head = [] {
        Head* created = new Head();
        std::atexit(removeTempFilesAtExit);
        return created;
    }();
    // Once the head exists, so that a reset may reach it.
    static const bool environmentRead = (detail::applyEnvironment(*head), true);
    (void)environmentRead;
    return *head;
}

Head::Head() : state(std::make_unique<Impl>()) {}
Head::~Head() = default;

Head::Impl& Head::impl() {
    return *state;
}

void Head::Impl::releaseMemory() {
    if (window != nullptr)
        munmap(window, kWindowEnd - kWindowBase);
    window = nullptr;
    if (memFd >= 0)
        close(memFd);
    memFd = -1;
    if (!memPath.empty())
        unlink(memPath.c_str());
    if (!tempDir.empty())
        rmdir(tempDir.c_str());
    memPath.clear();
    realMemPath.clear();
    tempDir.clear();
}

void Head::Impl::createMemory() {
    std::string pattern = tempRoot() + "/camsim-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("sim: cannot create the memory directory: " +
                                 std::string(std::strerror(errno)));
    tempDir = pattern;
    memPath = tempDir + "/mem";
    char* resolved = realpath(tempDir.c_str(), nullptr);
    realMemPath = (resolved != nullptr ? std::string(resolved) : tempDir) + "/mem";
    std::free(resolved);
    memFd = open(memPath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (memFd < 0)
        throw std::runtime_error("sim: cannot create " + memPath + ": " + std::strerror(errno));
    // Sparse: only the pages the FPGA windows touch take space.
    if (ftruncate(memFd, static_cast<off_t>(kWindowEnd)) != 0)
        throw std::runtime_error("sim: cannot size " + memPath + ": " + std::strerror(errno));
    void* mapped = mmap(nullptr, kWindowEnd - kWindowBase, PROT_READ | PROT_WRITE, MAP_SHARED,
                        memFd, static_cast<off_t>(kWindowBase));
    if (mapped == MAP_FAILED)
        throw std::runtime_error("sim: cannot map " + memPath + ": " + std::strerror(errno));
    window = mapped;
}

uint32_t Head::Impl::word(uint32_t address) const {
    if (window == nullptr || address < kWindowBase || address > kWindowEnd - 4)
        return 0;
    // The plug-in reaches the same words through its own mapping: one 32-bit access.
    auto* cell =
        reinterpret_cast<uint32_t*>(static_cast<char*>(window) + ((address - kWindowBase) & ~3u));
    return __atomic_load_n(cell, __ATOMIC_SEQ_CST);
}

void Head::Impl::setWord(uint32_t address, uint32_t value) {
    if (window == nullptr || address < kWindowBase || address > kWindowEnd - 4)
        return;
    auto* cell =
        reinterpret_cast<uint32_t*>(static_cast<char*>(window) + ((address - kWindowBase) & ~3u));
    __atomic_store_n(cell, value, __ATOMIC_SEQ_CST);
}

void Head::Impl::traceAt(Micros time, const std::string& signal, uint64_t value) {
    trace.push_back(TraceEvent{time, signal, value});
}

void Head::reset(const HeadConfig& config) {
    Impl& s = *state;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.releaseMemory();
        s.config = config;
        s.chip.clear();
        s.spiFrames.clear();
        s.spiConfig.reset();
        s.tracedFrameState = -1;
        s.gpioLevels.clear();
        s.gpioEdges.clear();
        s.ignoredGpioPins.clear();
        s.setEdge.reset();
        s.triggerEdge.reset();
        s.adcReads.clear();
        s.pwm = PwmState{};
        s.pwmModel = PwmModel{};
        s.pixelShift = PixelShiftState{};
        s.badPixel = BadPixelState{};
        s.frameOutput.clear();
        s.trace.clear();
        s.status.clear();
        s.rx = ReceiverModel{};
        s.frames = frames::FrameModel{};
        detail::restartClock();
        generation.fetch_add(1);

        s.createMemory();
        s.setWord(kWindowBase + 0, config.sysId[0]);
        s.setWord(kWindowBase + 4, config.sysId[1]);
        s.setWord(kPllWord, config.pllWord);
        s.setWord(frame::base + frame::coreId, config.coreId);
        s.setWord(frame::base + frame::coreRev, config.coreRev);
        s.setWord(frame::base + frame::coreCaps, config.coreCaps);
        s.violations.clear();
        s.pulseBreach = false;
        s.gpioOutputs.clear();
        s.power = SensorPowerModel{};
        s.adcAwake = false;
        s.adcInternalReference = false;
        s.pwmReady = s.pixelShiftReady = s.badPixelReady = false;
        s.mappings.clear();
    }
}

const HeadConfig& Head::config() const {
    return state->config;
}

void Head::configure(const std::function<void(HeadConfig&)>& change) {
    std::lock_guard<std::mutex> lock(state->mutex);
    change(state->config);
    state->stepReceiver();
}

std::string Head::memoryPath() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->config.memoryAbsent)
        return state->tempDir + "/absent/mem"; // no such directory: open fails with ENOENT
    return state->memPath;
}

MemoryFiles Head::memoryFiles() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return MemoryFiles{state->memPath, state->tempDir};
}

uint32_t Head::physicalWord(uint32_t address) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->word(address);
}

void Head::setPhysicalWord(uint32_t address, uint32_t value) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->setWord(address, value);
}

std::map<uint16_t, uint32_t> Head::chipRegisters() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->chip;
}

std::vector<SpiFrame> Head::spiFrames() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return {state->spiFrames.begin(), state->spiFrames.end()};
}

std::optional<SpiConfigSeen> Head::lastSpiConfiguration() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->spiConfig;
}

int Head::gpioPin(const std::string& name) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->config.absentGpios.count(name) != 0)
        return -1;
    for (int pin : {kPinXreset, kPinMclkEnable, kPinTriggerIn})
        if (name == gpioNameOfPin(static_cast<unsigned int>(pin)))
            return pin;
    return -1;
}

int Head::gpioLevel(const std::string& name) const {
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->gpioLevels.find(name);
    return found == state->gpioLevels.end() ? -1 : found->second;
}

std::vector<GpioEdge> Head::gpioEdges() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->gpioEdges;
}

std::vector<unsigned int> Head::ignoredGpioPins() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->ignoredGpioPins;
}

std::optional<SetEdgeCall> Head::lastSetEdge() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->setEdge;
}

std::optional<int> Head::triggerEdge() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->triggerEdge;
}

std::vector<std::pair<Micros, int>> Head::adcReads() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->adcReads;
}

PwmState Head::pwm() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->pwm;
}

PixelShiftState Head::pixelShift() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->pixelShift;
}

BadPixelState Head::badPixel() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->badPixel;
}

std::vector<std::pair<char, int>> Head::frameOutputCalls() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->frameOutput;
}

std::vector<TraceEvent> Head::trace() const {
    std::vector<TraceEvent> events;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        events.assign(state->trace.begin(), state->trace.end());
    }
    // Pulses are recorded when the clock passes them, after later-stamped events.
    std::stable_sort(events.begin(), events.end(),
                     [](const TraceEvent& a, const TraceEvent& b) { return a.time < b.time; });
    return events;
}

std::vector<StatusLine> Head::statusLines() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return {state->status.begin(), state->status.end()};
}

void Head::clearStatusLines() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->status.clear();
}

void Head::clearLogs() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->spiFrames.clear();
    state->trace.clear();
    state->status.clear();
}

void Head::step() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->stepReceiver();
    state->stepPwm(Clock::now());
}

namespace detail {
void afterSleep() {
    Head::Impl& s = Head::instance().impl();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.stepReceiver();
    s.stepPwm(Clock::now());
}
} // namespace detail

} // namespace sim
