#include "StateReport.h"

#include "Readable.h"

namespace camhost {

Json stateReport(int sensorType, const Json& results, Vistrel::tcSensorBoard* board,
                 tcHostSide& host, const tcRegisterFileLog& words) {
    Json report = Json::object();
    report["sensorType"] = sensorType;
    report["results"] = results;
    host.addToReport(report, words);
    report["board"] = board ? boardSettings(*board) : Json(nullptr);
    return report;
}

} // namespace camhost
