#pragma once
// Numbers as scripts and --sim keys write them: decimal or 0x-hex, optionally signed.
#include <optional>
#include <string>

namespace camhost {

// The whole text as an integer; nothing when it is not one or does not fit 64 bits.
std::optional<long long> parseInteger(const std::string& text);
// The whole text as a real number.
std::optional<double> parseReal(const std::string& text);

} // namespace camhost
