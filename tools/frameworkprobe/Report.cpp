#include "Report.h"

#include <cstdio>

namespace frameworkprobe {
namespace {

void line(const char* tag, const std::string& assumption, const std::string& text) {
    std::printf("%-5s %s: %s\n", tag, assumption.c_str(), text.c_str());
    std::fflush(stdout); // a check that hangs later must not take this line with it
}

} // namespace

void Report::ok(const std::string& assumption, const std::string& seen) {
    ++checked;
    line("OK", assumption, seen);
}

void Report::fail(const std::string& assumption, const std::string& seen,
                  const std::string& needed) {
    ++checked;
    failed.push_back(assumption);
    line("FAIL", assumption, seen + "; the plug-in needs " + needed);
}

void Report::notCheckable(const std::string& assumption, const std::string& why) {
    ++notChecked;
    line("N/A", assumption, "not checkable in this process: " + why);
}

void Report::info(const std::string& what, const std::string& seen) {
    line("INFO", what, seen);
}

int Report::finish() const {
    std::printf("%d checked, %zu failed, %d not checkable\n", checked, failed.size(), notChecked);
    for (const std::string& assumption : failed)
        std::printf("failed: %s\n", assumption.c_str());
    std::fflush(stdout);
    return failed.empty() ? 0 : 1;
}

} // namespace frameworkprobe
