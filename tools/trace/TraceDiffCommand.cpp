#include "TraceDiffCommand.h"

#include "TraceDiff.h"
#include "TraceRecord.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace trace {

int runTraceDiff(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CLI::App app{"tracediff: sets a board's boundary record beside the model's run of the same "
                 "script and prints one line for each place where they part, then a total "
                 "(docs/trace.md, \"Comparing two records\").\n"
                 "Exit status: 0 the records agree, 1 they differ, 2 a record cannot be read."};
    app.name("tracediff");
    tsDiffOptions options;
    std::string board, model;
    uint64_t timeTolerance = 0;
    app.add_option("BOARD", board, "the board's record")->required();
    app.add_option("MODEL", model, "the model's record (camhost --trace)")->required();
    app.add_option("--poll-tolerance", options.pollTolerance,
                   "polls of one register (reads with waits between) that may be more or fewer "
                   "on one side without being reported")
        ->default_val(1);
    app.add_option("--time-tolerance", timeTolerance,
                   "compare times too: an event's time and a delay's duration may differ by "
                   "this many microseconds (without it times are not compared)");
    app.add_option("--volts-tolerance", options.voltsTolerance,
                   "ADC conversions may differ by this many volts")
        ->default_val(0.0);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitAgree;
    } catch (const CLI::ParseError& error) {
        err << "tracediff: " << error.what() << "\n"
            << "Run with --help for more information.\n";
        return kExitUnreadable;
    }
    if (app.count("--time-tolerance") > 0)
        options.timeToleranceUs = timeTolerance;

    tsRecord a, b;
    try {
        a = readRecordFile(board);
        b = readRecordFile(model);
    } catch (const tcRecordError& error) {
        err << "tracediff: cannot read the record: " << error.what() << "\n";
        return kExitUnreadable;
    }
    const tsDiffResult result = compareRecords(a, b, options);
    for (const tsDivergence& divergence : result.divergences)
        out << divergence.text << "\n";
    for (const std::string& note : result.notes)
        out << "note: " << note << "\n";
    out << "tracediff: " << totalLine(result) << "\n";
    return result.divergences.empty() ? kExitAgree : kExitDiffer;
}

} // namespace trace
