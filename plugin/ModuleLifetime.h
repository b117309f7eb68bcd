#pragma once
// For a thread of the board's own that must go on running after the board was deleted on
// that very thread: it cannot be joined there, and the framework may unload the module as
// soon as the deletion has returned.
#include <thread>

namespace Vistrel {

// Keeps the module that holds this code loaded for the rest of the process.
void keepModuleLoaded();

// Ends one of the board's threads: joins it, or, called on that thread itself, keeps the
// module loaded and detaches it (it returns through this module's code once the caller's
// deletion of the board is done).
void joinOrDetach(std::thread& thread);

} // namespace Vistrel
