#pragma once
// A text command in the boundary record: `cmd` when the framework hands it to one of the
// plug-in's handlers, `cmd_ret` with the reply (or the exception) when it comes back. A
// command a handler passes along the chain, and whatever the chain calls meanwhile (core
// calls, the board's operations), is inside it: recorded once, not as operations of their
// own.
#include "platform/TraceRecord.h"

#include <exception>
#include <string>

namespace Vistrel {

namespace recordedcommand {

// The name as a word of the record; quoted when it is none, so that an odd command from a
// client cannot make the record unreadable.
inline std::string word(const std::string& name) {
    bool plain = !name.empty();
    for (const char c : name)
        plain = plain && c > ' ' && c != '"' && c != '\\' && c != 0x7f;
    return plain ? name : platform::tcTraceRecord::quoted(name);
}

} // namespace recordedcommand

// execute() answers the command; recorded when record is not null and no operation,
// notification or command of the board is under way on this thread.
template <typename Execute>
std::string recordedCommand(platform::tcTraceRecord* record, const std::string& name,
                            const std::string& arguments, Execute execute) {
    using platform::tcTraceRecord;
    if (record == nullptr)
        return execute();
    const tcTraceRecord::tcInside inside;
    if (!inside.outermost())
        return execute();
    // Before the call: a handler may change the texts it is given.
    const std::string recordedName = recordedcommand::word(name);
    record->event("cmd", "name=%s args=%s", recordedName.c_str(),
                  tcTraceRecord::quoted(arguments).c_str());
    try {
        std::string reply = execute();
        record->event("cmd_ret", "name=%s reply=%s", recordedName.c_str(),
                      tcTraceRecord::quoted(reply).c_str());
        return reply;
    } catch (const std::exception& error) {
        record->event("cmd_ret", "name=%s exception=%s", recordedName.c_str(),
                      tcTraceRecord::quoted(error.what()).c_str());
        throw;
    } catch (...) {
        record->event("cmd_ret", "name=%s exception=\"unknown exception\"", recordedName.c_str());
        throw;
    }
}

} // namespace Vistrel
