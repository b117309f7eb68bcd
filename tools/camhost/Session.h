#pragma once
// One run of the plug-in on the simulated head, with its outputs and exit status.
#include "ExitStatus.h"
#include "Options.h"
#include "OutputFile.h"
#include "Script.h"

#include <memory>
#include <vector>

namespace camhost {

// The outputs, each written whole or not at all.
struct tsOutputs {
    std::unique_ptr<tcOutputFile> json, vcd;
};

// Loads the plug-in, builds a board on the (reset) head, runs the script until its end, an
// exception or an interruption, writes the outputs and gives camhost's exit status.
int runSession(const tsOptions& options, const std::vector<tsCommand>& script, tsOutputs& outputs);

} // namespace camhost
