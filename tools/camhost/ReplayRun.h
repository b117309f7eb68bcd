#pragma once
// camhost --replay: the plug-in on the simulated head with a boundary record's answers, the
// framework's calls, client notifications and GPIO notifications taken from the record, and
// the run's own record compared with it (docs/trace.md, "Replaying a record").
#include "Options.h"
#include "ReplayReport.h"

#include "TraceRecord.h"

#include <string>

namespace camhost {

// Installs the record's answers, makes the board (recording into ownRecordPath), calls what
// the record's framework called, in its order, then compares the two records; report prints
// and keeps what it did. Gives the exit status: kExitOk when they match, kExitExpectation at
// a divergence, kExitPlugin when the module cannot be loaded or made.
int replayRecord(const trace::tsRecord& record, const tsOptions& options,
                 const std::string& ownRecordPath, tcReplayReport& report);

} // namespace camhost
