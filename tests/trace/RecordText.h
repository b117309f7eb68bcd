#pragma once
// Short records written by hand for the trace suite: a head line, the events, an end line.
#include <string>
#include <vector>

namespace tracetest {

inline const std::string kHead = "0 t0 trace format=1 module=2.0.0 build=\"test\" pid=1\n";

// lines: "TIME THREAD KEYWORD FIELDS" without their newline; ended: with the end line.
inline std::string record(const std::vector<std::string>& lines, bool ended = true) {
    std::string text = kHead;
    for (const std::string& line : lines)
        text += line + "\n";
    if (ended)
        text += "999999 t0 end events=" + std::to_string(lines.size()) + " dropped=0\n";
    return text;
}

} // namespace tracetest
