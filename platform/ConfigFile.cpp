#include "platform/ConfigFile.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>

namespace config {
namespace {

// The path to hand to the reader: the file itself, or one that opens nothing.
std::string readablePath(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return path;
    std::cerr << path << ": not a regular file, not read: every setting takes its default"
              << std::endl;
    return std::string();
}

bool onlySpaceFrom(const char* at) {
    while (*at == ' ' || *at == '\t')
        ++at;
    return *at == '\0';
}

// The number as written: decimal, or hexadecimal after "0x"; none when anything else is
// there (a trailing word, a sign on an unsigned value) or it overflows.
std::optional<unsigned long long> writtenNumber(const std::string& text, bool allowSign,
                                                bool& negative) {
    const char* at = text.c_str();
    while (*at == ' ' || *at == '\t')
        ++at;
    negative = *at == '-';
    if ((*at == '-' || *at == '+') && !allowSign)
        return std::nullopt;
    if (*at == '-' || *at == '+')
        ++at;
    int base = 10;
    if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X')) {
        base = 16;
        at += 2;
    }
    const auto digit = static_cast<unsigned char>(*at);
    if (base == 10 ? !std::isdigit(digit) : !std::isxdigit(digit))
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(at, &end, base);
    if (end == at || errno == ERANGE || !onlySpaceFrom(end))
        return std::nullopt;
    return value;
}

std::string decimal(long long value) {
    return std::to_string(value);
}

} // namespace

tcIniFile::tcIniFile(const std::string& path_) : path(path_), ini(readablePath(path_)) {}

void tcIniFile::reportRead(const char* section, const char* key, const std::string& text,
                           const std::string& used) const {
    std::cerr << path << ": [" << section << "] " << key << " = \"" << text << "\" read as " << used
              << std::endl;
}

long tcIniFile::integer(const char* section, const char* key, long defaultValue) const {
    const long value = ini.GetInteger(section, key, defaultValue);
    const std::string text = ini.Get(section, key, "");
    if (text.empty())
        return value;
    bool negative = false;
    const auto written = writtenNumber(text, true, negative);
    const bool same = written && (negative ? -static_cast<long long>(*written) == value
                                           : *written == static_cast<unsigned long long>(value));
    if (!same)
        reportRead(section, key, text,
                   decimal(value) + (value == defaultValue ? " (the default)" : ""));
    return value;
}

uint32_t tcIniFile::unsigned32(const char* section, const char* key, uint32_t defaultValue) const {
    const unsigned long value = ini.GetUnsignedInteger(section, key, defaultValue);
    const std::string text = ini.Get(section, key, "");
    if (text.empty())
        return static_cast<uint32_t>(value);
    bool negative = false;
    const auto written = writtenNumber(text, false, negative);
    if (written && *written > UINT32_MAX) {
        reportRead(section, key, text, decimal(defaultValue) + " (the default: beyond 32 bits)");
        return defaultValue;
    }
    if constexpr (sizeof(value) > sizeof(uint32_t)) { // a 64-bit reader's value
        if (value > UINT32_MAX)
            return defaultValue;
    }
    if (!written || *written != value)
        reportRead(section, key, text,
                   decimal(static_cast<long long>(value)) +
                       (value == defaultValue ? " (the default)" : ""));
    return static_cast<uint32_t>(value);
}

double tcIniFile::real(const char* section, const char* key, double defaultValue) const {
    const double value = ini.GetReal(section, key, defaultValue);
    const std::string text = ini.Get(section, key, "");
    if (text.empty())
        return value;
    char* end = nullptr;
    const double written = std::strtod(text.c_str(), &end);
    const bool same = end != text.c_str() && onlySpaceFrom(end) &&
                      (written == value || (written != written && value != value));
    if (!same) {
        std::ostringstream used;
        used << value << (value == defaultValue ? " (the default)" : "");
        reportRead(section, key, text, used.str());
    }
    return value;
}

} // namespace config
