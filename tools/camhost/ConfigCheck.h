#pragma once
// The working directory given to the plug-in (--config): does it hold the plug-in's files?
#include <string>
#include <vector>

namespace camhost {

// The plug-in's files that dir lacks, by name.
std::vector<std::string> missingConfigFiles(const std::string& dir);
// How many files the plug-in reads from its working directory.
size_t configFileCount();

} // namespace camhost
