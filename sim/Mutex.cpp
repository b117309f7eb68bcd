// Framework mutex: robust, so that a lock after its owner died answers EOWNERDEAD.
#include "Vistrel/tcMutex.h"

#include "sim/BrokenFramework.h"

namespace Vistrel {

tcMutex::tcMutex(bool recursive) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    if (!sim::broken::has(sim::broken::Fault::mutexNonRobust))
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attributes, sim::broken::mutexType(recursive));
    pthread_mutex_init(&mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

tcMutex::~tcMutex() {
    pthread_mutex_destroy(&mutex);
}

} // namespace Vistrel
