#include "Expect.h"

#include "Numbers.h"

#include <sstream>
#include <vector>

namespace camhost {
namespace {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Every word a number: one number, or a list of them.
std::optional<Json> numbers(std::string text, bool bracketed) {
    for (char& c : text)
        if (c == ',')
            c = ' ';
    std::istringstream words(text);
    Json list = Json::array();
    for (std::string word; words >> word;) {
        const std::optional<long long> value = parseInteger(word);
        if (!value)
            return std::nullopt;
        list.push_back(*value);
    }
    if (list.size() == 1 && !bracketed)
        return list[0];
    if (list.empty() && !bracketed)
        return std::nullopt;
    return list;
}

} // namespace

std::optional<tsExpectation> parseExpectation(const std::string& written) {
    tsExpectation expectation;
    expectation.text = trim(written);
    std::string value = expectation.text;
    if (!value.empty() && value[0] == '!') {
        expectation.negated = true;
        value = trim(value.substr(1));
    }
    if (value.empty())
        return std::nullopt;
    const bool bracketed = value.front() == '[' && value.back() == ']' && value.size() >= 2;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        expectation.value = value.substr(1, value.size() - 2);
    else if (auto list = numbers(bracketed ? value.substr(1, value.size() - 2) : value, bracketed))
        expectation.value = *list;
    else
        expectation.value = value;
    return expectation;
}

bool isMet(const tsExpectation& expectation, const Json& result) {
    return (result == expectation.value) != expectation.negated;
}

} // namespace camhost
