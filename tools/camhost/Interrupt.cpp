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
    for (const int signal : {SIGINT, SIGTERM}) {
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
