#pragma once
// The board's status lines in the report: "status" as sent, "statusText" as a person
// reads them ("info (6): Initializing FPGA...").
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace camhost {

using Json = nlohmann::ordered_json;

struct tsStatusLine {
    std::optional<int> status; // none for the status-less form
    std::string text;
};

void addStatusLines(Json& report, const std::vector<tsStatusLine>& lines);

} // namespace camhost
