#pragma once
// Framework region record: first row, first column, width, height (in that order).
#include <string>

namespace Vistrel {

struct ROI {
    int y = 0;      // first row (vertical offset)
    int x = 0;      // first column (horizontal offset)
    int width = 0;  // columns
    int height = 0; // rows

    ROI() = default;
    ROI(int y_, int x_, int width_, int height_) : y(y_), x(x_), width(width_), height(height_) {}

    // Text for logs, provided by the framework.
    std::string toString() const;
};

inline bool operator==(const ROI& a, const ROI& b) {
    return a.y == b.y && a.x == b.x && a.width == b.width && a.height == b.height;
}
inline bool operator!=(const ROI& a, const ROI& b) { return !(a == b); }

} // namespace Vistrel
