#pragma once
// A head's set-up from KEY=VALUE settings: camhost's --sim keys, and the CAMSIM_SIM
// environment variable of a program that links the sim only as its framework.
#include "sim/SimHead.h"

#include <string>
#include <vector>

namespace sim {

// Applies each setting to a healthy head's set-up; throws std::invalid_argument with a
// message naming the setting ("--sim KEY=VALUE: why") for an unknown key, a key given
// twice or a bad value.
HeadConfig headConfigFromKeys(const std::vector<std::string>& settings);

} // namespace sim
