#pragma once
// The framework's int view of the board's 64-bit microsecond counts: their low 32 bits, so
// that a reader and the board agree on the value even past INT_MAX.
#include <cstdint>

namespace Vistrel {

inline int low32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

} // namespace Vistrel
