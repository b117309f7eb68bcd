#pragma once
// What camhost --replay says: the calls it made again with their answers and its notes, as
// it prints them, and with the comparison's divergences its JSON report (--json).
#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace camhost {

using Json = nlohmann::ordered_json;

class tcReplayReport {
public:
    // Prints "[N] call -> answer" (without an answer for a client's write or a GPIO
    // notification); line is the record's.
    void call(const std::string& call, const std::optional<std::string>& answer, size_t line);
    // Prints "note: text".
    void note(const std::string& text);
    // Every divergence the comparison found, in its order.
    void diverged(std::vector<std::string> lines) { divergences = std::move(lines); }

    // The report of a replay of the record at path with that many events, ended with the
    // exit status given.
    Json json(const std::string& path, size_t events, int status) const;

private:
    Json calls = Json::array();
    std::vector<std::string> notes;
    std::vector<std::string> divergences;
};

} // namespace camhost
