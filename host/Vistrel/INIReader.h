#pragma once
// Framework configuration reader: INI files; every getter falls back to its default
// when the file, the section or the key is missing.
#include <map>
#include <string>

namespace Vistrel {

class INIReader {
public:
    explicit INIReader(const std::string& path);

    // 0 when parsed, -1 when the file could not be opened, else the first bad line.
    int ParseError() const { return error; }

    long GetInteger(const std::string& section, const std::string& key, long defaultValue) const;
    unsigned long GetUnsignedInteger(const std::string& section, const std::string& key,
                                     unsigned long defaultValue) const;
    double GetReal(const std::string& section, const std::string& key, double defaultValue) const;
    std::string Get(const std::string& section, const std::string& key,
                    const std::string& defaultValue) const;

private:
    int error = -1;
    std::map<std::string, std::string> values; // "section=key" -> value, case-insensitive keys
};

} // namespace Vistrel
