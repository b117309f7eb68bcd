#pragma once
// "readback": the FPGA register windows as the hardware holds them, decoded, beside what
// the plug-in reported it programmed: through the board's getters, the register-file words
// it notified and the configuration it read. A register the plug-in said nothing about is
// shown without a verdict.
#include "HardwareRegisters.h"

#include "Vistrel/ROI.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <ostream>

namespace camhost {

using Json = nlohmann::ordered_json;

// What the plug-in reported, as far as this run shows it.
struct tsBelief {
    bool broughtUp = false;               // the run's last "init" answered 0
    Vistrel::ROI imageRegion{0, 0, 0, 0}; // getImageROI
    bool testPattern = false;             // getTestPattern is not off: bias subtraction is off
    std::optional<uint32_t> biasOffset, biasEnable; // register-file words 0x3D008, 0x3D00C
    std::optional<uint32_t> laneInversion;          // 120mxs_config.ini [Settings] LaneInvertMask
};

struct tsReadback {
    Json report;        // "registers" (one row each), "receiverFields", "mismatches" or "error"
    int mismatches = 0; // registers whose believed bits differ from the hardware's
    bool readable = false;
};

tsReadback readBack(tcHardwareRegisters& hardware, const tsBelief& belief);

// One line per register of a tsReadback's report: address, value, what the plug-in
// reported, the verdict.
void printReadback(std::ostream& out, const Json& report);

} // namespace camhost
