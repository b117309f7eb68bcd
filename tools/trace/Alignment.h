#pragma once
// Sets two sequences side by side: the pairs of equal elements, in order, that a longest
// common subsequence gives. Common ends are matched first; a middle too large for the
// table is matched greedily, which may leave a few more elements unpaired.
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace trace {

using tcPairs = std::vector<std::pair<size_t, size_t>>;

tcPairs alignSequences(size_t sizeA, size_t sizeB,
                       const std::function<bool(size_t, size_t)>& equal);

} // namespace trace
