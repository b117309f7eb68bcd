// Stand-in framework faults and settings read from the environment.
#include "sim/BrokenFramework.h"

#include <cstdlib>
#include <cstring>
#include <pthread.h>

namespace sim::broken {
namespace {

const char* nameOf(Fault fault) {
    switch (fault) {
    case Fault::mutexNonRecursive:
        return "mutex-nonrecursive";
    case Fault::mutexErrorCheck:
        return "mutex-errorcheck";
    case Fault::mutexNonRobust:
        return "mutex-nonrobust";
    case Fault::unregisterNoWait:
        return "unregister-nowait";
    case Fault::regfileNonRecursive:
        return "regfile-nonrecursive";
    case Fault::spiSwapped:
        return "spi-swapped";
    }
    return "";
}

} // namespace

bool has(Fault fault) {
    const char* list = std::getenv("CAMSIM_BROKEN");
    if (list == nullptr)
        return false;
    const std::string faults = std::string(",") + list + ",";
    return faults.find(std::string(",") + nameOf(fault) + ",") != std::string::npos;
}

int mutexType(bool recursive) {
    if (!recursive)
        return PTHREAD_MUTEX_NORMAL;
    if (has(Fault::mutexNonRecursive))
        return PTHREAD_MUTEX_NORMAL;
    if (has(Fault::mutexErrorCheck))
        return PTHREAD_MUTEX_ERRORCHECK;
    return PTHREAD_MUTEX_RECURSIVE;
}

} // namespace sim::broken
