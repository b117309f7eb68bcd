#pragma once
// camhost's exit status, from what happened in the run. Listed in --help and the README.

namespace camhost {

constexpr int kExitOk = 0;
constexpr int kExitPlugin = 1;      // not loadable, or an exception left it
constexpr int kExitUsage = 2;       // command line, script or an output file
constexpr int kExitExpectation = 3; // an "expect" was not met
constexpr int kExitStrict = 4;      // --strict: the head logged a broken hardware rule

struct tsOutcome {
    bool pluginFailed = false;
    bool camhostFailed = false; // its own error, or an output it could not write
    int failedExpectations = 0;
    int interruptSignal = 0; // the signal that ended the run early, or 0
    bool strict = false;     // --strict: a broken hardware rule fails the run
    int brokenRules = 0;     // violations the simulated head logged
};

// The most serious thing that happened: the plug-in failing, camhost failing, an
// interruption (128 + the signal, as a shell reports it), unmet expectations, then under
// --strict a broken hardware rule.
int exitStatus(const tsOutcome& outcome);

} // namespace camhost
