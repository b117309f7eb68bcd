// Exposure and frame interval: the sensor's line timing, the frame-sync pulse period and the
// register-file words kept in step.
#include "plugin/FrameworkInt.h"
#include "plugin/RegisterFileWords.h"
#include "plugin/tc120MXSSensorBoard.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace Vistrel {

using std::chrono::microseconds;

int tc120MXSSensorBoard::setFrameInterval(int requested) {
    tcBoardScope scope(*this);
    if (!sensorReady)
        return eeInvalidState;

    // Round down to a whole number of horizontal periods (the count itself, not its
    // duration). A period of 0 never comes from a powered sensor; should it, no rounding is
    // possible and the request falls to the readout-time floor below.
    const int64_t period = sensor.getHorizontalPeriod();
    const int64_t candidate = period > 0 ? period * (requested / period) : 0;

    const int minimum = getMinFrameIntervalMicroS();
    std::cout << "setFrameInterval min interval: " << minimum << std::endl;

    // The floor is the readout time as it is, not rounded to the period.
    const int64_t value = candidate >= minimum ? candidate : minimum;
    updateStatusFMT("setFrameInterval: %d uS", low32(value));

    const microseconds sensorInterval = sensor.frameInterval;
    const teNackCode err = sensor.setFrameInterval(microseconds(value));
    if (err != eeSuccess)
        return err;

    // A longer interval during a triggered capture waits for the triggered frame in flight.
    const int64_t previous = frameInterval.load();
    const bool longer = value > previous && pulsesMayRun.load();
    std::optional<platform::tcScopedLock> betweenTriggeredFrames;
    if (longer && triggerMode.load() != eeFreeRunning)
        betweenTriggeredFrames.emplace(triggeredFrameMutex);

    try {
        fpga.pwm.setPeriodTime(microseconds(value));
    } catch (const std::runtime_error& error) {
        // The frames would go on at the old period: refuse, and give the sensor back the
        // interval the pulses still have.
        updateStatusFMT(eeStatusError, "%s", error.what());
        sensor.frameInterval = sensorInterval;
        return eeArgumentOutOfRange;
    }

    frameInterval = value;
    publishWord(regfile::kFrameInterval, static_cast<uint32_t>(value));
    if (longer && triggerMode.load() == eeFreeRunning)
        awaitLongerPulsePeriod(previous);

    // An exposure cannot outlast the frame it belongs to.
    const int64_t fitted = low32(value) < low32(exposure) ? value : exposure;
    return applyExposure(fitted);
}

void tc120MXSSensorBoard::awaitLongerPulsePeriod(int64_t oldIntervalUs) {
    // A pulse pending from before is not the one that starts the new period.
    fpga.pwm.waitForInterrupt(microseconds(0));
    fpga.pwm.waitForInterrupt(microseconds(oldIntervalUs) + kPulseWaitMargin);
}

int tc120MXSSensorBoard::getFrameInterval() {
    // Locked so that a reader on another thread never sees a half-written interval.
    const tcBoardScope scope(*this);
    return low32(frameInterval.load());
}

int tc120MXSSensorBoard::setExposure(int requested) {
    tcBoardScope scope(*this);
    if (!sensorReady)
        return eeInvalidState;
    updateStatusFMT(eeStatusInfo, "setExposure %d uS", requested);

    // setFrameInterval rounds down to whole horizontal periods. An interval asked for here
    // must still cover the exposure after that: where rounding down (and the readout-time
    // floor) would end the frame early, ask for the next whole period up. 64 bits: a
    // request near INT_MAX must not wrap.
    const int64_t period = sensor.getHorizontalPeriod();
    const auto covering = [&](int64_t interval) {
        const int64_t roundedDown = period > 0 ? period * (interval / period) : interval;
        if (std::max<int64_t>(roundedDown, getMinFrameIntervalMicroS()) < requested)
            interval = roundedDown + period;
        return static_cast<int>(std::min<int64_t>(interval, INT_MAX));
    };

    // Lengthen the frame first when the exposure does not fit into it (the result is
    // not examined: a refusal leaves the sensor to limit the exposure).
    if (frameInterval < requested)
        setFrameInterval(covering(requested));

    // A frame more than one readout time longer than the exposure is shortened to the
    // smallest whole number of readout times that exceeds the exposure: the fastest frame
    // rate the exposure allows.
    const int64_t readout = sensor.getFrameReadoutTime().count();
    if (readout > 0 && requested < frameInterval - readout) {
        const int64_t frames = requested / readout + 1;
        setFrameInterval(covering(frames * readout));
    }

    return applyExposure(requested);
}

teNackCode tc120MXSSensorBoard::applyExposure(int64_t exposureUs) {
    const teNackCode result = sensor.setExposure(microseconds(exposureUs));
    // The sensor sets whole lines: keep and publish what it took, not what was asked.
    exposure = sensor.getExposure().count();
    publishWord(regfile::kExposure, static_cast<uint32_t>(exposure));
    return result;
}

int tc120MXSSensorBoard::getExposure() {
    const tcBoardScope scope(*this);
    std::cout << "getExposure: " << exposure << std::endl;
    return low32(exposure);
}

int tc120MXSSensorBoard::getMinFrameIntervalMicroS() {
    // The sensor's readout fields are updated under this lock by the timing calls above.
    const tcBoardScope scope(*this);
    return low32(sensor.getFrameReadoutTime().count());
}

} // namespace Vistrel
