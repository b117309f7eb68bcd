#pragma once
// Status lines sent from a board to the framework.
#include <string>

namespace Vistrel {

class tcStatusReporter {
public:
    enum teStatus {
        eeStatusCapturing = 0,
        eeStatusStopped = 1,
        eeStatusBusy = 2,
        eeStatusIdle = 3,
        eeStatusError = 4,
        eeStatusWarning = 5,
        eeStatusInfo = 6,
    };

    virtual ~tcStatusReporter();

    void updateStatus(teStatus status, const std::string& text);
    void updateStatusFMT(teStatus status, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    // Status-less form: the line carries no status code.
    void updateStatusFMT(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

} // namespace Vistrel
