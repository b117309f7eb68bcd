// Framework configuration reader on libinih's parser.
#include "Vistrel/INIReader.h"

#include <ini.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace Vistrel {
namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string keyOf(const std::string& section, const std::string& name) {
    return lowered(section) + "=" + lowered(name);
}

int store(void* user, const char* section, const char* name, const char* value) {
    auto* values = static_cast<std::map<std::string, std::string>*>(user);
    (*values)[keyOf(section, name)] = value == nullptr ? "" : value; // a repeated key: last wins
    return 1;
}

// A number must fill the whole value and lie in range; otherwise the default applies.
bool whole(const char* start, const char* end) {
    return end != start && *end == '\0' && errno != ERANGE;
}

} // namespace

INIReader::INIReader(const std::string& path) {
    error = ini_parse(path.c_str(), store, &values);
}

std::string INIReader::Get(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const {
    auto found = values.find(keyOf(section, key));
    return found == values.end() ? defaultValue : found->second;
}

long INIReader::GetInteger(const std::string& section, const std::string& key,
                           long defaultValue) const {
    const std::string text = Get(section, key, "");
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    return whole(text.c_str(), end) ? value : defaultValue;
}

unsigned long INIReader::GetUnsignedInteger(const std::string& section, const std::string& key,
                                            unsigned long defaultValue) const {
    const std::string text = Get(section, key, "");
    // strtoul would wrap "-1" round to the largest value.
    if (text.find('-') != std::string::npos)
        return defaultValue;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    return whole(text.c_str(), end) ? value : defaultValue;
}

double INIReader::GetReal(const std::string& section, const std::string& key,
                          double defaultValue) const {
    const std::string text = Get(section, key, "");
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    return whole(text.c_str(), end) ? value : defaultValue;
}

} // namespace Vistrel
