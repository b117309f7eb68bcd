#pragma once
// Runs camhost from a scratch directory on the shipped module and sample configuration.
#include "camhost/CamhostProcess.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace camhosttest {

class CamhostTest : public testsupport::HeadTest {
protected:
    // camhost --fast on the built module and the sample configuration, then extra, then
    // the script text written to "test.cam" (no script argument when script is empty).
    tsRun runScript(const std::string& script, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--fast", "--plugin", TC120MXS_PLUGIN_PATH, "--config",
                                      std::string(TC120MXS_SOURCE_DIR) + "/config"};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!script.empty()) {
            writeFile("test.cam", script);
            args.push_back("test.cam");
        }
        return runCamhost(args);
    }
    // The same with a JSON report, returned parsed.
    nlohmann::json reportOf(const std::string& script, std::vector<std::string> extra = {},
                            tsRun* run = nullptr) {
        extra.push_back("--json");
        extra.push_back("report.json");
        tsRun result = runScript(script, extra);
        if (run != nullptr)
            *run = result;
        return readJson("report.json");
    }
};

// The result of the command on the given script line.
inline nlohmann::json resultOfLine(const nlohmann::json& report, int line) {
    for (const auto& record : report.at("results"))
        if (record.at("line") == line)
            return record.at("result");
    return "no such line";
}

} // namespace camhosttest
