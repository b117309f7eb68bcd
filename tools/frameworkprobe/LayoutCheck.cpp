// Sizes the plug-in was compiled with against what the framework's constructors write: an
// object the framework builds larger than the plug-in reserves overruns the plug-in's memory.
#include "Checks.h"
#include "LayoutFigures.h"
#include "ProbeBoard.h"
#include "Roomy.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace frameworkprobe {
namespace {

// The furthest byte either of two constructions wrote (two patterns: a byte the constructor
// sets to one pattern's value still shows in the other).
template <class T, class Make> std::size_t footprintOf(Make make) {
    std::size_t furthest = 0;
    for (unsigned char pattern : {0xA5, 0x5A}) {
        Roomy<T> object = make(pattern);
        furthest = std::max(furthest, object.footprint());
    }
    return furthest;
}

void reportFootprint(Report& report, const std::string& type, std::size_t compiled,
                     std::size_t written) {
    const std::string assumption = "sizeof " + type + " is " + std::to_string(compiled);
    if (written <= compiled)
        report.ok(assumption, "the framework's constructor wrote nothing past byte " +
                                  std::to_string(compiled));
    else
        report.fail(assumption,
                    "the framework's constructor wrote up to byte " + std::to_string(written),
                    "the framework's size in host/ (the plug-in allocates it itself); "
                    "build LayoutAsserts.cpp against the framework's headers");
}

} // namespace

void checkLayout(Report& report, const std::string& spiPath) {
    using namespace Vistrel;
    reportFootprint(report, "Vistrel::tcSensorBoard", sizeof(tcSensorBoard),
                    footprintOf<tcSensorBoard>(makeProbeBoard));
    reportFootprint(report, "Vistrel::tcMutex", sizeof(tcMutex),
                    footprintOf<tcMutex>([](unsigned char p) { return Roomy<tcMutex>(p, true); }));
    reportFootprint(
        report, "tcSPIDevice", sizeof(tcSPIDevice),
        footprintOf<tcSPIDevice>([&](unsigned char p) { return Roomy<tcSPIDevice>(p, spiPath); }));
    ProbeBoard board = makeProbeBoard();
    std::map<std::string, tcAbstractHandler*> handlers;
    reportFootprint(report, "Vistrel::tcClockHandler", sizeof(tcClockHandler),
                    footprintOf<tcClockHandler>([&](unsigned char p) {
                        return Roomy<tcClockHandler>(p, board.get(), nullptr, &handlers);
                    }));
    report.notCheckable("sizes of tcPwm, tcPixelShift, tcBadPixelReplacement, tcGpioSingle, "
                        "tcADS7828",
                        "constructing one drives the hardware; LayoutAsserts.cpp checks them "
                        "against the framework's headers");
}

void printLayoutFigures() {
    using namespace layout;
    std::printf("Layout the plug-in was compiled with (LayoutAsserts.cpp checks it against "
                "the framework's headers):\n");
#define FRAMEWORKPROBE_PRINT(name, figure, armhf, x64)                                             \
    std::printf("  %-45s %zu\n", name, static_cast<std::size_t>(figure));
    FRAMEWORKPROBE_LAYOUT(FRAMEWORKPROBE_PRINT)
#undef FRAMEWORKPROBE_PRINT
}

} // namespace frameworkprobe
