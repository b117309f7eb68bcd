#pragma once
// For a thread of the board's own that must go on running after the board was deleted on
// that very thread: it cannot be joined there, and the framework may unload the module as
// soon as the deletion has returned.
namespace Vistrel {

// Keeps the module that holds this code loaded for the rest of the process.
void keepModuleLoaded();

} // namespace Vistrel
