#pragma once
// The configuration files are INI files, read through the framework's reader by their
// relative name. Only a regular file is handed to it: a FIFO would block its open and a
// device such as /dev/zero never ends. A file that does not exist gives every default, as
// the reader does. A value the reader takes otherwise than it is written is said in one
// standard-error line naming the file, the key and what is used instead.
#include "Vistrel/INIReader.h"

#include <cstdint>
#include <string>

namespace config {

class tcIniFile {
public:
    explicit tcIniFile(const std::string& path);

    const Vistrel::INIReader& reader() const { return ini; }

    // The reader's integer: decimal, or hexadecimal after "0x".
    long integer(const char* section, const char* key, long defaultValue) const;
    // A 32-bit unsigned setting: a value that does not fit 32 bits gives the default, on
    // every platform alike (the reader's unsigned long is 64 bits on a PC, 32 on the board).
    uint32_t unsigned32(const char* section, const char* key, uint32_t defaultValue) const;
    double real(const char* section, const char* key, double defaultValue) const;

private:
    void reportRead(const char* section, const char* key, const std::string& text,
                    const std::string& used) const;

    std::string path;
    Vistrel::INIReader ini;
};

} // namespace config
