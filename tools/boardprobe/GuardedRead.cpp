#include "GuardedRead.h"

#include <csetjmp>
#include <csignal>

namespace boardprobe {
namespace {

sigjmp_buf busErrorExit;

void onBusError(int) {
    siglongjmp(busErrorExit, 1);
}

} // namespace

tsRead guardedRead(camhost::tcHardwareRegisters& registers, uint32_t physical) {
    struct sigaction guard {
    }, previous{};
    guard.sa_handler = onBusError;
    sigemptyset(&guard.sa_mask);
    sigaction(SIGBUS, &guard, &previous);
    tsRead read;
    if (sigsetjmp(busErrorExit, 1) == 0) {
        read.value = registers.read(physical);
        if (!read.value)
            read.problem = registers.problem();
    } else {
        read.problem = "bus error (SIGBUS) on the read";
    }
    sigaction(SIGBUS, &previous, nullptr);
    return read;
}

} // namespace boardprobe
