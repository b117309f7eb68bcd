#pragma once
// camhost's part of the JSON state report: what reached the simulated hardware.
#include <nlohmann/json.hpp>

namespace camhost {

using Json = nlohmann::ordered_json;

// Adds the head's state (status lines, register file, sensor, receiver, cores, frames,
// clock, violations) to the report, after its results and before the board's settings.
void addHeadState(Json& report);

// Every hardware rule the head saw broken: [{"rule", "reason", "timeUs"}].
Json violations();

} // namespace camhost
