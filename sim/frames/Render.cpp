// Frame pixels, made line by line. Most chart lines are a copy of one prepared line per
// cell row, so a whole frame costs little more than writing its bytes.
#include "sim/frames/Frame.h"
#include "sim/frames/Scene.h"

#include <algorithm>
#include <climits>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sim {
namespace frames {
namespace {
constexpr int kNotSent = INT_MIN; // a receiver column past the sensor's line
constexpr int kTestImagePeriod = 1 << kSampleBits;

// Copies a prepared line into the frame. A frame is far larger than the caches: on x86,
// streaming stores spare reading every destination line into the cache before writing it.
void copyLine(uint16_t* out, const uint16_t* from, size_t n) {
#if defined(__SSE2__)
    size_t i = 0;
    for (; i < n && (reinterpret_cast<uintptr_t>(out + i) & 15) != 0; ++i)
        out[i] = from[i];
    for (; i + 8 <= n; i += 8)
        _mm_stream_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    for (; i < n; ++i)
        out[i] = from[i];
    _mm_sfence();
#else
    std::memcpy(out, from, n * sizeof(uint16_t));
#endif
}
} // namespace

struct LineRenderer::State {
    FrameSettings settings;
    int scale = 1;
    std::vector<int> columns;      // image column of each output column, or kNotSent
    std::vector<size_t> labelCols; // output columns inside a cell's label area
    uint16_t sceneLut[256] = {};
    std::vector<uint16_t> testLut;
    std::vector<uint16_t> gridLine, marginLine, plainLine, labelLine;
    int plainCellRow = -1;
    int labelCellRow = -1, labelGlyphRow = -1; // what labelLine holds
    uint16_t mark = 0;
    PixelList marks; // sorted by row

    std::vector<std::vector<size_t>> columnInkCache; // by glyph row

    const uint16_t* sceneLine(int row);
    // Output columns inked by the column labels in cell row yIn (any cell row).
    const std::vector<size_t>& columnInk(int yIn) {
        const size_t glyphRow = static_cast<size_t>(yIn / kGlyphPixel);
        if (columnInkCache.size() <= glyphRow)
            columnInkCache.resize(glyphRow + 1);
        std::vector<size_t>& inked = columnInkCache[glyphRow];
        if (inked.empty())
            for (size_t k : labelCols)
                if (labelInk(0, columns[k] / kCellSize, yIn, columns[k] % kCellSize))
                    inked.push_back(k);
        return inked;
    }
    void fromCodes(std::vector<uint16_t>& line, int cellRow) {
        line.resize(columns.size());
        for (size_t k = 0; k < columns.size(); ++k)
            line[k] = columns[k] == kNotSent ? 0 : sceneLut[backgroundCode(cellRow, columns[k])];
    }
};

// The prepared line that shows a chart row.
const uint16_t* LineRenderer::State::sceneLine(int row) {
    State& s = *this;
    if (row < 0 || row >= kImageRows)
        return s.marginLine.data();
    if (row % kCellSize < kGridWidth)
        return s.gridLine.data();
    const int cellRow = row / kCellSize, yIn = row % kCellSize;
    if (cellRow != s.plainCellRow) {
        s.fromCodes(s.plainLine, cellRow);
        s.plainCellRow = cellRow;
    }
    if (!labelRow(yIn))
        return s.plainLine.data();
    if (cellRow != s.labelCellRow || yIn / kGlyphPixel != s.labelGlyphRow) {
        s.labelLine = s.plainLine;
        const uint16_t ink = s.sceneLut[kCodeInk];
        if (rowLabelRow(yIn)) {
            bool inkAt[kCellSize] = {};
            for (int x = kLabelLeft; x < kLabelRight; ++x)
                inkAt[x] = labelInk(cellRow, 0, yIn, x);
            for (size_t k : s.labelCols)
                if (inkAt[s.columns[k] % kCellSize])
                    s.labelLine[k] = ink;
        } else {
            for (size_t k : s.columnInk(yIn))
                s.labelLine[k] = ink;
        }
        s.labelCellRow = cellRow;
        s.labelGlyphRow = yIn / kGlyphPixel;
    }
    return s.labelLine.data();
}

LineRenderer::LineRenderer(const FrameSettings& settings, int scale)
    : state(std::make_unique<State>()) {
    State& s = *state;
    s.settings = settings;
    s.scale = std::max(scale, 1);
    const size_t width = scaledSize(settings.width, s.scale);
    s.columns.resize(width);
    for (size_t k = 0; k < width; ++k) {
        const long long sensorColumn =
            static_cast<long long>(settings.blankColumns) + static_cast<long long>(k) * s.scale;
        s.columns[k] =
            sensorColumn >= kSensorLineColumns ? kNotSent : int(sensorColumn) - kMarginColumns;
        const int column = s.columns[k];
        if (column >= 0 && column < kImageColumns && column % kCellSize >= kLabelLeft &&
            column % kCellSize < kLabelRight)
            s.labelCols.push_back(k);
    }
    for (int code = 0; code < 256; ++code)
        s.sceneLut[code] = delivered(settings, sampleOfCode(settings, code));
    if (settings.testImage) {
        s.testLut.resize(kTestImagePeriod);
        for (int v = 0; v < kTestImagePeriod; ++v)
            s.testLut[v] = delivered(settings, v);
    }
    s.marginLine.resize(width);
    s.gridLine.resize(width);
    for (size_t k = 0; k < width; ++k) {
        const int column = s.columns[k];
        s.marginLine[k] = column == kNotSent ? 0 : s.sceneLut[kCodeMargin];
        s.gridLine[k] = column == kNotSent                        ? 0
                        : (column < 0 || column >= kImageColumns) ? s.sceneLut[kCodeMargin]
                                                                  : s.sceneLut[kCodeGrid];
    }
    s.mark = static_cast<uint16_t>((1u << settings.bitDepth()) - 1);
    if (settings.badPixels) {
        s.marks = *settings.badPixels;
        std::sort(s.marks.begin(), s.marks.end());
    }
}

LineRenderer::~LineRenderer() = default;

size_t LineRenderer::lineSize() const {
    return state->columns.size();
}

void LineRenderer::render(int line, uint16_t* out) {
    State& s = *state;
    const FrameSettings& f = s.settings;
    const size_t width = s.columns.size();
    const long long sensorLine = static_cast<long long>(f.blankLines) + line - kBlankingLines;
    if (line < 0 || line >= f.height || sensorLine < 0 || sensorLine >= f.sensorLines()) {
        std::fill(out, out + width, uint16_t{0}); // blanking, or a line the sensor never sent
        return;
    }
    const int row = f.rowS - kFirstImageSensorRow + int(sensorLine) * f.verticalFactor;

    if (f.testImage) {
        for (size_t k = 0; k < width; ++k)
            out[k] = s.columns[k] == kNotSent
                         ? 0
                         : s.testLut[unsigned(row + s.columns[k]) & (kTestImagePeriod - 1)];
    } else {
        copyLine(out, s.sceneLine(row), width);
    }

    // Pixels the bad-pixel core replaces, on this image row.
    auto mark = std::lower_bound(s.marks.begin(), s.marks.end(), std::make_pair(row, INT_MIN));
    for (; mark != s.marks.end() && mark->first == row; ++mark) {
        const long long k = static_cast<long long>(mark->second) + kMarginColumns - f.blankColumns;
        if (k >= 0 && k % s.scale == 0 && static_cast<size_t>(k / s.scale) < width)
            out[k / s.scale] = s.mark;
    }
}

std::vector<uint16_t> pixels(const FrameSettings& settings, int scale) {
    scale = std::max(scale, 1);
    LineRenderer renderer(settings, scale);
    const size_t width = renderer.lineSize();
    const size_t lines = scaledSize(settings.height, scale);
    std::vector<uint16_t> image(width * lines);
    for (size_t i = 0; i < lines; ++i)
        renderer.render(static_cast<int>(i) * scale, image.data() + i * width);
    return image;
}

double meanLevel(const FrameSettings& settings) {
    const int scale = std::max(1, std::max(settings.width, settings.height) / 128);
    LineRenderer renderer(settings, scale);
    const size_t width = renderer.lineSize();
    const size_t lines = scaledSize(settings.height, scale);
    if (width == 0 || lines == 0)
        return 0;
    std::vector<uint16_t> line(width);
    double sum = 0;
    for (size_t i = 0; i < lines; ++i) {
        renderer.render(static_cast<int>(i) * scale, line.data());
        for (uint16_t v : line)
            sum += v;
    }
    return sum / static_cast<double>(width * lines);
}

} // namespace frames
} // namespace sim
