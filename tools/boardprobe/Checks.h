#pragma once
// boardprobe's checks, one function per subject; each reports one line per check. None
// powers the head, drives a GPIO line or writes an FPGA register.
#include "frameworkprobe/Report.h"

#include <string>

namespace boardprobe {

using frameworkprobe::Report;

// The device-tree names of the lines the plug-in drives, and the trigger input.
void checkGpioNames(Report& report);
// The sensor's SPI device, the rail ADC on I2C, the pulse generator's interrupt device.
void checkDevices(Report& report, const std::string& spiPath, const std::string& uioPath,
                  bool uioGiven);
// The FPGA through the memory device: mappable, configured and answering, and the image
// the plug-in was written for.
void checkFpga(Report& report);

} // namespace boardprobe
