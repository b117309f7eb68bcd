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

// Line clocks of the line length register (bits 22..10, plus one) at the master clock.
long long lineClocks(uint32_t lineLength) {
    return ((lineLength >> 10) & 0x1FFF) + 1;
}

const long long kClocksPerMicrosecond = static_cast<long long>(kMasterClockMhz);
// Line lengths a readout takes beyond its rows.
constexpr long long kOverheadLines = 34;
// The latest start line of an exposure, in lines before the band's last row (RowE).
constexpr long long kLatestStartBeforeRowE = 4;

int gainCodeOf(const Head::Impl& head) {
    return static_cast<int>((chipValue(head, kGain) >> 5) & 0xF);
}

bool testImageOn(const Head::Impl& head) {
    return std::all_of(std::begin(kTestValues), std::end(kTestValues), [&](auto& entry) {
        auto found = head.chip.find(entry.first);
        return found != head.chip.end() && found->second == entry.second;
    });
}

// When an exposure started by the pulse at `pulse` begins, under the head's present state.
Micros exposureStartOf(const Head::Impl& head, Micros pulse) {
    if (frameState(head) == 1)
        return pulse;
    const uint32_t control = chipValue(head, kFrameControl);
    return pulse + Micros(startLineOffsetUs(control & 0x7FFF, chipValue(head, kLineLength)));
}

} // namespace

long long startLineOffsetUs(long long startLine, uint32_t lineLength) {
    // The exposure begins at the first microsecond at or after the start line's time.
    return (startLine * lineClocks(lineLength) + kClocksPerMicrosecond - 1) / kClocksPerMicrosecond;
}

long long readoutUs(long long rows, uint32_t lineLength) {
    // The rows read plus the frame's overhead lines, up to the next whole microsecond: the
    // sensor is busy that long, however the rows fit into it.
    const long long lines = std::max(0LL, rows) + kOverheadLines;
    return (lines * lineClocks(lineLength) + kClocksPerMicrosecond - 1) / kClocksPerMicrosecond;
}

std::string geometryMismatch(const FrameSettings& s) {
    const int lines = s.sensorLines();
    const bool linesAgree = s.blankLines == kBlankingLines && s.height == lines;
    if (linesAgree && !geometryFault(s))
        return {};
    std::ostringstream text;
    text << "sensor sends " << lines << " lines of " << kSensorLineColumns << " columns (rows "
         << s.rowS << ".." << s.rowE << ", factor " << s.verticalFactor << ") after "
         << kBlankingLines << " blanking lines; receiver expects " << s.height << " lines of "
         << s.width << " columns after " << s.blankLines << " lines and " << s.blankColumns
         << " columns";
    return text.str();
}

bool geometryFault(const FrameSettings& s) {
    const long long sent = kBlankingLines + static_cast<long long>(s.sensorLines());
    const bool linesCome = static_cast<long long>(s.blankLines) + s.height <= sent;
    const bool columnsFit = s.width > 0 && s.blankColumns + s.width <= kSensorLineColumns;
    return !linesCome || !columnsFit;
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
    s.gainCode = gainCodeOf(head);
    s.testImage = testImageOn(head);

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

void FrameModel::latchExposure(Head::Impl& head, Exposure& frame, Micros start) {
    // An exposure from a start line must begin at least 4 lines before the band's last row.
    const uint32_t control = chipValue(head, kFrameControl);
    const long long startLine = control & 0x7FFF;
    const long long lastStart =
        static_cast<long long>((chipValue(head, kReadoutRows) >> 14) & 0x3FFF) -
        kLatestStartBeforeRowE;
    if (frameState(head) == 4 && startLine > lastStart)
        head.violateAt(start, "start-line-late",
                       "exposure begins at start line " + std::to_string(startLine) +
                           ", after RowE - 4 = " + std::to_string(lastStart));
    frame.start = start;
    frame.gainCode = gainCodeOf(head);
    frame.testImage = testImageOn(head);
}

void FrameModel::settle(Head::Impl& head, Micros now) {
    if (!exposure || exposure->start)
        return;
    if (!captureState(frameState(head))) {
        exposure.reset(); // the sensor left its capture state before the exposure began
        return;
    }
    const Micros start = exposureStartOf(head, exposure->pulse);
    if (start < now)
        latchExposure(head, *exposure, start);
}

void FrameModel::onPulse(Head::Impl& head, Micros at) {
    // A disabled pulse generator ends the run: its next pulse starts a fresh exposure.
    const auto& calls = head.pwm.enableLog;
    for (; enableCallsSeen < calls.size(); ++enableCallsSeen)
        if (!calls[enableCallsSeen].second)
            exposure.reset();

    // Frame state 0 stops the capture: the frame in exposure is not read out (a readout
    // under way ends on its own).
    const bool capturing = captureState(frameState(head));
    if (!capturing)
        exposure.reset();
    if (exposure && !exposure->start) {
        const Micros start = exposureStartOf(head, exposure->pulse);
        if (start > at) {
            head.violateAt(at, "readout-overrun",
                           "sync pulse at " + std::to_string(at.count()) +
                               " us reads out a frame whose exposure would begin at " +
                               std::to_string(start.count()) + " us (start line past the period)");
            exposure.reset();
            ++dropped;
        } else {
            latchExposure(head, *exposure, start);
        }
    }

    // The sensor reads out the frame exposed since the previous pulse.
    if (exposure) {
        const uint32_t rows = chipValue(head, kReadoutRows);
        const long long rowCount = static_cast<long long>((rows >> 14) & 0x3FFF) -
                                   static_cast<long long>(rows & 0x3FFF) + 1;
        if (at < readoutEnd) {
            head.violateAt(at, "readout-overrun",
                           "sync pulse at " + std::to_string(at.count()) +
                               " us while the sensor reads the previous frame out until " +
                               std::to_string(readoutEnd.count()) + " us; the frame is lost");
            ++dropped;
        } else {
            const long long readout = readoutUs(rowCount, chipValue(head, kLineLength));
            readoutStart = at;
            readoutEnd = at + Micros(readout);
            if (readyToDeliver(head))
                deliver(head, *exposure, at, readout);
        }
    }

    exposure.reset();
    if (capturing) {
        exposure = Exposure{at, std::nullopt, 0, false};
        if (frameState(head) == 1)
            latchExposure(head, *exposure, at);
    }
}

void FrameModel::deliver(Head::Impl& head, const Exposure& frame, Micros at, long long readout) {
    FrameSettings settings = latch(head);
    settings.gainCode = frame.gainCode;
    settings.testImage = frame.testImage;
    settings.exposureUs = (at - *frame.start).count();

    const std::string geometry = geometryMismatch(settings);
    if (!geometryFault(settings))
        lastFault.clear();
    else if (geometry != lastFault) {
        findings.push_back(Finding{"frame geometry", geometry, at});
        head.violateAt(at, "frame-geometry", geometry);
        lastFault = geometry;
    }

    FrameRecord record;
    record.index = delivered;
    record.time = at;
    record.exposureStart = *frame.start;
    record.width = settings.width;
    record.height = settings.height;
    record.exposureUs = settings.exposureUs;
    record.triggered = head.triggerEdge == 1;
    record.meanLevel = mean(settings);
    record.bitDepth = settings.bitDepth();
    record.geometry = geometry;
    record.settings = std::move(settings);
    ++delivered;

    head.traceAt(at, "frame.valid", 1);
    head.traceAt(at + Micros(std::max(1LL, readout)), "frame.valid", 0);
    if (log.size() < kMaxRecords)
        log.push_back(std::move(record));
}

} // namespace frames
} // namespace sim
