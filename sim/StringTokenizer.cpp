// Framework tokenizer: tokens between separators, empty ones skipped.
#include "Vistrel/tcStringTokenizer.h"

#include <cctype>
#include <climits>

namespace Vistrel {
namespace {

// Whole-token decimal (optionally signed) or 0x-hex integer within int range.
bool parseInt(const std::string& token, int& value) {
    size_t i = 0;
    bool negative = false;
    const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
    if (hex) {
        i = 2;
    } else if (!token.empty() && (token[0] == '-' || token[0] == '+')) {
        negative = token[0] == '-';
        i = 1;
    }
    if (i >= token.size())
        return false;
    long long magnitude = 0;
    for (; i < token.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        int digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (hex && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + digit;
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    const long long result = negative ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    value = static_cast<int>(result);
    return true;
}

} // namespace

tcStringTokenizer::tcStringTokenizer(const std::string& text_, char separator_)
    : text(text_), separator(separator_) {}

bool tcStringTokenizer::hasNext() {
    while (position < text.size() && text[position] == separator)
        ++position;
    return position < text.size();
}

std::string tcStringTokenizer::next() {
    if (!hasNext())
        return {};
    const std::string::size_type end = text.find(separator, position);
    const std::string::size_type stop = end == std::string::npos ? text.size() : end;
    std::string token = text.substr(position, stop - position);
    position = stop;
    return token;
}

bool tcStringTokenizer::nextInt(int* value) {
    const std::string token = next();
    int parsed = 0;
    if (token.empty() || !parseInt(token, parsed))
        return false;
    if (value != nullptr)
        *value = parsed;
    return true;
}

} // namespace Vistrel
