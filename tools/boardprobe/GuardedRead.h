#pragma once
// A register read that survives a bus error: an FPGA that is not configured, or a bridge
// that is not enabled, can answer a read with SIGBUS instead of a value.
#include "HardwareRegisters.h"

#include <cstdint>
#include <optional>
#include <string>

namespace boardprobe {

struct tsRead {
    std::optional<uint32_t> value; // nothing when the read failed
    std::string problem;           // why it failed
};

tsRead guardedRead(camhost::tcHardwareRegisters& registers, uint32_t physical);

} // namespace boardprobe
