#pragma once
// What the board relies on in the framework and can check itself before relying on it. A
// wrong assumption here would hang the board or leave it silently unlocked: it is reported
// instead (status 4, naming what to check) and the bring-up stops.
#include "Vistrel/tcStatusReporter.h"

#include <pthread.h>

namespace Vistrel {

// initialize()'s answer when the framework is not what the board needs.
constexpr int kFrameworkFault = -6;

// 0 when the thread that holds the board mutex can lock it again (the board's operations
// call one another with it held); otherwise reports why not and answers kFrameworkFault.
int checkBoardMutexNests(pthread_mutex_t* boardMutex, tcStatusReporter& status);

} // namespace Vistrel
