#pragma once
// Runs the built camhost binary as a user would, and reads what it left behind.
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace camhosttest {

struct tsRun {
    int status = -1; // exit status; -1 when it did not exit normally
    int signal = 0;  // the signal that ended it, or 0
    std::string out;
    std::string err;
};

// camhost (or another program) with args, standard input from input, in the current
// directory.
tsRun runCamhost(const std::vector<std::string>& args, const std::string& input = "",
                 const std::string& program = TC120MXS_CAMHOST_PATH);

// camhost running in the background, for signals.
class tcCamhostProcess {
public:
    explicit tcCamhostProcess(const std::vector<std::string>& args, const std::string& input = "",
                              const std::string& program = TC120MXS_CAMHOST_PATH);
    ~tcCamhostProcess(); // kills it if still running
    // Waits up to timeoutMs for text on its standard output (or error).
    bool waitForOutput(const std::string& text, int timeoutMs, bool onError = false) const;
    void signal(int number) const;
    tsRun wait();

private:
    int pid = -1;
};

std::string readText(const std::string& path);
nlohmann::json readJson(const std::string& path);

// One parsed value change dump.
struct tsVcd {
    std::string timescale;
    std::map<std::string, std::string> names; // "scope.name" -> identifier
    std::map<std::string, int> widths;        // identifier -> width
    // identifier -> (time, value) changes in file order, after the initial $dumpvars; value as
    // written ("1", "b101").
    std::map<std::string, std::vector<std::pair<long long, std::string>>> changes;
    bool monotonic = true;   // timestamps never went back
    bool undeclared = false; // a change named an identifier without $var
};
tsVcd parseVcd(const std::string& text);

} // namespace camhosttest
