#include "SimSide.h"

#include "Console.h"
#include "ContactSheet.h"
#include "FramesReport.h"
#include "Interrupt.h"
#include "Report.h"
#include "VcdWriter.h"

#include "sim/FrameworkThreads.h"
#include "sim/frames/FrameLog.h"

#include <sstream>

namespace camhost {

tcSimSide::tcSimSide(const tsSimOptions& options, std::unique_ptr<tcOutputFile> vcd)
    : options(options), vcd(std::move(vcd)) {}

long long tcSimSide::nowUs() {
    return static_cast<long long>(sim::Clock::now().count());
}

void tcSimSide::sleepUs(long long microseconds) {
    const auto sleep = [](long long us) { sim::Clock::sleepFor(sim::Micros(us)); };
    // On the virtual clock a sleep takes no time: nothing to interrupt.
    if (sim::Clock::isVirtual())
        sleep(microseconds);
    else
        sleepUnlessInterrupted(microseconds, sleep);
}

bool tcSimSide::awaitDelivery(tcWriteWitness& /*witness*/) {
    // Every notification, the ones the board's observer sent in turn included.
    sim::waitForRegisterFileNotifications();
    return true;
}

void tcSimSide::clientSignal(const char* name, uint64_t value) {
    signals.push_back(sim::TraceEvent{sim::Clock::now(), name, value});
}

void tcSimSide::addToReport(Json& report, const tcRegisterFileLog& /*words*/) {
    addHeadState(report);
}

bool tcSimSide::commitOutputs() {
    return commitWaveform() && commitContactSheet() && commitFrameFiles();
}

bool tcSimSide::commitWaveform() {
    if (!vcd)
        return true;
    sim::Head& head = sim::Head::instance();
    head.step();
    try {
        tsWaveform waveform = headWaveform(head);
        waveform.changes.insert(waveform.changes.end(), signals.begin(), signals.end());
        std::ostringstream text;
        writeVcd(text, waveform);
        vcd->commit(text.str());
    } catch (const tcOutputError& error) {
        err() << "camhost: " << error.what() << std::endl;
        return false;
    }
    return true;
}

bool tcSimSide::commitContactSheet() {
    if (options.contactSheet.empty())
        return true;
    // A run that delivered no frame has nothing to show; that is not a failed write.
    if (sim::frames::records().empty()) {
        err() << "camhost: no contact sheet " << options.contactSheet << ": no frame delivered"
              << std::endl;
        return true;
    }
    std::string error;
    if (!writeContactSheet(options.contactSheet, sim::frames::records(), error)) {
        err() << "camhost: cannot write the contact sheet " << options.contactSheet << ": " << error
              << std::endl;
        return false;
    }
    out() << "contact sheet: " << options.contactSheet << std::endl;
    return true;
}

bool tcSimSide::commitFrameFiles() {
    if (options.frames.empty())
        return true;
    const int written = writeFrameFiles(options.frames, sim::frames::records(), options.framesMax,
                                        options.frameScale);
    if (written < 0)
        return false;
    out() << "frames: " << written << " written to " << options.frames << std::endl;
    return true;
}

void tcSimSide::afterBoard(tsOutcome& outcome) {
    // Teardown included: under --strict every breach is listed.
    const Json breaches = violations();
    outcome.strict = options.strict;
    outcome.brokenRules = static_cast<int>(breaches.size());
    if (options.strict)
        for (const auto& breach : breaches)
            err() << "camhost: hardware rule " << breach["rule"].get<std::string>() << " broken at "
                  << breach["timeUs"].get<long long>()
                  << " us: " << breach["reason"].get<std::string>() << std::endl;
}

} // namespace camhost
