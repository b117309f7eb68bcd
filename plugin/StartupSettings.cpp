#include "plugin/StartupSettings.h"

#include "platform/ConfigFile.h"

#include <algorithm>
#include <climits>

namespace Vistrel {
namespace {

const char* const kSettings = "Settings";

// Integer setting, saturated to the int range so that an absurd value in the file is
// refused by the setter it reaches instead of wrapping into a plausible one.
int readSetting(const config::tcIniFile& config, const char* key, long defaultValue) {
    const long long value = config.integer(kSettings, key, defaultValue);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

} // namespace

tsStartupSettings tsStartupSettings::read(const char* configFile) {
    const config::tcIniFile config(configFile);
    tsStartupSettings settings;
    settings.laneInvertMask =
        config.unsigned32(kSettings, "LaneInvertMask", kDefaultLaneInvertMask);
    settings.frameIntervalUs = readSetting(config, "FrameInterval", kDefaultFrameIntervalUs);
    settings.exposureUs = readSetting(config, "ExposureTime", kDefaultExposureUs);
    settings.region = ROI(readSetting(config, "RoiY", 0), readSetting(config, "RoiX", 0),
                          readSetting(config, "RoiWidth", kFullFrame.width),
                          readSetting(config, "RoiHeight", kFullFrame.height));
    settings.verticalBin = readSetting(config, "VerticalBin", settings.verticalBin);
    return settings;
}

} // namespace Vistrel
