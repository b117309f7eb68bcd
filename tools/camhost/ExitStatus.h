#pragma once
// camhost's exit status, from what happened in the run. Listed in --help and the README.

namespace camhost {

constexpr int kExitOk = 0;
constexpr int kExitPlugin = 1;      // not loadable, or an exception left it
constexpr int kExitUsage = 2;       // command line, script or an output file
constexpr int kExitExpectation = 3; // an "expect" was not met

struct tsOutcome {
    bool pluginFailed = false;
    bool camhostFailed = false; // its own error, or an output it could not write
    int failedExpectations = 0;
    int interruptSignal = 0; // SIGINT or SIGTERM that ended the run early, or 0
};

// The most serious thing that happened: the plug-in failing, camhost failing, an
// interruption (128 + the signal, as a shell reports it), then unmet expectations.
int exitStatus(const tsOutcome& outcome);

} // namespace camhost
