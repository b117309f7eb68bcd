#pragma once
// Splits a text at a separator character; empty tokens are skipped.
#include <string>

namespace Vistrel {

class tcStringTokenizer {
public:
    tcStringTokenizer(const std::string& text, char separator);

    bool hasNext();
    // Next token as text; empty when there is none.
    std::string next();
    // Consumes the next token; true and the number in *value when the whole token is a
    // decimal or 0x-hex integer, false (value untouched) otherwise.
    bool nextInt(int* value);

private:
    std::string text;
    char separator;
    std::string::size_type position = 0;
};

} // namespace Vistrel
