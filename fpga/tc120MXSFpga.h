#pragma once
// The FPGA between sensor and processor: system identity, PLL block and the four cores
// the board drives.
#include "fpga/RecordedCores.h"
#include "fpga/tcCanon120FrameCtrl.h"
#include "fpga/tcRegisterWindow.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Vistrel {
class BoardTestAccess;
}

class tc120MXSFpga {
public:
    // Physical address of the FPGA bridge, where the register windows begin.
    static constexpr uint32_t kBridgeBase = 0xFF200000;

    // The address-file name is accepted and not read: the addresses are fixed. Register
    // accesses and core calls go into record unless it is null.
    explicit tc120MXSFpga(const std::string& addressFile,
                          platform::tcTraceRecord* record = nullptr);
    virtual ~tc120MXSFpga();
    tc120MXSFpga(const tc120MXSFpga&) = delete;
    tc120MXSFpga& operator=(const tc120MXSFpga&) = delete;

    // 0 when every window and core is usable, else the bit mask of the unusable ones.
    int initialize();
    bool resetPipeline(bool reset);
    float getClockMhz();
    void setExposureMode(bool external);
    void setExternalTrigger(bool external);
    std::string getSysId();
    void dumpRegisters();

private:
    // Test-only view (defined by the plug-in test suite): a clock the head cannot give.
    friend class Vistrel::BoardTestAccess;

    float clockMhz = 45.0f;
    tcRegisterWindow sysIdWindow;

public:
    tcCanon120FrameCtrl frameCtrl;
    fpgacore::tcRecordedPwm pwm;
    fpgacore::tcRecordedPixelShift pixelShift;
    fpgacore::tcRecordedBadPixelReplacement badPixelReplacement;

private:
    std::unique_ptr<tcRegisterWindow> pllWindow;
};
