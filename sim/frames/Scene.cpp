// The chart: 256-pixel cells, 2-pixel grid lines, and two labels in each cell: "R" with the
// cell's first image row and "C" with its first image column.
#include "sim/frames/Scene.h"

#include "sim/frames/Frame.h"

namespace sim {
namespace frames {
namespace {

// 3 x 5 glyphs, one 3-bit row each, top row first, bit 2 the left column.
constexpr uint8_t kGlyphs[12][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {6, 5, 6, 5, 5}, // R
    {7, 4, 4, 4, 7},                                   // C
};
constexpr int kGlyphR = 10, kGlyphC = 11;
constexpr int kGlyphScale = kGlyphPixel;
constexpr int kAdvance = 16; // 3 columns of 4 pixels and a 4-pixel gap
constexpr int kRowLabelTop = 8, kColumnLabelTop = 36, kLabelHeight = 5 * kGlyphScale;

// The glyph of character i of a label: a letter, then the number in `digits` digits.
int labelGlyph(int letter, int number, int digits, int i) {
    if (i == 0)
        return letter;
    int divisor = 1;
    for (int k = i; k < digits; ++k)
        divisor *= 10;
    return (number / divisor) % 10;
}

bool inkOf(int letter, int number, int digits, int yInLabel, int xIn) {
    const int x = xIn - kLabelLeft;
    if (x < 0)
        return false;
    const int i = x / kAdvance;
    const int gx = (x % kAdvance) / kGlyphScale;
    if (i > digits || gx >= 3)
        return false;
    const int gy = yInLabel / kGlyphScale;
    return ((kGlyphs[labelGlyph(letter, number, digits, i)][gy] >> (2 - gx)) & 1) != 0;
}

} // namespace

bool rowLabelRow(int yIn) {
    return yIn >= kRowLabelTop && yIn < kRowLabelTop + kLabelHeight;
}

bool labelRow(int yIn) {
    return (yIn >= kRowLabelTop && yIn < kRowLabelTop + kLabelHeight) ||
           (yIn >= kColumnLabelTop && yIn < kColumnLabelTop + kLabelHeight);
}

bool labelInk(int cellRow, int cellColumn, int yIn, int xIn) {
    if (yIn >= kRowLabelTop && yIn < kRowLabelTop + kLabelHeight)
        return inkOf(kGlyphR, cellRow * kCellSize, 4, yIn - kRowLabelTop, xIn);
    if (yIn >= kColumnLabelTop && yIn < kColumnLabelTop + kLabelHeight)
        return inkOf(kGlyphC, cellColumn * kCellSize, 5, yIn - kColumnLabelTop, xIn);
    return false;
}

uint8_t backgroundCode(int cellRow, int column) {
    if (column < 0 || column >= kImageColumns)
        return kCodeMargin;
    if (column % kCellSize < kGridWidth)
        return kCodeGrid;
    return static_cast<uint8_t>(160 + 48 * column / kImageColumns + cellRow);
}

uint8_t sceneCode(int row, int column) {
    if (row < 0 || row >= kImageRows || column < 0 || column >= kImageColumns)
        return kCodeMargin;
    const int cellRow = row / kCellSize, yIn = row % kCellSize;
    const int cellColumn = column / kCellSize, xIn = column % kCellSize;
    if (yIn < kGridWidth || xIn < kGridWidth)
        return kCodeGrid;
    if (labelInk(cellRow, cellColumn, yIn, xIn))
        return kCodeInk;
    return backgroundCode(cellRow, column);
}

} // namespace frames
} // namespace sim
