#include "Script.h"

#include "Numbers.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>

namespace camhost {
namespace {

enum class teArgs { eeNone, eeNumbers, eeWords };

struct tsSyntax {
    teArgs args;
    int count;        // arguments required (at least, for "cmd" and "regions")
    const char* form; // for the error message
};

const std::map<std::string, tsSyntax>& syntaxTable() {
    static const std::map<std::string, tsSyntax> table{
        {"init", {teArgs::eeNone, 0, "init"}},
        {"exposure", {teArgs::eeNumbers, 1, "exposure US"}},
        {"interval", {teArgs::eeNumbers, 1, "interval US"}},
        {"roi", {teArgs::eeNumbers, 4, "roi Y X W H"}},
        {"regions", {teArgs::eeNumbers, 1, "regions N Y X W H ..."}},
        {"bpp", {teArgs::eeNumbers, 1, "bpp MODE"}},
        {"color", {teArgs::eeNumbers, 1, "color 0|1"}},
        {"pattern", {teArgs::eeNumbers, 1, "pattern P"}},
        {"trigger", {teArgs::eeNumbers, 1, "trigger M"}},
        {"start", {teArgs::eeNone, 0, "start"}},
        {"stop", {teArgs::eeNone, 0, "stop"}},
        {"notify", {teArgs::eeNumbers, 2, "notify GPIO LEVEL"}},
        {"write", {teArgs::eeNumbers, 2, "write ADDR VALUE"}},
        {"cmd", {teArgs::eeWords, 1, "cmd NAME [ARGS...]"}},
        {"peek", {teArgs::eeNumbers, 1, "peek REG"}},
        {"poke", {teArgs::eeNumbers, 2, "poke REG VALUE"}},
        {"version", {teArgs::eeNone, 0, "version"}},
        {"info", {teArgs::eeNone, 0, "info"}},
        {"temperature", {teArgs::eeNumbers, 1, "temperature N"}},
        {"get", {teArgs::eeWords, 1, "get WHAT"}},
        {"sleep", {teArgs::eeNumbers, 1, "sleep US"}},
        {"readback", {teArgs::eeNone, 0, "readback"}},
        {"state", {teArgs::eeNone, 0, "state"}},
        {"expect", {teArgs::eeWords, 1, "expect VALUE | expect !VALUE"}},
    };
    return table;
}

constexpr long long kIntMin = INT32_MIN, kIntMax = INT32_MAX;
constexpr long long kWordMax = UINT32_MAX;
constexpr int kMaxRegions = 64;

// The range of argument index of a command: 32-bit words (register values, addresses,
// GPIO numbers) may be written signed or unsigned; everything else is an int.
std::pair<long long, long long> rangeOf(const std::string& name, size_t index) {
    if (name == "write" || name == "notify" || (name == "poke" && index == 1))
        return {kIntMin, kWordMax};
    if (name == "sleep")
        return {0, 24LL * 3600 * 1000000}; // a day at most
    if (name == "color")
        return {0, 1};
    if (name == "regions" && index == 0)
        return {0, kMaxRegions};
    return {kIntMin, kIntMax};
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

tsCommand parseLine(int number, const std::string& text) {
    tsCommand command;
    command.line = number;
    command.text = text;
    std::istringstream words(text);
    words >> command.name;
    for (std::string word; words >> word;)
        command.words.push_back(word);

    const auto found = syntaxTable().find(command.name);
    if (found == syntaxTable().end())
        throw tcScriptError(number, "unknown command \"" + command.name + "\"");
    const tsSyntax& syntax = found->second;
    const auto usage = [&](const std::string& why) {
        return tcScriptError(number, why + " (usage: " + syntax.form + ")");
    };
    const size_t given = command.words.size();
    const bool atLeast =
        command.name == "cmd" || command.name == "regions" || command.name == "expect";
    if (atLeast ? given < static_cast<size_t>(syntax.count)
                : given != static_cast<size_t>(syntax.count))
        throw usage(std::to_string(given) + " argument(s) given");

    if (syntax.args == teArgs::eeNumbers) {
        for (size_t i = 0; i < given; ++i) {
            const std::optional<long long> value = parseInteger(command.words[i]);
            const auto range = rangeOf(command.name, i);
            if (!value)
                throw usage("\"" + command.words[i] + "\" is not a number");
            if (*value < range.first || *value > range.second)
                throw usage(command.words[i] + " is out of range " + std::to_string(range.first) +
                            ".." + std::to_string(range.second));
            command.numbers.push_back(*value);
        }
    }
    if (command.name == "regions" && given != 1 + 4 * static_cast<size_t>(command.numbers[0]))
        throw usage(command.words[0] + " regions need " + std::to_string(4 * command.numbers[0]) +
                    " numbers after the count");
    if (command.name == "expect") {
        command.expectation = parseExpectation(text.substr(command.name.size()));
        if (!command.expectation)
            throw usage("nothing to expect");
    }
    if (command.name == "get") {
        const auto& names = getterNames();
        if (given != 1 || std::find(names.begin(), names.end(), command.words[0]) == names.end())
            throw usage("cannot get \"" + command.words[0] + "\"");
    }
    return command;
}

// Commands whose result is always null: nothing to expect of them.
bool answers(const std::string& name) {
    for (const char* silent : {"notify", "write", "sleep", "state", "expect"})
        if (name == silent)
            return false;
    return true;
}

} // namespace

const std::vector<std::string>& getterNames() {
    static const std::vector<std::string> names{
        "exposure", "interval", "min-interval", "roi",   "image-roi",
        "trigger",  "pattern",  "capturing",    "clock", "skip-frames"};
    return names;
}

std::vector<tsCommand> readScript(std::istream& in) {
    std::vector<tsCommand> commands;
    int number = 0;
    size_t total = 0;
    std::string line;
    const auto take = [&] {
        ++number;
        const std::string text = trim(line.substr(0, line.find('#')));
        line.clear();
        if (text.empty())
            return;
        tsCommand command = parseLine(number, text);
        if (command.name == "expect" && (commands.empty() || !answers(commands.back().name)))
            throw tcScriptError(
                number, "expect checks the result of the command before it, and " +
                            (commands.empty() ? std::string("there is none")
                                              : "\"" + commands.back().name + "\" has no result"));
        commands.push_back(std::move(command));
    };
    // Read a character at a time against the limits: a script from a device that never
    // ends a line (/dev/zero) must not grow without bound.
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        if (++total > kMaxScriptBytes)
            throw tcScriptError(number + 1, "the script is longer than " +
                                                std::to_string(kMaxScriptBytes) + " bytes");
        if (c == '\n') {
            take();
            continue;
        }
        if (line.size() == kMaxLineBytes)
            throw tcScriptError(number + 1, "the line is longer than " +
                                                std::to_string(kMaxLineBytes) + " characters");
        line.push_back(static_cast<char>(c));
    }
    if (in.bad())
        throw tcScriptError(number + 1, "cannot read the script");
    if (!line.empty())
        take();
    return commands;
}

} // namespace camhost
