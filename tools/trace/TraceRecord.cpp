#include "TraceRecord.h"

#include "EventSchema.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <utility>

namespace trace {

namespace {

constexpr size_t kMaxTimeDigits = 19; // fits 64 bits
constexpr size_t kMaxThreadDigits = 9;

bool isLower(char c) {
    return (c >= 'a' && c <= 'z') || c == '_';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string escaped(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out + "\"";
}

// Reads one line's parts; every fault is a message, thrown with the line's place.
class tcLineParser {
public:
    tcLineParser(std::string_view line, const std::string& where) : rest(line), where(where) {}

    tsEvent parse() {
        tsEvent event;
        event.timeUs = number(kMaxTimeDigits, "the time");
        space("after the time");
        if (rest.empty() || rest.front() != 't')
            fail("no thread (tN) after the time");
        rest.remove_prefix(1);
        event.thread = static_cast<unsigned>(number(kMaxThreadDigits, "the thread's number"));
        space("after the thread");
        event.keyword = word("the event's keyword");
        while (!rest.empty()) {
            space("between fields");
            event.fields.push_back(field());
            for (size_t i = 0; i + 1 < event.fields.size(); ++i)
                if (event.fields[i].key == event.fields.back().key)
                    fail("the field " + event.fields.back().key + " twice");
        }
        return event;
    }

    [[noreturn]] void fail(const std::string& what) const { throw tcRecordError(where + what); }

private:
    uint64_t number(size_t maxDigits, const char* what) {
        size_t digits = 0;
        uint64_t value = 0;
        while (digits < rest.size() && isDigit(rest[digits])) {
            if (digits == maxDigits)
                fail(std::string(what) + " has too many digits");
            value = value * 10 + static_cast<uint64_t>(rest[digits] - '0');
            ++digits;
        }
        if (digits == 0)
            fail(std::string(what) + " is not a decimal number");
        rest.remove_prefix(digits);
        return value;
    }

    void space(const char* what) {
        if (rest.empty())
            fail(std::string("the line ends ") + what);
        if (rest.front() != ' ')
            fail(std::string("no single space ") + what);
        rest.remove_prefix(1);
    }

    std::string word(const char* what) {
        size_t length = 0;
        while (length < rest.size() &&
               (isLower(rest[length]) || (length > 0 && isDigit(rest[length]))))
            ++length;
        if (length == 0)
            fail(std::string(what) + " is missing or not lower case");
        std::string text(rest.substr(0, length));
        rest.remove_prefix(length);
        return text;
    }

    tsField field() {
        tsField f;
        f.key = word("a field's name");
        if (rest.empty() || rest.front() != '=')
            fail("the field " + f.key + " has no '='");
        rest.remove_prefix(1);
        if (!rest.empty() && rest.front() == '"') {
            f.quoted = true;
            f.value = quotedText(f.key);
        } else {
            const size_t length = std::min(rest.find(' '), rest.size());
            f.value = std::string(rest.substr(0, length));
            if (f.value.empty())
                fail("the field " + f.key + " has no value");
            if (f.value.find('"') != std::string::npos)
                fail("the field " + f.key + " has a quote inside a word");
            rest.remove_prefix(length);
        }
        return f;
    }

    std::string quotedText(const std::string& key) {
        std::string text;
        rest.remove_prefix(1);
        while (true) {
            if (rest.empty())
                fail("the text of " + key + " has no closing quote");
            const char c = rest.front();
            rest.remove_prefix(1);
            if (c == '"')
                return text;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (rest.empty())
                fail("the text of " + key + " ends in a lone '\\'");
            const char next = rest.front();
            rest.remove_prefix(1);
            if (next == 'n')
                text += '\n';
            else if (next == '"' || next == '\\')
                text += next;
            else
                fail("the text of " + key + " has an unknown escape '\\" + std::string(1, next) +
                     "'");
        }
    }

    std::string_view rest;
    std::string where;
};

// The line's fields against the documented form of its event.
void checkFields(const tsEvent& event, const tcLineParser& line) {
    const tsEventKind* kind = findEventKind(event.keyword);
    if (kind == nullptr)
        line.fail("no event is called " + event.keyword);
    const tcFieldList* form = matchingForm(*kind, event.fields);
    if (form == nullptr) {
        std::string expected;
        for (const tcFieldList& f : kind->forms) {
            expected += expected.empty() ? "" : " or ";
            for (const tsFieldForm& field : f)
                expected += std::string(field.key) + "= ";
        }
        line.fail(event.keyword + " needs the fields " + expected + "in this order");
    }
    for (size_t i = 0; i < form->size(); ++i) {
        const tsField& field = event.fields[i];
        if (!validValue((*form)[i].value, field.value, field.quoted))
            line.fail(event.keyword + ": " + field.key + "=" +
                      (field.quoted ? escaped(field.value) : field.value) +
                      " is not a valid value");
    }
}

// Operations, commands and notifications open and close on their thread, innermost first.
class tcNesting {
public:
    void apply(const tsEvent& event, const tcLineParser& line) {
        std::vector<std::pair<std::string, std::string>>& open = stacks[event.thread];
        if (event.keyword == "op" || event.keyword == "cmd" || event.keyword == "notify") {
            open.emplace_back(event.keyword, opened(event));
            return;
        }
        const std::string& k = event.keyword;
        if (k != "op_ret" && k != "cmd_ret" && k != "notify_ret")
            return;
        const std::string kind = k.substr(0, k.size() - 4);
        if (open.empty() || open.back().first != kind ||
            !sameValue(open.back().second, opened(event)))
            line.fail(event.keyword + " " + opened(event) + " on t" + std::to_string(event.thread) +
                      (open.empty() ? " with nothing open"
                                    : " while " + open.back().first + " " + open.back().second +
                                          " is open"));
        open.pop_back();
    }

private:
    static std::string opened(const tsEvent& event) {
        return event.value(event.keyword.rfind("notify", 0) == 0 ? "addr" : "name");
    }
    std::map<unsigned, std::vector<std::pair<std::string, std::string>>> stacks;
};

} // namespace

const std::string* tsEvent::find(std::string_view key) const {
    for (const tsField& field : fields)
        if (field.key == key)
            return &field.value;
    return nullptr;
}

std::string tsEvent::value(std::string_view key) const {
    const std::string* found = find(key);
    return found != nullptr ? *found : std::string();
}

std::string tsEvent::text() const {
    std::string out = keyword;
    for (const tsField& field : fields)
        out += " " + field.key + "=" + (field.quoted ? escaped(field.value) : field.value);
    return out;
}

bool sameValue(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    auto parse = [](const std::string& text, unsigned long long& value) {
        if (text.empty() || text.size() > 20 || text.front() == '-' || text.front() == '+')
            return false;
        const bool hex = text.rfind("0x", 0) == 0;
        const char* begin = text.c_str() + (hex ? 2 : 0);
        if (*begin == '\0')
            return false;
        char* end = nullptr;
        errno = 0;
        value = std::strtoull(begin, &end, hex ? 16 : 10);
        return errno == 0 && *end == '\0';
    };
    unsigned long long x = 0, y = 0;
    return parse(a, x) && parse(b, y) && x == y;
}

tsRecord readRecord(std::string_view bytes, const std::string& name) {
    tsRecord record;
    record.name = name;
    tcNesting nesting;
    size_t number = 0;
    while (!bytes.empty()) {
        ++number;
        const std::string where = name + ":" + std::to_string(number) + ": ";
        const size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos)
            throw tcRecordError(where + "the line is cut in the middle (no newline after it)");
        const std::string_view text = bytes.substr(0, newline);
        bytes.remove_prefix(newline + 1);
        tcLineParser line(text, where);
        if (text.empty())
            line.fail("an empty line");
        if (record.ended)
            line.fail("a line after the record's end");
        tsEvent event = line.parse();
        event.line = number;
        const bool first = record.events.empty();
        if (first != (event.keyword == "trace"))
            line.fail(first ? "not a record: the first line is " + event.keyword + ", not trace"
                            : "a second trace line");
        if (first) {
            const std::string* format = event.find("format");
            std::string versions;
            bool known = false;
            for (int version = kOldestFormat; version <= kFormat; ++version) {
                versions += (version == kOldestFormat ? ""
                             : version == kFormat     ? " and "
                                                      : ", ") +
                            std::to_string(version);
                known = known || (format != nullptr && sameValue(*format, std::to_string(version)));
            }
            if (!known)
                line.fail("format " + (format ? *format : std::string("missing")) +
                          ", this reader reads formats " + versions);
        }
        checkFields(event, line);
        nesting.apply(event, line);
        if (event.keyword == "end")
            record.ended = true;
        if (event.keyword == "dropped")
            record.dropped += std::strtoull(event.value("count").c_str(), nullptr, 0);
        record.events.push_back(std::move(event));
    }
    if (record.events.empty())
        throw tcRecordError(name + ":1: empty: no trace line");
    return record;
}

tsRecord readRecordFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw tcRecordError(path + ": cannot open: " + std::strerror(errno));
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (file.bad())
        throw tcRecordError(path + ": cannot read: " + std::strerror(errno));
    return readRecord(bytes, path);
}

} // namespace trace
