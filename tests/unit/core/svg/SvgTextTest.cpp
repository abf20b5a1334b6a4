// SPDX-License-Identifier: MIT
// SVG numbers: the integer formatter prints what "%.2f" (std::to_chars) prints for every float.
#include "core/svg/SvgText.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace {

std::string Reference(float value)
{
    char buffer[64];
    const auto end =
        std::to_chars(buffer, buffer + sizeof(buffer), static_cast<double>(value), std::chars_format::fixed, 2);
    return std::string(buffer, end.ptr);
}

std::string Fast(float value)
{
    std::string out;
    svgtext::AppendFixed2(out, value);
    return out;
}

TEST(SvgNumber, FixedTwoDecimalsMatchesTheLibrary)
{
    const float edges[] = {0.0f,
                           -0.0f,
                           0.005f,
                           0.015f,
                           0.125f,
                           0.375f,
                           -0.001f,
                           1.0f / 3,
                           2.5f,
                           12.345f,
                           0.5f / 255,
                           128.0f / 255,
                           16777216.0f,
                           1e9f,
                           1e12f,
                           -7.995f,
                           std::numeric_limits<float>::denorm_min(),
                           std::numeric_limits<float>::min(),
                           std::numeric_limits<float>::max(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN()};
    for (float v : edges) {
        EXPECT_EQ(Fast(v), Reference(v)) << v;
    }
    // Every hundredth-ish value a symbol produces, and random bit patterns of every magnitude.
    for (int i = -100000; i <= 100000; ++i) {
        const float v = static_cast<float>(i) * 0.01f + static_cast<float>(i % 7) * 0.001f;
        ASSERT_EQ(Fast(v), Reference(v)) << v;
    }
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t bits = random();
        float v = 0;
        std::memcpy(&v, &bits, sizeof(v));
        ASSERT_EQ(Fast(v), Reference(v)) << bits;
    }
}

} // namespace
