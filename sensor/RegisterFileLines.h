#pragma once
// The lines of the start-up register file, read from any stream: one "register value" pair
// of hexadecimal numbers a line, blank lines and lines starting with '#' skipped. Kept
// apart from the sensor so that the text can be read from memory as from the file.
#include <functional>
#include <istream>
#include <string>

namespace registerfile {

// One pair, in file order, with the number of its line.
using tfPair = std::function<void(unsigned int lineNumber, unsigned short reg, unsigned int value)>;

// Hands every pair of in to pair. A bad line, an unreadable one or one longer than 65536
// characters is reported on standard error, naming path and the line, and throws.
void play(std::istream& in, const std::string& path, const tfPair& pair);

} // namespace registerfile
