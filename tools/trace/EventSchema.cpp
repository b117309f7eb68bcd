#include "EventSchema.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace trace {

namespace {

using V = teValue;
using R = teRole;

// docs/trace.md, "Events": the fields each line begins with, in their order.
const std::vector<tsEventKind>& eventKinds() {
    static const std::vector<tsEventKind> kinds{
        {"trace",
         {{{"format", V::Number, R::Subject},
           {"module", V::Name, R::Answer},
           {"build", V::Text, R::Answer},
           {"pid", V::Number, R::Time}}}},
        {"file",
         {{{"name", V::Text, R::Subject},
           {"bytes", V::Number, R::Answer},
           {"crc32", V::Hex, R::Answer}},
          {{"name", V::Text, R::Subject}, {"absent", V::Flag, R::Answer}}}},
        {"op", {{{"name", V::Name, R::Subject}, {"args", V::Text, R::Request}}}},
        {"op_ret",
         {{{"name", V::Name, R::Subject}, {"result", V::Any, R::Answer}},
          {{"name", V::Name, R::Subject}, {"exception", V::Text, R::Answer}}}},
        // A command's name is a word, quoted when it is not one.
        {"cmd", {{{"name", V::Any, R::Subject}, {"args", V::Text, R::Request}}}},
        {"cmd_ret",
         {{{"name", V::Any, R::Subject}, {"reply", V::Text, R::Answer}},
          {{"name", V::Any, R::Subject}, {"exception", V::Text, R::Answer}}}},
        {"notify", {{{"addr", V::Hex, R::Subject}, {"val", V::Hex, R::Request}}}},
        {"notify_ret", {{{"addr", V::Hex, R::Subject}, {"handled", V::Flag, R::Answer}}}},
        {"word", {{{"addr", V::Hex, R::Subject}, {"val", V::Hex, R::Request}}}},
        {"deferred", {{{"addr", V::Hex, R::Subject}, {"val", V::Hex, R::Request}}}},
        {"deferred_apply", {{{"addr", V::Hex, R::Subject}, {"val", V::Hex, R::Request}}}},
        {"map",
         {{{"base", V::Hex, R::Subject},
           {"words", V::Number, R::Request},
           {"ok", V::Flag, R::Answer}}}},
        {"fpga_read",
         {{{"base", V::Hex, R::Subject}, {"off", V::Hex, R::Subject}, {"val", V::Hex, R::Answer}}}},
        {"fpga_write",
         {{{"base", V::Hex, R::Subject},
           {"off", V::Hex, R::Subject},
           {"val", V::Hex, R::Request}}}},
        {"spi_open", {{{"path", V::Text, R::Subject}, {"ok", V::Flag, R::Answer}}}},
        {"spi_config",
         {{{"mode", V::Number, R::Request},
           {"bits", V::Number, R::Request},
           {"speed", V::Number, R::Request},
           {"delay", V::Number, R::Request},
           {"ok", V::Flag, R::Answer}}}},
        {"spi_write",
         {{{"reg", V::Hex, R::Subject},
           {"val", V::Hex, R::Request},
           {"bytes", V::Number, R::Request},
           {"result", V::Number, R::Answer}}}},
        {"gpio_pin", {{{"name", V::Name, R::Subject}, {"pin", V::Number, R::Answer}}}},
        {"gpio_dir",
         {{{"pin", V::Number, R::Subject},
           {"dir", V::Number, R::Request},
           {"val", V::Number, R::Request},
           {"result", V::Number, R::Answer}}}},
        {"gpio_set",
         {{{"pin", V::Number, R::Subject},
           {"val", V::Number, R::Request},
           {"result", V::Number, R::Answer}}}},
        {"gpio_get", {{{"pin", V::Number, R::Subject}, {"val", V::Number, R::Answer}}}},
        {"gpio_edge",
         {{{"pin", V::Number, R::Subject},
           {"flags", V::Number, R::Request},
           {"mode", V::Number, R::Request},
           {"result", V::Number, R::Answer}}}},
        {"gpio_irq", {{{"pin", V::Number, R::Subject}, {"level", V::Number, R::Request}}}},
        {"adc_setup",
         {{{"op", V::Name, R::Subject},
           {"val", V::Number, R::Request},
           {"result", V::Number, R::Answer}}}},
        {"adc",
         {{{"ch", V::Number, R::Subject},
           {"single", V::Flag, R::Request},
           {"volts", V::Real, R::Answer},
           {"result", V::Number, R::Answer}}}},
        {"core",
         {{{"op", V::Name, R::Subject},
           {"args", V::Text, R::Request},
           {"result", V::Any, R::Answer}},
          {{"op", V::Name, R::Subject},
           {"args", V::Text, R::Request},
           {"exception", V::Text, R::Answer}}}},
        {"delay", {{{"us", V::Number, R::Request}, {"took", V::Number, R::Time}}}},
        {"dropped", {{{"count", V::Number, R::Answer}}}},
        {"end", {{{"events", V::Number, R::Answer}, {"dropped", V::Number, R::Answer}}}},
    };
    return kinds;
}

template <typename Accept> bool allOf(std::string_view text, Accept accept) {
    for (const char c : text)
        if (!accept(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool isHex(std::string_view text) {
    return text.size() > 2 && text.size() <= 18 && text.substr(0, 2) == "0x" &&
           allOf(text.substr(2), [](int c) { return std::isxdigit(c) != 0; });
}

bool isDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    return !text.empty() && text.size() <= 19 &&
           allOf(text, [](int c) { return std::isdigit(c) != 0; });
}

bool isReal(std::string_view text) {
    static const std::array<std::string_view, 4> special{"nan", "-nan", "inf", "-inf"};
    for (const std::string_view word : special)
        if (text == word)
            return true;
    if (text.empty() || text.size() > 32 || !allOf(text, [](int c) {
            return std::isdigit(c) != 0 || c == '.' || c == 'e' || c == '-' || c == '+';
        }))
        return false;
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size();
}

} // namespace

const tsEventKind* findEventKind(std::string_view keyword) {
    for (const tsEventKind& kind : eventKinds())
        if (keyword == kind.keyword)
            return &kind;
    return nullptr;
}

bool validValue(teValue kind, std::string_view text, bool quoted) {
    if (kind == teValue::Text)
        return quoted;
    if (kind == teValue::Any)
        return true;
    if (quoted)
        return false;
    switch (kind) {
    case teValue::Hex:
        return isHex(text);
    case teValue::Number:
        return isDecimal(text) || isHex(text);
    case teValue::Real:
        return isReal(text);
    case teValue::Flag:
        return text == "0" || text == "1";
    default:
        return !text.empty();
    }
}

} // namespace trace
