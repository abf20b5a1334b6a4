// SPDX-License-Identifier: MIT
// The one-pass mask score against a plain scorer that walks each mask's grid on its own.
#include "qr/QrMatrix.h"
#include "qr/QrTables.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace qr_internal {
namespace {

// Runs of five and more (3, then 1 per further module), 1011101 patterns (40), 2 x 2 blocks
// (3) and the dark balance, one mask at a time.
std::array<long long, 8> PlainPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    static const int balance[21] = {90, 80, 70, 60, 50, 40, 30, 20, 10, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 90};
    std::array<long long, 8> scores{};
    for (int k = 0; k < 8; ++k) {
        const auto bit = [&](int x, int y) { return (cells[static_cast<size_t>(y * side + x)] >> k) & 1; };
        long long score = 0;
        for (int direction = 0; direction < 2; ++direction) {
            for (int line = 0; line < side; ++line) {
                int run = 0;
                int previous = -1;
                std::vector<int> seen;
                for (int i = 0; i < side; ++i) {
                    const int c = direction == 0 ? bit(i, line) : bit(line, i);
                    run = c == previous ? run + 1 : 1;
                    previous = c;
                    if (run == 5) {
                        score += 3;
                    } else if (run > 5) {
                        score += 1;
                    }
                    seen.push_back(c);
                    if (seen.size() >= 7 && std::equal(seen.end() - 7, seen.end(), std::begin({1, 0, 1, 1, 1, 0, 1}))) {
                        score += 40;
                    }
                }
            }
        }
        long long dark = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                dark += bit(x, y);
                if (x + 1 < side && y + 1 < side && bit(x, y) == bit(x + 1, y) && bit(x, y) == bit(x, y + 1)
                    && bit(x, y) == bit(x + 1, y + 1)) {
                    score += 3;
                }
            }
        }
        if (dataModules > 0) {
            const auto index = static_cast<long long>(20.0 * static_cast<double>(dark) / dataModules);
            score += balance[std::min<long long>(std::max<long long>(index, 0), 20)];
        }
        scores[static_cast<size_t>(k)] = score;
    }
    return scores;
}

TEST(QrMaskScore, OnePassScoresEqualThePlainScorer)
{
    std::mt19937 random(20240601);
    for (int side : {1, 5, 7, 21, 57, 101, 177}) {
        for (int density : {0, 10, 50, 90, 100}) {
            std::vector<std::uint8_t> cells(static_cast<size_t>(side * side));
            for (std::uint8_t& c : cells) {
                for (int k = 0; k < 8; ++k) {
                    if (static_cast<int>(random() % 100) < density) {
                        c = static_cast<std::uint8_t>(c | (1u << k));
                    }
                }
            }
            const int dataModules = side * side - side;
            SCOPED_TRACE(testing::Message() << "side " << side << " density " << density);
            const auto plain = PlainPenalties(cells, side, dataModules);
            EXPECT_EQ(MaskPenalties(cells, side, dataModules), plain);
            EXPECT_EQ(PortableMaskPenalties(cells, side, dataModules), plain);
        }
    }
    // Real symbols: the grid of every placement with all eight masks, as BuildSymbol scores it.
    for (int version : {1, 7, 10, 27, 40}) {
        const FunctionPatterns p = QRCodeGetSymbolData(version);
        const std::vector<int> order = PlacementOrder(p);
        std::vector<std::uint8_t> cells(p.function.size(), 0);
        for (size_t i = 0; i < order.size(); ++i) {
            const int x = order[i] % p.side;
            const int y = order[i] / p.side;
            const bool bit = (random() & 1u) != 0;
            for (int k = 0; k < 8; ++k) {
                if (bit != MaskInverts(k, x, y)) {
                    cells[static_cast<size_t>(order[i])] |= static_cast<std::uint8_t>(1u << k);
                }
            }
        }
        const int data = static_cast<int>(order.size());
        EXPECT_EQ(MaskPenalties(cells, p.side, data), PlainPenalties(cells, p.side, data)) << version;
    }
}

TEST(QrMaskScore, TransposeMatchesBitByBit)
{
    std::mt19937_64 random(64);
    for (int side : {1, 21, 63, 64, 65, 127, 128, 177}) {
        const int words = (side + 63) / 64;
        std::vector<std::uint64_t> in(static_cast<size_t>(side * words));
        for (int y = 0; y < side; ++y) {
            for (int w = 0; w < words; ++w) {
                const int bits = std::min(64, side - 64 * w);
                in[static_cast<size_t>(y * words + w)] = random() & (bits == 64 ? ~0ULL : (1ULL << bits) - 1);
            }
        }
        std::vector<std::uint64_t> out(in.size(), ~0ULL);
        TransposeLines(in.data(), out.data(), side, words);
        const auto bit = [words](const std::vector<std::uint64_t>& v, int line, int x) {
            return (v[static_cast<size_t>(line * words + x / 64)] >> (x % 64)) & 1u;
        };
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < words * 64; ++x) {
                ASSERT_EQ(bit(out, x < side ? x : y, x < side ? y : x), x < side ? bit(in, y, x) : 0u)
                    << "side " << side << " (" << x << ", " << y << ")";
            }
        }
    }
}

// Every symbol module against the placement order and the mask conditions one by one, under
// each mask and the chosen one, which must score lowest over the grid of eight-variant cells.
TEST(QrMaskScore, SymbolModulesFollowPlacementAndMask)
{
    std::mt19937 random(18004);
    for (int version : {1, 7, 10, 14, 27, 40}) {
        for (int level : {0, 3}) {
            const FunctionPatterns p = QRCodeGetSymbolData(version);
            const std::vector<int> order = PlacementOrder(p);
            std::vector<std::uint8_t> codewords(static_cast<size_t>(TotalCodewords(version)));
            for (std::uint8_t& c : codewords) {
                c = static_cast<std::uint8_t>(random());
            }
            const auto bitAt = [&](size_t i) {
                return i >= codewords.size() * 8 || ((codewords[i / 8] >> (7 - i % 8)) & 1u) != 0;
            };
            std::vector<std::uint8_t> cells(p.function.size(), 0);
            for (size_t i = 0; i < order.size(); ++i) {
                for (int k = 0; k < 8; ++k) {
                    if (bitAt(i) != MaskInverts(k, order[i] % p.side, order[i] / p.side)) {
                        cells[static_cast<size_t>(order[i])] |= static_cast<std::uint8_t>(1u << k);
                    }
                }
            }
            const int chosen = QRCodeChooseMaskNumber(cells, p.side, static_cast<int>(order.size()));
            for (int mask = -1; mask < 8; ++mask) {
                SCOPED_TRACE(testing::Message() << "version " << version << " level " << level << " mask " << mask);
                int used = -2;
                const ModuleMatrix m = BuildSymbol(codewords, version, level, mask, &used);
                EXPECT_EQ(used, mask < 0 ? chosen : mask);
                for (size_t i = 0; i < order.size(); ++i) {
                    const int x = order[i] % p.side;
                    const int y = order[i] / p.side;
                    ASSERT_EQ(m.get(x, y), bitAt(i) != MaskInverts(used, x, y)) << "module " << i;
                }
                for (size_t i = 0; i < p.function.size(); ++i) {
                    if (p.dark[i] != 0) {
                        ASSERT_TRUE(m.cells[i] == 1) << "function module " << i;
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace qr_internal
