// Framework command handlers: the chain base and the clock handler.
#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcClockHandler.h"
#include "Vistrel/tcExternalExposure.h"
#include "Vistrel/tcSensorBoard.h"
#include "Vistrel/tcStringTokenizer.h"
#include "Vistrel/teNackCode.h"

namespace Vistrel {

tcAbstractHandler::tcAbstractHandler(tcSensorBoard* board_, tcAbstractHandler* next_)
    : board(board_), next(next_) {}

tcAbstractHandler::~tcAbstractHandler() = default;

void tcAbstractHandler::update(tsUpdate&) {}

std::string tcAbstractHandler::execute(std::string& command, std::string& arguments) {
    if (next == nullptr)
        return nack(eeNotSupported);
    return next->execute(command, arguments);
}

void tcAbstractHandler::cascade(int event, int argument) {
    if (next != nullptr)
        next->cascade(event, argument);
}

std::string tcAbstractHandler::ack(std::string* extra) {
    return extra == nullptr ? std::string("ACK") : "ACK " + *extra;
}

std::string tcAbstractHandler::nack(int code) {
    return "NACK " + std::to_string(code);
}

std::string tcAbstractHandler::carrotNumber(int n) {
    return "<" + std::to_string(n) + ">";
}

tcClockHandler::tcClockHandler(tcSensorBoard* board_, tcAbstractHandler* next_,
                               std::map<std::string, tcAbstractHandler*>* handlers)
    : tcAbstractHandler(board_, next_) {
    if (handlers != nullptr) {
        (*handlers)["GCLK"] = this;
        (*handlers)["SCLK"] = this;
    }
}

tcClockHandler::~tcClockHandler() = default;

std::string tcClockHandler::execute(std::string& command, std::string& arguments) {
    if (command == "GCLK") {
        if (board == nullptr)
            return nack(eeNotSupported);
        int mhz = 0;
        const int code = board->getClockSetting(mhz);
        if (code != eeSuccess)
            return nack(code);
        std::string number = carrotNumber(mhz);
        return ack(&number);
    }
    if (command == "SCLK") {
        tcStringTokenizer tokens(arguments, ' ');
        if (!tokens.hasNext())
            return nack(eeMissingArgument);
        int mhz = 0;
        if (!tokens.nextInt(&mhz))
            return nack(eeArgumentOutOfRange);
        if (board == nullptr)
            return nack(eeNotSupported);
        return nack(board->setClockSetting(mhz));
    }
    return tcAbstractHandler::execute(command, arguments);
}

tcExternalExposure::~tcExternalExposure() = default;

} // namespace Vistrel
