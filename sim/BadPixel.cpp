// Bad-pixel replacement core on the simulated head.
#include "fpgacores/tcBadPixelReplacement.h"

#include "sim/HeadImpl.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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
    if (const auto replayed = sim::replay::coreCall("tcBadPixelReplacement", "initialize")) {
        sim::Head::Impl& h = head();
        std::lock_guard<std::mutex> lock(h.mutex);
        h.badPixelReady = sim::replay::number(*replayed) != 0;
        return h.badPixelReady;
    }
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    ++h.badPixel.initializeCalls;
    h.badPixelReady = !h.config.badPixelDown && !h.config.memoryAbsent;
    return h.badPixelReady;
}

void tcBadPixelReplacement::reset(bool reset) {
    sim::replay::coreCall("tcBadPixelReplacement", "reset");
    // Pulses due before the reset see the old state.
    sim::CoreCall h(&sim::Head::Impl::badPixelReady, "tcBadPixelReplacement", "reset",
                    sim::CoreCall::Pulses::first);
    h->badPixel.reset = reset;
}

void tcBadPixelReplacement::setColor(bool color) {
    sim::replay::coreCall("tcBadPixelReplacement", "setColor");
    sim::CoreCall h(&sim::Head::Impl::badPixelReady, "tcBadPixelReplacement", "setColor");
    h->badPixel.color = color;
}

void tcBadPixelReplacement::setRoi(Vistrel::ROI roi) {
    sim::replay::coreCall("tcBadPixelReplacement", "setRoi");
    sim::CoreCall h(&sim::Head::Impl::badPixelReady, "tcBadPixelReplacement", "setRoi");
    h->badPixel.roi = roi;
}

void tcBadPixelReplacement::setData(std::string data) {
    sim::replay::coreCall("tcBadPixelReplacement", "setData");
    // The core reads the map file itself; its own default map is built in.
    const bool readable = data.empty() || data == defaultData() || access(data.c_str(), R_OK) == 0;
    const int error = errno;
    sim::CoreCall h(&sim::Head::Impl::badPixelReady, "tcBadPixelReplacement", "setData");
    h->badPixel.dataLog.push_back(data);
    if (!readable) {
        std::fprintf(stderr, "tcBadPixelReplacement::setData: %s: %s\n", data.c_str(),
                     std::strerror(error));
        std::fflush(stderr);
        h->violate("bad-pixel-map-unreadable",
                   "map file \"" + data + "\" cannot be opened: " + std::strerror(error));
        return; // the map in use stays
    }
    h->badPixel.data = std::move(data);
}

std::string tcBadPixelReplacement::defaultData() {
    if (const auto replayed = sim::replay::coreCall("tcBadPixelReplacement", "defaultData"))
        return *replayed;
    return "bad_pixel_default.map";
}

void tcBadPixelReplacement::setMapState(bool on) {
    sim::replay::coreCall("tcBadPixelReplacement", "setMapState");
    sim::CoreCall h(&sim::Head::Impl::badPixelReady, "tcBadPixelReplacement", "setMapState");
    h->badPixel.mapState = on;
}

int tcBadPixelReplacement::mapState() {
    if (const auto replayed = sim::replay::coreCall("tcBadPixelReplacement", "mapState"))
        return static_cast<int>(sim::replay::number(*replayed));
    sim::CoreCall h(&sim::Head::Impl::badPixelReady, "tcBadPixelReplacement", "mapState");
    return h->badPixel.mapState ? 1 : 0;
}

int tcBadPixelReplacement::onState() {
    if (const auto replayed = sim::replay::coreCall("tcBadPixelReplacement", "onState"))
        return static_cast<int>(sim::replay::number(*replayed));
    sim::CoreCall h(&sim::Head::Impl::badPixelReady, "tcBadPixelReplacement", "onState");
    return h->badPixel.data.empty() ? 0 : 1;
}

void tcBadPixelReplacement::dumpRegisters() {
    sim::replay::coreCall("tcBadPixelReplacement", "dumpRegisters");
    const sim::BadPixelState state = sim::Head::instance().badPixel();
    std::printf("BPR control 0x%x map 0x%x dma 0x%x memory 0x%x\n", controlBase, mapBase, dmaBase,
                memoryBase);
    std::printf("BPR data \"%s\" on %d map %d color %d reset %d\n", state.data.c_str(),
                state.data.empty() ? 0 : 1, state.mapState ? 1 : 0, state.color ? 1 : 0,
                state.reset ? 1 : 0);
    std::printf("BPR roi %s of %s\n", state.roi.toString().c_str(), fullFrame.toString().c_str());
    std::fflush(stdout);
}
