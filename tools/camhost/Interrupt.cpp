#include "Interrupt.h"

#include "Console.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace camhost {
namespace {

// What the handler may touch: fixed storage, written only while the slot is not in use.
struct tsSlot {
    std::atomic<bool> used{false};
    bool directory = false;
    char path[4096] = "";
};

constexpr int kSlots = 8;
tsSlot slots[kSlots];
volatile std::sig_atomic_t requested = 0;

void removeAll() {
    // Files before directories: a directory goes only once it is empty.
    for (const bool directories : {false, true})
        for (tsSlot& slot : slots)
            if (slot.used.load() && slot.directory == directories)
                directories ? rmdir(slot.path) : unlink(slot.path);
}

void say(const char* text) {
    (void)!write(errorFd(), text, std::strlen(text));
}

void onSignal(int signal) {
    if (signal == SIGPIPE && requested != 0)
        return; // the reader is gone: each later write raises it again, none is a request
    if (requested == 0) {
        requested = signal;
        say("\n");
        say(toolName());
        say(": interrupted: the run ends after the current command (once more to end "
            "at once)\n");
        return;
    }
    removeAll();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

} // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the plug-in's reads and waits go on after the first
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        // A signal the shell had ignored (a background job's SIGINT) stays ignored.
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

int interruptSignal() {
    return requested;
}

void sleepUnlessInterrupted(long long microseconds, const std::function<void(long long)>& sleep) {
    // Short enough that an interrupted run ends promptly, long enough to cost nothing.
    constexpr long long kSliceUs = 100000;
    long long left = microseconds;
    do {
        const long long slice = left < kSliceUs ? left : kSliceUs;
        sleep(slice);
        left -= slice;
    } while (left > 0 && interruptSignal() == 0);
}

int removeOnAbort(const std::string& path, bool directory) {
    if (path.empty() || path.size() >= sizeof slots[0].path)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (slots[i].used.load())
            continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].directory = directory;
        slots[i].used.store(true);
        return i;
    }
    return -1;
}

void forgetRemoval(int slot) {
    if (slot >= 0 && slot < kSlots)
        slots[slot].used.store(false);
}

} // namespace camhost
