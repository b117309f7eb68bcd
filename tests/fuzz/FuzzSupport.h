#pragma once
// What every harness needs: a fresh simulated head on the virtual clock for each input, a
// scratch working directory for the files the plug-in reads by relative name, the
// plug-in's console output kept in memory, and a reader of the input bytes.
#include "sim/SimHead.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

namespace fuzzsupport {

// The scope of one input: resets the head (virtual clock on), enters an emptied scratch
// directory and captures std::cout and std::cerr. Leaves the directory on destruction,
// so that libFuzzer's own relative paths keep working between inputs.
class InputScope {
public:
    explicit InputScope(const sim::HeadConfig& config = sim::HeadConfig{});
    ~InputScope();
    InputScope(const InputScope&) = delete;
    InputScope& operator=(const InputScope&) = delete;

    // Writes a file relative to the scratch directory (folders are created).
    void writeFile(const std::string& relativePath, const std::string& content);
    // Creates a folder relative to the scratch directory.
    void makeDirectory(const std::string& relativePath);
    // Copies a file of the sample configuration (config/) into the scratch directory.
    void copySampleConfig(const std::string& name);

    // What the plug-in wrote so far.
    std::string out() const { return outText.str(); }
    std::string err() const { return errText.str(); }
    // Forgets what was written so far.
    void clearOutput();

    sim::Head& head() { return sim::Head::instance(); }

private:
    std::ostringstream outText;
    std::ostringstream errText;
    std::streambuf* previousOut = nullptr;
    std::streambuf* previousErr = nullptr;
    std::string previousDir;
};

// Reports a broken invariant with the tail of the captured output and aborts, which
// libFuzzer records as a crash (and the replay test as a failure).
[[noreturn]] void fail(const char* file, int line, const std::string& message);

// Consumes the input from the front; every read past the end answers 0.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool empty() const { return position >= size; }
    size_t remaining() const { return size - position; }
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    int32_t i32() { return static_cast<int32_t>(u32()); }
    // Up to count bytes as text.
    std::string text(size_t count);
    // The bytes up to (not including) the next `stop` byte, which is consumed; the rest
    // of the input when there is none.
    std::string until(uint8_t stop);

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

// The sensor's SPI device.
constexpr const char* kSpiPath = "/dev/spidev1.0";

// At most this many operations per input keep every input fast.
constexpr int kMaxOperations = 64;

} // namespace fuzzsupport

#define FUZZ_CHECK(condition, message)                                                             \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::ostringstream fuzzMessage_;                                                       \
            fuzzMessage_ << "check failed: " #condition ": " << message;                           \
            ::fuzzsupport::fail(__FILE__, __LINE__, fuzzMessage_.str());                           \
        }                                                                                          \
    } while (false)
