#include "Runner.h"

#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tsCameraInfo.h"
#include "Vistrel/tsUpdate.h"
#include "sim/SimHead.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <sstream>

namespace camhost {
namespace {

using Vistrel::ROI;

Json roiJson(const ROI& roi) {
    return Json::array({roi.y, roi.x, roi.width, roi.height});
}

std::string hex(uint32_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
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

} // namespace

tcScriptRunner::tcScriptRunner(Vistrel::tcSensorBoard& board, std::function<Json()> stateReport)
    : board(board), stateReport(std::move(stateReport)) {
    Vistrel::tcAbstractHandler* head = board.getCustomHandlers(nullptr, &handlerMap);
    for (Vistrel::tcAbstractHandler* h = head; h != nullptr; h = h->getNext())
        handlers.emplace_back(h);
}

tcScriptRunner::~tcScriptRunner() = default;

void tcScriptRunner::run(const tsCommand& command) {
    Json record = Json::object();
    record["line"] = command.line;
    record["command"] = command.text;
    Json extras = Json::object();
    Json result;
    try {
        result = execute(command, extras);
    } catch (const std::exception& error) {
        record["result"] = nullptr;
        record["error"] = error.what();
        records.push_back(record);
        throw;
    }
    record["result"] = result;
    for (auto& item : extras.items())
        record[item.key()] = item.value();
    records.push_back(record);

    std::cout << "[" << command.line << "] " << command.text << " -> " << result.dump();
    if (extras.contains("value"))
        std::cout << " (value " << extras["value"].dump() << ")";
    std::cout << std::endl;
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
    if (name == "regions") {
        auto* multiple = dynamic_cast<Vistrel::tcMultipleROISensor*>(&board);
        if (multiple == nullptr)
            return 7; // the board has no multiple-ROI view
        std::vector<ROI> list;
        for (size_t i = 1; i + 3 < n.size(); i += 4)
            list.emplace_back(asInt(n[i]), asInt(n[i + 1]), asInt(n[i + 2]), asInt(n[i + 3]));
        return multiple->setMultipleROI(list);
    }
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
        Tarnis::tcGpioListener& listener = board; // the GPIO-notification view
        listener.Handler(asWord(n[0]), asWord(n[1]));
        return nullptr;
    }
    if (name == "write") {
        notifyWrite(asWord(n[0]), asWord(n[1]));
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
        extras["value"] = hex(static_cast<uint32_t>(value));
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
        sim::Clock::sleepFor(sim::Micros(n[0]));
        return nullptr;
    }
    if (name == "state") {
        sim::Head::instance().step();
        std::cout << stateReport().dump(2) << std::endl;
        return nullptr;
    }
    throw std::logic_error("camhost: no action for command " + name);
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
    throw std::logic_error("camhost: no getter " + what);
}

// A client's write: the register file stores it and notifies its observers; the
// framework also offers it to every command handler.
void tcScriptRunner::notifyWrite(uint32_t address, uint32_t value) {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)->update_word(address, value);
    Vistrel::tsUpdate update;
    update.kind = Vistrel::tsUpdate::eeWordWritten;
    update.address = address;
    update.value = value;
    for (const auto& handler : handlers)
        handler->update(update);
}

} // namespace camhost
