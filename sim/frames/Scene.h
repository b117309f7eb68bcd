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
// Rows of a cell that may hold label ink.
bool labelRow(int yIn);
constexpr int kLabelLeft = 8, kLabelRight = 8 + 6 * 16; // columns of a cell the labels use

} // namespace frames
} // namespace sim
