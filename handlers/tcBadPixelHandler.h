#pragma once
// Bad-pixel replacement commands: "SBPR"/"GBPR" switch and report the replacement data,
// "SBPRM"/"GBPRM" the map; register-file words 0x3A070 and 0x3A074 do the same as the
// two set commands.
#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcStringTokenizer.h"
#include "Vistrel/teNackCode.h"
#include "Vistrel/tsUpdate.h"
#include "fpga/RecordedCores.h"
#include "handlers/RecordedCommand.h"
#include "plugin/RegisterFileWords.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

namespace Vistrel {

// T is the replacement core: mapState(), onState(), setMapState(bool), defaultData(),
// setData(std::string).
template <class T> class tcBadPixelHandler : public tcAbstractHandler {
public:
    enum teBadPixelOp : int32_t {
        eeGetMapState = 0,
        eeSetMapState = 1,
        eeGetOnState = 2,
        eeSetData = 3,
    };

    static constexpr uint32_t kDataWord = regfile::kBadPixelData;
    static constexpr uint32_t kMapWord = regfile::kBadPixelMap;

    // The handler belongs to no board; core is not owned. Registers its four commands in
    // handlers when given one. With ready given, the core is used only while *ready holds
    // (it reported itself usable); before, every command answers eeInvalidState. The
    // commands and the core calls go into record unless it is null.
    tcBadPixelHandler(T* core, tcAbstractHandler* next,
                      std::map<std::string, tcAbstractHandler*>* handlers,
                      const std::atomic<bool>* ready = nullptr,
                      platform::tcTraceRecord* record = nullptr)
        : tcAbstractHandler(nullptr, next), core(core), ready(ready), record(record) {
        if (handlers != nullptr) {
            (*handlers)["SBPR"] = this;
            (*handlers)["GBPR"] = this;
            (*handlers)["SBPRM"] = this;
            (*handlers)["GBPRM"] = this;
        }
    }
    ~tcBadPixelHandler() override = default;

    void update(tsUpdate& update) override {
        if (update.kind != tsUpdate::eeWordWritten)
            return;
        int value = update.value != 0 ? 1 : 0;
        if (update.address == kDataWord)
            execute(eeSetData, value);
        else if (update.address == kMapWord)
            execute(eeSetMapState, value);
        else
            return;
        update.handled = true;
    }

    std::string execute(std::string& command, std::string& arguments) override {
        return recordedCommand(record, command, arguments,
                               [&] { return answer(command, arguments); });
    }

    // Applies op to the core; value carries the set argument or receives the state.
    virtual int execute(teBadPixelOp op, int& value) {
        if (core == nullptr)
            return eeNotSupported;
        if (ready != nullptr && !ready->load())
            return eeInvalidState;
        const bool on = value != 0;
        switch (op) {
        case eeGetMapState:
            value = call("tcBadPixelReplacement::mapState", "", [&] { return core->mapState(); });
            break;
        case eeSetMapState:
            call("tcBadPixelReplacement::setMapState", on ? "1" : "0",
                 [&] { core->setMapState(on); });
            break;
        case eeGetOnState:
            value = call("tcBadPixelReplacement::onState", "", [&] { return core->onState(); });
            break;
        case eeSetData: {
            const std::string data = on ? call("tcBadPixelReplacement::defaultData", "",
                                               [&] { return core->defaultData(); })
                                        : std::string();
            call("tcBadPixelReplacement::setData", data, [&] { core->setData(data); });
            break;
        }
        }
        return eeSuccess;
    }

private:
    std::string answer(std::string& command, std::string& arguments) {
        teBadPixelOp op;
        if (command == "SBPR")
            op = eeSetData;
        else if (command == "GBPR")
            op = eeGetOnState;
        else if (command == "SBPRM")
            op = eeSetMapState;
        else if (command == "GBPRM")
            op = eeGetMapState;
        else
            return tcAbstractHandler::execute(command, arguments);

        tcStringTokenizer tokens(arguments, ' ');
        int value = 0;
        const bool isSet = op == eeSetData || op == eeSetMapState;
        if (isSet) {
            if (!tokens.hasNext())
                return nack(eeMissingArgument);
            if (!tokens.nextInt(&value))
                return nack(eeArgumentOutOfRange);
        }
        const int code = execute(op, value);
        if (code != eeSuccess)
            return nack(code);
        if (isSet)
            return ack(nullptr);
        std::string number = carrotNumber(value);
        return ack(&number);
    }

    template <typename Call>
    auto call(const char* operation, const std::string& args, Call core) -> decltype(core()) {
        if (record == nullptr)
            return core();
        return fpgacore::recordedCall(record, operation, args, core);
    }

    T* core;                         // not owned
    const std::atomic<bool>* ready;  // not owned
    platform::tcTraceRecord* record; // not owned; null: not recording
};

} // namespace Vistrel
