// Any bytes as a camhost script, read from memory. A script is refused as a whole with the
// number of a line it has, or read; a script read back from its commands' own texts gives
// the same commands (nothing of a line is lost or invented by the reading).
#include "Script.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& message, const std::string& script) {
    std::fprintf(stderr, "camhost_script: %s\n---- script (%zu bytes) ----\n%.2000s\n",
                 message.c_str(), script.size(), script.c_str());
    std::abort();
}

bool sameCommand(const camhost::tsCommand& a, const camhost::tsCommand& b) {
    return a.name == b.name && a.words == b.words && a.numbers == b.numbers && a.text == b.text &&
           a.expectation.has_value() == b.expectation.has_value();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);
    std::istringstream in(script);
    std::vector<camhost::tsCommand> commands;
    try {
        commands = camhost::readScript(in);
    } catch (const camhost::tcScriptError& error) {
        size_t lines = 1;
        for (char c : script)
            lines += c == '\n' ? 1 : 0;
        if (error.line < 1 || static_cast<size_t>(error.line) > lines)
            fail("refused at line " + std::to_string(error.line) + " of " + std::to_string(lines),
                 script);
        return 0;
    }

    std::string again;
    int previous = 0;
    for (const camhost::tsCommand& command : commands) {
        if (command.line <= previous || command.name.empty())
            fail("command at line " + std::to_string(command.line) + " after " +
                     std::to_string(previous),
                 script);
        previous = command.line;
        again += command.text + "\n";
    }
    std::istringstream reread(again);
    const std::vector<camhost::tsCommand> second = camhost::readScript(reread);
    if (second.size() != commands.size())
        fail("read back as " + std::to_string(second.size()) + " commands of " +
                 std::to_string(commands.size()),
             script);
    for (size_t i = 0; i < commands.size(); ++i)
        if (!sameCommand(commands[i], second[i]))
            fail("command " + std::to_string(i) + " reads back otherwise: " + commands[i].text,
                 script);
    return 0;
}
