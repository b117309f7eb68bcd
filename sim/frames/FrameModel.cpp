// Sync pulses to delivered frames, with the settings latched from the programmed state.
#include "sim/frames/FrameModel.h"

#include "sim/HeadImpl.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace sim {
namespace frames {
namespace {

constexpr uint16_t kLineLength = 0x00, kFrameControl = 0x03, kReadoutRows = 0x04, kGain = 0x7A;
constexpr int kVerticalFactors[] = {1, 2, 3, 5, 7, 15};
constexpr long long kMaxTracedFrames = 10000;

// Test-pattern registers holding the sensor's test-image values.
constexpr std::pair<uint16_t, uint32_t> kTestValues[] = {{0x3A, 0x015011}, {0x47, 0x000001},
                                                         {0x55, 0x3FF3FF}, {0x56, 0x3FF3FF},
                                                         {0x5C, 0x03C028}, {0x5D, 0x032028}};

uint32_t chipValue(const Head::Impl& head, uint16_t reg) {
    auto found = head.chip.find(reg);
    return found == head.chip.end() ? 0 : found->second;
}

int frameState(const Head::Impl& head) {
    return static_cast<int>((chipValue(head, kFrameControl) >> 18) & 0x7);
}

bool captureState(int state) {
    return state == 1 || state == 4;
}

bool readyToDeliver(const Head::Impl& head) {
    const uint32_t control = head.word(frame::base + frame::control);
    const uint32_t status = head.word(frame::base + frame::status);
    const bool receiver =
        (control & kRxEnable) != 0 && (status & kRxPllLocked) != 0 && (status & kRxAligned) != 0;
    const bool pipeline = !head.pixelShift.reset && !head.badPixel.reset;
    return receiver && pipeline;
}

PixelList readPixelList(const std::string& path) {
    PixelList list;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        int row = 0, column = 0;
        if (line.empty() || line[0] == '#' || !(fields >> row >> column))
            continue;
        list.emplace_back(row, column);
    }
    return list;
}

long long lineTimeTimes(long long lines, uint32_t lineLength) {
    const long long clocks = ((lineLength >> 10) & 0x1FFF) + 1;
    return static_cast<long long>(std::floor(lines * clocks / kMasterClockMhz));
}

} // namespace

std::string geometryMismatch(const FrameSettings& s) {
    const int lines = s.sensorLines();
    const bool linesAgree = s.blankLines == kBlankingLines && s.height == lines;
    const bool columnsFit = s.width > 0 && s.blankColumns + s.width <= kSensorLineColumns;
    if (linesAgree && columnsFit)
        return {};
    std::ostringstream text;
    text << "sensor sends " << lines << " lines of " << kSensorLineColumns << " columns (rows "
         << s.rowS << ".." << s.rowE << ", factor " << s.verticalFactor << ") after "
         << kBlankingLines << " blanking lines; receiver expects " << s.height << " lines of "
         << s.width << " columns after " << s.blankLines << " lines and " << s.blankColumns
         << " columns";
    return text.str();
}

std::shared_ptr<const PixelList> FrameModel::badPixelList(const Head::Impl& head) {
    if (!head.badPixel.mapState || head.badPixel.data.empty())
        return nullptr;
    if (!badPixels || head.badPixel.data != badPixelSource) {
        badPixelSource = head.badPixel.data;
        badPixels = std::make_shared<const PixelList>(readPixelList(badPixelSource));
    }
    return badPixels;
}

FrameSettings FrameModel::latch(const Head::Impl& head) {
    FrameSettings s;
    const uint32_t control = chipValue(head, kFrameControl);
    const uint32_t rows = chipValue(head, kReadoutRows);
    s.rowS = static_cast<int>(rows & 0x3FFF);
    s.rowE = static_cast<int>((rows >> 14) & 0x3FFF);
    const uint32_t code = (control >> 15) & 0x7;
    s.verticalFactor = code < 6 ? kVerticalFactors[code] : 1;
    s.gainCode = static_cast<int>((chipValue(head, kGain) >> 5) & 0xF);
    const long long period = head.pwm.periodUs;
    if (frameState(head) == 1)
        s.exposureUs = period;
    else
        s.exposureUs =
            std::max(0LL, period - lineTimeTimes(control & 0x7FFF, chipValue(head, kLineLength)));
    s.testImage = std::all_of(std::begin(kTestValues), std::end(kTestValues), [&](auto& entry) {
        auto found = head.chip.find(entry.first);
        return found != head.chip.end() && found->second == entry.second;
    });

    const uint32_t resolution = head.word(frame::base + frame::roiResolution);
    const uint32_t blanking = head.word(frame::base + frame::blankOffset);
    const uint32_t start = head.word(frame::base + frame::roiStart);
    s.height = static_cast<int>(resolution >> 16);
    s.width = static_cast<int>(resolution & 0xFFFF);
    s.blankLines = static_cast<int>(blanking >> 16);
    s.blankColumns = static_cast<int>(blanking & 0xFFFF);
    s.startY = static_cast<int>(start >> 16);
    s.startX = static_cast<int>(start & 0xFFFF);
    s.bias = head.word(frame::base + frame::biasSubtract);

    s.shiftDirection = head.pixelShift.direction;
    s.shiftBits = std::max(head.pixelShift.bits, 0);
    for (auto call = head.frameOutput.rbegin(); call != head.frameOutput.rend(); ++call)
        if (call->first == 'S') {
            s.outputFormat = call->second;
            break;
        }
    s.badPixels = badPixelList(head);
    return s;
}

double FrameModel::mean(const FrameSettings& settings) {
    if (!meanOf || *meanOf != settings) {
        meanValue = meanLevel(settings);
        meanOf = std::make_unique<FrameSettings>(settings);
    }
    return meanValue;
}

void FrameModel::onPulses(Head::Impl& head, Micros first, long long period, long long count) {
    // A disabled pulse generator ends the run: its next pulse starts a fresh exposure.
    const auto& calls = head.pwm.enableLog;
    for (; enableCallsSeen < calls.size(); ++enableCallsSeen)
        if (!calls[enableCallsSeen].second)
            exposing = false;
    if (count <= 0)
        return;

    const bool capturing = captureState(frameState(head));
    const long long firstFrame = exposing ? 0 : 1; // the pulse that reads the first frame out
    exposing = capturing;
    if (!capturing || !readyToDeliver(head) || firstFrame >= count)
        return;

    const FrameSettings settings = latch(head);
    const std::string geometry = geometryMismatch(settings);
    const Micros firstTime = first + Micros(firstFrame * period);
    if (geometry.empty())
        lastMismatch.clear();
    else if (geometry != lastMismatch) {
        findings.push_back(Finding{"frame geometry", geometry, firstTime});
        lastMismatch = geometry;
    }

    FrameRecord record;
    record.width = settings.width;
    record.height = settings.height;
    record.exposureUs = settings.exposureUs;
    record.triggered = head.setEdge.has_value() && head.setEdge->mode == 1;
    record.meanLevel = mean(settings);
    record.bitDepth = settings.bitDepth();
    record.geometry = geometry;
    record.settings = settings;

    const long long frames = count - firstFrame;
    const long long valid = std::clamp<long long>(
        lineTimeTimes(settings.rowE - settings.rowS + 1, chipValue(head, kLineLength)), 1,
        std::max(1LL, period - 1));
    for (long long i = 0; i < frames; ++i) {
        const Micros at = firstTime + Micros(i * period);
        if (log.size() < kMaxRecords) {
            record.index = delivered + i;
            record.time = at;
            log.push_back(record);
        }
        if (i >= frames - kMaxTracedFrames) {
            head.traceAt(at, "frame.valid", 1);
            head.traceAt(at + Micros(valid), "frame.valid", 0);
        }
    }
    delivered += frames;
}

} // namespace frames
} // namespace sim
