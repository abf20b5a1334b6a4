// SPDX-License-Identifier: MIT
#include "qr/QrMatrix.h"

#include "core/ReedSolomon.h"
#include "qr/QrTables.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace qr_internal {
namespace {

class Grid
{
public:
    explicit Grid(FunctionPatterns& p) : m_p(p) {}

    void Set(int x, int y, bool dark)
    {
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(m_p.side) + static_cast<size_t>(x);
        m_p.function[i] = 1;
        m_p.dark[i] = dark ? 1 : 0;
    }

    bool IsFunction(int x, int y) const
    {
        return m_p.function[static_cast<size_t>(y) * static_cast<size_t>(m_p.side) + static_cast<size_t>(x)] != 0;
    }

private:
    FunctionPatterns& m_p;
};

// A finder pattern centred at (cx, cy) with its light separator, clipped to the symbol.
void AddFinder(Grid& g, int side, int cx, int cy)
{
    for (int dy = -4; dy <= 4; ++dy) {
        for (int dx = -4; dx <= 4; ++dx) {
            const int x = cx + dx;
            const int y = cy + dy;
            if (x < 0 || y < 0 || x >= side || y >= side) {
                continue;
            }
            const int ring = std::max(std::abs(dx), std::abs(dy));
            g.Set(x, y, ring != 2 && ring != 4);
        }
    }
}

void AddAlignment(Grid& g, int cx, int cy)
{
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            g.Set(cx + dx, cy + dy, std::max(std::abs(dx), std::abs(dy)) != 1);
        }
    }
}

// Format bit i (0 = most significant) goes to (kFormatA[i], kFormatB[i]) and to the second copy
// beside the other two finders (see FormatPositionsSecond).
constexpr int kFormatA[15] = {0, 1, 2, 3, 4, 5, 7, 8, 8, 8, 8, 8, 8, 8, 8};
constexpr int kFormatB[15] = {8, 8, 8, 8, 8, 8, 8, 8, 7, 5, 4, 3, 2, 1, 0};

void FormatPositionsSecond(int side, int i, int* x, int* y)
{
    if (i < 7) {
        *x = 8;
        *y = side - 1 - i;
    } else {
        *x = side - 15 + i;
        *y = 8;
    }
}

// The balance penalty by trunc(20 * dark / data modules).
constexpr int kBalancePenalty[21] = {90, 80, 70, 60, 50, 40, 30, 20, 10, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 90};

} // namespace

std::vector<std::uint8_t> QRCodeGetTotalData(const std::vector<std::uint8_t>& data, int version, int level)
{
    if (data.size() != static_cast<size_t>(DataCodewords(level, version))) {
        throw std::logic_error("QR data codewords do not match the version");
    }
    const int blocks = BlockCount(level, version);
    const int longBlocks = LongBlockCount(level, version);
    const int shortData = ShortBlockDataCodewords(level, version);
    const int ecc = EccCodewordsPerBlock(level, version);
    const auto& field = reed_solomon::QrField();
    const std::vector<std::uint8_t> generator = reed_solomon::Generator(field, ecc, 0);

    std::vector<std::vector<std::uint8_t>> dataBlocks;
    std::vector<std::vector<std::uint8_t>> eccBlocks;
    size_t pos = 0;
    for (int b = 0; b < blocks; ++b) {
        // Short blocks first, then the long ones.
        const size_t length = static_cast<size_t>(shortData + (b >= blocks - longBlocks ? 1 : 0));
        dataBlocks.emplace_back(data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + length));
        pos += length;
        eccBlocks.push_back(reed_solomon::Remainder(field, dataBlocks.back(), generator));
    }
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<size_t>(TotalCodewords(version)));
    for (int i = 0; i <= shortData; ++i) {
        for (const auto& block : dataBlocks) {
            if (static_cast<size_t>(i) < block.size()) {
                out.push_back(block[static_cast<size_t>(i)]);
            }
        }
    }
    for (int i = 0; i < ecc; ++i) {
        for (const auto& block : eccBlocks) {
            out.push_back(block[static_cast<size_t>(i)]);
        }
    }
    return out;
}

FunctionPatterns QRCodeGetSymbolData(int version)
{
    FunctionPatterns p;
    const int n = SideLength(version);
    p.side = n;
    p.function.assign(static_cast<size_t>(n) * static_cast<size_t>(n), 0);
    p.dark.assign(p.function.size(), 0);
    Grid g(p);

    AddFinder(g, n, 3, 3);
    AddFinder(g, n, n - 4, 3);
    AddFinder(g, n, 3, n - 4);
    for (int i = 8; i < n - 8; ++i) {
        g.Set(i, 6, i % 2 == 0);
        g.Set(6, i, i % 2 == 0);
    }
    const std::vector<int>& centres = AlignmentCoordinates(version);
    for (int cy : centres) {
        for (int cx : centres) {
            const bool onFinder =
                (cx == 6 && cy == 6) || (cx == 6 && cy == centres.back()) || (cx == centres.back() && cy == 6);
            if (!onFinder) {
                AddAlignment(g, cx, cy);
            }
        }
    }
    // Format areas (written once the mask is known) and the dark module.
    for (int i = 0; i < 15; ++i) {
        int x = 0;
        int y = 0;
        g.Set(kFormatA[i], kFormatB[i], false);
        FormatPositionsSecond(n, i, &x, &y);
        g.Set(x, y, false);
    }
    g.Set(8, n - 8, true);
    if (version >= 7) {
        const std::uint32_t bits = VersionInformation(version);
        for (int i = 0; i < 18; ++i) {
            const bool dark = ((bits >> i) & 1u) != 0;
            const int a = n - 11 + i % 3;
            const int b = i / 3;
            g.Set(a, b, dark);
            g.Set(b, a, dark);
        }
    }
    return p;
}

std::vector<int> PlacementOrder(const FunctionPatterns& patterns)
{
    const int n = patterns.side;
    std::vector<int> order;
    order.reserve(patterns.function.size());
    bool upward = true;
    for (int right = n - 1; right >= 1; right -= 2) {
        if (right == 6) {
            right = 5; // the vertical timing pattern is skipped as a whole column
        }
        for (int step = 0; step < n; ++step) {
            const int y = upward ? n - 1 - step : step;
            for (int x = right; x >= right - 1; --x) {
                const int index = y * n + x;
                if (patterns.function[static_cast<size_t>(index)] == 0) {
                    order.push_back(index);
                }
            }
        }
        upward = !upward;
    }
    return order;
}

bool MaskInverts(int mask, int x, int y)
{
    switch (mask) {
    case 0: return (x + y) % 2 == 0;
    case 1: return y % 2 == 0;
    case 2: return x % 3 == 0;
    case 3: return (x + y) % 3 == 0;
    case 4: return (y / 2 + x / 3) % 2 == 0;
    case 5: return (x * y) % 2 + (x * y) % 3 == 0;
    case 6: return ((x * y) % 2 + (x * y) % 3) % 2 == 0;
    default: return (((x + y) % 2) + (x * y) % 3) % 2 == 0;
    }
}

std::array<long long, 8> MaskPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    std::array<long long, 8> scores{};
    const auto at = [&](int x, int y) {
        return cells[static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x)];
    };
    for (int k = 0; k < 8; ++k) {
        long long score = 0;
        // Lines in both directions: runs of five and more, and the 1011101 pattern.
        for (int direction = 0; direction < 2; ++direction) {
            for (int line = 0; line < side; ++line) {
                unsigned reg = 0;
                int read = 0;
                bool inRun = false;
                for (int i = 0; i < side; ++i) {
                    const std::uint8_t cell = direction == 0 ? at(i, line) : at(line, i);
                    reg = ((reg << 1) | ((cell >> k) & 1u)) & 0x7Fu;
                    ++read;
                    const unsigned five = reg & 0x1Fu;
                    if (read >= 5 && (five == 0 || five == 0x1F)) {
                        score += inRun ? 1 : 3;
                        inRun = true;
                    } else {
                        inRun = false;
                    }
                    if (read >= 7 && reg == 0x5Du) {
                        score += 40;
                    }
                }
            }
        }
        long long dark = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const unsigned c = (at(x, y) >> k) & 1u;
                dark += c;
                if (x + 1 < side && y + 1 < side && c == ((at(x + 1, y) >> k) & 1u) && c == ((at(x, y + 1) >> k) & 1u)
                    && c == ((at(x + 1, y + 1) >> k) & 1u)) {
                    score += 3;
                }
            }
        }
        if (dataModules > 0) {
            const auto index = static_cast<long long>(20.0 * static_cast<double>(dark) / dataModules);
            score += kBalancePenalty[std::min<long long>(std::max<long long>(index, 0), 20)];
        }
        scores[static_cast<size_t>(k)] = score;
    }
    return scores;
}

int QRCodeChooseMaskNumber(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    const std::array<long long, 8> scores = MaskPenalties(cells, side, dataModules);
    int best = 0;
    for (int k = 1; k < 8; ++k) {
        if (scores[static_cast<size_t>(k)] < scores[static_cast<size_t>(best)]) {
            best = k;
        }
    }
    return best;
}

ModuleMatrix BuildSymbol(const std::vector<std::uint8_t>& codewords, int version, int level, int mask, int* maskUsed)
{
    const FunctionPatterns patterns = QRCodeGetSymbolData(version);
    const int n = patterns.side;
    const std::vector<int> order = PlacementOrder(patterns);
    const size_t codewordBits = codewords.size() * 8;
    if (order.size() != static_cast<size_t>(TotalCodewords(version) * 8 + RemainderBits(version))
        || codewordBits > order.size()) {
        throw std::logic_error("QR data region does not match the version");
    }

    // Every data module with its colour under all eight masks; remainder bits are 1.
    std::vector<std::uint8_t> cells(patterns.function.size(), 0);
    for (size_t i = 0; i < order.size(); ++i) {
        const bool bit = i < codewordBits ? ((codewords[i / 8] >> (7 - i % 8)) & 1u) != 0 : true;
        const int x = order[i] % n;
        const int y = order[i] / n;
        std::uint8_t variants = 0;
        for (int k = 0; k < 8; ++k) {
            if (bit != MaskInverts(k, x, y)) {
                variants = static_cast<std::uint8_t>(variants | (1u << k));
            }
        }
        cells[static_cast<size_t>(order[i])] = variants;
    }
    if (mask < 0 || mask > 7) {
        mask = QRCodeChooseMaskNumber(cells, n, static_cast<int>(order.size()));
    }
    if (maskUsed != nullptr) {
        *maskUsed = mask;
    }

    ModuleMatrix m(n, n);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(n) + static_cast<size_t>(x);
            m.set(x, y, patterns.function[i] ? patterns.dark[i] != 0 : ((cells[i] >> mask) & 1u) != 0);
        }
    }
    const std::string format = FormatInformation(level, mask);
    for (int i = 0; i < 15; ++i) {
        const bool dark = format[static_cast<size_t>(i)] == '1';
        int x = 0;
        int y = 0;
        m.set(kFormatA[i], kFormatB[i], dark);
        FormatPositionsSecond(n, i, &x, &y);
        m.set(x, y, dark);
    }
    return m;
}

} // namespace qr_internal
