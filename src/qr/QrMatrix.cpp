// SPDX-License-Identifier: MIT
#include "qr/QrMatrix.h"

#include "core/ReedSolomon.h"
#include "qr/QrTables.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
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

namespace {

// Every mask condition repeats with x mod 6 and y mod 12: bit k of kInversions[y % 12][x % 6]
// tells whether mask k inverts the module.
struct InversionTable
{
    std::uint8_t bits[12][6] = {};

    InversionTable()
    {
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 6; ++x) {
                for (int k = 0; k < 8; ++k) {
                    if (MaskInverts(k, x, y)) {
                        bits[y][x] = static_cast<std::uint8_t>(bits[y][x] | (1u << k));
                    }
                }
            }
        }
    }
};

const InversionTable kInversions;

// Eight one-bit lanes of a byte spread to eight 8-bit lanes of a word, so that adding spread
// words counts per mask. A lane holds 255 counts: callers add at most one per lane per module
// of a line (177 at most) and drain the lanes after every line.
struct SpreadTable
{
    std::uint64_t lanes[256] = {};

    SpreadTable()
    {
        for (unsigned v = 0; v < 256; ++v) {
            for (unsigned k = 0; k < 8; ++k) {
                if ((v >> k) & 1u) {
                    lanes[v] |= std::uint64_t{1} << (8 * k);
                }
            }
        }
    }
};

const SpreadTable kSpread;

void Drain(std::uint64_t& counts, long long weight, std::array<long long, 8>& scores)
{
    for (size_t k = 0; k < 8; ++k) {
        scores[k] += weight * static_cast<long long>((counts >> (8 * k)) & 0xFFu);
    }
    counts = 0;
}

// The run and 1011101 penalties of one line for all eight masks at once. `cellAt(i)` is the
// i-th cell of the line. The last eight cells are kept as the bytes of one word, the newest
// in the low byte.
template <class CellAt>
void ScoreLine(int length, const CellAt& cellAt, std::array<long long, 8>& scores)
{
    constexpr std::uint64_t kLow = 0xFF;
    std::uint64_t last = 0; // light before the line starts
    std::uint64_t inRun = 0;
    std::uint64_t runStarts = 0;
    std::uint64_t runSteps = 0;
    std::uint64_t finders = 0;
    for (int i = 0; i < length; ++i) {
        last = (last << 8) | cellAt(i);
        std::uint64_t uniform = 0;
        if (i >= 4) {
            // The AND (dark) and OR (not light) of the newest five bytes.
            std::uint64_t dark = last & (last >> 8);
            dark &= dark >> 16;
            dark &= last >> 32;
            std::uint64_t any = last | (last >> 8);
            any |= any >> 16;
            any |= last >> 32;
            uniform = (dark | ~any) & kLow;
        }
        runStarts += kSpread.lanes[uniform & ~inRun & kLow];
        runSteps += kSpread.lanes[uniform & inRun];
        inRun = uniform;
        // Dark, light, dark, dark, dark, light, dark from the oldest of seven to the newest:
        // with the two light ones inverted, the AND of the newest seven bytes.
        const std::uint64_t flipped = last ^ 0x0000FF000000FF00ULL;
        std::uint64_t all = flipped & (flipped >> 8);
        all &= all >> 16;
        all &= all >> 24;
        finders += kSpread.lanes[all & kLow];
    }
    Drain(runStarts, 3, scores);
    Drain(runSteps, 1, scores);
    Drain(finders, 40, scores);
}

} // namespace

std::array<long long, 8> MaskPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    // All eight masks are scored in one pass: bit k of every cell is its colour under mask k,
    // so byte-wide logic evaluates the eight grids side by side.
    std::array<long long, 8> scores{};
    const auto at = [&](int x, int y) {
        return cells[static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x)];
    };
    std::array<long long, 8> dark{};
    for (int y = 0; y < side; ++y) {
        ScoreLine(side, [&](int i) { return at(i, y); }, scores);
        ScoreLine(side, [&](int i) { return at(y, i); }, scores);
        std::uint64_t blocks = 0;
        std::uint64_t darkCount = 0;
        for (int x = 0; x < side; ++x) {
            const std::uint8_t c = at(x, y);
            darkCount += kSpread.lanes[c];
            if (x + 1 < side && y + 1 < side) {
                const std::uint8_t b = at(x + 1, y);
                const std::uint8_t d = at(x, y + 1);
                const std::uint8_t e = at(x + 1, y + 1);
                const std::uint8_t allDark = c & b & d & e;
                const std::uint8_t allLight = static_cast<std::uint8_t>(~(c | b | d | e));
                blocks += kSpread.lanes[allDark | allLight];
            }
        }
        Drain(blocks, 3, scores);
        Drain(darkCount, 1, dark);
    }
    if (dataModules > 0) {
        for (size_t k = 0; k < 8; ++k) {
            const auto index = static_cast<long long>(20.0 * static_cast<double>(dark[k]) / dataModules);
            scores[k] += kBalancePenalty[std::min<long long>(std::max<long long>(index, 0), 20)];
        }
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

namespace {

// The function patterns and the placement order of a version, made once per process.
struct VersionLayout
{
    FunctionPatterns patterns;
    std::vector<int> order;
};

const VersionLayout& LayoutOf(int version)
{
    static std::mutex mutex;
    // Never destroyed: symbols may be built while the process exits.
    static auto& cache = *new std::array<std::unique_ptr<const VersionLayout>, 41>();
    const std::lock_guard<std::mutex> lock(mutex);
    auto& slot = cache.at(static_cast<size_t>(version));
    if (slot == nullptr) {
        auto layout = std::make_unique<VersionLayout>();
        layout->patterns = QRCodeGetSymbolData(version);
        layout->order = PlacementOrder(layout->patterns);
        slot = std::move(layout);
    }
    return *slot;
}

} // namespace

ModuleMatrix BuildSymbol(const std::vector<std::uint8_t>& codewords, int version, int level, int mask, int* maskUsed)
{
    if (version < 1 || version > 40) {
        throw std::logic_error("QR version out of range");
    }
    const VersionLayout& layout = LayoutOf(version);
    const FunctionPatterns& patterns = layout.patterns;
    const int n = patterns.side;
    const std::vector<int>& order = layout.order;
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
        const std::uint8_t inverts = kInversions.bits[y % 12][x % 6];
        cells[static_cast<size_t>(order[i])] = bit ? static_cast<std::uint8_t>(~inverts) : inverts;
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
