// Capture control: start and stop, and the one-frame PWM burst of an external trigger.
#include "plugin/FrameworkInt.h"
#include "plugin/tc120MXSSensorBoard.h"

#include "platform/Platform.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <sstream>

namespace Vistrel {
namespace {

using std::chrono::microseconds;

const char* const kSyncError = "Error starting capture (failed to get all channels synced)";

// The four 40 us waits of start(), each between two steps that must not meet:
// triggered: the sensor's capture frame state, then the arming pulse;
constexpr microseconds kFrameStateToArmingPulse{40};
// triggered: the arming pulse stopped, then the first trigger may come;
constexpr microseconds kArmingPulseToTriggers{40};
// free running: the pipeline just out of reset, then the first pulse;
constexpr microseconds kPipelineToFirstPulse{40};
// free running: the first pulse, then the sensor's capture frame state.
constexpr microseconds kFirstPulseToFrameState{40};
// Frame-output set-up of a triggered capture.
constexpr int kFrameOutputTriggered = 2;

// Clears any pending pulse interrupt, starts the frame-sync pulses and waits up to
// firstWait for the first one.
void runPulseGenerator(fpgacore::tcRecordedPwm& pwm, microseconds firstWait) {
    pwm.enableInterrupts(true, true);
    pwm.waitForInterrupt(microseconds(0));
    pwm.enableCore(true);
    pwm.waitForInterrupt(firstWait);
}

} // namespace

int tc120MXSSensorBoard::start() {
    if (validate() != eeSuccess || !sensorReady)
        return eeInvalidState;

    // The board mutex before the capture mutex, as a framework that holds its mutex around
    // this call takes them. Frame state and interval are shared with the exposure and
    // frame-interval setters, which update the same sensor register under the board mutex.
    const tcBoardScope scope(*this);
    const platform::tcScopedLock capture(captureMutex);
    // A receiver that did not lock and align takes no frames: the capture would be
    // reported running and deliver nothing.
    if (isCapturing() || !receiverReady || !fpga.resetPipeline(false)) {
        std::cout << kSyncError << std::endl;
        return eeOperationFailed;
    }

    sensor.setFrameState(tc120MXS::eeFrameStopped);
    const int64_t interval = frameInterval;
    const auto applyCaptureFrameState = [this]() REQUIRES(boardMutex) {
        sensor.setFrameState(sensor.captureFrameState);
    };

    pulsesMayRun = true;
    if (triggerMode.load() != eeFreeRunning) {
        frameOutput.P(kFrameOutputTriggered);
        const int v = frameOutput.Q();
        // Unsigned arithmetic: the doubling must not overflow for any answer of Q.
        frameOutput.R(static_cast<int>((static_cast<unsigned>(v) * 2u) & 0xFFFEu));
        applyCaptureFrameState();
        platform::sleepFor(kFrameStateToArmingPulse, record.get());
        // One pulse to arm the sensor; the PWM then waits for triggers in Handler.
        runPulseGenerator(fpga.pwm, microseconds(interval / 2));
        fpga.pwm.enableCore(false);
        platform::sleepFor(kArmingPulseToTriggers, record.get());
    } else {
        platform::sleepFor(kPipelineToFirstPulse, record.get());
        runPulseGenerator(fpga.pwm, microseconds(interval / 2));
        platform::sleepFor(kFirstPulseToFrameState, record.get());
        applyCaptureFrameState();
    }

    // A new number for every capture (never 0, which means idle).
    if (++lastCaptureRun == 0)
        lastCaptureRun = 1;
    capturing = lastCaptureRun;
    updateStatus(eeStatusCapturing, "Starting capture...");
    return eeSuccess;
}

int tc120MXSSensorBoard::stop() {
    // Triggers arriving from now on are not for this capture, also while a triggered frame
    // still holds the capture mutex; a start that finishes meanwhile is stopped below.
    capturing = 0;
    // The board mutex first, as in start(). It is held across the wait below: the settings
    // that change the readout wait for the pulses to stop.
    const tcBoardScope scope(*this);
    const platform::tcScopedLock capture(captureMutex);
    capturing = 0;

    // A sensor not yet powered is in reset: nothing runs there to stop.
    if (sensorReady)
        sensor.setFrameState(tc120MXS::eeFrameStopped);
    const int64_t interval = frameInterval;
    // Let the frame in flight finish before the PWM and the pipeline stop. The wait is the
    // interval's low 32 bits, as getFrameInterval() reports it. Cores that never reported
    // themselves usable run nothing and are left alone.
    platform::sleepFor(microseconds(low32(interval)), record.get());
    if (fpgaReady) {
        fpga.pwm.enableCore(false);
        fpga.resetPipeline(true);
    }
    pulsesMayRun = false;

    updateStatus(eeStatusStopped, "Ending capture...");
    return eeSuccess;
}

void tc120MXSSensorBoard::Handler(unsigned int gpio, unsigned int level) {
    const tcLifetimeGate::tcPass inside(lifetime);
    if (!inside)
        return; // the board is being destroyed
    // Inside the gate: the record goes with the board. What this runs is part of the event.
    std::optional<platform::tcTraceRecord::tcInside> notified;
    if (record) {
        notified.emplace();
        record->event("gpio_irq", "pin=%u level=%u", gpio, level);
    }

    // One write, so lines of concurrent notifications do not interleave.
    std::ostringstream line;
    line << "tc120MXSSensorBoard::"
         << "Handler"
         << ": gpio " << gpio << " notification. currently " << level << '\n';
    std::cout << line.str() << std::flush;

    // The capture this notification arrived in: it triggers that one or none.
    const uint32_t run = capturing.load();
    if (run == 0 || triggerMode.load() != eeExternalTrigger)
        return;

    // A stop, and perhaps a new start, may have run while this notification waited.
    // Never the board mutex here: the framework may hold it while it calls stop(), which
    // waits for this frame. The interval is read without it: a longer interval waits for
    // this frame under the board mutex (see setFrameInterval).
    const platform::tcScopedLock capture(captureMutex);
    if (capturing.load() != run)
        return;
    const platform::tcScopedLock frame(triggeredFrameMutex);
    const auto waitBound = [this] { return microseconds(frameInterval.load()) + kPulseWaitMargin; };
    runPulseGenerator(fpga.pwm, waitBound());
    fpga.pwm.waitForInterrupt(waitBound());
    fpga.pwm.enableCore(false);
}

} // namespace Vistrel
