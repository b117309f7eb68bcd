// ADS7828 rail ADC on the simulated head: each channel reads the configured rail volts.
#include "Tarnis/tcADS7828.h"

#include "sim/HeadImpl.h"

namespace Tarnis {

tcADS7828::tcADS7828(int i2cBus, int address_, float referenceVolts)
    : bus(i2cBus), address(address_), reference(referenceVolts) {}

tcADS7828::~tcADS7828() = default;

int tcADS7828::SetPowerDown(bool) {
    return 0;
}

int tcADS7828::SetInternalReference(bool) {
    return 0;
}

int tcADS7828::Volts(int channel, float& volts, bool) {
    if (channel < 0 || channel > 7)
        return -1;
    sim::Head::Impl& h = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    volts = h.config.railVolts[static_cast<size_t>(channel)];
    h.adcReads.emplace_back(sim::Clock::now(), channel);
    return 0;
}

} // namespace Tarnis
