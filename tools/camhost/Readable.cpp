#include "Readable.h"

#include "FpgaRegisters.h"
#include "Text.h"

#include <cstdio>

namespace camhost {
namespace {

namespace f = fpga::rx;

Json roiJson(const Vistrel::ROI& roi) {
    return Json::array({roi.y, roi.x, roi.width, roi.height});
}

// Bits 31..16 and 15..0 of a two-field receiver register.
Json halves(uint32_t word, const char* high, const char* low) {
    return {{high, word >> 16}, {low, word & 0xFFFF}};
}

} // namespace

Json statusName(int status) {
    switch (status) {
    case 0:
        return "capturing";
    case 1:
        return "stopped";
    case 2:
        return "busy";
    case 3:
        return "idle";
    case 4:
        return "error";
    case 5:
        return "warning";
    case 6:
        return "info";
    default:
        return nullptr;
    }
}

Json resultName(const std::string& command, const Json& result) {
    static const char* const setters[] = {"exposure", "interval", "roi",     "regions",
                                          "bpp",      "color",    "pattern", "trigger",
                                          "start",    "stop",     "peek",    "poke"};
    static const char* const names[] = {"success",          "failure",
                                        "missing argument", "argument out of range",
                                        "invalid state",    "capture in progress",
                                        "operation failed", "not supported"};
    const std::string name = command.substr(0, command.find(' '));
    bool setter = false;
    for (const char* candidate : setters)
        setter = setter || name == candidate;
    if (!setter || !result.is_number_integer())
        return nullptr;
    const long long code = result.get<long long>();
    return code >= 0 && code < 8 ? Json(names[code]) : Json(nullptr);
}

Json receiverHex(const tfReceiverRead& rx) {
    Json text = Json::object();
    for (const auto& [name, offset] : {std::pair<const char*, uint32_t>{"control", f::control},
                                       {"laneInversion", f::laneInversion},
                                       {"roiResolution", f::roiResolution},
                                       {"blankOffset", f::blankOffset},
                                       {"roiStart", f::roiStart},
                                       {"biasSubtract", f::biasSubtract},
                                       {"dpaHold", f::dpaHold},
                                       {"dpaLock", f::dpaLock},
                                       {"status", f::status}})
        text[name] = hexText(rx(offset), 8);
    return text;
}

Json receiverFields(const tfReceiverRead& rx) {
    const uint32_t status = rx(f::status);
    const uint32_t bias = rx(f::biasSubtract);
    constexpr uint32_t kAllLanes = fpga::kAllLanes;
    return {{"coreEnabled", (rx(f::control) >> 31) != 0},
            {"pllLocked", (status & 1) != 0},
            {"aligned", (status & 2) != 0},
            {"invertedLanes", hexText(rx(f::laneInversion) & kAllLanes, 7)},
            {"roiResolution", halves(rx(f::roiResolution), "height", "width")},
            {"blankOffset", halves(rx(f::blankOffset), "vertical", "horizontal")},
            {"roiStart", halves(rx(f::roiStart), "y", "x")},
            {"biasSubtract", {{"enabled", (bias >> 31) != 0}, {"offset", bias & 0x7FFFFFFF}}},
            {"dpaHeldLanes", hexText(rx(f::dpaHold) & kAllLanes, 7)},
            {"dpaLockedLanes", hexText(rx(f::dpaLock) & kAllLanes, 7)}};
}

Json boardSettings(Vistrel::tcSensorBoard& board) try {
    const int trigger = board.getTrigger();
    return {{"region", roiJson(board.getROI())},
            {"imageRegion", roiJson(board.getImageROI())},
            {"trigger", trigger},
            {"triggerName", trigger == 0   ? Json("free running")
                            : trigger == 1 ? Json("external trigger")
                                           : Json(nullptr)},
            {"testPattern", board.getTestPattern()},
            {"capturing", board.isCapturing()},
            {"exposureUs", board.getExposure()},
            {"intervalUs", board.getFrameInterval()}};
} catch (const std::exception& error) {
    // The report is written after the plug-in failed, too.
    return {{"error", error.what()}};
}

} // namespace camhost
