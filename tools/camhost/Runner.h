#pragma once
// Runs script commands against the board, through its three views and its handler chain.
#include "HostSide.h"
#include "PluginLibrary.h"
#include "Script.h"
#include "WriteWitness.h"

#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcSensorBoard.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace camhost {

using Json = nlohmann::ordered_json;

class tcScriptRunner {
public:
    // Asks the board for its command handlers at once, as the framework does after building
    // it; they are deleted with the runner, which must go before the board. host gives the
    // clock and the waits, words the register file as notified; stateReport gives the
    // report that "state" prints.
    tcScriptRunner(Vistrel::tcSensorBoard& board, tcHostSide& host, const tcRegisterFileLog& words,
                   std::function<Json()> stateReport);
    ~tcScriptRunner();
    tcScriptRunner(const tcScriptRunner&) = delete;
    tcScriptRunner& operator=(const tcScriptRunner&) = delete;

    // Runs the command, prints its result line and records it. An exception from the
    // plug-in is recorded with the line and passed on as tcPluginFailure. "expect" checks
    // the record before it.
    void run(const tsCommand& command);
    // One record per command run: line, command, result, start time (and extras such as a
    // peeked value or the expectation checked against it).
    const Json& results() const { return records; }
    int checkedExpectations() const { return checked; }
    int failedExpectations() const { return failed; }

private:
    // The result; extras receives further values the command reports.
    Json execute(const tsCommand& command, Json& extras);
    Json get(const std::string& what);
    // Who handled the write: "observer" and the handlers' class names.
    Json notifyWrite(uint32_t address, uint32_t value);
    void check(const tsCommand& command);
    // "regions", "readback": the result, extras as for execute.
    Json regions(const std::vector<long long>& numbers, Json& extras);
    Json readback(Json& extras);

    Vistrel::tcSensorBoard& board;
    tcHostSide& host;
    const tcRegisterFileLog& words;
    std::function<Json()> stateReport;
    std::map<std::string, Vistrel::tcAbstractHandler*> handlerMap;
    std::vector<std::unique_ptr<Vistrel::tcAbstractHandler>> handlers; // head first
    Json records = Json::array();
    int checked = 0, failed = 0;
    std::unique_ptr<tcWriteWitness> witness;
};

} // namespace camhost
