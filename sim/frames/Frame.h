#pragma once
// A delivered frame: its record in the frame log and, on demand, its pixels.
// The model is described in sim/frames/README.md.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sim {
namespace frames {

using Micros = std::chrono::microseconds;

// Full-frame image coordinates (row, column) of the pixels the bad-pixel core replaces.
using PixelList = std::vector<std::pair<int, int>>;

// Everything the pixels depend on: the sensor's exposure settings as they were when the
// exposure began, the readout geometry and the pipeline as at the readout pulse.
struct FrameSettings {
    // Sensor.
    int rowS = 0, rowE = -1; // sensor rows read, both included
    int verticalFactor = 1;  // sensor rows per line
    int gainCode = 0;
    long long exposureUs = 0;
    bool testImage = false;
    // Frame receiver.
    int width = 0, height = 0;            // resolution count
    int blankLines = 0, blankColumns = 0; // blanking offset
    int startY = 0, startX = 0;           // ROI start (recorded only)
    uint32_t bias = 0;                    // bias-subtract word
    // Pixel pipeline.
    int shiftDirection = -1; // -1: never set
    int shiftBits = 0;
    int outputFormat = 2;                       // frame-output operation S
    std::shared_ptr<const PixelList> badPixels; // null while the map is off

    bool operator==(const FrameSettings& other) const;
    bool operator!=(const FrameSettings& other) const { return !(*this == other); }

    int sensorLines() const; // lines the sensor sends after its blanking
    int bitDepth() const;    // bits of a delivered pixel
};

struct FrameRecord {
    long long index = 0;     // 0 for the first frame since the head's reset
    Micros time{0};          // the readout pulse
    Micros exposureStart{0}; // when its exposure began; exposure settings are of that instant
    int width = 0, height = 0;
    long long exposureUs = 0;
    bool triggered = false;
    double meanLevel = 0; // in delivered units
    int bitDepth = 0;
    // Empty when the receiver takes exactly the sensor's image lines, else both figures.
    std::string geometry;
    FrameSettings settings;
};

// A sim-side rule the programmed state broke, e.g. rule "frame geometry".
struct Finding {
    std::string rule;
    std::string reason;
    Micros time{0};
};

// Constants of the model.
constexpr int kImageRows = 9184, kImageColumns = 13280;
constexpr int kFirstImageSensorRow = 32;
constexpr int kBlankingLines = 33; // lines before the first image line of a sensor frame
constexpr int kMarginColumns = 32; // on each side of the image columns
constexpr int kSensorLineColumns = kImageColumns + 2 * kMarginColumns;
constexpr int kSampleBits = 11;
constexpr double kMasterClockMhz = 45.0;

// The sensor sample (before bias and shift) of a chart code under these settings.
int sampleOfCode(const FrameSettings& settings, int code);
// A sample through bias subtraction, pixel shift and the depth's cap.
uint16_t delivered(const FrameSettings& settings, int sample);

// Pixels of every scale-th line and column (scale >= 1), row-major: ceil(height / scale)
// lines of ceil(width / scale) values.
size_t scaledSize(int length, int scale);
std::vector<uint16_t> pixels(const FrameSettings& settings, int scale = 1);
// The same, one receiver line at a time: line is a receiver line (0..height-1), out takes
// scaledSize(width, scale) values.
class LineRenderer {
public:
    LineRenderer(const FrameSettings& settings, int scale);
    ~LineRenderer();
    LineRenderer(const LineRenderer&) = delete;
    LineRenderer& operator=(const LineRenderer&) = delete;
    void render(int line, uint16_t* out);
    size_t lineSize() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

// Mean of the sampled pixels (see the README).
double meanLevel(const FrameSettings& settings);

} // namespace frames
} // namespace sim
