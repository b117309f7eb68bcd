#pragma once
// The JSON state report: what the script did, what the host adds, and the board's settings.
#include "HostSide.h"
#include "WriteWitness.h"

#include "Vistrel/tcSensorBoard.h"

#include <nlohmann/json.hpp>

namespace camhost {

using Json = nlohmann::ordered_json;

// results: the runner's records, one per command run; board: the board's settings as its
// getters give them, when there is a board.
Json stateReport(int sensorType, const Json& results, Vistrel::tcSensorBoard* board,
                 tcHostSide& host, const tcRegisterFileLog& words);

// The same with the board's settings taken before the board was deleted (null: no board).
Json stateReport(int sensorType, const Json& results, const Json& settings, tcHostSide& host,
                 const tcRegisterFileLog& words);

} // namespace camhost
