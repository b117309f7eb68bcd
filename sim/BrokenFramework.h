#pragma once
// Stand-in framework behaviour chosen through the environment, for programs that use no
// sim:: symbol themselves (frameworkprobe, camhost-board):
//   CAMSIM_BROKEN   comma-separated faults a real framework might have, broken on purpose:
//     mutex-nonrecursive   tcMutex(true) builds a normal mutex (a second lock deadlocks)
//     mutex-errorcheck     tcMutex(true) builds an error-checking mutex (EDEADLK, ignored)
//     mutex-nonrobust      no tcMutex is robust (a dead owner's lock is never recovered)
//     unregister-nowait    unregisterObserver returns while a notification to it still runs
//     regfile-nonrecursive the register file's lock is not recursive; with the locked mode
//                          a word written from inside a notification deadlocks
//     spi-swapped          the SPI device reads lsbFirst and bitsPerWord from each other's
//                          place (a framework whose tsSPIConfiguration has another order)
//   (CAMSIM_REGFILE, how the register file notifies, is read with the head's other settings:
//   sim/Environment.h.)
// Read at each use, so a test may set them before it builds the object concerned.
#include <string>

namespace sim::broken {

enum class Fault {
    mutexNonRecursive,
    mutexErrorCheck,
    mutexNonRobust,
    unregisterNoWait,
    regfileNonRecursive,
    spiSwapped,
};

bool has(Fault fault);

// The pthread mutex type a tcMutex built with recursive gets.
int mutexType(bool recursive);

} // namespace sim::broken
