// The plug-in's platform seams in a process of one kind: one that offers no hooks table, a
// table of an unknown version, a version 1 table (no register accessors) or a version 2
// table. The plug-in looks the hooks up once per process, so each kind is its own run.
//
// Usage: platform_hooks_version none|VERSION
//
// Without usable hooks the plug-in must sleep for real: this program interposes nanosleep
// to see what the plug-in asks for, and measures that the time really passed, also when a
// signal cuts a sleep short.
#include "PlatformHooks.h"
#include "platform/Platform.h"

#include "CheckTally.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using std::chrono::microseconds;

int tableVersion = -1; // -1: vistrelPlatformHooks offers no table
tsPlatformHooks table{};
std::vector<timespec> nanosleepRequests;
long long hookedMicroseconds = 0;

const char* hookedPath() {
    return "/hooked/mem";
}
void hookedSleep(int64_t duration) {
    hookedMicroseconds += duration;
}
uint32_t hookedRead(const volatile uint32_t* address) {
    return *address;
}
void hookedWrite(volatile uint32_t* address, uint32_t value) {
    *address = value;
}
int64_t hookedNow() {
    return 4711 + hookedMicroseconds;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const tsPlatformHooks* vistrelPlatformHooks() {
    if (tableVersion < 0)
        return nullptr;
    table = {static_cast<uint32_t>(tableVersion),
             hookedPath,
             hookedSleep,
             hookedRead,
             hookedWrite,
             hookedNow};
    return &table;
}

extern "C" __attribute__((visibility("default"))) int nanosleep(const timespec* request,
                                                                timespec* remaining) {
    nanosleepRequests.push_back(*request);
    using tfNanosleep = int (*)(const timespec*, timespec*);
    static const auto next = reinterpret_cast<tfNanosleep>(dlsym(RTLD_NEXT, "nanosleep"));
    return next(request, remaining);
}

namespace {

using checktally::check;

// How long platform::sleepFor(duration) really took, in microseconds.
long long timedSleep(microseconds duration) {
    const auto start = std::chrono::steady_clock::now();
    platform::sleepFor(duration);
    return std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

void onAlarm(int) {}

void checkRealSleeps() {
    check(platform::memoryDevicePath() == "/dev/mem", "the FPGA is mapped from /dev/mem");
    const platform::RegisterAccess access = platform::registerAccess();
    check(access.read == nullptr && access.write == nullptr, "registers are accessed directly");

    platform::sleepFor(microseconds(0));
    platform::sleepFor(microseconds(-3));
    check(nanosleepRequests.empty(), "a wait of nothing does not sleep");

    // Whole seconds and the remainder each go to their own field.
    const long long slept = timedSleep(microseconds(1000500));
    const timespec first = nanosleepRequests.empty() ? timespec{} : nanosleepRequests[0];
    check(first.tv_sec == 1 && first.tv_nsec == 500000,
          "1000500 us are asked for as 1 s and 500000 ns (" + std::to_string(first.tv_sec) + " s " +
              std::to_string(first.tv_nsec) + " ns, " + std::to_string(nanosleepRequests.size()) +
              " calls)");
    check(slept >= 1000500, "1000500 us really passed (" + std::to_string(slept) + " us)");

    // A signal cuts the sleep short after 50 ms; the rest is still slept.
    struct sigaction action {};
    action.sa_handler = onAlarm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: nanosleep returns EINTR
    sigaction(SIGALRM, &action, nullptr);
    itimerval timer{};
    timer.it_value.tv_usec = 50000;
    nanosleepRequests.clear();
    setitimer(ITIMER_REAL, &timer, nullptr);
    const long long interrupted = timedSleep(microseconds(200000));
    check(interrupted >= 200000, "an interrupted 200000 us sleep still took them (" +
                                     std::to_string(interrupted) + " us, " +
                                     std::to_string(nanosleepRequests.size()) + " calls)");
    check(hookedMicroseconds == 0, "no hook slept");
}

void checkHookedSleeps(bool withAccessors, bool withClock) {
    check(platform::memoryDevicePath() == "/hooked/mem", "the hooks name the memory device");
    const platform::RegisterAccess access = platform::registerAccess();
    if (withAccessors)
        check(access.read == hookedRead && access.write == hookedWrite,
              "registers go through the hooks");
    else
        check(access.read == nullptr && access.write == nullptr,
              "a version 1 table's register accessors are not used");
    platform::sleepFor(microseconds(7));
    check(hookedMicroseconds == 7 && nanosleepRequests.empty(), "the hook sleeps 7 us");
    if (withClock)
        check(platform::nowMicroseconds() == 4718, "the clock is the host's");
    else
        check(platform::nowMicroseconds() != 4718, "a table before version 3 offers no clock");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s none|VERSION\n", argv[0]);
        return 2;
    }
    tableVersion = std::strcmp(argv[1], "none") == 0 ? -1 : std::atoi(argv[1]);
    if (tableVersion == kPlatformHooksVersion)
        checkHookedSleeps(true, true);
    else if (tableVersion == kPlatformHooksVersion2)
        checkHookedSleeps(true, false);
    else if (tableVersion == kPlatformHooksVersion1)
        checkHookedSleeps(false, false);
    else
        checkRealSleeps();
    return checktally::finish();
}
