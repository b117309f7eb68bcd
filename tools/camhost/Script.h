#pragma once
// camhost scripts: one command a line, '#' starts a comment, numbers in decimal or 0x-hex.
// The whole script is read and checked before the first command runs.
#include "Expect.h"

#include <cstddef>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace camhost {

struct tsCommand {
    int line = 0;                   // 1-based line number in the script
    std::string text;               // the line without comment and outer blanks
    std::string name;               // first word
    std::vector<std::string> words; // the arguments as written
    std::vector<long long> numbers; // the arguments as numbers (numeric commands only)
    // "expect" only: what the command before it should have given.
    std::optional<tsExpectation> expectation;
};

// A line camhost does not understand.
class tcScriptError : public std::runtime_error {
public:
    tcScriptError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line(line) {}
    const int line;
};

// What a script may hold: a line takes the longest "regions" command with room to spare.
constexpr size_t kMaxScriptBytes = 1 << 20;
constexpr size_t kMaxLineBytes = 4096;

// Every command of the script; throws tcScriptError for the first bad line, or for a
// script or line beyond the sizes above.
std::vector<tsCommand> readScript(std::istream& in);

// The names accepted by "get".
const std::vector<std::string>& getterNames();

} // namespace camhost
