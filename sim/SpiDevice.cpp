// SPI device on the simulated head: 5-byte write frames decoded into the chip's registers;
// the chip latches only those its reset, clock and port rules allow (SensorRules.cpp).
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
    sim::Head::Impl& h = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    sim::SpiFrame frame{sim::Clock::now(), std::vector<uint8_t>(bytes, bytes + count), false, 0, 0};
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
    h.traceAt(frame.time, "spi.strobe", 0);
    return static_cast<int>(count);
}
