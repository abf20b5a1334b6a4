// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

// Fixed data of PDF417 (ISO/IEC 15438): the bar-space patterns of the 929 codewords in the three
// clusters, the start and stop patterns, and the Reed-Solomon coefficients over GF(929).
namespace internal_pdf417 {

constexpr int kCodewordValues = 929;            // codewords 0 .. 928
constexpr int kPatternModules = 17;             // modules of one codeword pattern
constexpr std::uint32_t kStartPattern = 130728; // 11111111010101000, 17 modules
constexpr int kStartModules = 17;
constexpr std::uint32_t kStopPattern = 260649; // 111111101000101001, 18 modules
constexpr int kStopModules = 18;

// The 17-module pattern of `value` (0..928) in cluster table `table` (0, 1, 2 for the standard's
// clusters 0, 3, 6), most significant bit = first module, 1 = bar. Out-of-range arguments give 0.
std::uint32_t CodewordPattern(int table, int value);

// The 2 << level coefficients (level 0..8) of the generator polynomial of that error correction
// level: (x - 3)(x - 3^2)...(x - 3^k) over GF(929), lowest degree first, leading 1 left out.
// Built once on first use; an out-of-range level gives an empty list.
const std::vector<int>& ErrorCorrectionCoefficients(int level);

} // namespace internal_pdf417
