#pragma once
// camhost's command line.
#include <optional>
#include <string>
#include <vector>

namespace camhost {

struct tsOptions {
    std::string plugin;           // the module to load
    std::string config;           // working directory of the plug-in
    std::string spi;              // handed to makeSensor
    bool fast = false;            // virtual clock
    std::string json;             // state report file, empty for none
    std::string vcd;              // waveform file, empty for none
    std::vector<std::string> sim; // KEY=VALUE head set-up
    std::string script;           // script file, "-" for standard input, empty for none
    bool quiet = false;           // the plug-in's output off the terminal
    std::string log;              // where it goes instead, empty for nowhere
    std::string frames;           // folder for the delivered frames as PGM, empty for none
    long long framesMax = 16;     // at most this many PGM files
    int frameScale = 1;           // PGM keeps every frameScale-th line and column
    std::string contactSheet;     // PNG of the first frames, empty for none
    bool strict = false;          // a broken hardware rule fails the run (exit status 4)
};

// Parses the command line. Gives the exit status when camhost must stop here (0 after
// --help or --version, 2 for a usage error, with the message printed); otherwise nothing.
std::optional<int> parseOptions(int argc, char** argv, tsOptions& options);

// Default plug-in and configuration: beside camhost in the build tree, else installed.
std::string defaultPlugin();
std::string defaultConfig();

} // namespace camhost
