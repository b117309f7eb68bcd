// Pixel format, colour flag, sensor test patterns and the trigger input.
#include "plugin/tc120MXSSensorBoard.h"

#include <cstdint>

namespace Vistrel {

namespace {

struct tsPixelFormat {
    teBPPMode mode;
    tcPixelShift::teShiftDirection direction;
    unsigned char bits;
    int outputSize; // value given to the frame-output object's operation S
};

constexpr tsPixelFormat kPixelFormats[] = {
    {eeBPP16, tcPixelShift::eeShiftLeft, 1, 2},
    {eeBPP8, tcPixelShift::eeShiftRight, 3, 1},
    {eeBPP12, tcPixelShift::eeShiftRight, 3, 3},
};

// Framework test-pattern codes this head can show.
constexpr int kFrameworkPattern1 = 1;
constexpr int kFrameworkPattern16 = 16;
constexpr int kFrameworkPattern17 = 17;

} // namespace

int tc120MXSSensorBoard::setBPP(teBPPMode mode) {
    updateStatusFMT(eeStatusInfo, "%s: %u", "setBPP", static_cast<unsigned>(mode));
    for (const tsPixelFormat& format : kPixelFormats) {
        if (format.mode == mode) {
            fpga.pixelShift.setShift(format.direction, format.bits);
            frameOutput.S(format.outputSize);
            return eeSuccess;
        }
    }
    return eeInvalidState;
}

int tc120MXSSensorBoard::setColor(bool color) {
    updateStatusFMT("setColor: %d", static_cast<int>(color));
    fpga.badPixelReplacement.setColor(color);
    return eeSuccess;
}

int tc120MXSSensorBoard::setTestPattern(teTestPattern pattern) {
    // The bias word is also changed by register-file writes, under the same mutex.
    tcBoardScope scope(*this);
    if (!sensorReady)
        return eeInvalidState;
    // While no pattern shows, the receiver's live word is the one to give back later.
    if (testPattern == eeTestPatternOff) {
        const uint32_t live = fpga.frameCtrl.readBiasSubtract();
        if (live != 0)
            biasSubtract = live;
    }

    const int code = pattern;
    if (code == eeTestPatternOff) {
        // The client's word, as the bias words last set it while the pattern showed.
        if (testPattern != eeTestPatternOff && biasSubtract != 0)
            fpga.frameCtrl.setBiasSubtract(biasSubtract);
        sensor.setTestPattern(tc120MXS::eePatternNormal);
        testPattern = eeTestPatternOff;
        return eeSuccess;
    }
    if (code != kFrameworkPattern1 && code != kFrameworkPattern16 && code != kFrameworkPattern17)
        return eeArgumentOutOfRange;

    // A synthetic image must reach the host unaltered: no bias subtraction while it shows.
    sensor.setTestPattern(code == kFrameworkPattern17 ? tc120MXS::eePattern4
                                                      : tc120MXS::eePattern3);
    testPattern = pattern;
    fpga.frameCtrl.setBiasSubtract(0);
    return eeSuccess;
}

uint32_t tc120MXSSensorBoard::clientBiasSubtract() {
    // The receiver's word is the one in effect while no pattern shows.
    return testPattern == eeTestPatternOff ? fpga.frameCtrl.readBiasSubtract() : biasSubtract;
}

void tc120MXSSensorBoard::setClientBiasSubtract(uint32_t word) {
    // Under a pattern the word waits for the pattern to go off: written now, it would
    // alter the synthetic image, and the pattern's end would then give back a stale one.
    biasSubtract = word;
    if (testPattern == eeTestPatternOff)
        fpga.frameCtrl.setBiasSubtract(word);
}

int tc120MXSSensorBoard::setTrigger(teTriggerMode mode) {
    // Not while start() runs: it reads the mode to choose how to capture. The board mutex
    // first, as start() takes them.
    const tcBoardScope scope(*this);
    const platform::tcScopedLock capture(captureMutex);
    if (isCapturing())
        return eeCaputreInProgress;
    if (mode != eeFreeRunning && mode != eeExternalTrigger)
        return eeArgumentOutOfRange;
    // Edge notifications on the trigger input: none when free running, rising edges else.
    const int edge = gpio.SetEdge(pinTable[0], 0, mode);
    if (record)
        record->event("gpio_edge", "pin=%d flags=0 mode=%d result=%d", pinTable[0],
                      static_cast<int>(mode), edge);
    triggerMode = mode;
    return eeSuccess;
}

} // namespace Vistrel
