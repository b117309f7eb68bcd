#pragma once
// Argument lists and results as the boundary record writes them: numbers in decimal, flags
// 0/1, durations in µs, regions as y:x:width:height, text as it is; several arguments
// separated by ','.
#include "Vistrel/ROI.h"

#include <chrono>
#include <string>
#include <type_traits>

namespace platform {
namespace tracetext {

inline std::string text(bool value) {
    return value ? "1" : "0";
}
inline std::string text(const std::string& value) {
    return value;
}
inline std::string text(const char* value) {
    return value != nullptr ? value : "(null)";
}
template <typename Rep, typename Period>
std::string text(std::chrono::duration<Rep, Period> value) {
    return std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(value).count());
}
inline std::string text(const Vistrel::ROI& region) {
    return std::to_string(region.y) + ":" + std::to_string(region.x) + ":" +
           std::to_string(region.width) + ":" + std::to_string(region.height);
}
template <typename Number,
          typename = std::enable_if_t<std::is_arithmetic_v<Number> || std::is_enum_v<Number>>>
std::string text(Number value) {
    if constexpr (std::is_enum_v<Number>)
        return std::to_string(static_cast<long long>(value));
    else
        return std::to_string(value);
}

inline std::string list() {
    return std::string();
}
template <typename First, typename... Rest>
std::string list(const First& first, const Rest&... rest) {
    std::string result = text(first);
    ((result += "," + text(rest)), ...);
    return result;
}

} // namespace tracetext
} // namespace platform
