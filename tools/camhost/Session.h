#pragma once
// One run of the plug-in on the host's framework, with its outputs and exit status.
#include "ExitStatus.h"
#include "HostSide.h"
#include "Options.h"
#include "OutputFile.h"
#include "Script.h"

#include <memory>
#include <vector>

namespace camhost {

// Loads the plug-in, builds a board, runs the script until its end, an exception or an
// interruption, writes the JSON report (json may be null) and the host's outputs, and
// gives the exit status.
int runSession(const tsOptions& options, const std::vector<tsCommand>& script, tcOutputFile* json,
               tcHostSide& host);

} // namespace camhost
