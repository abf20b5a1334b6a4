// SPDX-License-Identifier: MIT
#include "qr/QrMatrix.h"

#include "core/ReedSolomon.h"
#include "qr/QrTables.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

// A line of up to 64 * W modules of one mask, bit i = module i (1 = dark).
template <int W>
struct Line
{
    std::uint64_t w[W] = {};

    Line operator&(const Line& o) const
    {
        Line r;
        for (int i = 0; i < W; ++i) {
            r.w[i] = w[i] & o.w[i];
        }
        return r;
    }

    Line operator|(const Line& o) const
    {
        Line r;
        for (int i = 0; i < W; ++i) {
            r.w[i] = w[i] | o.w[i];
        }
        return r;
    }

    Line operator^(const Line& o) const
    {
        Line r;
        for (int i = 0; i < W; ++i) {
            r.w[i] = w[i] ^ o.w[i];
        }
        return r;
    }

    Line operator~() const
    {
        Line r;
        for (int i = 0; i < W; ++i) {
            r.w[i] = ~w[i];
        }
        return r;
    }

    // Bit i of the result is bit i + s of this line (1 <= s <= 63).
    Line Next(int s) const
    {
        Line r;
        for (int i = 0; i < W; ++i) {
            r.w[i] = (w[i] >> s) | (i + 1 < W ? w[i + 1] << (64 - s) : 0);
        }
        return r;
    }

    // Bit i of the result is bit i - 1 of this line.
    Line Previous() const
    {
        Line r;
        for (int i = 0; i < W; ++i) {
            r.w[i] = (w[i] << 1) | (i > 0 ? w[i - 1] >> 63 : 0);
        }
        return r;
    }

    long long Count() const
    {
        long long n = 0;
        for (int i = 0; i < W; ++i) {
            // Bits set, counted in parallel (no library call).
            std::uint64_t x = w[i] - ((w[i] >> 1) & 0x5555555555555555ULL);
            x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
            x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
            n += static_cast<long long>((x * 0x0101010101010101ULL) >> 56);
        }
        return n;
    }

    bool Any() const
    {
        std::uint64_t any = 0;
        for (int i = 0; i < W; ++i) {
            any |= w[i];
        }
        return any != 0;
    }

    // Bits 0 .. count-1.
    static Line First(int count)
    {
        Line r;
        for (int i = 0; i < W; ++i) {
            const int bits = std::clamp(count - 64 * i, 0, 64);
            r.w[i] = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
        }
        return r;
    }
};

// Transposes the 8 x 8 bit matrix held in a word: bit 8a + b goes to bit 8b + a. Eight cells
// (bytes, bit k = mask k) become eight masks (bytes, bit c = cell c).
std::uint64_t Transpose8(std::uint64_t x)
{
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    x ^= t ^ (t << 28);
    return x;
}

// Runs of five and more and 1011101 patterns of one line of `n` modules.
template <int W>
long long LinePenalty(const Line<W>& dark, int n)
{
    const Line<W> light = ~dark & Line<W>::First(n);
    const Line<W> dark5 = dark & dark.Next(1) & dark.Next(2) & dark.Next(3) & dark.Next(4);
    const Line<W> light5 = light & light.Next(1) & light.Next(2) & light.Next(3) & light.Next(4);
    // Bit i: modules i .. i + 4 are alike. A run scores 3 where it reaches five modules and 1
    // for every module after.
    const Line<W> uniform = (dark5 | light5) & Line<W>::First(n - 4);
    const Line<W> starts = uniform & ~uniform.Previous();
    const Line<W> finder = dark & ~dark.Next(1) & dark.Next(2) & dark.Next(3) & dark.Next(4) & ~dark.Next(5)
                           & dark.Next(6) & Line<W>::First(n - 6);
    return uniform.Count() + 2 * starts.Count() + (finder.Any() ? 40 * finder.Count() : 0);
}

template <int W>
std::array<long long, 8> Penalties(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    // Bit planes: rows[k][y] and columns[k][x] hold the modules of mask k, eight cells at a time
    // turned from "eight masks of a cell" into "eight cells of a mask".
    std::vector<Line<W>> rows(static_cast<size_t>(8 * side));
    std::vector<Line<W>> columns(static_cast<size_t>(8 * side));
    // The grid padded with light cells to a multiple of eight, so that eight cells of a row are
    // one unaligned load.
    const int padded = (side + 7) / 8 * 8;
    std::vector<std::uint8_t> grid(static_cast<size_t>(padded) * static_cast<size_t>(padded), 0);
    for (int y = 0; y < side; ++y) {
        std::memcpy(&grid[static_cast<size_t>(y) * static_cast<size_t>(padded)],
                    &cells[static_cast<size_t>(y) * static_cast<size_t>(side)], static_cast<size_t>(side));
    }
    const auto store = [](std::vector<Line<W>>& planes, int line, int at, std::uint64_t bytes, int side) {
        for (int k = 0; k < 8; ++k) {
            planes[static_cast<size_t>(k * side + line)].w[at / 64] |= ((bytes >> (8 * k)) & 0xFFu) << (at % 64);
        }
    };
    for (int a = 0; a < side; ++a) {
        const std::uint8_t* row = &grid[static_cast<size_t>(a) * static_cast<size_t>(padded)];
        for (int b = 0; b < side; b += 8) {
            std::uint64_t along = 0; // cells (b .. b+7, a)
            std::memcpy(&along, row + b, sizeof(along));
            std::uint64_t across = 0; // cells (a, b .. b+7)
            for (int c = 0; c < 8; ++c) {
                across |=
                    std::uint64_t{
                        grid[static_cast<size_t>(b + c) * static_cast<size_t>(padded) + static_cast<size_t>(a)]}
                    << (8 * c);
            }
            store(rows, a, b, Transpose8(along), side);
            store(columns, a, b, Transpose8(across), side);
        }
    }
    std::array<long long, 8> scores{};
    for (int k = 0; k < 8; ++k) {
        const Line<W>* row = &rows[static_cast<size_t>(k * side)];
        const Line<W>* column = &columns[static_cast<size_t>(k * side)];
        long long score = 0;
        long long dark = 0;
        const Line<W> pairs = Line<W>::First(side - 1);
        for (int i = 0; i < side; ++i) {
            score += LinePenalty(row[i], side) + LinePenalty(column[i], side);
            dark += row[i].Count();
            if (i + 1 < side) {
                // 2 x 2 blocks: bit x when (x, i), (x + 1, i), (x, i + 1), (x + 1, i + 1) are alike.
                const Line<W>& a = row[i];
                const Line<W>& b = row[i + 1];
                score += 3 * (~(a ^ b) & ~(a ^ a.Next(1)) & ~(b ^ b.Next(1)) & pairs).Count();
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

} // namespace

std::array<long long, 8> MaskPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    // All eight masks at once from bit planes: each line of each mask is a few 64-bit words, so
    // runs, patterns and blocks are found by word-wide logic.
    if (side <= 0) {
        std::array<long long, 8> scores{};
        if (dataModules > 0) {
            scores.fill(kBalancePenalty[0]);
        }
        return scores;
    }
    if (side <= 64) {
        return Penalties<1>(cells, side, dataModules);
    }
    if (side <= 128) {
        return Penalties<2>(cells, side, dataModules);
    }
    if (side <= 192) {
        return Penalties<3>(cells, side, dataModules);
    }
    throw std::logic_error("QR grid too large");
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

// The function patterns and the placement order of a version, made once per process, with
// the masks that invert each placed module (bit k: mask k).
struct VersionLayout
{
    FunctionPatterns patterns;
    std::vector<int> order;
    std::vector<std::uint8_t> inversions;
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
        const int n = layout->patterns.side;
        for (int i : layout->order) {
            layout->inversions.push_back(kInversions.bits[(i / n) % 12][(i % n) % 6]);
        }
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
        const std::uint8_t inverts = layout.inversions[i];
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
