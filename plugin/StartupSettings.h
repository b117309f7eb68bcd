#pragma once
// What the board is brought up with: the "Settings" section of the configuration file, or
// built-in defaults for a missing file or key.
#include "Vistrel/ROI.h"
#include "sensor/FullFrame.h"

namespace Vistrel {

struct tsStartupSettings {
    static constexpr unsigned kDefaultLaneInvertMask = 0x0200443A;
    static constexpr int kDefaultFrameIntervalUs = 106713;
    static constexpr int kDefaultExposureUs = 80000;

    unsigned laneInvertMask = kDefaultLaneInvertMask;
    int frameIntervalUs = kDefaultFrameIntervalUs;
    int exposureUs = kDefaultExposureUs;
    ROI region = kFullFrame;
    int verticalBin = 1;

    // Reads the file's settings; an unreadable file leaves every default.
    static tsStartupSettings read(const char* configFile);
};

} // namespace Vistrel
