// SPDX-License-Identifier: MIT
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Conversions of caller-supplied numbers that never invoke undefined behaviour:
// out-of-range values saturate and NaN becomes 0.
namespace numeric {

template <class Int>
Int SaturatingCast(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
    if (value <= lo) {
        return std::numeric_limits<Int>::min();
    }
    if (value >= hi) {
        return std::numeric_limits<Int>::max();
    }
    return static_cast<Int>(value); // truncates toward zero
}

inline int TruncToInt(double value)
{
    return SaturatingCast<int>(value);
}

// Clamps a 64-bit result back into int.
inline int ClampToInt(std::int64_t value)
{
    if (value < std::numeric_limits<int>::min()) {
        return std::numeric_limits<int>::min();
    }
    if (value > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(value);
}

// A double narrowed to float: values beyond the float range become +-infinity (a plain cast
// would be undefined there); NaN stays NaN. Integer conversions go through SaturatingCast.
inline float ToFloat(double value)
{
    constexpr double maxFloat = static_cast<double>(std::numeric_limits<float>::max());
    if (value > maxFloat) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -maxFloat) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

} // namespace numeric
