// Pixel-shift core on the simulated head.
#include "fpgacores/tcPixelShift.h"

#include "sim/HeadImpl.h"

tcPixelShift::tcPixelShift(unsigned int base_) : base(base_) {}

tcPixelShift::~tcPixelShift() = default;

bool tcPixelShift::initialized() const {
    return sim::CoreCall::answer(&sim::Head::Impl::pixelShiftReady,
                                 &sim::HeadConfig::pixelShiftDown, "tcPixelShift");
}

void tcPixelShift::reset(bool reset) {
    sim::replay::coreCall("tcPixelShift", "reset");
    // Pulses due before the reset see the old state. Usable before initialized().
    sim::CoreCall h(nullptr, "tcPixelShift", "reset", sim::CoreCall::Pulses::first);
    h->pixelShift.reset = reset;
    h->pixelShift.resetLog.push_back(reset);
}

void tcPixelShift::setShift(teShiftDirection direction, unsigned char bits) {
    sim::replay::coreCall("tcPixelShift", "setShift");
    sim::CoreCall h(&sim::Head::Impl::pixelShiftReady, "tcPixelShift", "setShift");
    h->pixelShift.direction = static_cast<int>(direction);
    h->pixelShift.bits = bits;
}
