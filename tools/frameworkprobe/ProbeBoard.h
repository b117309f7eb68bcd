#pragma once
// The framework's board base as the plug-in builds it (with the plug-in's values), and its
// mutex found where the plug-in finds it. The probe builds the base itself rather than a
// board of its own, so that it needs no framework name the plug-in does not.
#include "Roomy.h"

#include "Vistrel/tcSensorBoard.h"

#include <pthread.h>

namespace frameworkprobe {

using ProbeBoard = Roomy<Vistrel::tcSensorBoard>;

// A board base in storage of its own, filled with pattern before it is built.
ProbeBoard makeProbeBoard(unsigned char pattern = 0xA5);

// The board mutex at the offset the plug-in was compiled with, through the inline getMutex().
pthread_mutex_t* boardMutexOf(Vistrel::tcSensorBoard& board);

} // namespace frameworkprobe
