#pragma once
// "expect VALUE": what the command before it should have answered.
#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace camhost {

using Json = nlohmann::ordered_json;

struct tsExpectation {
    bool negated = false; // "!VALUE": anything but VALUE
    Json value;           // a number, a text or a list of numbers
    std::string text;     // as written
};

// VALUE as written after "expect": a number (decimal or 0x-hex), numbers separated by
// blanks or commas, optionally in brackets (a region), a "quoted" text, or any other text
// taken as it stands. Nothing when it is empty.
std::optional<tsExpectation> parseExpectation(const std::string& text);

// Whether the result meets the expectation; numbers compare by value.
bool isMet(const tsExpectation& expectation, const Json& result);

} // namespace camhost
