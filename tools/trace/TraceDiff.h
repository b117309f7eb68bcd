#pragma once
// Two records side by side (tracediff): per thread, operation against operation, and
// inside each, event against event; one divergence for each place where they part.
#include "TraceRecord.h"

#include <optional>
#include <string>
#include <vector>

namespace trace {

enum class teDivergence {
    Read,      // a read answered otherwise
    Answer,    // another answer at the boundary: a result, a library call, a file
    Operation, // a board operation or notification returned otherwise
    Sent,      // the plug-in asked for something else (another value written, another wait)
    Polls,     // a register polled more or fewer times than the tolerance allows
    OneSide,   // events on one side only
    Time,      // with a time tolerance: an event or wait later or longer than it allows
};

struct tsDiffOptions {
    unsigned pollTolerance = 1;              // polls more or fewer that are not reported
    std::optional<uint64_t> timeToleranceUs; // unset: times are not compared
    double voltsTolerance = 0.0;
    std::string nameA = "board", nameB = "model"; // how the lines call the two sides
};

struct tsDivergence {
    teDivergence kind;
    std::string text; // one line, without its newline
};

struct tsDiffResult {
    std::vector<tsDivergence> divergences;
    std::vector<std::string> notes; // what makes the comparison partial: cut short, dropped
};

tsDiffResult compareRecords(const tsRecord& a, const tsRecord& b, const tsDiffOptions& options);

// "3 divergences: 1 read, 2 on one side only", or "the records agree".
std::string totalLine(const tsDiffResult& result);

} // namespace trace
