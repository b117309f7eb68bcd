#pragma once
// Framework mutex: a robust pthread mutex, recursive when built with true.
// Locking it answers EOWNERDEAD (130) when the previous owner died holding it.
#include <pthread.h>

namespace Vistrel {

class tcMutex {
public:
    explicit tcMutex(bool recursive);
    ~tcMutex();
    tcMutex(const tcMutex&) = delete;
    tcMutex& operator=(const tcMutex&) = delete;

    pthread_mutex_t* getMutex() { return &mutex; }

private:
    pthread_mutex_t mutex;
};

} // namespace Vistrel
