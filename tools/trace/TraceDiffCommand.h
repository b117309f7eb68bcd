#pragma once
// tracediff's command line: two records in, one line per divergence and a total out.
#include <ostream>
#include <string>
#include <vector>

namespace trace {

constexpr int kExitAgree = 0;
constexpr int kExitDiffer = 1;
constexpr int kExitUnreadable = 2; // a record that cannot be read, or the command line

// arguments without the program's name.
int runTraceDiff(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace trace
