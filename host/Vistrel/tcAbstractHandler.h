#pragma once
// Command-handler chain: each handler answers a text command or passes it on.
#include "Vistrel/tsUpdate.h"
#include <string>

namespace Vistrel {

class tcSensorBoard;

class tcAbstractHandler {
public:
    tcAbstractHandler(tcSensorBoard* board, tcAbstractHandler* next);
    virtual ~tcAbstractHandler();
    tcAbstractHandler(const tcAbstractHandler&) = delete;
    tcAbstractHandler& operator=(const tcAbstractHandler&) = delete;

    // Register-file notification; the base ignores it.
    virtual void update(tsUpdate& update);
    // Answers a command; the base passes it to the next handler, and without one
    // answers nack(eeNotSupported).
    virtual std::string execute(std::string& command, std::string& arguments);
    // Chain-forwarding: hands the call, arguments unchanged, to the next handler's
    // cascade; does nothing without a next handler.
    virtual void cascade(int event, int argument);

    tcAbstractHandler* getNext() const { return next; }
    tcSensorBoard* getBoard() const { return board; }

    // Reply texts of the framework's text protocol.
    std::string ack(std::string* extra);
    std::string nack(int code);
    std::string carrotNumber(int n);

protected:
    tcSensorBoard* board;     // not owned
    tcAbstractHandler* next;  // not owned
};

} // namespace Vistrel
