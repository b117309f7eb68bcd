// ADS7828 rail ADC on the simulated head: one chip, on I2C bus 1 at address 0x49, with a
// 2.5 V internal reference. It converts only once woken with its reference on.
#include "Tarnis/tcADS7828.h"

#include "sim/HeadImpl.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace Tarnis {
namespace {

constexpr int kBus = 1;
constexpr int kAddress = 0x49;
constexpr float kInternalReference = 2.5f;

// Called with the head's mutex held.
bool present(const sim::HeadConfig& config, int bus, int address) {
    return !config.adcAbsent && bus == kBus && address == kAddress;
}

} // namespace

tcADS7828::tcADS7828(int i2cBus, int address_, float referenceVolts)
    : bus(i2cBus), address(address_), reference(referenceVolts) {}

tcADS7828::~tcADS7828() = default;

int tcADS7828::SetPowerDown(bool powerDown) {
    sim::Head::Impl& h = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (!present(h.config, bus, address))
        return -1; // nobody acknowledges
    h.adcAwake = !powerDown;
    return 0;
}

int tcADS7828::SetInternalReference(bool internal) {
    sim::Head::Impl& h = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (!present(h.config, bus, address))
        return -1;
    h.adcInternalReference = internal;
    return 0;
}

int tcADS7828::Volts(int channel, float& volts, bool singleEnded) {
    if (channel < 0 || channel > 7)
        return -1;
    // Replayed: "VOLTS RESULT" as the record has them.
    if (const auto replayed = sim::replay::active()
                                  ? sim::replay::next(sim::replay::adc(channel, singleEnded))
                                  : std::nullopt) {
        char* rest = nullptr;
        volts = std::strtof(replayed->value.c_str(), &rest);
        return static_cast<int>(std::strtol(rest, nullptr, 0));
    }
    sim::Head::Impl& h = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (!present(h.config, bus, address)) {
        h.violate("adc-no-device", "conversion of channel " + std::to_string(channel) +
                                       " on I2C bus " + std::to_string(bus) + " address " +
                                       std::to_string(address) + ", where no ADS7828 sits");
        return -1;
    }
    if (!h.adcAwake || !h.adcInternalReference) {
        h.violate("adc-not-ready",
                  "conversion of channel " + std::to_string(channel) + " before " +
                      (h.adcAwake ? "the internal reference was set" : "power-down was cleared"));
        return -1;
    }
    // The chip converts against its own reference; the driver scales by the one it was given.
    // Differential: the channel against its pair partner (0-1, 2-3, 4-5, 6-7); the chip is
    // unipolar, so a negative difference reads 0. (Ours: the pairing as the datasheet's
    // channel-select table gives it, the polarity taken from the channel asked for.)
    const auto rail = [&h](int line) {
        return h.config.railVolts[static_cast<size_t>(line)] * sim::railLevel(h, line);
    };
    const float input =
        singleEnded ? rail(channel) : std::max(0.0f, rail(channel) - rail(channel ^ 1));
    volts = input * (reference / kInternalReference);
    h.adcReads.emplace_back(sim::Clock::now(), channel);
    return 0;
}

} // namespace Tarnis
