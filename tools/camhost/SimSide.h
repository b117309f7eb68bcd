#pragma once
// camhost's side of a run: the simulated head's clock and waits, its state in the report,
// the waveform, the frame files and, under --strict, the broken hardware rules.
#include "HostSide.h"
#include "OutputFile.h"

#include "sim/SimHead.h"

#include <memory>
#include <string>
#include <vector>

namespace camhost {

struct tsSimOptions {
    bool fast = false;            // virtual clock
    std::string vcd;              // waveform file, empty for none
    std::vector<std::string> sim; // KEY=VALUE head set-up
    std::string frames;           // folder for the delivered frames as PGM, empty for none
    long long framesMax = 16;     // at most this many PGM files
    int frameScale = 1;           // PGM keeps every frameScale-th line and column
    std::string contactSheet;     // PNG of the first frames, empty for none
    bool strict = false;          // a broken hardware rule fails the run (exit status 4)
};

class tcSimSide : public tcHostSide {
public:
    // vcd: the waveform's file, or null.
    tcSimSide(const tsSimOptions& options, std::unique_ptr<tcOutputFile> vcd);

    long long nowUs() override;
    void sleepUs(long long microseconds) override;
    bool awaitDelivery(tcWriteWitness& witness) override;
    void clientSignal(const char* name, uint64_t value) override;
    void addToReport(Json& report, const tcRegisterFileLog& words) override;
    // The waveform, the contact sheet and the frame files, in that order.
    bool commitOutputs() override;
    void afterBoard(tsOutcome& outcome) override;

private:
    bool commitWaveform();
    bool commitContactSheet();
    bool commitFrameFiles();

    const tsSimOptions options;
    std::unique_ptr<tcOutputFile> vcd;
    // What clients did to the head, for the waveform: GPIO notifications and register-file
    // writes, at the time they were made.
    std::vector<sim::TraceEvent> signals;
};

} // namespace camhost
