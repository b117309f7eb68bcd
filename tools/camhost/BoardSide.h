#pragma once
// camhost-board's side of a run: nothing but the framework it is linked with, through the
// interfaces under host/, and the platform seams the plug-in itself uses. Its clock is its
// own; its waits go through the platform hooks where the process defines them.
#include "HostSide.h"

#include <chrono>

namespace camhost {

class tcBoardSide : public tcHostSide {
public:
    tcBoardSide();

    // Microseconds since camhost-board started.
    long long nowUs() override;
    void sleepUs(long long microseconds) override;
    // Waits for the witness, as long as a framework's notification thread may take.
    bool awaitDelivery(tcWriteWitness& witness) override;
    // The register file as notified, and what this framework cannot show.
    void addToReport(Json& report, const tcRegisterFileLog& words) override;

private:
    const std::chrono::steady_clock::time_point started;
};

} // namespace camhost
