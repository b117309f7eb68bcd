#include "ExitStatus.h"

namespace camhost {

int exitStatus(const tsOutcome& outcome) {
    if (outcome.pluginFailed)
        return kExitPlugin;
    if (outcome.camhostFailed)
        return kExitUsage;
    if (outcome.interruptSignal != 0)
        return 128 + outcome.interruptSignal;
    if (outcome.failedExpectations > 0)
        return kExitExpectation;
    if (outcome.strict && outcome.brokenRules > 0)
        return kExitStrict;
    return kExitOk;
}

} // namespace camhost
