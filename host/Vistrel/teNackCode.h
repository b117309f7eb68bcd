#pragma once
// Result code of board operations and text commands.

namespace Vistrel {

enum teNackCode {
    eeSuccess = 0,
    eeFailure = 1,
    eeMissingArgument = 2,
    eeArgumentOutOfRange = 3,
    eeInvalidState = 4,
    eeCaputreInProgress = 5, // spelled as the framework spells it
    eeOperationFailed = 6,
    eeNotSupported = 7,
};

} // namespace Vistrel
