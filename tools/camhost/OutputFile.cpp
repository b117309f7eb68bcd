#include "OutputFile.h"

#include "Interrupt.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace camhost {
namespace {

std::string failure(const std::string& path, const std::string& what) {
    return "cannot write " + path + ": " + what + ": " + std::strerror(errno);
}

} // namespace

tcOutputFile::tcOutputFile(const std::string& path) : target(path) {
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            throw tcOutputError(failure(path, "open"));
        return;
    }
    const std::string::size_type slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + name + ".camhost-XXXXXX";
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throw tcOutputError(failure(path, "cannot create a file in " + dir));
    temporary = pattern;
    abortSlot = removeOnAbort(temporary);
}

tcOutputFile::~tcOutputFile() {
    discard();
}

void tcOutputFile::discard() {
    if (fd >= 0)
        close(fd);
    fd = -1;
    if (!temporary.empty())
        unlink(temporary.c_str());
    temporary.clear();
    forgetRemoval(abortSlot);
    abortSlot = -1;
}

void tcOutputFile::commit(const std::string& text) {
    if (fd < 0)
        throw tcOutputError("cannot write " + target + " twice");
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const std::string message = failure(target, "write");
            discard();
            throw tcOutputError(message);
        }
        done += static_cast<size_t>(written);
    }
    if (temporary.empty()) {
        close(fd);
        fd = -1;
        return;
    }
    // mkstemp made it private; the report gets the permissions of any new file.
    const mode_t mask = umask(0);
    umask(mask);
    const bool permitted = fchmod(fd, 0666 & ~mask) == 0;
    const bool closed = close(fd) == 0;
    fd = -1;
    if (!permitted || !closed) {
        const std::string message = failure(target, "close");
        discard();
        throw tcOutputError(message);
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const std::string message = failure(target, "rename");
        discard();
        throw tcOutputError(message);
    }
    temporary.clear();
    forgetRemoval(abortSlot);
    abortSlot = -1;
}

} // namespace camhost
