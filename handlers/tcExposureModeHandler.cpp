#include "handlers/tcExposureModeHandler.h"

#include "Vistrel/tcExternalExposure.h"
#include "Vistrel/tcSensorBoard.h"
#include "Vistrel/tcStringTokenizer.h"
#include "Vistrel/teNackCode.h"
#include "handlers/RecordedCommand.h"

namespace Vistrel {

tcExposureModeHandler::tcExposureModeHandler(tcSensorBoard* board, tcAbstractHandler* next,
                                             std::map<std::string, tcAbstractHandler*>* handlers,
                                             platform::tcTraceRecord* record)
    : tcAbstractHandler(board, next), record(record) {
    if (handlers != nullptr)
        (*handlers)["EXPM"] = this;
}

tcExposureModeHandler::~tcExposureModeHandler() = default;

tcExternalExposure* tcExposureModeHandler::externalExposure() const {
    return dynamic_cast<tcExternalExposure*>(board);
}

void tcExposureModeHandler::update(tsUpdate& update) {
    if (update.kind != tsUpdate::eeWordWritten || update.address != kExposureModeWord)
        return;
    tcExternalExposure* exposure = externalExposure();
    if (exposure == nullptr)
        return; // left for another receiver
    exposure->setExternalExposure(update.value != 0);
    update.handled = true;
}

std::string tcExposureModeHandler::execute(std::string& command, std::string& arguments) {
    return recordedCommand(record, command, arguments, [&] { return answer(command, arguments); });
}

std::string tcExposureModeHandler::answer(std::string& command, std::string& arguments) {
    if (command != "EXPM")
        return tcAbstractHandler::execute(command, arguments);

    tcStringTokenizer tokens(arguments, ' ');
    teExposureModeOp op = eeExposureModeGet;
    int value = 0;
    if (tokens.hasNext()) {
        op = eeExposureModeSet;
        // A word that is not a number must not pass for 0 and switch the exposure mode.
        if (!tokens.nextInt(&value))
            return nack(externalExposure() == nullptr ? eeNotSupported : eeArgumentOutOfRange);
    }
    bool on = value == 0;
    const int code = execute(op, on);
    // The framework's protocol answers a set with the code, success included.
    if (op == eeExposureModeSet || code != eeSuccess)
        return nack(code);
    return ack(nullptr) + carrotNumber(on ? 0 : 1);
}

int tcExposureModeHandler::execute(teExposureModeOp op, bool& on) {
    tcExternalExposure* exposure = externalExposure();
    if (exposure == nullptr)
        return eeNotSupported;
    switch (op) {
    case eeExposureModeSet:
        exposure->setExternalExposure(on);
        break;
    case eeExposureModeGet:
        on = exposure->getExternalExposure();
        break;
    }
    return eeSuccess;
}

} // namespace Vistrel
