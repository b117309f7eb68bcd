// Arbitrary content as "120mxs_config.ini", "120mxs_sensor.ini" and the eight "version/"
// files, then a full initialize() on the virtual clock, getVersion(), a capture started
// and stopped, and the board destroyed: nothing faults, the region in effect is the
// configured one when it is valid and the full frame otherwise, the lane mask reaches the
// receiver, and the version text quotes the first line of every file ("???" for one that
// is missing or cannot be read).
//
// Input: the files' contents in the order above, separated by 0x1E bytes; a file whose
// content is the single byte 0x15 is absent, 0x16 is a folder in its place, and files
// after the last part are absent.
#include "BoardSupport.h"

#include "Vistrel/INIReader.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

using Vistrel::ROI;

const char* const kFiles[] = {
    "120mxs_config.ini",
    "120mxs_sensor.ini",
    "version/cam_part.txt",
    "version/serial.txt",
    "version/sensor_part.txt",
    "version/sensor_serial.txt",
    "version/sensor_board_rev.txt",
    "version/soc_io_board_rev.txt",
    "version/io_board_rev.txt",
    "version/kernel_version.txt",
};
constexpr size_t kFileCount = sizeof kFiles / sizeof kFiles[0];
constexpr size_t kFirstVersionFile = 2;
constexpr char kSeparator = '\x1e';
const std::string kAbsent = "\x15";
const std::string kFolder = "\x16";

constexpr unsigned long kDefaultLaneMask = 0x0200443A;
constexpr uint32_t kLaneMask = 0x0FFFFFFF; // 28 serial lanes

// An integer setting as bring-up reads it: the framework's reader, saturated to int.
int setting(const Vistrel::INIReader& config, const char* key, long defaultValue) {
    const long long value = config.GetInteger("Settings", key, defaultValue);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts;
    {
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        size_t start = 0;
        while (parts.size() < kFileCount && start <= bytes.size()) {
            const size_t end = bytes.find(kSeparator, start);
            parts.push_back(bytes.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }

    fuzzsupport::InputScope scope;
    scope.copySampleConfig("120MXS_registers.txt");
    scope.copySampleConfig("bad_pixel_map.txt");
    std::string expectedVersion;
    for (size_t i = 0; i < kFileCount; ++i) {
        const bool present = i < parts.size() && parts[i] != kAbsent;
        if (present && parts[i] == kFolder)
            scope.makeDirectory(kFiles[i]);
        else if (present)
            scope.writeFile(kFiles[i], parts[i]);
        if (i < kFirstVersionFile)
            continue;
        const std::string entry =
            !present || parts[i] == kFolder ? "???" : parts[i].substr(0, parts[i].find('\n'));
        expectedVersion += "\"" + entry + "\" ";
    }
    expectedVersion += "\"SW:";

    auto board = std::make_unique<Vistrel::tc120MXSSensorBoard>(fuzzsupport::kSpiPath);
    const int result = board->initialize();
    const bool timingSet = board->getFrameInterval() != 0;
    if (result != 0) {
        bool reported = false;
        for (const auto& line : scope.head().statusLines())
            reported = reported || line.text == "Sensor powerup error!";
        FUZZ_CHECK(reported || result == -1 || result == -2, "initialize: " << result);
    }
    fuzzsupport::checkBoardInvariants(*board, timingSet);

    const Vistrel::INIReader config("120mxs_config.ini");
    const uint32_t lanes = scope.head().frameRegister(sim::frame::laneInversion);
    const auto mask = config.GetUnsignedInteger("Settings", "LaneInvertMask", kDefaultLaneMask);
    // A mask beyond 32 bits is no mask: the default, on every platform alike.
    const uint32_t expectedMask = static_cast<unsigned long long>(mask) > 0xFFFFFFFFull
                                      ? kDefaultLaneMask
                                      : static_cast<uint32_t>(mask);
    FUZZ_CHECK(lanes == (expectedMask & kLaneMask),
               std::hex << "lane inversion 0x" << lanes << " for 0x" << mask);
    if (timingSet) {
        const ROI configured(setting(config, "RoiY", 0), setting(config, "RoiX", 0),
                             setting(config, "RoiWidth", 13280),
                             setting(config, "RoiHeight", 9184));
        // A start-up region the board or the sensor (rows past its last row block) refuses
        // leaves the full frame programmed.
        const bool sensorTakes = int64_t{configured.y} + configured.height <= 9184;
        const ROI expected = fuzzsupport::isValidRegion(configured) && sensorTakes
                                 ? configured
                                 : Vistrel::kFullFrame;
        FUZZ_CHECK(board->getROI() == expected, "region " << board->getROI().toString());
    }

    const std::string version = board->getVersion();
    FUZZ_CHECK(version.compare(0, expectedVersion.size(), expectedVersion) == 0,
               "version text '" << version << "', expected it to start with '" << expectedVersion
                                << "'");
    FUZZ_CHECK(version.find("SYSID:", expectedVersion.size()) != std::string::npos,
               "no SYSID in '" << version << "'");

    if (result == 0) {
        FUZZ_CHECK(board->start() == 0, "start after bring-up");
        fuzzsupport::checkBoardInvariants(*board, timingSet);
    }
    FUZZ_CHECK(board->stop() == 0, "stop");
    fuzzsupport::checkBoardInvariants(*board, timingSet);
    board.reset();
    return 0;
}
