// Pixel-shift core on the simulated head.
#include "fpgacores/tcPixelShift.h"

#include "sim/HeadImpl.h"

namespace {
sim::Head::Impl& head() {
    return sim::Head::instance().impl();
}
} // namespace

tcPixelShift::tcPixelShift(unsigned int base_) : base(base_) {}

tcPixelShift::~tcPixelShift() = default;

bool tcPixelShift::initialized() const {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    return !h.config.pixelShiftDown;
}

void tcPixelShift::reset(bool reset) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.stepPwm(sim::Clock::now()); // pulses due before the reset see the old state
    h.pixelShift.reset = reset;
    h.pixelShift.resetLog.push_back(reset);
}

void tcPixelShift::setShift(teShiftDirection direction, unsigned char bits) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.pixelShift.direction = static_cast<int>(direction);
    h.pixelShift.bits = bits;
}
