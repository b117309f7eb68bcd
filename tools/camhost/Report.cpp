#include "Report.h"

#include "FramesReport.h"
#include "Readable.h"
#include "StatusLines.h"

#include "Vistrel/tcRegisterFile.h"
#include "sim/SimHead.h"
#include "sim/frames/FrameLog.h"

#include <sstream>
#include <string>

namespace camhost {
namespace {

std::string hexKey(uint32_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

tfReceiverRead receiverOf(const sim::Head& head) {
    return [&head](uint32_t offset) { return head.frameRegister(offset); };
}

Json roiJson(const Vistrel::ROI& roi) {
    return Json::array({roi.y, roi.x, roi.width, roi.height});
}

// A line level, null while the line was never driven.
Json level(const sim::Head& head, const char* name) {
    const int value = head.gpioLevel(name);
    return value < 0 ? Json(nullptr) : Json(value);
}

std::vector<tsStatusLine> statusLines(const sim::Head& head) {
    std::vector<tsStatusLine> lines;
    for (const sim::StatusLine& line : head.statusLines())
        lines.push_back({line.status, line.text});
    return lines;
}

Json registerFile() {
    Json words = Json::object();
    for (const auto& [address, value] :
         Vistrel::tcRegisterFile::getInstance(nullptr, true)->words())
        words[hexKey(address)] = value;
    return words;
}

Json sensor(const sim::Head& head) {
    Json registers = Json::object();
    for (const auto& [reg, value] : head.chipRegisters())
        registers[hexKey(reg)] = value;
    const Json xreset = level(head, "XRESET");
    return {{"registers", registers},
            {"spiFrames", head.spiFrames().size()},
            {"reset", xreset},
            {"masterClock", level(head, "MCLK_ENABLE")},
            {"registersHex", hexWords(head.chipRegisters(), 7)},
            // "reset" is the XRESET line's level: 1 lets the chip run.
            {"xresetLevel", xreset},
            {"heldInReset", xreset.is_null() ? xreset : Json(xreset == 0)}};
}

Json frameReceiver(const sim::Head& head) {
    namespace f = sim::frame;
    return {{"control", head.frameRegister(f::control)},
            {"laneInversion", head.frameRegister(f::laneInversion)},
            {"roiResolution", head.frameRegister(f::roiResolution)},
            {"blankOffset", head.frameRegister(f::blankOffset)},
            {"roiStart", head.frameRegister(f::roiStart)},
            {"biasSubtract", head.frameRegister(f::biasSubtract)},
            {"dpaHold", head.frameRegister(f::dpaHold)},
            {"status", head.frameRegister(f::status)},
            {"hex", receiverHex(receiverOf(head))},
            {"fields", receiverFields(receiverOf(head))}};
}

Json frameOutput(const sim::Head& head) {
    Json calls = Json::array();
    for (const auto& [operation, argument] : head.frameOutputCalls()) {
        // Q takes no argument; the sim records the value it answered.
        if (operation == 'Q')
            calls.push_back(Json::array({"Q"}));
        else
            calls.push_back(Json::array({std::string(1, operation), argument}));
    }
    return calls;
}

} // namespace

void addHeadState(Json& report) {
    sim::Head& head = sim::Head::instance();
    head.step();
    const sim::PwmState pwm = head.pwm();
    const sim::PixelShiftState shift = head.pixelShift();
    const sim::BadPixelState badPixel = head.badPixel();
    const std::optional<sim::SetEdgeCall> edge = head.lastSetEdge();

    addStatusLines(report, statusLines(head));
    report["registerFile"] = registerFile();
    report["registerFileHex"] =
        hexWords(Vistrel::tcRegisterFile::getInstance(nullptr, true)->words(), 8);
    report["sensor"] = sensor(head);
    report["frameReceiver"] = frameReceiver(head);
    report["pwm"] = {{"enabled", pwm.enabled}, {"periodUs", pwm.periodUs},
                     {"dutyUs", pwm.dutyUs},   {"inverted", pwm.inverted},
                     {"pulses", pwm.pulses},   {"interruptsEnabled", pwm.interruptsEnabled},
                     {"waits", pwm.waits}};
    // A core's "reset" is the core held in reset.
    report["pixelShift"] = {{"direction", shift.direction},
                            {"bits", shift.bits},
                            {"reset", shift.reset},
                            {"heldInReset", shift.reset}};
    report["badPixel"] = {{"data", badPixel.data},   {"roi", roiJson(badPixel.roi)},
                          {"color", badPixel.color}, {"mapState", badPixel.mapState},
                          {"reset", badPixel.reset}, {"heldInReset", badPixel.reset}};
    report["frameOutput"] = frameOutput(head);
    report["gpioEdge"] = edge ? Json{{"pin", edge->pin}, {"mode", edge->mode}} : Json(nullptr);
    const std::vector<sim::frames::FrameRecord> frames = sim::frames::records();
    report["frames"] = framesJson(frames);
    report["frameSummary"] = frameSummaryJson(frames, sim::frames::count());
    report["frameSummary"]["dropped"] = sim::frames::dropped();
    report["frameFindings"] = frameFindingsJson(sim::frames::findings());
    report["clock"] = {{"virtual", sim::Clock::isVirtual()},
                       {"nowUs", static_cast<long long>(sim::Clock::now().count())}};
    report["violations"] = violations();
}

Json violations() {
    Json list = Json::array();
    for (const sim::Violation& violation : sim::Head::instance().violations())
        list.push_back({{"rule", violation.rule},
                        {"reason", violation.reason},
                        {"timeUs", static_cast<long long>(violation.time.count())}});
    return list;
}

} // namespace camhost
