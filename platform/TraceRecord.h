#pragma once
// The boundary record (docs/trace.md): every crossing of the plug-in's hardware boundary
// and every framework call, one line each, written to the file TC120MXS_TRACE names.
//
// Lines are formatted on the calling thread and appended to a bounded buffer under a short
// lock; a writer thread of the record writes the buffer out at least every 100 ms, so a run
// that is killed leaves every event but its last 100 ms. When the writer falls behind,
// events are dropped, counted and the record says so. The owner (the board) holds the
// record; its parts get a pointer to it, null when recording is off, so that a crossing
// costs one branch on a null pointer.
#include "platform/ThreadAnnotations.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace platform {

class tcTraceRecord {
public:
    static constexpr const char* kVariable = "TC120MXS_TRACE";
    // Pending bytes the writer has not written yet beyond which events are dropped.
    static constexpr size_t kDefaultCapacity = size_t{4} << 20;

    // The record the variable asks for, or null: unset, empty, or the file cannot be
    // created (said on standard error).
    static std::unique_ptr<tcTraceRecord> fromEnvironment();
    // Whether the variable asks for a record.
    static bool requested();

    // Takes the descriptor; writes the first line.
    explicit tcTraceRecord(int descriptor, size_t capacity = kDefaultCapacity);
    // Writes `end`, lets the writer write everything and joins it.
    ~tcTraceRecord();
    tcTraceRecord(const tcTraceRecord&) = delete;
    tcTraceRecord& operator=(const tcTraceRecord&) = delete;

    // One event: the keyword and its fields, printf-style ("reg=0x%x val=0x%x").
    void event(const char* keyword, const char* format, ...) __attribute__((format(printf, 3, 4)))
    EXCLUDES(mutex);
    // A configuration file as it is now: its size and CRC-32, or that it is absent.
    void file(const std::string& path);

    // µs since the record was made, on the host's clock (as the timestamps).
    int64_t now() const;

    // Text as a double-quoted field value.
    static std::string quoted(const std::string& text);

    // Events recorded and dropped so far.
    uint64_t recorded() const EXCLUDES(mutex);
    uint64_t dropped() const EXCLUDES(mutex);

    // Inside an operation, notification or GPIO notification of the board on this thread:
    // the board's calls of its own operations are not the framework's.
    class tcInside {
    public:
        tcInside();
        ~tcInside();
        tcInside(const tcInside&) = delete;
        tcInside& operator=(const tcInside&) = delete;
        // True for the outermost scope on this thread.
        bool outermost() const { return outer; }

    private:
        bool outer;
    };

private:
    void append(const char* fields, size_t length, const char* keyword) REQUIRES(mutex);
    void writeOut();
    unsigned threadNumber() REQUIRES(mutex);

    const int descriptor;
    const size_t capacity;
    const uint64_t serial; // tells this record's thread numbers from an earlier record's
    const int64_t start;   // the clock at construction
    mutable tcMutexLock mutex;
    std::condition_variable wake;
    std::string pending GUARDED_BY(mutex);
    uint64_t events GUARDED_BY(mutex) = 0;
    uint64_t droppedTotal GUARDED_BY(mutex) = 0;
    uint64_t droppedUnsaid GUARDED_BY(mutex) = 0;
    unsigned threads GUARDED_BY(mutex) = 0;
    bool closing GUARDED_BY(mutex) = false;
    std::thread writer;
};

// A hardware delay (platform::sleepFor), recorded with the time it took when record is not
// null.
void sleepFor(std::chrono::microseconds duration, tcTraceRecord* record);

} // namespace platform
