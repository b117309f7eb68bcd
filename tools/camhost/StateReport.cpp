#include "StateReport.h"

#include "Readable.h"

namespace camhost {

Json stateReport(int sensorType, const Json& results, const Json& settings, tcHostSide& host,
                 const tcRegisterFileLog& words) {
    Json report = Json::object();
    report["sensorType"] = sensorType;
    report["results"] = results;
    host.addToReport(report, words);
    report["board"] = settings;
    return report;
}

Json stateReport(int sensorType, const Json& results, Vistrel::tcSensorBoard* board,
                 tcHostSide& host, const tcRegisterFileLog& words) {
    return stateReport(sensorType, results, board ? boardSettings(*board) : Json(nullptr), host,
                       words);
}

} // namespace camhost
