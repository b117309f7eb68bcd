#include "platform/TraceRecord.h"

#include "platform/BuildStamp.h"
#include "platform/Platform.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>


namespace platform {
namespace {

constexpr auto kFlushInterval = std::chrono::milliseconds(100);
// Fields of most events fit here; a longer line is formatted a second time on the heap.
constexpr size_t kShortLine = 256;

std::atomic<uint64_t> recordSerials{0};

// This thread's number in the record it last wrote to.
struct tsThreadNumber {
    uint64_t serial = 0;
    unsigned number = 0;
};
thread_local tsThreadNumber threadInRecord;
thread_local int insideDepth = 0;

uint32_t crc32Table(uint32_t index) {
    uint32_t crc = index;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1u) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    return crc;
}

void writeAll(int descriptor, const char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(descriptor, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // a full disk loses the rest; the run goes on
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}

} // namespace

bool tcTraceRecord::requested() {
    const char* name = std::getenv(kVariable);
    return name != nullptr && *name != '\0';
}

std::unique_ptr<tcTraceRecord> tcTraceRecord::fromEnvironment() {
    if (!requested())
        return nullptr;
    const char* name = std::getenv(kVariable);
    const int descriptor = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        std::cerr << kVariable << "=" << name
                  << ": cannot create the record: " << std::strerror(errno) << std::endl;
        return nullptr;
    }
    return std::make_unique<tcTraceRecord>(descriptor);
}

tcTraceRecord::tcTraceRecord(int descriptor_, size_t capacity_)
    : descriptor(descriptor_), capacity(capacity_), serial(++recordSerials),
      start(nowMicroseconds()) {
    pending.reserve(capacity / 4);
    event("trace", "format=2 module=%s build=\"%s %s\" pid=%ld", TC120MXS_VERSION,
          TC120MXS_BUILD_DATE, TC120MXS_BUILD_TIME, static_cast<long>(getpid()));
    {
        // The first line is no event of the board's.
        const tcScopedLock lock(mutex);
        events = 0;
    }
    writer = std::thread([this] { writeOut(); });
}

tcTraceRecord::~tcTraceRecord() {
    {
        const tcScopedLock lock(mutex);
        const uint64_t total = events;
        char fields[64];
        const int length = std::snprintf(fields, sizeof fields, "events=%llu dropped=%llu",
                                         static_cast<unsigned long long>(total),
                                         static_cast<unsigned long long>(droppedTotal));
        // Past the capacity if need be: the last line is never dropped.
        append(fields, static_cast<size_t>(length), "end");
        closing = true;
    }
    wake.notify_all();
    writer.join();
    ::close(descriptor);
}

int64_t tcTraceRecord::now() const {
    return nowMicroseconds() - start;
}

void tcTraceRecord::event(const char* keyword, const char* format, ...) {
    char line[kShortLine];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length < 0)
        return;
    std::vector<char> longer;
    const char* fields = line;
    if (static_cast<size_t>(length) >= sizeof line) {
        longer.resize(static_cast<size_t>(length) + 1);
        va_start(arguments, format);
        length = std::vsnprintf(longer.data(), longer.size(), format, arguments);
        va_end(arguments);
        fields = longer.data();
    }
    bool wakeWriter = false;
    {
        const tcScopedLock lock(mutex);
        const size_t before = pending.size();
        if (before + kShortLine + static_cast<size_t>(length) > capacity) {
            ++droppedTotal;
            ++droppedUnsaid;
            return;
        }
        if (droppedUnsaid > 0) {
            char said[40];
            const int saidLength = std::snprintf(said, sizeof said, "count=%llu",
                                                 static_cast<unsigned long long>(droppedUnsaid));
            append(said, static_cast<size_t>(saidLength), "dropped");
            droppedUnsaid = 0;
        }
        append(fields, static_cast<size_t>(length), keyword);
        ++events;
        // Half full: the writer need not wait for its next turn.
        wakeWriter = before < capacity / 2 && pending.size() >= capacity / 2;
    }
    if (wakeWriter)
        wake.notify_one();
}

void tcTraceRecord::append(const char* fields, size_t length, const char* keyword) {
    char prefix[64];
    const int prefixLength = std::snprintf(prefix, sizeof prefix, "%lld t%u %s ",
                                           static_cast<long long>(now()), threadNumber(), keyword);
    pending.append(prefix, static_cast<size_t>(prefixLength));
    pending.append(fields, length);
    pending.push_back('\n');
}

unsigned tcTraceRecord::threadNumber() {
    if (threadInRecord.serial != serial) {
        threadInRecord.serial = serial;
        threadInRecord.number = threads++;
    }
    return threadInRecord.number;
}

void tcTraceRecord::writeOut() {
    std::string writing;
    writing.reserve(capacity / 4);
    bool last = false;
    while (!last) {
        {
            tcScopedLock lock(mutex);
            lock.waitUntil(wake, std::chrono::steady_clock::now() + kFlushInterval,
                           [this]() NO_THREAD_SAFETY_ANALYSIS {
                               return closing || pending.size() >= capacity / 2;
                           });
            writing.swap(pending);
            last = closing;
        }
        writeAll(descriptor, writing.data(), writing.size());
        writing.clear();
    }
}

void tcTraceRecord::file(const std::string& path) {
    const int input = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    // Only a regular file is read, as the plug-in's readers do: a device may never end.
    if (input < 0 || fstat(input, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (input >= 0)
            ::close(input);
        event("file", "name=%s absent=1", quoted(path).c_str());
        return;
    }
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> entries(256);
        for (uint32_t index = 0; index < 256; ++index)
            entries[index] = crc32Table(index);
        return entries;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    uint64_t bytes = 0;
    unsigned char block[4096];
    for (;;) {
        const ssize_t got = ::read(input, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got; ++at)
            crc = table[(crc ^ block[at]) & 0xFFu] ^ (crc >> 8);
        bytes += static_cast<uint64_t>(got);
    }
    ::close(input);
    event("file", "name=%s bytes=%llu crc32=0x%08x", quoted(path).c_str(),
          static_cast<unsigned long long>(bytes), crc ^ 0xFFFFFFFFu);
}

std::string tcTraceRecord::quoted(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            result += '\\';
        if (c == '\n') {
            result += "\\n";
            continue;
        }
        result += c;
    }
    result += '"';
    return result;
}

uint64_t tcTraceRecord::recorded() const {
    const tcScopedLock lock(mutex);
    return events;
}

uint64_t tcTraceRecord::dropped() const {
    const tcScopedLock lock(mutex);
    return droppedTotal;
}

void sleepFor(std::chrono::microseconds duration, tcTraceRecord* record) {
    if (record == nullptr) {
        sleepFor(duration);
        return;
    }
    const int64_t before = record->now();
    sleepFor(duration);
    record->event("delay", "us=%lld took=%lld", static_cast<long long>(duration.count()),
                  static_cast<long long>(record->now() - before));
}

tcTraceRecord::tcInside::tcInside() : outer(insideDepth++ == 0) {}
tcTraceRecord::tcInside::~tcInside() {
    --insideDepth;
}

} // namespace platform
