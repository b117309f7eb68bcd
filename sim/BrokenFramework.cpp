// Stand-in framework faults and settings read from the environment.
#include "sim/BrokenFramework.h"

#include "sim/HeadImpl.h"

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

// Applies CAMSIM_REGFILE once, when the library is loaded.
const bool registerFileModeApplied = [] {
    const char* mode = std::getenv("CAMSIM_REGFILE");
    if (mode == nullptr)
        return false;
    RegisterFileMode chosen = RegisterFileMode::direct;
    if (std::strcmp(mode, "locked") == 0)
        chosen = RegisterFileMode::locked;
    else if (std::strcmp(mode, "thread") == 0)
        chosen = RegisterFileMode::thread;
    else if (std::strcmp(mode, "strict-lock") == 0)
        chosen = RegisterFileMode::strictLock;
    Head::Impl& head = Head::instance().impl();
    std::lock_guard<std::mutex> lock(head.mutex);
    head.config.registerFileMode = chosen;
    return true;
}();

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
