#pragma once
// The board's status lines on their way to the framework. The framework offers no way to
// read them back, so camhost-board defines the framework's three status operations itself
// and exports them: being the program, its definitions come first in the process, so the
// plug-in's calls reach them. Each records the line and hands it on, unchanged, to the
// framework's own operation, found next in the process.
#include "StatusLines.h"

#include <optional>
#include <vector>

namespace camhost {

// The lines recorded so far; nothing when one of the framework's operations was not found
// (a line then reached camhost-board only, never the framework).
std::optional<std::vector<tsStatusLine>> tappedStatusLines();

} // namespace camhost
