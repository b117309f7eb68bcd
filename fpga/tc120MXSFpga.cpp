#include "fpga/tc120MXSFpga.h"

#include "sensor/FullFrame.h"

#include <iostream>
#include <sstream>

namespace {

// Physical addresses on the FPGA bridge; all are page-aligned.
constexpr uint32_t kSysIdBase = tc120MXSFpga::kBridgeBase; // the bridge's first window
constexpr uint32_t kSysIdWords = 32;
constexpr uint32_t kSysIdWord0 = 0x0;
constexpr uint32_t kSysIdWord1 = 0x4;
constexpr uint32_t kPllBase = 0xFF204000;
constexpr uint32_t kPllWords = 512;
constexpr uint32_t kPllWordC0 = 0xC0 * 4;
constexpr unsigned int kPwmBase = 0xFF211000;
constexpr unsigned int kFrameCtrlBase = 0xFF212000;
constexpr unsigned int kBadPixelControlBase = 0xFF215000;
constexpr unsigned int kBadPixelMapBase = 0xFF216000;
constexpr unsigned int kPixelShiftBase = 0xFF217000;
constexpr unsigned int kBadPixelDmaBase = 0xFF219000;
constexpr unsigned int kBadPixelMemoryBase = 0x12000000;
constexpr const char* kPwmInterruptDevice = "/dev/uio1";

// Results of initialize(): one bit for each unusable window or core.
constexpr int kSysIdUnusable = 0x01;
constexpr int kFrameCtrlUnusable = 0x02;
constexpr int kPwmUnusable = 0x04;
constexpr int kPixelShiftUnusable = 0x08;
constexpr int kBadPixelUnusable = 0x10;

} // namespace

tc120MXSFpga::tc120MXSFpga(const std::string& /*addressFile*/, platform::tcTraceRecord* record)
    : sysIdWindow(kSysIdBase, kSysIdWords, record), frameCtrl(kFrameCtrlBase, record),
      pwm(record, kPwmBase, static_cast<double>(clockMhz), kPwmInterruptDevice),
      pixelShift(record, kPixelShiftBase),
      badPixelReplacement(record, kBadPixelControlBase, kBadPixelMapBase, kBadPixelDmaBase,
                          kBadPixelMemoryBase, Vistrel::kFullFrame),
      pllWindow(std::make_unique<tcRegisterWindow>(kPllBase, kPllWords, record)) {}

tc120MXSFpga::~tc120MXSFpga() {
    // The PLL window goes first; the cores and then the system-identity window follow as
    // members, in reverse order of construction.
    pllWindow.reset();
}

int tc120MXSFpga::initialize() {
    int result = 0;
    if (!sysIdWindow.isValid())
        result |= kSysIdUnusable;
    // Every core is asked once, whatever the earlier answers.
    if (!frameCtrl.initialized())
        result |= kFrameCtrlUnusable;
    if (!pwm.initialized())
        result |= kPwmUnusable;
    if (!pixelShift.initialized())
        result |= kPixelShiftUnusable;
    if (!badPixelReplacement.initialize())
        result |= kBadPixelUnusable;
    return result;
}

bool tc120MXSFpga::resetPipeline(bool reset) {
    pixelShift.reset(reset);
    badPixelReplacement.reset(reset);
    return true;
}

float tc120MXSFpga::getClockMhz() {
    return clockMhz;
}

void tc120MXSFpga::setExposureMode(bool /*external*/) {}

void tc120MXSFpga::setExternalTrigger(bool /*external*/) {}

std::string tc120MXSFpga::getSysId() {
    const uint32_t word0 = sysIdWindow.read(kSysIdWord0);
    const uint32_t word1 = sysIdWindow.read(kSysIdWord1);
    std::ostringstream text;
    text << std::hex << word0 << "." << word1;
    return text.str();
}

void tc120MXSFpga::dumpRegisters() {
    std::cout << "Fpga sys id: " << getSysId() << std::endl;
    const uint32_t pll = pllWindow ? pllWindow->read(kPllWordC0) : 0;
    std::cout << "Pll 0xC0 = 0x" << std::hex << pll << std::dec << std::endl;
    frameCtrl.dumpRegisters();
    pwm.dumpRegisters();
    badPixelReplacement.dumpRegisters();
    // Whatever the cores' own dumps leave behind, later numbers print in decimal.
    std::cout << std::dec;
}
