// SPDX-License-Identifier: MIT
#include "qr/QrMatrix.h"

#include "core/BitOps.h"
#include "core/ProcessLocks.h"
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

// Values made on first use, once per process, by slot number.
template <class T, size_t N>
class MadeOnce
{
public:
    template <class Make>
    const T& Get(size_t slot, const Make& make)
    {
        const std::lock_guard<std::mutex> lock(process_locks::Tables());
        auto& value = m_values.at(slot);
        if (value == nullptr) {
            value = make();
        }
        return *value;
    }

private:
    std::array<std::unique_ptr<const T>, N> m_values;
};

// The generator of `ecc` check codewords per block (at most 30).
const reed_solomon::GeneratorTable& GeneratorOf(int ecc)
{
    // Never destroyed: symbols may be built while the process exits.
    static auto& tables = *new MadeOnce<reed_solomon::GeneratorTable, 31>();
    return tables.Get(static_cast<size_t>(ecc), [ecc] {
        const auto& field = reed_solomon::QrField();
        return std::make_unique<reed_solomon::GeneratorTable>(field, reed_solomon::Generator(field, ecc, 0));
    });
}

} // namespace

std::vector<std::uint8_t> QRCodeGetTotalData(const std::vector<std::uint8_t>& data, int version, int level)
{
    if (data.size() != static_cast<size_t>(DataCodewords(level, version))) {
        throw std::logic_error("QR data codewords do not match the version");
    }
    const auto blocks = static_cast<size_t>(BlockCount(level, version));
    const auto shortBlocks = blocks - static_cast<size_t>(LongBlockCount(level, version));
    const auto shortData = static_cast<size_t>(ShortBlockDataCodewords(level, version));
    const auto ecc = static_cast<size_t>(EccCodewordsPerBlock(level, version));
    const reed_solomon::GeneratorTable& generator = GeneratorOf(static_cast<int>(ecc));

    // Data interleaved column by column (the long blocks' last codewords after the short
    // blocks' columns), then the error correction codewords likewise.
    std::vector<std::uint8_t> out(data.size() + blocks * ecc);
    std::vector<std::uint8_t> check(ecc);
    size_t pos = 0;
    for (size_t b = 0; b < blocks; ++b) {
        // Short blocks first, then the long ones.
        const bool isLong = b >= shortBlocks;
        for (size_t i = 0; i < shortData; ++i) {
            out[i * blocks + b] = data[pos + i];
        }
        if (isLong) {
            out[shortData * blocks + (b - shortBlocks)] = data[pos + shortData];
        }
        const size_t length = shortData + (isLong ? 1 : 0);
        generator.Remainder(&data[pos], length, check.data());
        for (size_t i = 0; i < ecc; ++i) {
            out[data.size() + i * blocks + b] = check[i];
        }
        pos += length;
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

// Bits set in a word, counted in parallel (no library call, any x86-64).
struct PortableCount
{
    static long long Of(std::uint64_t x) { return bit_ops::PopCount(x); }
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QR_POPCNT 1

// The processor's popcount instruction, where the caller is compiled for it.
struct InstructionCount
{
    static long long Of(std::uint64_t x) { return __builtin_popcountll(x); }
};
#endif

// A line of up to 64 * W modules of one mask, bit i = module i (1 = dark).
template <int W>
struct Line
{
    std::uint64_t w[W] = {};

    // The line stored at `words` (W words).
    static Line Load(const std::uint64_t* words)
    {
        Line r;
        std::memcpy(r.w, words, sizeof(r.w));
        return r;
    }

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

    template <class Bits>
    long long Count() const
    {
        long long n = 0;
        for (int i = 0; i < W; ++i) {
            n += Bits::Of(w[i]);
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

// Transposes the 64 x 64 bit matrix a (bit c of a[r] goes to bit r of a[c]) by swapping ever
// smaller blocks across the diagonal.
void Transpose64(std::uint64_t* a)
{
    std::uint64_t m = 0x00000000FFFFFFFFULL;
    for (int j = 32; j != 0; j >>= 1, m ^= m << j) {
        for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
            const std::uint64_t t = ((a[k] >> j) ^ a[k | j]) & m;
            a[k] ^= t << j;
            a[k | j] ^= t;
        }
    }
}

} // namespace

void TransposeLines(const std::uint64_t* in, std::uint64_t* out, int side, int words)
{
    const auto at = [words](int line, int word) { return static_cast<size_t>(line * words + word); };
    for (int lines = 0; lines < words; ++lines) {
        for (int word = 0; word < words; ++word) {
            std::uint64_t block[64];
            for (int r = 0; r < 64; ++r) {
                const int line = 64 * lines + r;
                block[r] = line < side ? in[at(line, word)] : 0;
            }
            Transpose64(block);
            for (int c = 0; c < 64 && 64 * word + c < side; ++c) {
                out[at(64 * word + c, lines)] = block[c];
            }
        }
    }
}

namespace {

// Runs of five and more and 1011101 patterns of one line of `n` modules.
template <int W, class Count>
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
    return uniform.template Count<Count>() + 2 * starts.template Count<Count>()
           + (finder.Any() ? 40 * finder.template Count<Count>() : 0);
}

// The bit planes of the eight masks: line i of mask k (a row or a column) is
// base[i] ^ flips[k * side + i], each line `W` words.
struct Planes
{
    const std::uint64_t* rows;
    const std::uint64_t* columns;
    const std::uint64_t* rowFlips;
    const std::uint64_t* columnFlips;
};

template <int W, class Count>
std::array<long long, 8> ScorePlanes(const Planes& planes, int side, int dataModules)
{
    const auto line = [side](const std::uint64_t* base, const std::uint64_t* flips, int k, int i) {
        return Line<W>::Load(base + static_cast<size_t>(i) * W)
               ^ Line<W>::Load(flips
                               + (static_cast<size_t>(k) * static_cast<size_t>(side) + static_cast<size_t>(i)) * W);
    };
    const Line<W> pairs = Line<W>::First(side - 1);
    std::array<long long, 8> scores{};
    for (int k = 0; k < 8; ++k) {
        long long score = 0;
        long long dark = 0;
        Line<W> row = line(planes.rows, planes.rowFlips, k, 0);
        for (int i = 0; i < side; ++i) {
            const Line<W> column = line(planes.columns, planes.columnFlips, k, i);
            score += LinePenalty<W, Count>(row, side) + LinePenalty<W, Count>(column, side);
            dark += row.template Count<Count>();
            if (i + 1 < side) {
                // 2 x 2 blocks: bit x when (x, i), (x + 1, i), (x, i + 1), (x + 1, i + 1) are alike.
                const Line<W> below = line(planes.rows, planes.rowFlips, k, i + 1);
                score += 3
                         * (~(row ^ below) & ~(row ^ row.Next(1)) & ~(below ^ below.Next(1)) & pairs)
                               .template Count<Count>();
                row = below;
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

#if defined(QR_POPCNT)
template <int W>
__attribute__((target("popcnt"), flatten)) std::array<long long, 8> ScoreWithInstruction(const Planes& planes, int side,
                                                                                         int dataModules)
{
    return ScorePlanes<W, InstructionCount>(planes, side, dataModules);
}
#endif

template <int W>
std::array<long long, 8> ScoreAs(const Planes& planes, int side, int dataModules, bool portable)
{
#if defined(QR_POPCNT)
    static const bool instruction = __builtin_cpu_supports("popcnt");
    if (instruction && !portable) {
        return ScoreWithInstruction<W>(planes, side, dataModules);
    }
#endif
    (void)portable;
    return ScorePlanes<W, PortableCount>(planes, side, dataModules);
}

// Words per line of a side of `side` modules (1 .. 3 for QR Code).
int WordsOf(int side)
{
    return (side + 63) / 64;
}

std::array<long long, 8> Score(const Planes& planes, int side, int dataModules, bool portable)
{
    switch (WordsOf(side)) {
    case 1: return ScoreAs<1>(planes, side, dataModules, portable);
    case 2: return ScoreAs<2>(planes, side, dataModules, portable);
    case 3: return ScoreAs<3>(planes, side, dataModules, portable);
    default: throw std::logic_error("QR grid too large");
    }
}

// Penalties of a grid of eight-variant cells: its rows turned into the eight masks' planes,
// eight cells at a time, and the columns transposed from them.
std::array<long long, 8> CellPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules, bool portable)
{
    if (side <= 0) {
        std::array<long long, 8> scores{};
        if (dataModules > 0) {
            scores.fill(kBalancePenalty[0]);
        }
        return scores;
    }
    const int words = WordsOf(side);
    if (words > 3) {
        throw std::logic_error("QR grid too large");
    }
    const size_t plane = static_cast<size_t>(side) * static_cast<size_t>(words);
    std::vector<std::uint64_t> rows(8 * plane, 0);
    std::vector<std::uint64_t> columns(8 * plane, 0);
    const std::vector<std::uint64_t> zero(plane, 0);
    for (int y = 0; y < side; ++y) {
        const std::uint8_t* row = &cells[static_cast<size_t>(y) * static_cast<size_t>(side)];
        for (int x = 0; x < side; x += 8) {
            std::uint64_t along = 0; // cells (x .. x+7, y)
            std::memcpy(&along, row + x, static_cast<size_t>(std::min(8, side - x)));
            along = Transpose8(along);
            for (int k = 0; k < 8; ++k) {
                rows[static_cast<size_t>(k) * plane + static_cast<size_t>(y * words + x / 64)] |=
                    ((along >> (8 * k)) & 0xFFu) << (x % 64);
            }
        }
    }
    for (size_t k = 0; k < 8; ++k) {
        TransposeLines(&rows[k * plane], &columns[k * plane], side, words);
    }
    return Score(Planes{zero.data(), zero.data(), rows.data(), columns.data()}, side, dataModules, portable);
}

} // namespace

std::array<long long, 8> MaskPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    // All eight masks at once from bit planes: each line of each mask is a few 64-bit words, so
    // runs, patterns and blocks are found by word-wide logic.
    return CellPenalties(cells, side, dataModules, false);
}

std::array<long long, 8> PortableMaskPenalties(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    return CellPenalties(cells, side, dataModules, true);
}

namespace {

int LowestPenalty(const std::array<long long, 8>& scores)
{
    int best = 0;
    for (int k = 1; k < 8; ++k) {
        if (scores[static_cast<size_t>(k)] < scores[static_cast<size_t>(best)]) {
            best = k;
        }
    }
    return best;
}

} // namespace

int QRCodeChooseMaskNumber(const std::vector<std::uint8_t>& cells, int side, int dataModules)
{
    return LowestPenalty(MaskPenalties(cells, side, dataModules));
}

namespace {

// The function patterns and the placement order of a version, made once per process, with the
// bit planes the symbols of that version are built from (lines of `words` words).
struct VersionLayout
{
    FunctionPatterns patterns;
    std::vector<int> order;
    int words = 0;
    // Row-major: the placement index of each data module; order.size() for function modules.
    std::vector<std::uint16_t> source;
    // Rows and columns of the data modules that mask k inverts: k * side + line.
    std::vector<std::uint64_t> maskRows;
    std::vector<std::uint64_t> maskColumns;
    // Rows of the dark function modules (format areas light).
    std::vector<std::uint64_t> functionRows;
};

std::unique_ptr<VersionLayout> MakeLayout(int version)
{
    auto layout = std::make_unique<VersionLayout>();
    layout->patterns = QRCodeGetSymbolData(version);
    layout->order = PlacementOrder(layout->patterns);
    const int n = layout->patterns.side;
    const int words = WordsOf(n);
    layout->words = words;
    const size_t plane = static_cast<size_t>(n) * static_cast<size_t>(words);
    const auto set = [words](std::vector<std::uint64_t>& bits, size_t line, int x) {
        bits[line * static_cast<size_t>(words) + static_cast<size_t>(x / 64)] |= std::uint64_t{1} << (x % 64);
    };
    layout->source.assign(layout->patterns.function.size(), static_cast<std::uint16_t>(layout->order.size()));
    layout->maskRows.assign(8 * plane, 0);
    layout->maskColumns.assign(8 * plane, 0);
    layout->functionRows.assign(plane, 0);
    for (size_t i = 0; i < layout->order.size(); ++i) {
        const int at = layout->order[i];
        const int x = at % n;
        const int y = at / n;
        layout->source[static_cast<size_t>(at)] = static_cast<std::uint16_t>(i);
        const std::uint8_t inverts = kInversions.bits[y % 12][x % 6];
        for (int k = 0; k < 8; ++k) {
            if ((inverts >> k) & 1u) {
                set(layout->maskRows, static_cast<size_t>(k * n + y), x);
            }
        }
    }
    for (size_t k = 0; k < 8; ++k) {
        TransposeLines(&layout->maskRows[k * plane], &layout->maskColumns[k * plane], n, words);
    }
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const size_t i = static_cast<size_t>(y * n + x);
            if (layout->patterns.function[i] != 0 && layout->patterns.dark[i] != 0) {
                set(layout->functionRows, static_cast<size_t>(y), x);
            }
        }
    }
    return layout;
}

const VersionLayout& LayoutOf(int version)
{
    // Never destroyed: symbols may be built while the process exits.
    static auto& layouts = *new MadeOnce<VersionLayout, 41>();
    return layouts.Get(static_cast<size_t>(version), [version] { return MakeLayout(version); });
}

// Byte i of kSpread[b] is bit 7 - i of b (codeword bits in placement order); byte i of
// kBytes[b] is bit i of b (modules of a row from the left).
struct ByteTables
{
    std::uint64_t spread[256] = {};
    std::uint64_t bytes[256] = {};

    ByteTables()
    {
        for (unsigned b = 0; b < 256; ++b) {
            for (unsigned i = 0; i < 8; ++i) {
                spread[b] |= std::uint64_t{(b >> (7 - i)) & 1u} << (8 * i);
                bytes[b] |= std::uint64_t{(b >> i) & 1u} << (8 * i);
            }
        }
    }
};

const ByteTables kByteTables;

} // namespace

ModuleMatrix BuildSymbol(const std::vector<std::uint8_t>& codewords, int version, int level, int mask, int* maskUsed)
{
    if (version < 1 || version > 40) {
        throw std::logic_error("QR version out of range");
    }
    const VersionLayout& layout = LayoutOf(version);
    const int n = layout.patterns.side;
    const int words = layout.words;
    const size_t placed = layout.order.size();
    const size_t codewordBits = codewords.size() * 8;
    if (placed != static_cast<size_t>(TotalCodewords(version) * 8 + RemainderBits(version)) || codewordBits > placed) {
        throw std::logic_error("QR data region does not match the version");
    }

    // The bits in placement order, one byte each: the codewords, remainder bits 1, and a light
    // byte at `placed` for the function modules.
    std::vector<std::uint8_t> bits(placed + 1, 1);
    for (size_t c = 0; c < codewords.size(); ++c) {
        std::memcpy(&bits[8 * c], &kByteTables.spread[codewords[c]], 8);
    }
    bits[placed] = 0;

    // The unmasked data modules by rows, then by columns; mask k flips them by its planes.
    const size_t plane = static_cast<size_t>(n) * static_cast<size_t>(words);
    std::vector<std::uint64_t> rows(plane, 0);
    std::vector<std::uint64_t> columns(plane, 0);
    for (int y = 0; y < n; ++y) {
        const std::uint16_t* source = &layout.source[static_cast<size_t>(y * n)];
        std::uint64_t* row = &rows[static_cast<size_t>(y * words)];
        for (int w = 0; w < words; ++w) {
            std::uint64_t word = 0;
            const int end = std::min(n - 64 * w, 64);
            for (int x = 0; x < end; ++x) {
                word |= std::uint64_t{bits[source[64 * w + x]]} << x;
            }
            row[w] = word;
        }
    }
    TransposeLines(rows.data(), columns.data(), n, words);

    if (mask < 0 || mask > 7) {
        const Planes planes{rows.data(), columns.data(), layout.maskRows.data(), layout.maskColumns.data()};
        mask = LowestPenalty(Score(planes, n, static_cast<int>(placed), false));
    }
    if (maskUsed != nullptr) {
        *maskUsed = mask;
    }

    ModuleMatrix m(n, n);
    const std::uint64_t* flips = &layout.maskRows[static_cast<size_t>(mask) * plane];
    for (int y = 0; y < n; ++y) {
        std::uint8_t* out = &m.cells[static_cast<size_t>(y * n)];
        for (int x = 0; x < n; x += 8) {
            const size_t w = static_cast<size_t>(y * words + x / 64);
            const std::uint64_t line = (rows[w] ^ flips[w]) | layout.functionRows[w];
            std::memcpy(out + x, &kByteTables.bytes[(line >> (x % 64)) & 0xFFu],
                        static_cast<size_t>(std::min(8, n - x)));
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
