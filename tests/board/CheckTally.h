#pragma once
// The tally of a stand-alone check program (one that cannot link GoogleTest or the sim): a
// line per check, and the closing "N passed, N failed" line ctest reads.
#include <cstdio>
#include <string>

namespace checktally {

inline int checks = 0;
inline int failures = 0;

inline void check(bool condition, const std::string& what) {
    ++checks;
    std::printf("%s: %s\n", condition ? "ok" : "FAILED", what.c_str());
    if (!condition)
        ++failures;
}

// Prints the closing line; the program's exit status.
inline int finish() {
    std::printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}

} // namespace checktally
