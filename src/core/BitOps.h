// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Bit counting on 64-bit words, without library calls where the target lacks the instructions.
namespace bit_ops {

// The index of the lowest set bit; v != 0.
inline int TrailingZeros(std::uint64_t v)
{
#if defined(__GNUC__)
    return __builtin_ctzll(v);
#else
    int n = 0;
    for (; (v & 1) == 0; v >>= 1) {
        ++n;
    }
    return n;
#endif
}

// The set bits, counted in parallel (a baseline x86-64 build has no popcount instruction, and
// the compiler's builtin becomes a library call).
inline int PopCount(std::uint64_t v)
{
    v -= (v >> 1) & 0x5555555555555555u;
    v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((v * 0x0101010101010101u) >> 56);
}

} // namespace bit_ops
