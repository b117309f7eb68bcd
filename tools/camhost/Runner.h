#pragma once
// Runs script commands against the board, through its three views and its handler chain.
#include "Script.h"

#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcSensorBoard.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace camhost {

using Json = nlohmann::ordered_json;

class tcScriptRunner {
public:
    // Asks the board for its command handlers at once, as the framework does after building
    // it; they are deleted with the runner, which must go before the board. stateReport
    // gives the report that "state" prints.
    tcScriptRunner(Vistrel::tcSensorBoard& board, std::function<Json()> stateReport);
    ~tcScriptRunner();
    tcScriptRunner(const tcScriptRunner&) = delete;
    tcScriptRunner& operator=(const tcScriptRunner&) = delete;

    // Runs the command, prints its result line and records it. An exception from the
    // plug-in is recorded with the line and passed on.
    void run(const tsCommand& command);
    // One record per command run: line, command, result (and extras such as a peeked value).
    const Json& results() const { return records; }

private:
    // The result; extras receives further values the command reports.
    Json execute(const tsCommand& command, Json& extras);
    Json get(const std::string& what);
    void notifyWrite(uint32_t address, uint32_t value);

    Vistrel::tcSensorBoard& board;
    std::function<Json()> stateReport;
    std::map<std::string, Vistrel::tcAbstractHandler*> handlerMap;
    std::vector<std::unique_ptr<Vistrel::tcAbstractHandler>> handlers; // head first
    Json records = Json::array();
};

} // namespace camhost
