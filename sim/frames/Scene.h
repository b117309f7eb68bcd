#pragma once
// The fixed synthetic chart over the whole image: cells with grid lines and their first
// row and column written in them, so that any crop shows where it came from.
#include <cstdint>

namespace sim {
namespace frames {

constexpr int kCellSize = 256;
constexpr uint8_t kCodeMargin = 8, kCodeGrid = 128, kCodeInk = 255;
constexpr int kGridWidth = 2;

// Chart code (0..255) at an image row and column; outside the image: kCodeMargin.
uint8_t sceneCode(int row, int column);

// Parts for fast rendering: the code of a cell's plain pixel (no label), and whether a
// pixel at (yIn, xIn) inside the cell at (cellRow, cellColumn) is label ink.
uint8_t backgroundCode(int cellRow, int column);
bool labelInk(int cellRow, int cellColumn, int yIn, int xIn);
// Rows of a cell that may hold label ink: the row label (the same in every cell of a cell
// row) or the column label (the same in every cell of a cell column).
bool labelRow(int yIn);
bool rowLabelRow(int yIn);
constexpr int kLabelLeft = 8, kLabelRight = 8 + 6 * 16; // columns of a cell the labels use
constexpr int kGlyphPixel = 4; // label rows come in runs of this many equal rows

} // namespace frames
} // namespace sim
