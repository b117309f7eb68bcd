#include "Alignment.h"

#include <algorithm>
#include <cstdint>

namespace trace {

namespace {

constexpr size_t kMaxTableCells = size_t{1} << 24; // 16 M cells of 4 bytes

// The middle by the table of common-subsequence lengths.
void alignByTable(size_t a0, size_t n, size_t b0, size_t m,
                  const std::function<bool(size_t, size_t)>& equal, tcPairs& pairs) {
    // length[i][j]: the longest common subsequence of a[i..n) and b[j..m).
    std::vector<uint32_t> length((n + 1) * (m + 1), 0);
    auto at = [&](size_t i, size_t j) -> uint32_t& { return length[i * (m + 1) + j]; };
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            at(i, j) =
                equal(a0 + i, b0 + j) ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    size_t i = 0, j = 0;
    while (i < n && j < m) {
        if (equal(a0 + i, b0 + j)) {
            pairs.emplace_back(a0 + i, b0 + j);
            ++i;
            ++j;
        } else if (at(i + 1, j) >= at(i, j + 1)) {
            ++i;
        } else {
            ++j;
        }
    }
}

// The middle greedily: each element of a takes the next equal one of b within a window.
void alignGreedily(size_t a0, size_t n, size_t b0, size_t m,
                   const std::function<bool(size_t, size_t)>& equal, tcPairs& pairs) {
    constexpr size_t kWindow = 256;
    size_t j = 0;
    for (size_t i = 0; i < n && j < m; ++i) {
        for (size_t k = j; k < m && k < j + kWindow; ++k) {
            if (equal(a0 + i, b0 + k)) {
                pairs.emplace_back(a0 + i, b0 + k);
                j = k + 1;
                break;
            }
        }
    }
}

} // namespace

tcPairs alignSequences(size_t sizeA, size_t sizeB,
                       const std::function<bool(size_t, size_t)>& equal) {
    tcPairs pairs;
    size_t head = 0;
    while (head < sizeA && head < sizeB && equal(head, head)) {
        pairs.emplace_back(head, head);
        ++head;
    }
    size_t tail = 0;
    while (tail < sizeA - head && tail < sizeB - head && equal(sizeA - 1 - tail, sizeB - 1 - tail))
        ++tail;
    const size_t n = sizeA - head - tail, m = sizeB - head - tail;
    if (n > 0 && m > 0) {
        if ((n + 1) * (m + 1) <= kMaxTableCells)
            alignByTable(head, n, head, m, equal, pairs);
        else
            alignGreedily(head, n, head, m, equal, pairs);
    }
    for (size_t k = tail; k-- > 0;)
        pairs.emplace_back(sizeA - 1 - k, sizeB - 1 - k);
    return pairs;
}

} // namespace trace
