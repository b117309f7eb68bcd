#include "Numbers.h"

#include <cerrno>
#include <cstdlib>

namespace camhost {

std::optional<long long> parseInteger(const std::string& text) {
    std::string digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.erase(0, 2);
    }
    // strtoull would accept its own sign and leading blanks: only digits may remain.
    if (digits.empty() || digits.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF"
                                                              : "0123456789") != std::string::npos)
        return std::nullopt;
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, base);
    if (errno == ERANGE)
        return std::nullopt;
    constexpr unsigned long long kMaxPositive = 9223372036854775807ULL;
    if (!negative && magnitude > kMaxPositive)
        return std::nullopt;
    if (negative && magnitude > kMaxPositive + 1)
        return std::nullopt;
    if (!negative)
        return static_cast<long long>(magnitude);
    return magnitude == kMaxPositive + 1 ? (-static_cast<long long>(kMaxPositive) - 1)
                                         : -static_cast<long long>(magnitude);
}

std::optional<double> parseReal(const std::string& text) {
    if (text.empty() || text.find_first_of(" \t\n") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno == ERANGE || end == text.c_str() || *end != '\0')
        return std::nullopt;
    return value;
}

} // namespace camhost
