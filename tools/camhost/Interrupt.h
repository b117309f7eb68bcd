#pragma once
// SIGINT and SIGTERM: the first ends the run at the next command boundary, the second ends
// the process at once. Either way no temporary file stays behind.
#include <string>

namespace camhost {

void installInterruptHandlers();

// The signal that asked the run to end, or 0.
int interruptSignal();

// A temporary file or (empty) directory that a second signal removes before the process
// dies. Gives a slot for forgetRemoval; -1 when every slot is taken.
int removeOnAbort(const std::string& path, bool directory = false);
void forgetRemoval(int slot);

} // namespace camhost
