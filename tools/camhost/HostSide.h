#pragma once
// What a run needs from around the board beyond the framework's interfaces: a clock, waits,
// its own parts of the report and its own outputs. camhost's side is the simulated head;
// camhost-board's is whatever framework it is linked with, known only through host/.
#include "ExitStatus.h"

#include <nlohmann/json.hpp>

#include <cstdint>

namespace camhost {

using Json = nlohmann::ordered_json;

class tcRegisterFileLog;
class tcWriteWitness;

class tcHostSide {
public:
    virtual ~tcHostSide() = default;

    // Microseconds on the run's clock, for each result's "atUs".
    virtual long long nowUs() = 0;
    // A script "sleep"; one that takes real time ends early once a signal asks the run to
    // end (sleepUnlessInterrupted).
    virtual void sleepUs(long long microseconds) = 0;
    // After a client's register-file write: returns once its notification has been
    // delivered (the witness sees it), false when it was not within the host's patience.
    virtual bool awaitDelivery(tcWriteWitness& witness) = 0;
    // A client's action on the board (a GPIO notification, a register-file write), for
    // the waveform.
    virtual void clientSignal(const char* name, uint64_t value) {
        (void)name;
        (void)value;
    }
    // The host's own sections of the state report, between the results and the board;
    // words: the register-file words notified during the run.
    virtual void addToReport(Json& report, const tcRegisterFileLog& words) = 0;
    // The outputs beside the JSON report, written at the end; false (with the message
    // printed) when one cannot be written.
    virtual bool commitOutputs() { return true; }
    // After the board is deleted, its teardown included.
    virtual void afterBoard(tsOutcome& outcome) { (void)outcome; }
};

} // namespace camhost
