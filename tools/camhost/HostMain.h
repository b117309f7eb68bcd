#pragma once
// The steps every host program takes: its command line, the script, the plug-in's working
// directory, the report file and the plug-in's output, then the run on its own side.
#include "HostSide.h"
#include "Options.h"
#include "OutputFile.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace camhost {

class tcHostProgram {
public:
    virtual ~tcHostProgram() = default;
    virtual tsProgramOptions options() = 0;
    // Right after the command line: its own settings checked. An exit status (with the
    // message printed) stops the program.
    virtual std::optional<int> checkOptions() { return std::nullopt; }
    // Gives a name from the command line relative to where the program was started.
    using tfAbsolute = std::function<std::string(const std::string&)>;
    // After the report file: its own outputs opened, or an exit status as above.
    virtual std::optional<int> openOutputs(const tfAbsolute& absolute) {
        (void)absolute;
        return std::nullopt;
    }
    // In the plug-in's working directory, just before the run: the host's side, or null
    // (with the message printed) to stop with the usage status.
    virtual std::unique_ptr<tcHostSide> start() = 0;
    // False when the run takes no script (camhost --replay): standard input is not read.
    virtual bool readsScript() { return true; }
    // Instead of the script's run, once start() gave the host's side: the exit status, or
    // nothing for the script's run. json: the --json report to write, or null.
    virtual std::optional<int> runInstead(const tsOptions& options, tcHostSide& host,
                                          tcOutputFile* json) {
        (void)options;
        (void)host;
        (void)json;
        return std::nullopt;
    }
};

int hostMain(int argc, char** argv, tcHostProgram& program);

} // namespace camhost
