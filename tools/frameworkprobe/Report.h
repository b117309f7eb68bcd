#pragma once
// The probe's output, one line per assumption as it is checked, then the totals.
#include <string>
#include <vector>

namespace frameworkprobe {

class Report {
public:
    void ok(const std::string& assumption, const std::string& seen);
    // What was seen, and what the plug-in needs instead.
    void fail(const std::string& assumption, const std::string& seen, const std::string& needed);
    void notCheckable(const std::string& assumption, const std::string& why);
    // Reported, not counted: the plug-in does not rely on it.
    void info(const std::string& what, const std::string& seen);
    // A check left a thread blocked inside the framework: the process must not wait for it.
    void markStuck() { stuck = true; }
    bool isStuck() const { return stuck; }

    // Prints the totals; the exit status: 0 when every checked assumption held, 1 otherwise.
    int finish() const;

private:
    int checked = 0;
    int notChecked = 0;
    std::vector<std::string> failed;
    bool stuck = false;
};

} // namespace frameworkprobe
