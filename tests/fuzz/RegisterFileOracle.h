#pragma once
// An oracle for "120MXS_registers.txt", written apart from the loader: the writes of the
// lines before the first bad one, the pauses before each, and the first bad line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace registerfileoracle {

constexpr uint32_t kPauseRegister = 0x400;

struct Write {
    uint16_t reg;
    uint32_t value;
    long long pausedBefore; // µs of pauses played before this write
};

struct Expected {
    std::vector<Write> writes;
    long long pauses = 0;
    std::optional<unsigned> badLine; // number of the first line that fails
    std::string badText;             // its text as the report shows it
};

inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One unsigned hexadecimal number at line[pos] after optional white space, with an
// optional 0x prefix; nullopt when there is none or it exceeds limit.
inline std::optional<uint32_t> number(const std::string& line, size_t& pos, uint32_t limit) {
    while (pos < line.size() && isSpace(line[pos]))
        ++pos;
    if (pos + 1 < line.size() && line[pos] == '0' && (line[pos + 1] == 'x' || line[pos + 1] == 'X'))
        pos += 2;
    uint64_t value = 0;
    size_t digits = 0;
    while (pos < line.size() && hexDigit(line[pos]) >= 0) {
        value = value * 16 + static_cast<uint64_t>(hexDigit(line[pos]));
        if (value > limit)
            return std::nullopt;
        ++pos;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

inline Expected oracle(const std::string& bytes) {
    Expected expected;
    size_t start = 0;
    for (unsigned lineNumber = 1; start < bytes.size(); ++lineNumber) {
        const size_t end = bytes.find('\n', start);
        const std::string line =
            bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? bytes.size() : end + 1;

        bool blank = true;
        for (char c : line)
            blank = blank && isSpace(c);
        if (blank || line[0] == '#')
            continue;

        size_t pos = 0;
        const auto reg = number(line, pos, 0xFFFF);
        const auto value = reg ? number(line, pos, 0xFFFFFFFF) : std::nullopt;
        if (!reg || !value) {
            expected.badLine = lineNumber;
            expected.badText = line;
            if (!expected.badText.empty() && expected.badText.back() == '\r')
                expected.badText.pop_back();
            return expected;
        }
        if (*reg == kPauseRegister)
            expected.pauses += *value;
        else
            expected.writes.push_back({static_cast<uint16_t>(*reg), *value, expected.pauses});
    }
    return expected;
}

} // namespace registerfileoracle
