#pragma once
// camhost's own output, apart from the plug-in's: with --quiet the plug-in's standard
// output and error go to a log (or nowhere) while camhost's lines still reach the terminal.
#include <ostream>
#include <string>

namespace camhost {

// The program's name for its messages ("camhost", "camhost-board"); set once by main.
const char* toolName();
void setToolName(const char* name);

// camhost's standard output and error. Before divertPluginOutput they are the process's.
std::ostream& out();
std::ostream& err();

// The descriptor behind err(), for a signal handler's message.
int errorFd();

// Sends whatever the process writes to its standard output and error from now on (the
// plug-in's lines) to logPath, or nowhere when it is empty. Gives an error text, or "".
std::string divertPluginOutput(const std::string& logPath);

// Flushes the plug-in's output; true when a write of it failed since it was diverted (a
// full disk, /dev/full): the log is incomplete.
bool pluginOutputLost();

} // namespace camhost
