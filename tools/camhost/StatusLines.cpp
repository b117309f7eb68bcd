#include "StatusLines.h"

#include "Readable.h"

namespace camhost {

void addStatusLines(Json& report, const std::vector<tsStatusLine>& lines) {
    Json sent = Json::array();
    Json readable = Json::array();
    for (const tsStatusLine& line : lines) {
        sent.push_back(
            {{"status", line.status ? Json(*line.status) : Json(nullptr)}, {"text", line.text}});
        std::string prefix;
        if (line.status) {
            const Json name = statusName(*line.status);
            prefix = (name.is_null() ? std::string("status") : name.get<std::string>()) + " (" +
                     std::to_string(*line.status) + "): ";
        }
        readable.push_back(prefix + line.text);
    }
    report["status"] = sent;
    report["statusText"] = readable;
}

} // namespace camhost
