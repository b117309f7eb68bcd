// Pixel values: chart code to sensor sample, then bias subtraction, pixel shift and depth.
#include "sim/frames/Frame.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace frames {
namespace {

constexpr uint32_t kBiasEnable = 1u << 31;
constexpr int kMaxSample = (1 << kSampleBits) - 1;
// White (code 255) reaches full scale after this exposure at gain code 15.
constexpr double kFullScaleExposureUs = 80000.0;
constexpr double kUnityGainCode = 15.0;

} // namespace

bool FrameSettings::operator==(const FrameSettings& o) const {
    return rowS == o.rowS && rowE == o.rowE && verticalFactor == o.verticalFactor &&
           gainCode == o.gainCode && exposureUs == o.exposureUs && testImage == o.testImage &&
           width == o.width && height == o.height && blankLines == o.blankLines &&
           blankColumns == o.blankColumns && startY == o.startY && startX == o.startX &&
           bias == o.bias && shiftDirection == o.shiftDirection && shiftBits == o.shiftBits &&
           outputFormat == o.outputFormat && badPixels == o.badPixels;
}

int FrameSettings::sensorLines() const {
    if (rowE < rowS || verticalFactor < 1)
        return 0;
    return (rowE - rowS + 1) / verticalFactor;
}

int FrameSettings::bitDepth() const {
    int depth = kSampleBits;
    if (shiftDirection == 0)
        depth += shiftBits;
    else if (shiftDirection == 1)
        depth -= shiftBits;
    const int container = (outputFormat == 1 || outputFormat == 3) ? 8 : 16;
    return std::clamp(depth, 1, container);
}

int sampleOfCode(const FrameSettings& s, int code) {
    const double level = code / 255.0 * static_cast<double>(s.exposureUs) * kMaxSample /
                         kFullScaleExposureUs * s.gainCode / kUnityGainCode;
    if (!(level > 0))
        return 0;
    return static_cast<int>(std::min<double>(std::lround(std::min(level, 1e9)), kMaxSample));
}

uint16_t delivered(const FrameSettings& s, int sample) {
    uint32_t value = static_cast<uint32_t>(std::max(sample, 0));
    if ((s.bias & kBiasEnable) != 0) {
        const uint32_t offset = s.bias & ~kBiasEnable;
        value = value > offset ? value - offset : 0;
    }
    const int bits = std::clamp(s.shiftBits, 0, 31);
    if (s.shiftDirection == 0)
        value = bits >= 16 && value != 0 ? 0xFFFFu : value << bits;
    else if (s.shiftDirection == 1)
        value >>= bits;
    const uint32_t cap = (1u << s.bitDepth()) - 1;
    return static_cast<uint16_t>(std::min(value, cap));
}

size_t scaledSize(int length, int scale) {
    if (length <= 0 || scale < 1)
        return 0;
    return static_cast<size_t>((length + scale - 1) / scale);
}

} // namespace frames
} // namespace sim
