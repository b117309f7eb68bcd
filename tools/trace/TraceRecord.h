#pragma once
// A boundary record (docs/trace.md) read into events. The reader accepts only what the
// recorder writes: a line it cannot take whole is an error naming the file, the line and
// what is wrong; a record without its `end` line was cut short, which is no error.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trace {

// The format versions this reader reads: 1, and 2, which added the text commands (cmd).
constexpr int kOldestFormat = 1;
constexpr int kFormat = 2;

struct tsField {
    std::string key;
    std::string value; // text fields unescaped, without their quotes
    bool quoted = false;
};

struct tsEvent {
    uint64_t timeUs = 0;
    unsigned thread = 0; // N of "tN"
    std::string keyword;
    std::vector<tsField> fields; // in the order of the line
    size_t line = 0;             // 1-based line number in the record

    // The field's value, or null when the line has no such field.
    const std::string* find(std::string_view key) const;
    // The value, or an empty text.
    std::string value(std::string_view key) const;
    // Keyword and fields as the line writes them, without time and thread.
    std::string text() const;
};

struct tsRecord {
    std::string name; // the file, for messages
    std::vector<tsEvent> events;
    bool ended = false;   // the `end` line is there
    uint64_t dropped = 0; // events the writer said it dropped
};

// What makes a record unreadable: "FILE:LINE: what".
class tcRecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a record from its bytes; name is used in messages. Throws tcRecordError.
tsRecord readRecord(std::string_view bytes, const std::string& name);
// Reads the file at path. Throws tcRecordError, also when it cannot be opened.
tsRecord readRecordFile(const std::string& path);

// True when both are the same number (decimal or 0x hexadecimal), or the same text.
bool sameValue(const std::string& a, const std::string& b);

} // namespace trace
