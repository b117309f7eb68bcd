#pragma once
// What the plug-in calls the registers and channels a record names by number: the FPGA
// registers it reads and writes, the sensor's control registers, the ADC's rail channels.
#include <cstdint>
#include <string>

namespace trace {

// "frame receiver status", "PLL word 0xC0", ...; empty for a register the plug-in does not name.
std::string fpgaRegisterName(uint64_t base, uint64_t offset);
// "frame control", "gain", ...; empty when unnamed.
std::string sensorRegisterName(uint64_t reg);
// The rail the channel measures ("3V3_VIN_DIV2"); empty for another channel.
std::string adcChannelName(int64_t channel);

} // namespace trace
