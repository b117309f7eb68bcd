// Identity and diagnostics: camera description, version text, temperature, and raw
// access to the sensor's registers.
#include "platform/BuildStamp.h"
#include "plugin/tc120MXSSensorBoard.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <string>


namespace Vistrel {
namespace {

const char kSensorName[] = "120MXS";
const char kSensorMaker[] = "Canon";
// Pixels that carry image data inside the full frame.
constexpr uint32_t kEffectiveWidth = 13272;
constexpr uint32_t kEffectiveHeight = 9176;

// The board fills the record up to this byte; the rest is the framework's.
constexpr size_t kBoardBytesEnd = offsetof(tsCameraInfo, framework);
// Bytes 0..5 are covered by the sensor name; the board clears from here on.
constexpr size_t kClearedFrom = 6;

const char* const kVersionFiles[] = {
    "version/cam_part.txt",      "version/serial.txt",           "version/sensor_part.txt",
    "version/sensor_serial.txt", "version/sensor_board_rev.txt", "version/soc_io_board_rev.txt",
    "version/io_board_rev.txt",  "version/kernel_version.txt",
};

constexpr int kMaxRegister = 0xFFFF; // sensor register numbers are 16 bits
const char* const kTemperatureUnavailable = "-275";

// A version line is a short text; a longer one is cut here.
constexpr size_t kMaxVersionLine = 4096;

// First line of a version file, or "???" when it cannot be read. Only a regular file is
// opened: opening a FIFO would block, and a device such as /dev/zero has no line end. A
// file without a final newline, and an empty one, end the read at end of file: their text
// counts.
std::string versionEntry(const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return "???";
    std::ifstream in(path);
    std::string line;
    char c = 0;
    while (line.size() < kMaxVersionLine && in.get(c) && c != '\n')
        line += c;
    if (!in.is_open() || in.bad())
        return "???";
    return line;
}

} // namespace

int tc120MXSSensorBoard::GetCameraInfo(tsCameraInfo* info) {
    if (info == nullptr)
        return eeMissingArgument;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(info);
    std::memset(bytes + kClearedFrom, 0, kBoardBytesEnd - kClearedFrom);
    std::memcpy(info->sensorName, kSensorName, sizeof kSensorName);
    std::memcpy(info->sensorMaker, kSensorMaker, sizeof kSensorMaker);
    info->fullFrame = kFullFrame;
    info->flags = 0;
    info->effectiveWidth = kEffectiveWidth;
    info->effectiveHeight = kEffectiveHeight;
    return eeSuccess;
}

std::string tc120MXSSensorBoard::getVersion() {
    // The files are read before the board mutex is taken: a slow file must not hold up the
    // settings, start and stop.
    std::string text;
    for (const char* path : kVersionFiles) {
        text += '"';
        if (record)
            record->file(path);
        text += versionEntry(path);
        text += "\" ";
    }
    const tcBoardScope scope(*this);
    text += "\"SW:";
    text += TC120MXS_BUILD_DATE;
    text += ' ';
    text += TC120MXS_BUILD_TIME;
    text += "\" ";
    text += "SYSID:";
    text += fpga.getSysId();
    return text;
}

std::string tc120MXSSensorBoard::getTemperature(int /*index*/) {
    return kTemperatureUnavailable;
}

int tc120MXSSensorBoard::poke(int reg, int value) {
    updateStatusFMT(eeStatusInfo, "Poke: Register 0x%03X: Value: 0x%04X",
                    static_cast<unsigned>(reg), static_cast<unsigned>(value));
    if (reg > kMaxRegister) {
        updateStatusFMT(eeStatusInfo, "Poke: Register 0x%03X too large",
                        static_cast<unsigned>(reg));
        return eeArgumentOutOfRange;
    }
    if (!sensorReady) {
        updateStatusFMT(eeStatusInfo, "Poke: sensor not powered up");
        return eeInvalidState;
    }
    sensor.writeRegister(static_cast<unsigned short>(reg & kMaxRegister),
                         static_cast<unsigned>(value));
    return eeSuccess;
}

int tc120MXSSensorBoard::peek(int reg, int* value) {
    if (reg > kMaxRegister) {
        updateStatusFMT(eeStatusInfo, "Peek: Register 0x%03X too large",
                        static_cast<unsigned>(reg));
        return eeArgumentOutOfRange;
    }
    if (value == nullptr)
        return eeMissingArgument;

    unsigned shadow = 0;
    if (sensor.readShadowRegister(static_cast<unsigned short>(reg & kMaxRegister), shadow) != 0) {
        updateStatusFMT(eeStatusInfo, "Peek: Register 0x%03X not found",
                        static_cast<unsigned>(reg));
        updateStatusFMT(eeStatusInfo, "Peek: Register 0x%03X: Value: 0x%04X",
                        static_cast<unsigned>(reg), static_cast<unsigned>(*value));
        return eeArgumentOutOfRange;
    }
    *value = static_cast<int>(shadow);
    updateStatusFMT(eeStatusInfo, "Peek: Register 0x%03X: Value: 0x%04X",
                    static_cast<unsigned>(reg), shadow);
    return eeSuccess;
}

} // namespace Vistrel
