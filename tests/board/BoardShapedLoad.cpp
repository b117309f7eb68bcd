// Loads the plug-in the way the framework does on the board, and checks that it then
// behaves as on the board.
//
// Usage: board_shaped_load FRAMEWORK_LIBRARY MODULE
//
// This program links no framework: it loads FRAMEWORK_LIBRARY (the stand-in framework built
// without the platform hooks, under a name of its own) into the global scope, then the module
// with dlopen. The fault it catches: a module that finds the simulation's hooks, or any
// library of ours, through a dependency of its own would open another memory device and sleep
// on a simulated clock on a real board. It interposes open/open64 and nanosleep to see what
// the module itself does: "/dev/mem" is recorded and refused (EACCES, as for a process without
// the privileges; nothing here touches real hardware), sleeps are recorded and really slept.
#include "Vistrel/tcSensorBoard.h"

#include "CheckTally.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::atomic<const void*> moduleBase{nullptr};
std::atomic<int> moduleMemoryOpens{0};
std::atomic<int> moduleOtherOpens{0};
std::atomic<int> moduleSleeps{0};

// True when the call came from code of the module under test.
bool calledFromModule(const void* returnAddress) {
    Dl_info info{};
    const void* base = moduleBase.load();
    return base != nullptr && dladdr(returnAddress, &info) != 0 && info.dli_fbase == base;
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Linux open flags that carry a mode argument (the same values on x86-64 and ARM):
// O_CREAT and __O_TMPFILE. <fcntl.h> is not included: under a 64-bit off_t it renames
// open to open64, and this file defines both.
constexpr int kOpenCreate = 0100;
constexpr int kOpenTmpFile = 020000000;

int interposedOpen(const char* function, const void* caller, const char* path, int flags,
                   unsigned mode) {
    if (calledFromModule(caller)) {
        if (path != nullptr && std::strcmp(path, "/dev/mem") == 0) {
            ++moduleMemoryOpens;
            errno = EACCES;
            return -1;
        }
        ++moduleOtherOpens;
    }
    using tfOpen = int (*)(const char*, int, ...);
    return next<tfOpen>(function)(path, flags, mode);
}

unsigned modeArgument(int flags, va_list arguments) {
    return (flags & kOpenCreate) != 0 || (flags & kOpenTmpFile) == kOpenTmpFile
               ? va_arg(arguments, unsigned)
               : 0u;
}

} // namespace

// open and open64 differ only in the name the next definition is looked up by. A macro,
// as a variadic function cannot hand its arguments on.
#define INTERPOSE_OPEN(name)                                                                       \
    extern "C" __attribute__((visibility("default"))) int name(const char* path, int flags, ...) { \
        va_list arguments;                                                                         \
        va_start(arguments, flags);                                                                \
        const unsigned mode = modeArgument(flags, arguments);                                      \
        va_end(arguments);                                                                         \
        return interposedOpen(#name, __builtin_return_address(0), path, flags, mode);              \
    }

INTERPOSE_OPEN(open)
INTERPOSE_OPEN(open64)
#undef INTERPOSE_OPEN

extern "C" __attribute__((visibility("default"))) int nanosleep(const timespec* request,
                                                                timespec* remaining) {
    if (calledFromModule(__builtin_return_address(0)))
        ++moduleSleeps;
    using tfNanosleep = int (*)(const timespec*, timespec*);
    return next<tfNanosleep>("nanosleep")(request, remaining);
}

namespace {

using checktally::check;

// Runs call with standard error going to a file; returns what it wrote there.
template <typename Call> std::string captureStderr(Call call) {
    char path[] = "/tmp/board_shaped_load.XXXXXX";
    const int file = mkstemp(path);
    if (file < 0)
        return "";
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file, 2);
    call();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    return text.str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FRAMEWORK_LIBRARY MODULE\n", argv[0]);
        return 2;
    }
    // 1. The framework's process: its libraries are in the global scope before any plug-in.
    if (dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL) == nullptr) {
        std::fprintf(stderr, "cannot load the framework: %s\n", dlerror());
        return 2;
    }
    check(dlsym(RTLD_DEFAULT, "vistrelPlatformHooks") == nullptr,
          "the framework process offers no platform hooks");

    // 2. The plug-in, loaded as the framework loads it.
    void* module = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load the plug-in: %s\n", dlerror());
        return 1;
    }
    auto sensorType = reinterpret_cast<int (*)()>(dlsym(module, "sensorType"));
    auto makeSensor =
        reinterpret_cast<Vistrel::tcSensorBoard* (*)(const char*)>(dlsym(module, "makeSensor"));
    if (sensorType == nullptr || makeSensor == nullptr) {
        std::fprintf(stderr, "entry points missing: %s\n", dlerror());
        return 1;
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(sensorType), &info) == 0) {
        std::fprintf(stderr, "dladdr found no object for sensorType\n");
        return 1;
    }
    moduleBase = info.dli_fbase;
    check(dlsym(module, "vistrelPlatformHooks") == nullptr,
          "nothing reachable from the plug-in defines the platform hooks");

    // 3. The board: construction maps the FPGA windows from the real memory device.
    check(sensorType() == 8, "sensorType() is 8");
    Vistrel::tcSensorBoard* board = nullptr;
    int initialized = 0;
    const std::string errors = captureStderr([&] {
        board = makeSensor("/dev/spidev1.0");
        initialized = board != nullptr ? board->initialize() : 0;
    });
    check(board != nullptr, "makeSensor built a board");
    check(moduleMemoryOpens.load() >= 2, "the plug-in opened \"/dev/mem\" for its windows (" +
                                             std::to_string(moduleMemoryOpens.load()) + " times)");
    check(errors.find("/dev/mem: Permission denied") != std::string::npos,
          "the refused device is reported with perror");
    check((initialized & 3) == 3,
          "initialize() reports the unmapped windows (" + std::to_string(initialized) + ")");

    // 4. A head whose windows failed was never powered: capture is refused, not started on
    //    cores nobody asked about, and stop() has no frame in flight to wait for.
    if (board != nullptr) {
        check(board->start() == 4, "start() on a head that was not brought up answers 4");
        check(board->stop() == 0, "stop() on it answers 0");
        delete board;
    }
    check(moduleSleeps.load() == 0, "the plug-in waited for no hardware it did not use (" +
                                        std::to_string(moduleSleeps.load()) + " sleeps)");
    dlclose(module);

    return checktally::finish();
}
