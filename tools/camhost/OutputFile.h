#pragma once
// An output file (--json, --vcd) written whole or not at all: the text goes to a temporary
// file beside it, renamed over it once complete, so an earlier report survives a failed or
// interrupted run.
#include <stdexcept>
#include <string>

namespace camhost {

class tcOutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class tcOutputFile {
public:
    // Creates the temporary file at once, so that a path that cannot be written costs no
    // run; throws tcOutputError naming the path and the system's reason. A path that
    // exists but is not a regular file (/dev/stdout) is written directly.
    explicit tcOutputFile(const std::string& path);
    // Removes the temporary file unless commit succeeded.
    ~tcOutputFile();
    tcOutputFile(const tcOutputFile&) = delete;
    tcOutputFile& operator=(const tcOutputFile&) = delete;

    const std::string& path() const { return target; }
    // Writes the text and puts the file in place; throws tcOutputError.
    void commit(const std::string& text);

private:
    void discard();

    std::string target;
    std::string temporary; // empty when writing directly
    int fd = -1;
    int abortSlot = -1;
};

} // namespace camhost
