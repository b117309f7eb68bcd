#pragma once
// The JSON state report: what the script did and what reached the simulated hardware.
#include <nlohmann/json.hpp>

namespace camhost {

using Json = nlohmann::ordered_json;

// results: the runner's records, one per command run.
Json stateReport(int sensorType, const Json& results);

// Every hardware rule the head saw broken: [{"rule", "reason", "timeUs"}].
Json violations();

} // namespace camhost
