#include "RegisterNames.h"

#include "sensor/RailLimits.h"
#include "sensor/SensorRegisterMap.h"
#include "tools/camhost/FpgaRegisters.h"

#include <map>
#include <utility>

namespace trace {

namespace fpga = camhost::fpga;

std::string fpgaRegisterName(uint64_t base, uint64_t offset) {
    static const std::map<std::pair<uint64_t, uint64_t>, std::string> names{
        {{fpga::kSysIdBase, 0x0}, "system identity word 0"},
        {{fpga::kSysIdBase, 0x4}, "system identity word 1"},
        {{fpga::kPllBase, fpga::kPllWordC0 - fpga::kPllBase}, "PLL word 0xC0"},
        {{fpga::kReceiverBase, fpga::rx::control}, "frame receiver control (bit 31 core enable)"},
        {{fpga::kReceiverBase, fpga::rx::status},
         "frame receiver status (bit 0 PLL locked, bit 1 aligned)"},
        {{fpga::kReceiverBase, fpga::rx::laneInversion}, "frame receiver lane inversion"},
        {{fpga::kReceiverBase, fpga::rx::irqFlags}, "frame receiver interrupt flags"},
        {{fpga::kReceiverBase, fpga::rx::irqMask}, "frame receiver interrupt mask"},
        {{fpga::kReceiverBase, fpga::rx::roiResolution}, "frame receiver ROI resolution"},
        {{fpga::kReceiverBase, fpga::rx::blankOffset}, "frame receiver blanking offset"},
        {{fpga::kReceiverBase, fpga::rx::writeFaults}, "frame receiver write faults"},
        {{fpga::kReceiverBase, fpga::rx::roiStart}, "frame receiver ROI start"},
        {{fpga::kReceiverBase, fpga::rx::dpaReset}, "frame receiver DPA reset"},
        {{fpga::kReceiverBase, fpga::rx::dpaFifoReset}, "frame receiver DPA FIFO reset"},
        {{fpga::kReceiverBase, fpga::rx::dpaHold}, "frame receiver DPA hold"},
        {{fpga::kReceiverBase, fpga::rx::dpaLock}, "frame receiver DPA lock (one bit per lane)"},
        {{fpga::kReceiverBase, 0x38}, "frame receiver index sync"},
        {{fpga::kReceiverBase, 0x3C}, "frame receiver frame timestamp"},
        {{fpga::kReceiverBase, fpga::rx::biasSubtract}, "frame receiver bias subtract"},
        {{fpga::kReceiverBase, fpga::rx::coreId}, "frame receiver core ID"},
        {{fpga::kReceiverBase, fpga::rx::coreRev}, "frame receiver core revision"},
        {{fpga::kReceiverBase, fpga::rx::coreCaps}, "frame receiver core capabilities"},
    };
    const auto found = names.find({base, offset});
    return found != names.end() ? found->second : std::string();
}

std::string sensorRegisterName(uint64_t reg) {
    static const std::map<uint64_t, std::string> names{
        {sensorregs::kRegTiming, "sensor horizontal period"},
        {sensorregs::kRegFrameCtrl,
         "sensor frame control (start line, vertical mode, frame state)"},
        {sensorregs::kRegReadoutRows, "sensor readout rows"},
        {sensorregs::kRegGain, "sensor gain"},
    };
    const auto found = names.find(reg);
    return found != names.end() ? found->second : std::string();
}

std::string adcChannelName(int64_t channel) {
    const auto& names = rails::railNames();
    if (channel < 0 || channel > 7)
        return std::string();
    const auto found = names.find(static_cast<int>(channel));
    return found != names.end() ? found->second : std::string();
}

} // namespace trace
