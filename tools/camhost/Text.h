#pragma once
// Text that JSON can carry: the plug-in, its files and scripts may hold any bytes.
#include <nlohmann/json.hpp>

#include <string>

namespace camhost {

using Json = nlohmann::ordered_json;

// The text with every byte that is not part of valid UTF-8 written as "\xNN".
std::string printableText(const std::string& text);

// The value with printableText applied to every string and key.
Json printable(const Json& value);

// The value as JSON text (indent as nlohmann's dump); never throws for bad UTF-8.
std::string dumpJson(const Json& value, int indent = -1);

// "0x" and the word in hex with the given number of digits at least.
std::string hexText(uint64_t value, int digits = 1);

} // namespace camhost
