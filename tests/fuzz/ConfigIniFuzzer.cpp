// Any bytes as a configuration INI file, read through the plug-in's configuration reader
// from memory (a memory file: the framework's reader takes only a path). A key that is
// absent gives the default, a plain decimal number is read as written, and neither is
// reported; what is reported names the file and the key.
#include "platform/ConfigFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& message, const std::string& errors) {
    std::fprintf(stderr, "config_ini: %s\n---- error stream ----\n%s\n", message.c_str(),
                 errors.c_str());
    std::abort();
}

// The bytes in a file that lives in memory only, and a path that opens it.
class tcMemoryFile {
public:
    explicit tcMemoryFile(const std::string& bytes) : descriptor(memfd_create("ini", 0)) {
        if (descriptor < 0 ||
            write(descriptor, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            std::perror("memfd");
            std::abort();
        }
    }
    ~tcMemoryFile() { close(descriptor); }
    tcMemoryFile(const tcMemoryFile&) = delete;
    tcMemoryFile& operator=(const tcMemoryFile&) = delete;
    std::string path() const { return "/proc/self/fd/" + std::to_string(descriptor); }

private:
    int descriptor;
};

// Checks one key read through get with the given default against the text the reader holds.
template <typename T, typename Get>
void checkKey(const config::tcIniFile& ini, const char* key, T defaultValue,
              const std::regex& plain, Get get, std::ostringstream& errors) {
    const std::string text = ini.reader().Get("Settings", key, "");
    const size_t reportsBefore = errors.str().size();
    const T value = get(key, defaultValue);
    const bool reported = errors.str().size() != reportsBefore;
    if (text.empty() && (value != defaultValue || reported))
        fail(std::string("absent key ") + key + " not its default, or reported", errors.str());
    if (std::regex_match(text, plain) && (value != static_cast<T>(std::stoll(text)) || reported))
        fail(std::string("key ") + key + " = \"" + text + "\" not read as written", errors.str());
    if (reported && errors.str().find(std::string("[Settings] ") + key + " = ", reportsBefore) ==
                        std::string::npos)
        fail(std::string("report of ") + key + " does not name it", errors.str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::regex signedDecimal("-?[1-9][0-9]{0,8}|0");
    static const std::regex unsignedDecimal("[1-9][0-9]{0,8}|0");
    const tcMemoryFile file(std::string(reinterpret_cast<const char*>(data), size));

    std::ostringstream errors;
    std::streambuf* const previous = std::cerr.rdbuf(errors.rdbuf());
    {
        const config::tcIniFile ini(file.path());
        checkKey(
            ini, "integer", -7L, signedDecimal,
            [&](const char* key, long d) { return ini.integer("Settings", key, d); }, errors);
        checkKey(
            ini, "unsigned", uint32_t{7}, unsignedDecimal,
            [&](const char* key, uint32_t d) { return ini.unsigned32("Settings", key, d); },
            errors);
        checkKey(
            ini, "real", 0.5, unsignedDecimal,
            [&](const char* key, double d) { return ini.real("Settings", key, d); }, errors);
    }
    std::cerr.rdbuf(previous);
    return 0;
}
