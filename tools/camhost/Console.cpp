#include "Console.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <streambuf>
#include <unistd.h>

namespace camhost {
namespace {

// Unbuffered writes to a file descriptor, so camhost's lines keep their order with the
// plug-in's, which it flushes line by line.
class tcFdBuffer : public std::streambuf {
public:
    explicit tcFdBuffer(int fd) : fd(fd) {}
    void setFd(int descriptor) { fd = descriptor; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return writeAll(&byte, 1) ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        return writeAll(text, static_cast<size_t>(count)) ? count : 0;
    }

private:
    bool writeAll(const char* text, size_t count) {
        while (count > 0) {
            const ssize_t written = ::write(fd, text, count);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            text += written;
            count -= static_cast<size_t>(written);
        }
        return true;
    }
    int fd;
};

tcFdBuffer outBuffer(STDOUT_FILENO), errBuffer(STDERR_FILENO);
std::atomic<int> errorDescriptor{STDERR_FILENO};
std::ostream outStream(&outBuffer), errStream(&errBuffer);

} // namespace

std::ostream& out() {
    return outStream;
}

std::ostream& err() {
    return errStream;
}

namespace {
const char* programName = "camhost";
} // namespace

const char* toolName() {
    return programName;
}

void setToolName(const char* name) {
    programName = name;
}

int errorFd() {
    return errorDescriptor.load();
}

std::string divertPluginOutput(const std::string& logPath) {
    const int target = logPath.empty()
                           ? open("/dev/null", O_WRONLY | O_CLOEXEC)
                           : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (target < 0)
        return "cannot write " + (logPath.empty() ? std::string("/dev/null") : logPath) + ": " +
               std::strerror(errno);
    const int ownOut = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int ownErr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (ownOut < 0 || ownErr < 0) {
        const std::string why = std::strerror(errno);
        close(target);
        return "cannot keep the terminal: " + why;
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    dup2(target, STDOUT_FILENO);
    dup2(target, STDERR_FILENO);
    close(target);
    outBuffer.setFd(ownOut);
    errBuffer.setFd(ownErr);
    errorDescriptor.store(ownErr);
    return "";
}

bool pluginOutputLost() {
    // The plug-in writes through the C++ streams and C stdio; either keeps a failed write
    // as its error state.
    std::cout.flush();
    std::cerr.flush();
    const bool flushed = std::fflush(stdout) == 0 && std::fflush(stderr) == 0;
    return !flushed || !std::cout || !std::cerr || std::ferror(stdout) || std::ferror(stderr);
}

} // namespace camhost
