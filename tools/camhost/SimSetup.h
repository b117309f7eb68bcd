#pragma once
// The simulated head's set-up from --sim KEY=VALUE settings.
#include "sim/SimHead.h"

#include <string>
#include <vector>

namespace camhost {

// Applies each setting to a healthy head's set-up; throws std::invalid_argument with a
// message naming the setting for an unknown key or a bad value.
sim::HeadConfig headConfigFrom(const std::vector<std::string>& settings);

} // namespace camhost
