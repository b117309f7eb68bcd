// Bad-pixel replacement core on the simulated head.
#include "fpgacores/tcBadPixelReplacement.h"

#include "sim/HeadImpl.h"

#include <cstdio>

namespace {
sim::Head::Impl& head() {
    return sim::Head::instance().impl();
}
} // namespace

tcBadPixelReplacement::tcBadPixelReplacement(unsigned int controlBase_, unsigned int mapBase_,
                                             unsigned int dmaBase_, unsigned int memoryBase_,
                                             Vistrel::ROI fullFrame_)
    : controlBase(controlBase_), mapBase(mapBase_), dmaBase(dmaBase_), memoryBase(memoryBase_),
      fullFrame(fullFrame_) {}

tcBadPixelReplacement::~tcBadPixelReplacement() = default;

bool tcBadPixelReplacement::initialize() {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    ++h.badPixel.initializeCalls;
    return !h.config.badPixelDown;
}

void tcBadPixelReplacement::reset(bool reset) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.stepPwm(sim::Clock::now()); // pulses due before the reset see the old state
    h.badPixel.reset = reset;
}

void tcBadPixelReplacement::setColor(bool color) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.badPixel.color = color;
}

void tcBadPixelReplacement::setRoi(Vistrel::ROI roi) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.badPixel.roi = roi;
}

void tcBadPixelReplacement::setData(std::string data) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.badPixel.dataLog.push_back(data);
    h.badPixel.data = std::move(data);
}

std::string tcBadPixelReplacement::defaultData() {
    return "bad_pixel_default.map";
}

void tcBadPixelReplacement::setMapState(bool on) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.badPixel.mapState = on;
}

int tcBadPixelReplacement::mapState() {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    return h.badPixel.mapState ? 1 : 0;
}

int tcBadPixelReplacement::onState() {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    return h.badPixel.data.empty() ? 0 : 1;
}

void tcBadPixelReplacement::dumpRegisters() {
    const sim::BadPixelState state = sim::Head::instance().badPixel();
    std::printf("BPR control 0x%x map 0x%x dma 0x%x memory 0x%x\n", controlBase, mapBase, dmaBase,
                memoryBase);
    std::printf("BPR data \"%s\" on %d map %d color %d reset %d\n", state.data.c_str(),
                state.data.empty() ? 0 : 1, state.mapState ? 1 : 0, state.color ? 1 : 0,
                state.reset ? 1 : 0);
    std::printf("BPR roi %s of %s\n", state.roi.toString().c_str(), fullFrame.toString().c_str());
    std::fflush(stdout);
}
