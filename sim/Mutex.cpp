// Framework mutex: robust, so that a lock after its owner died answers EOWNERDEAD.
#include "Vistrel/tcMutex.h"

namespace Vistrel {

tcMutex::tcMutex(bool recursive) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attributes,
                              recursive ? PTHREAD_MUTEX_RECURSIVE : PTHREAD_MUTEX_NORMAL);
    pthread_mutex_init(&mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

tcMutex::~tcMutex() {
    pthread_mutex_destroy(&mutex);
}

} // namespace Vistrel
