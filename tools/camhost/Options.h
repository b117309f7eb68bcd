#pragma once
// The command line every host program shares; each adds its own options.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace camhost {

struct tsOptions {
    std::string plugin; // the module to load
    std::string config; // working directory of the plug-in
    std::string spi;    // handed to makeSensor
    std::string json;   // state report file, empty for none
    std::string script; // script file, "-" for standard input, empty for none
    bool quiet = false; // the plug-in's output off the terminal
    std::string log;    // where it goes instead, empty for nowhere
    std::string trace;  // the plug-in's boundary record (TC120MXS_TRACE), empty for none
};

// What a program adds to the shared command line.
struct tsProgramOptions {
    const char* name;        // "camhost"
    const char* description; // one line for --help
    std::function<void(CLI::App&)> add;
    std::string help; // after the script commands: its own settings and exit statuses
    // --config when none is given; empty: the sample configuration, built or installed.
    std::string config;
};

// The script commands, for --help; camhost's --sim keys and exit statuses.
const char* scriptHelp();
const char* simHelp();

// Parses the command line. Gives the exit status when the program must stop here (0 after
// --help or --version, 2 for a usage error, with the message printed); otherwise nothing.
std::optional<int> parseOptions(int argc, char** argv, tsOptions& options,
                                const tsProgramOptions& program);

// Default plug-in and configuration: beside camhost in the build tree, else installed.
std::string defaultPlugin();
std::string defaultConfig();

} // namespace camhost
