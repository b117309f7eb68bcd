#pragma once
// A board of the probe's own, built on the framework's board base as the plug-in's board is,
// with the values the plug-in hands it.
#include "Vistrel/tcSensorBoard.h"

#include <pthread.h>

namespace frameworkprobe {

class ProbeBoard : public Vistrel::tcSensorBoard {
public:
    ProbeBoard();
    // The board mutex, where the plug-in reaches it: through the inline getMutex() of the
    // member at the offset its headers give.
    pthread_mutex_t* boardMutex() { return mutex.getMutex(); }
};

static_assert(sizeof(ProbeBoard) == sizeof(Vistrel::tcSensorBoard),
              "the probe's board adds nothing to the base whose size it checks");

} // namespace frameworkprobe
