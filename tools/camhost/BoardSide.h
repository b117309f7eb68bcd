#pragma once
// camhost-board's side of a run: nothing but the framework it is linked with, through the
// interfaces under host/, and the platform seams the plug-in itself uses. Its clock is its
// own; its waits go through the platform hooks where the process defines them.
#include "HostSide.h"
#include "StatusLines.h"

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace camhost {

class tcBoardSide : public tcHostSide {
public:
    // Gives the board's status lines for the report, or nothing where this framework
    // does not let them be seen.
    using tfStatusLines = std::function<std::optional<std::vector<tsStatusLine>>()>;

    explicit tcBoardSide(tfStatusLines statusLines = {});

    // Microseconds since camhost-board started.
    long long nowUs() override;
    void sleepUs(long long microseconds) override;
    // Waits for the witness, as long as a framework's notification thread may take.
    bool awaitDelivery(tcWriteWitness& witness) override;
    // The status lines and the register file as notified, and what this framework cannot
    // show.
    void addToReport(Json& report, const tcRegisterFileLog& words) override;

private:
    const std::chrono::steady_clock::time_point started;
    const tfStatusLines statusLines;
};

} // namespace camhost
