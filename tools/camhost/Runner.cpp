#include "Runner.h"

#include "Console.h"
#include "FrameworkExtras.h"
#include "HardwareRegisters.h"
#include "Readable.h"
#include "Readback.h"
#include "Text.h"

#include "Vistrel/INIReader.h"
#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tsCameraInfo.h"
#include "Vistrel/tsUpdate.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <sstream>
#include <typeinfo>

namespace camhost {
namespace {

using Vistrel::ROI;

Json roiJson(const ROI& roi) {
    return Json::array({roi.y, roi.x, roi.width, roi.height});
}

// "a, b", or "nobody" for an empty list.
std::string listed(const Json& names) {
    std::string text;
    for (const Json& name : names)
        text += (text.empty() ? "" : ", ") + name.get<std::string>();
    return text.empty() ? "nobody" : text;
}

// A class name as the source spells it.
std::string className(const std::type_info& type) {
    int status = 0;
    char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string text = status == 0 && name != nullptr ? name : type.name();
    std::free(name);
    return text;
}

// A fixed-size text field that need not be terminated.
std::string field(const char* text, size_t size) {
    return std::string(text, strnlen(text, size));
}

int asInt(long long value) {
    return static_cast<int>(static_cast<int32_t>(value));
}
uint32_t asWord(long long value) {
    return static_cast<uint32_t>(value);
}

std::string joined(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i)
        text += (i > from ? " " : "") + words[i];
    return text;
}

// How a result marks a feature the framework it runs on may lack.
constexpr const char* kUnavailable = "not available from this framework";

// The register-file words the read-back compares: bias offset and enable.
constexpr uint32_t kBiasOffsetWord = 0x3D008;
constexpr uint32_t kBiasEnableWord = 0x3D00C;

std::optional<uint32_t> wordOf(const std::map<uint32_t, uint32_t>& words, uint32_t address) {
    const auto found = words.find(address);
    return found == words.end() ? std::nullopt : std::optional<uint32_t>(found->second);
}

// The lane-inversion mask as the plug-in reads it, with the framework's own reader.
std::optional<uint32_t> configuredLaneInversion() {
    const Vistrel::INIReader config("120mxs_config.ini");
    constexpr unsigned long kMissing = ~0UL;
    const unsigned long mask = config.GetUnsignedInteger("Settings", "LaneInvertMask", kMissing);
    if (mask == kMissing)
        return std::nullopt;
    return static_cast<uint32_t>(mask);
}

} // namespace

tcScriptRunner::tcScriptRunner(Vistrel::tcSensorBoard& board, tcHostSide& host,
                               const tcRegisterFileLog& words, std::function<Json()> stateReport)
    : board(board), host(host), words(words), stateReport(std::move(stateReport)),
      witness(std::make_unique<tcWriteWitness>()) {
    Vistrel::tcAbstractHandler* head = nullptr;
    try {
        head = board.getCustomHandlers(nullptr, &handlerMap);
    } catch (const std::exception& error) {
        throw tcPluginFailure(error.what());
    }
    for (Vistrel::tcAbstractHandler* h = head; h != nullptr; h = h->getNext())
        handlers.emplace_back(h);
}

tcScriptRunner::~tcScriptRunner() {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)
        ->observable.unregisterObserver(witness.get());
}

void tcScriptRunner::run(const tsCommand& command) {
    if (command.name == "expect") {
        check(command);
        return;
    }
    Json record = Json::object();
    record["line"] = command.line;
    record["command"] = command.text;
    record["atUs"] = host.nowUs();
    Json extras = Json::object();
    Json result;
    if (command.name == "state") {
        out() << dumpJson(stateReport(), 2) << std::endl;
    } else {
        try {
            result = execute(command, extras);
        } catch (const std::exception& error) {
            record["result"] = nullptr;
            record["error"] = error.what();
            records.push_back(record);
            throw tcPluginFailure(error.what());
        } catch (...) {
            record["result"] = nullptr;
            record["error"] = "unknown exception";
            records.push_back(record);
            throw tcPluginFailure("unknown exception");
        }
    }
    record["result"] = result;
    if (const Json name = resultName(command.name, result); !name.is_null())
        record["resultName"] = name;
    for (auto& item : extras.items())
        record[item.key()] = item.value();
    records.push_back(record);

    out() << "[" << command.line << "] " << command.text << " -> " << dumpJson(result);
    if (extras.contains("value"))
        out() << " (value " << dumpJson(extras["value"]) << ")";
    if (extras.contains("handledBy"))
        out() << " (handled by " << listed(extras["handledBy"]) << ")";
    if (extras.contains("unavailable"))
        out() << " (" << extras["unavailable"].get<std::string>() << ")";
    out() << std::endl;
    if (extras.contains("readback"))
        printReadback(out(), extras["readback"]);
}

void tcScriptRunner::check(const tsCommand& command) {
    const tsExpectation& expectation = *command.expectation;
    Json& checkedRecord = records.back(); // the script's reader saw to it that there is one
    const bool met = isMet(expectation, checkedRecord["result"]);
    ++checked;
    checkedRecord["expect"] = {
        {"line", command.line}, {"expected", expectation.text}, {"met", met}};
    if (met) {
        out() << "[" << command.line << "] " << command.text << " -> met" << std::endl;
        return;
    }
    ++failed;
    const std::string because = "line " + std::to_string(checkedRecord["line"].get<int>()) + " (" +
                                checkedRecord["command"].get<std::string>() + ") gave " +
                                dumpJson(checkedRecord["result"]);
    out() << "[" << command.line << "] " << command.text << " -> NOT MET: " << because << std::endl;
    err() << toolName() << ": line " << command.line << ": " << command.text << ": " << because
          << std::endl;
}

Json tcScriptRunner::execute(const tsCommand& command, Json& extras) {
    const std::string& name = command.name;
    const std::vector<long long>& n = command.numbers;
    if (name == "init")
        return board.initialize();
    if (name == "exposure")
        return board.setExposure(asInt(n[0]));
    if (name == "interval")
        return board.setFrameInterval(asInt(n[0]));
    if (name == "roi")
        return board.setROI(ROI(asInt(n[0]), asInt(n[1]), asInt(n[2]), asInt(n[3])));
    if (name == "regions")
        return regions(n, extras);
    if (name == "bpp")
        return board.setBPP(static_cast<Vistrel::teBPPMode>(asInt(n[0])));
    if (name == "color")
        return board.setColor(n[0] != 0);
    if (name == "pattern")
        return board.setTestPattern(static_cast<Vistrel::teTestPattern>(asInt(n[0])));
    if (name == "trigger")
        return board.setTrigger(static_cast<Vistrel::teTriggerMode>(asInt(n[0])));
    if (name == "start")
        return board.start();
    if (name == "stop")
        return board.stop();
    if (name == "notify") {
        host.clientSignal("notify.gpio", asWord(n[0]));
        host.clientSignal("notify.level", asWord(n[1]));
        host.clientSignal("notify.event", 1);
        Tarnis::tcGpioListener& listener = board; // the GPIO-notification view
        listener.Handler(asWord(n[0]), asWord(n[1]));
        return nullptr;
    }
    if (name == "write") {
        host.clientSignal("regfile.address", asWord(n[0]));
        host.clientSignal("regfile.value", asWord(n[1]));
        host.clientSignal("regfile.write", 1);
        extras["handledBy"] = notifyWrite(asWord(n[0]), asWord(n[1]));
        extras["handled"] = !extras["handledBy"].empty();
        return nullptr;
    }
    if (name == "cmd") {
        if (handlers.empty())
            return nullptr;
        std::string commandName = command.words[0];
        std::string arguments = joined(command.words, 1);
        return handlers.front()->execute(commandName, arguments);
    }
    if (name == "peek") {
        int value = 0;
        const int code = board.peek(asInt(n[0]), &value);
        extras["value"] = hexText(static_cast<uint32_t>(value));
        return code;
    }
    if (name == "poke")
        return board.poke(asInt(n[0]), asInt(n[1]));
    if (name == "version")
        return board.getVersion();
    if (name == "info") {
        Vistrel::tsCameraInfo info{};
        const int code = board.GetCameraInfo(&info);
        extras["info"] = {{"sensorName", field(info.sensorName, sizeof info.sensorName)},
                          {"sensorMaker", field(info.sensorMaker, sizeof info.sensorMaker)},
                          {"fullFrame", roiJson(info.fullFrame)},
                          {"flags", info.flags},
                          {"effectiveWidth", info.effectiveWidth},
                          {"effectiveHeight", info.effectiveHeight}};
        return code;
    }
    if (name == "temperature")
        return board.getTemperature(asInt(n[0]));
    if (name == "get")
        return get(command.words[0]);
    if (name == "sleep") {
        host.sleepUs(n[0]);
        return nullptr;
    }
    if (name == "readback")
        return readback(extras);
    throw std::logic_error(std::string(toolName()) + ": no action for command " + name);
}

Json tcScriptRunner::get(const std::string& what) {
    if (what == "exposure")
        return board.getExposure();
    if (what == "interval")
        return board.getFrameInterval();
    if (what == "min-interval")
        return board.getMinFrameIntervalMicroS();
    if (what == "roi")
        return roiJson(board.getROI());
    if (what == "image-roi")
        return roiJson(board.getImageROI());
    if (what == "trigger")
        return board.getTrigger();
    if (what == "pattern")
        return board.getTestPattern();
    if (what == "capturing")
        return board.isCapturing() ? 1 : 0;
    if (what == "clock") {
        int mhz = 0;
        board.getClockSetting(mhz);
        return mhz;
    }
    if (what == "skip-frames") {
        bool skip = false;
        board.GetSkipFrames(skip);
        return skip ? 1 : 0;
    }
    throw std::logic_error(std::string(toolName()) + ": no getter " + what);
}

// A client's write: the register file stores it and notifies its observers; the
// framework also offers it to every command handler.
Json tcScriptRunner::notifyWrite(uint32_t address, uint32_t value) {
    Json handledBy = Json::array();
    Vistrel::tcRegisterFile* file = Vistrel::tcRegisterFile::getInstance(nullptr, true);
    file->observable.unregisterObserver(witness.get());
    file->observable.registerObserver(witness.get());
    witness->expect(address);
    file->update_word(address, value);
    // A framework that notifies from a thread of its own: the write is done when delivered.
    if (!host.awaitDelivery(*witness))
        err() << toolName() << ": write " << hexText(address) << ": its notification did not arrive"
              << std::endl;
    if (witness->handled())
        handledBy.push_back("observer");
    Vistrel::tsUpdate update;
    update.kind = Vistrel::tsUpdate::eeWordWritten;
    update.address = address;
    update.value = value;
    for (const auto& owned : handlers) {
        Vistrel::tcAbstractHandler& handler = *owned;
        const bool before = update.handled;
        handler.update(update);
        if (update.handled && !before)
            handledBy.push_back(className(typeid(handler)));
    }
    return handledBy;
}

Json tcScriptRunner::regions(const std::vector<long long>& n, Json& extras) {
    const tsFrameworkExtras& extra = frameworkExtras();
    if (!extra.setMultipleROI) {
        extras["unavailable"] = std::string("setMultipleROI: ") + kUnavailable;
        return nullptr;
    }
    std::vector<ROI> list;
    for (size_t i = 1; i + 3 < n.size(); i += 4)
        list.emplace_back(asInt(n[i]), asInt(n[i + 1]), asInt(n[i + 2]), asInt(n[i + 3]));
    const std::optional<int> code = extra.setMultipleROI(board, list);
    return code ? Json(*code) : Json(7); // 7: the board has no multiple-ROI view
}

Json tcScriptRunner::readback(Json& extras) {
    tsBelief belief;
    for (const Json& record : records)
        if (record["command"] == "init")
            belief.broughtUp = record["result"] == 0;
    belief.imageRegion = board.getImageROI();
    belief.testPattern = board.getTestPattern() != 0;
    const std::map<uint32_t, uint32_t> notified = words.words();
    belief.biasOffset = wordOf(notified, kBiasOffsetWord);
    belief.biasEnable = wordOf(notified, kBiasEnableWord);
    belief.laneInversion = configuredLaneInversion();

    tcHardwareRegisters hardware;
    const tsReadback result = readBack(hardware, belief);
    extras["readback"] = result.report;
    return result.readable ? Json(result.mismatches) : Json(nullptr);
}

} // namespace camhost
