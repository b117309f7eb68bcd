#pragma once
// SIGINT, SIGTERM, SIGHUP and SIGPIPE: the first ends the run at the next command boundary
// (a script sleep is cut short, a running capture stopped), a second SIGINT, SIGTERM or
// SIGHUP ends the process at once. Either way no temporary file stays behind. A reader that
// went away (SIGPIPE) asks once: every later write to it would raise the signal again.
#include <functional>
#include <string>

namespace camhost {

void installInterruptHandlers();

// The signal that asked the run to end, or 0.
int interruptSignal();

// Sleeps the whole duration in slices through sleep, unless a signal asks the run to end:
// then it returns after the slice in progress.
void sleepUnlessInterrupted(long long microseconds, const std::function<void(long long)>& sleep);

// A temporary file or (empty) directory that a second signal removes before the process
// dies. Gives a slot for forgetRemoval; -1 when every slot is taken.
int removeOnAbort(const std::string& path, bool directory = false);
void forgetRemoval(int slot);

} // namespace camhost
