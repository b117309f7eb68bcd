// SPI device on the simulated head: 5-byte write frames decoded into the chip's registers;
// the chip latches only those its reset, clock and port rules allow (SensorRules.cpp). A
// transfer takes the bus for its true length and blocks its caller for it, so frames sent
// one after another follow each other on the head's clock as on the wire.
#include "tcSPIDevice.h"

#include "sim/BrokenFramework.h"
#include "sim/HeadImpl.h"

#include <string>
#include <utility>

namespace {

constexpr int kSimHandle = 1000; // nothing is opened; any non-negative handle means open
constexpr uint8_t kMarker = 0x80;
constexpr uint16_t kFrameStateRegister = 0x03;
constexpr unsigned kFrameStateShift = 18;
constexpr uint32_t kFrameStateMask = 0x7;

// The port leaves chip select inactive this long between two transfers (ours): one
// transfer's end and the next one's start never fall on one instant.
constexpr sim::Micros kChipSelectIdle{1};

// Chip select is active for the transfer's bits at the port's clock and for the delay the
// port keeps after the last bit (spidev's delay_usecs), as the configured port sends them.
sim::Micros strobeOf(const tsSPIConfiguration& port, unsigned int count) {
    const long long hz = port.speedHz > 0 ? port.speedHz : 1000000;
    const long long bits = 8LL * count;
    return sim::Micros((bits * 1000000 + hz - 1) / hz + port.delayUsecs);
}

// Values a driver must overwrite: one that forgets a field keeps an unusable one.
tsSPIConfiguration powerOnConfiguration() {
    tsSPIConfiguration junk;
    junk.mode = 3;
    junk.lsbFirst = 1;
    junk.bitsPerWord = 16;
    junk.speedHz = 1000000;
    junk.delayUsecs = 7;
    return junk;
}

// The configuration as this device reads the caller's record. A device whose record has
// lsbFirst and bitsPerWord in each other's place (the spi-swapped stand-in) reads each from
// the other's byte; the same swap turns its own record back into the caller's layout.
tsSPIConfiguration asDeviceReadsIt(tsSPIConfiguration configuration) {
    if (sim::broken::has(sim::broken::Fault::spiSwapped))
        std::swap(configuration.lsbFirst, configuration.bitsPerWord);
    return configuration;
}

// One transfer taking chip select now for strobe: logged, traced and, when the chip takes
// it, latched. Answers strobe. Call with the head's mutex held.
sim::Micros transfer(sim::Head::Impl& h, const unsigned char* bytes, unsigned int count,
                     sim::Micros strobe) {
    const sim::Micros now = sim::Clock::now();
    sim::SpiFrame frame{now,
                        std::vector<uint8_t>(bytes, bytes + count),
                        false,
                        0,
                        0,
                        strobe,
                        now + strobe + kChipSelectIdle};
    if (count == 5) {
        frame.reg = static_cast<uint16_t>(((bytes[0] & 0x7F) << 4) | (bytes[1] >> 4));
        frame.value = (static_cast<uint32_t>(bytes[1] & 0x0F) << 24) |
                      (static_cast<uint32_t>(bytes[2]) << 16) |
                      (static_cast<uint32_t>(bytes[3]) << 8) | bytes[4];
        frame.wellFormed = (bytes[0] & kMarker) != 0;
    }
    h.stepPwm(frame.time); // pulses until now ran under the frame state before this frame
    h.spiFrames.push_back(frame);
    h.traceAt(frame.time, "spi.strobe", 1);
    if (!frame.wellFormed)
        h.violate("spi-malformed-frame",
                  count != 5 ? std::to_string(count) + "-byte frame, where the sensor takes 5"
                             : "frame without the marker bit (bit 39)");
    if (frame.wellFormed && sim::spiFrameLatched(h, frame)) {
        // The chip latches only complete frames.
        h.chip[frame.reg] = frame.value;
        h.traceAt(frame.time, "spi.reg", frame.reg);
        h.traceAt(frame.time, "spi.value", frame.value);
        if (frame.reg == kFrameStateRegister) {
            const int state = static_cast<int>((frame.value >> kFrameStateShift) & kFrameStateMask);
            if (state != h.tracedFrameState) {
                h.tracedFrameState = state;
                h.traceAt(frame.time, "sensor.frameState", static_cast<uint64_t>(state));
            }
        }
    }
    h.traceAt(frame.time + strobe, "spi.strobe", 0);
    return strobe;
}

} // namespace

tcSPIDevice::tcSPIDevice(const std::string& path_)
    : path(path_), handle(-1), current(powerOnConfiguration()) {
    sim::Head::Impl& h = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    handle = h.config.spiClosed ? -1 : kSimHandle;
}

tcSPIDevice::~tcSPIDevice() = default;

bool tcSPIDevice::isOpen() const {
    return handle >= 0;
}

tsSPIConfiguration tcSPIDevice::getConfiguration() const {
    return asDeviceReadsIt(current);
}

bool tcSPIDevice::setConfiguration(tsSPIConfiguration& configuration) {
    if (handle < 0)
        return false;
    sim::Head::Impl& h = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.config.spiRefuseConfig)
        return false;
    // The port keeps what it was given as a driver does: the bit order is a flag.
    current = asDeviceReadsIt(configuration);
    current.lsbFirst = current.lsbFirst != 0 ? 1 : 0;
    h.spiConfig =
        sim::SpiConfigSeen{current.mode, current.lsbFirst, current.bitsPerWord, current.speedHz};
    return true;
}

int tcSPIDevice::write(const unsigned char* bytes, unsigned int count) {
    if (handle < 0 || (bytes == nullptr && count > 0))
        return -1;
    sim::Micros busy{0};
    {
        sim::Head::Impl& h = sim::Head::instance().impl();
        std::lock_guard<std::mutex> lock(h.mutex);
        busy = transfer(h, bytes, count, strobeOf(current, count));
    }
    // The write blocks its caller, as the driver's does, until chip select is released.
    sim::Clock::sleepFor(busy + kChipSelectIdle);
    return static_cast<int>(count);
}
