// The start-up register file: one "register value" pair of hexadecimal numbers per line,
// played to the chip in file order under one hold of the register lock.
#include "platform/Platform.h"
#include "platform/RobustLock.h"
#include "platform/TraceRecord.h"
#include "sensor/SensorRegisterMap.h"
#include "sensor/tc120MXS.h"

#include <chrono>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace {

constexpr const char* kLoaderPrefix = "void tc120MXS::writeRegistersFromFile(const string&)";
constexpr const char* kInitPrefix = "void tc120MXS::SensorInitRegisters()";
constexpr const char* kRegisterFileName = "120MXS_registers.txt";
constexpr std::size_t kMaxLineBytes = 64 * 1024;

// The master clock runs steadily this long after its enable, before the first SPI frame.
constexpr std::chrono::microseconds kClockSettle{10};

bool isBlank(const std::string& line) {
    return line.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

// The text of a line for the report, without the carriage return of a CRLF file.
std::string shownText(const std::string& line) {
    if (!line.empty() && line.back() == '\r')
        return line.substr(0, line.size() - 1);
    return line;
}

// One unsigned hexadecimal number. The stream alone would also take a sign and turn "-1"
// into the largest value; a signed number fails the line instead.
template <typename T> void readUnsigned(std::istringstream& in, T& number) {
    in >> std::ws;
    if (in.peek() == '+' || in.peek() == '-') {
        in.setstate(std::ios::failbit);
        return;
    }
    in >> std::hex >> number;
}

[[noreturn]] void reportBadLine(const std::string& path, unsigned int lineNumber,
                                const std::string& line, const std::istringstream& parsed) {
    std::cerr << std::endl;
    std::cerr << "Error writing registers: " << path << " " << std::dec << lineNumber << ": "
              << shownText(line) << std::endl;
    std::cerr << "eof: " << parsed.eof() << " good: " << parsed.good() << " fail: " << parsed.fail()
              << " bad: " << parsed.bad() << std::endl;
    throw std::exception();
}

// The same failure for a file or line that could not be read at all; line 0 is the file.
[[noreturn]] void reportUnreadable(const std::string& path, unsigned int lineNumber,
                                   const char* why) {
    std::cerr << std::endl;
    std::cerr << "Error writing registers: " << path;
    if (lineNumber > 0)
        std::cerr << " " << std::dec << lineNumber;
    std::cerr << ": " << why << std::endl;
    throw std::exception();
}

// The frame carries 11 register bits and 28 value bits; the line is played as written (the
// shadow keeps the whole number), but the chip gets another register or value than the
// file says.
void warnUnsentBits(const std::string& path, unsigned int lineNumber, unsigned short reg,
                    unsigned int value) {
    using sensorregs::kFrameRegisterMask;
    using sensorregs::kFrameValueMask;
    if ((reg & ~kFrameRegisterMask) != 0)
        std::cerr << path << " " << std::dec << lineNumber << ": register 0x" << std::hex << reg
                  << " does not fit the 11 bits sent: the chip's register 0x"
                  << (reg & kFrameRegisterMask) << " is written" << std::dec << std::endl;
    if ((value & ~kFrameValueMask) != 0)
        std::cerr << path << " " << std::dec << lineNumber << ": value 0x" << std::hex << value
                  << " does not fit the 28 bits sent: the chip gets 0x" << (value & kFrameValueMask)
                  << std::dec << std::endl;
}

} // namespace

void tc120MXS::writeRegistersFromFile(const std::string& path) {
    playRegisterFile(path);
}

bool tc120MXS::playRegisterFile(const std::string& path) {
    if (record != nullptr)
        record->file(path);
    // Held for the whole file, pauses included, so no other write lands between its lines.
    const platform::tcNamedRobustLock lock(registerMutex.getMutex(), registerLock);

    std::cout << "\n" << kLoaderPrefix << "File: " << path << std::endl;
    // Only a regular file is played: a directory reads nothing, a device may never end and
    // a pipe would block the open. A path that does not exist is left to the open.
    std::error_code statError;
    const std::filesystem::file_status status = std::filesystem::status(path, statError);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        reportUnreadable(path, 0, "not a regular file");

    std::ifstream file(path);
    if (!file.is_open()) {
        std::cerr << kLoaderPrefix << ": cannot open " << path << ", no register written"
                  << std::endl;
        return false;
    }

    // Lines are read into a bounded buffer: one endless line must not take all memory.
    std::vector<char> buffer(kMaxLineBytes + 1);
    std::string line;
    for (unsigned int lineNumber = 1;; ++lineNumber) {
        file.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (file.bad())
            reportUnreadable(path, lineNumber, "read error");
        if (file.fail() && !file.eof())
            reportUnreadable(path, lineNumber, "line longer than 65536 characters");
        if (file.fail())
            break; // end of file, nothing read
        // The count includes the line feed, except on a last line that has none.
        const auto length = static_cast<std::size_t>(file.gcount()) - (file.eof() ? 0 : 1);
        line.assign(buffer.data(), length);

        // Comments start in column 1 only; blank lines carry nothing to write.
        if ((!line.empty() && line[0] == '#') || isBlank(line))
            continue;

        std::istringstream parsed(line);
        unsigned short reg = 0;
        unsigned int value = 0;
        readUnsigned(parsed, reg);
        readUnsigned(parsed, value);
        // Both numbers must have been read: a register number alone is an error, not a
        // write of an unknown value.
        if (parsed.fail())
            reportBadLine(path, lineNumber, line, parsed);

        if (reg == sensorregs::kPauseRegister) {
            pause(std::chrono::microseconds(value));
            continue;
        }
        std::cout << std::hex << reg << ": " << value << std::dec << std::endl;
        warnUnsentBits(path, lineNumber, reg, value);
        writeRegisterUnlocked(reg, value);
    }
    return true;
}

void tc120MXS::SensorInitRegisters() {
    if (mclkEnablePin)
        setLine(*mclkEnablePin, 1);
    else
        std::cerr << kInitPrefix << ": GPIO MCLK_ENABLE not found in DT, master clock not enabled"
                  << std::endl;
    pause(kClockSettle);
    // The loader's leading line end closes this line.
    std::cout << kInitPrefix << ": Configuring initial settings " << std::flush;
    // Without its start-up registers the sensor cannot run: that must not pass for a
    // successful bring-up.
    if (!playRegisterFile(kRegisterFileName))
        throw std::runtime_error(std::string("Failed to open ") + kRegisterFileName);
    std::cout << kInitPrefix << ": Done!" << std::endl;
}

void tc120MXS::setMClockMhz(float mhz) {
    mClockMhz = mhz;
}

int tc120MXS::setBin(unsigned short) {
    return 0;
}

void tc120MXS::setTestSigEnable(bool) {}
