#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace fuzzsupport {
namespace {

const InputScope* current = nullptr;

// TC120MXS_FUZZ_ECHO=1 lets the plug-in's output through, to follow a reproducer.
bool echo() {
    static const bool on = [] {
        const char* value = std::getenv("TC120MXS_FUZZ_ECHO");
        return value != nullptr && *value != '\0' && *value != '0';
    }();
    return on;
}

void removeScratch();

// One scratch directory per process, removed at exit. Never destroyed, so that the exit
// handler can still name it.
const fs::path& scratch() {
    static const fs::path* const dir = [] {
        std::string pattern = (fs::temp_directory_path() / "tc120mxs-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        // C stdio lines of the stand-ins would flood libFuzzer's log; its own reports
        // and the sanitizers' go to standard error.
        if (!echo()) {
            std::fflush(stdout);
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0) {
                dup2(devNull, STDOUT_FILENO);
                close(devNull);
            }
        }
        return new fs::path(pattern);
    }();
    static const bool cleanupRegistered = std::atexit(removeScratch) == 0;
    (void)cleanupRegistered;
    return *dir;
}

void removeScratch() {
    std::error_code ignored;
    fs::current_path(fs::temp_directory_path(ignored), ignored);
    fs::remove_all(scratch(), ignored);
}

std::string tail(const std::string& text, size_t count) {
    return text.size() <= count ? text : "..." + text.substr(text.size() - count);
}

} // namespace

InputScope::InputScope(const sim::HeadConfig& config) {
    const fs::path& dir = scratch();
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored))
        fs::remove_all(entry.path(), ignored);
    previousDir = fs::current_path(ignored).string();
    fs::current_path(dir);

    sim::Clock::useVirtualTime(true);
    sim::Head::instance().reset(config);

    if (!echo()) {
        previousOut = std::cout.rdbuf(outText.rdbuf());
        previousErr = std::cerr.rdbuf(errText.rdbuf());
    }
    current = this;
}

InputScope::~InputScope() {
    current = nullptr;
    if (previousOut != nullptr)
        std::cout.rdbuf(previousOut);
    if (previousErr != nullptr)
        std::cerr.rdbuf(previousErr);
    std::cout.clear();
    std::cerr.clear();
    std::error_code ignored;
    if (!previousDir.empty())
        fs::current_path(previousDir, ignored);
}

void InputScope::writeFile(const std::string& relativePath, const std::string& content) {
    const fs::path path = scratch() / relativePath;
    std::error_code ignored;
    fs::create_directories(path.parent_path(), ignored);
    std::ofstream file(path, std::ios::binary);
    file << content;
}

void InputScope::makeDirectory(const std::string& relativePath) {
    std::error_code ignored;
    fs::create_directories(scratch() / relativePath, ignored);
}

void InputScope::copySampleConfig(const std::string& name) {
    const fs::path to = scratch() / name;
    std::error_code ignored;
    fs::create_directories(to.parent_path(), ignored);
    fs::copy(fs::path(TC120MXS_SOURCE_DIR) / "config" / name, to,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void InputScope::clearOutput() {
    outText.str(std::string());
    errText.str(std::string());
}

void fail(const char* file, int line, const std::string& message) {
    if (current != nullptr) {
        std::fprintf(stderr, "---- plug-in standard output (tail) ----\n%s\n",
                     tail(current->out(), 3000).c_str());
        std::fprintf(stderr, "---- plug-in error stream (tail) ----\n%s\n",
                     tail(current->err(), 2000).c_str());
    }
    std::fprintf(stderr, "%s:%d: %s\n", file, line, message.c_str());
    std::fflush(stderr);
    std::abort();
}

uint8_t ByteReader::u8() {
    return position < size ? data[position++] : 0;
}

uint16_t ByteReader::u16() {
    const uint16_t low = u8();
    return static_cast<uint16_t>(low | (u8() << 8));
}

uint32_t ByteReader::u32() {
    const uint32_t low = u16();
    return low | (static_cast<uint32_t>(u16()) << 16);
}

std::string ByteReader::text(size_t count) {
    const size_t taken = std::min(count, remaining());
    std::string result(reinterpret_cast<const char*>(data + position), taken);
    position += taken;
    return result;
}

std::string ByteReader::until(uint8_t stop) {
    std::string result;
    while (position < size && data[position] != stop)
        result.push_back(static_cast<char>(data[position++]));
    if (position < size)
        ++position;
    return result;
}

} // namespace fuzzsupport
