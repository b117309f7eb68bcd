#include "ReplayReport.h"

#include "Console.h"
#include "ExitStatus.h"

namespace camhost {

void tcReplayReport::call(const std::string& call, const std::optional<std::string>& answer,
                          size_t line) {
    out() << "[" << calls.size() + 1 << "] " << call;
    if (answer)
        out() << " -> " << *answer;
    out() << std::endl;
    calls.push_back({{"line", line}, {"call", call}, {"answer", answer ? Json(*answer) : Json()}});
}

void tcReplayReport::note(const std::string& text) {
    out() << "note: " << text << std::endl;
    notes.push_back(text);
}

Json tcReplayReport::json(const std::string& path, size_t events, int status) const {
    return {{"record", path},       {"events", events},           {"matched", status == kExitOk},
            {"exitStatus", status}, {"divergences", divergences}, {"notes", notes},
            {"calls", calls}};
}

} // namespace camhost
