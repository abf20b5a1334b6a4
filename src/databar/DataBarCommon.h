// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

// The character machinery the GS1 DataBar symbols share (ISO/IEC 24724): the combinatorial
// width algorithm, the split of a character value into odd and even sub-values by a group
// table, the GTIN check digit and the run-length form of module rows. No drawing here.
namespace databar {

// Checksum weights: entry k is 3^k modulo `modulus`.
template <std::size_t N>
constexpr std::array<int, N> PowersOfThree(int modulus)
{
    std::array<int, N> weights{};
    int w = 1;
    for (std::size_t k = 0; k < N; ++k) {
        weights[k] = w;
        w = w * 3 % modulus;
    }
    return weights;
}

// The binomial coefficient C(n, r) in 32-bit arithmetic, computed the standard's way (the
// product is divided as it grows, so the sizes DataBar uses do not overflow). An r beyond n
// gives 1, as the width algorithm expects.
int Combinations(int n, int r);

// The `elements` widths, summing to `modules`, of sub-value `value` (0-based among the
// admissible width sets): no element wider than `maxWidth`, and unless `noNarrow` at least one
// element one module wide.
std::vector<int> Widths(int value, int modules, int elements, int maxWidth, bool noNarrow);

// One row of a character group table: the first character value of the group, the number of
// even (outside characters: odd) sub-values, and the module count and widest element of the
// odd and even elements.
struct CharacterGroup
{
    int start;
    int divisor;
    int modulesOdd;
    int modulesEven;
    int widestOdd;
    int widestEven;
};

// How a group splits a value v (relative to the group start) and which half may lack a
// narrow element.
struct CharacterForm
{
    int elementsPerHalf; // odd elements, and as many even ones
    bool oddIsQuotient;  // odd = v / divisor, even = v % divisor (else the other way round)
    bool oddNoNarrow;
    bool evenNoNarrow;
};

// The 2 x elementsPerHalf element widths of character `value` in the group table
// `groups[0..count)` (the highest group whose start the value reaches), interleaved odd, even,
// odd, even ... Throws std::out_of_range for a value below the first group's start.
std::vector<int> CharacterWidths(int value, const CharacterGroup* groups, std::size_t count, const CharacterForm& form);

// The GTIN of 13 digits with its modulo-10 check digit (weights 3, 1, 3, ... from the left).
// `digits` must hold exactly 13 decimal digits.
std::string GtinWithCheckDigit(const std::string& digits);

// True when every character is '0' to '9'.
bool AllDigits(const std::string& text);

// A row of modules ('1' dark, '0' light) as run lengths beginning with a dark run, which is 0
// when the row begins light.
std::vector<int> RowRuns(const std::string& modules);

} // namespace databar
