// SPDX-License-Identifier: MIT
// DataBar Expanded symbol characters, check character, finder patterns and rows.
#include "databar/DataBarCommon.h"
#include "databar/DataBarExpandedEncoder.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <stdexcept>

namespace databar {
namespace {

// Character groups of DataBar Expanded: odd sub-value = v / divisor; the odd elements hold a
// narrow one.
constexpr CharacterGroup kGroups[] = {
    {0, 4, 12, 5, 7, 2},      {348, 20, 10, 7, 5, 4},   {1388, 52, 8, 9, 4, 5},
    {2948, 104, 6, 11, 3, 6}, {3988, 204, 4, 13, 1, 8},
};
constexpr CharacterForm kForm{4, true, false, true};

// Symbol character positions of the largest symbol (23), 8 elements each.
constexpr auto kChecksumWeights = PowersOfThree<184>(211);

// Finders A to F, each followed by its mirror image; finder number n is row n - 1.
constexpr int kFinders[12][5] = {
    {1, 8, 4, 1, 1}, {1, 1, 4, 8, 1}, {3, 6, 4, 1, 1}, {1, 1, 4, 6, 3}, {3, 4, 6, 1, 1}, {1, 1, 6, 4, 3},
    {3, 2, 8, 1, 1}, {1, 1, 8, 2, 3}, {2, 6, 5, 1, 1}, {1, 1, 5, 6, 2}, {2, 2, 9, 1, 1}, {1, 1, 9, 2, 2},
};

// The finder numbers of a symbol, by the number of finders it has (2 to 11).
constexpr int kFinderSequences[10][11] = {
    {1, 2},
    {1, 4, 3},
    {1, 6, 3, 8},
    {1, 10, 3, 8, 5},
    {1, 10, 3, 8, 7, 12},
    {1, 10, 3, 8, 9, 12, 11},
    {1, 2, 3, 4, 5, 6, 7, 8},
    {1, 2, 3, 4, 5, 6, 7, 10, 9},
    {1, 2, 3, 4, 5, 6, 7, 10, 11, 12},
    {1, 2, 3, 4, 5, 8, 7, 10, 9, 12, 11},
};

constexpr int kBlockElements = 21; // a finder and the two characters beside it
constexpr int kBlockModules = 49;

// The weight set of data character i: each finder gives one to the character on its left
// (odd i) and one to the character on its right (even i); the check character left of the
// first finder has none.
int WeightSet(const int* sequence, size_t i)
{
    const int finder = sequence[(i + 1) / 2] - 1;
    return i % 2 == 1 ? 2 * finder - 1 : 2 * finder;
}

std::string ModuleString(const std::vector<int>& elements, bool startsLight)
{
    std::string bits;
    bool dark = !startsLight;
    for (int w : elements) {
        bits.append(static_cast<size_t>(w), dark ? '1' : '0');
        dark = !dark;
    }
    return bits;
}

struct StackRow
{
    std::vector<int> elements;
    bool startsLight;
    bool leftToRight;
    bool shifted;                      // the special last row: one module further right
    std::vector<size_t> finderColumns; // the first module of each finder
};

// A separator row against a data row: its complement with four light modules at each end (five
// at the start of a shifted row), and over each finder no two dark modules side by side,
// taken in the row's reading direction.
std::string Complement(const StackRow& row)
{
    std::string sep = ModuleString(row.elements, row.startsLight);
    const size_t lead = row.shifted ? 5 : 4;
    for (size_t c = 0; c < sep.size(); ++c) {
        sep[c] = c < lead || c + 4 >= sep.size() || sep[c] == '1' ? '0' : '1';
    }
    for (size_t from : row.finderColumns) {
        const size_t to = std::min(from + 15, sep.size());
        if (row.leftToRight) {
            for (size_t c = std::max<size_t>(from, 1); c < to; ++c) {
                if (sep[c] == '1' && sep[c - 1] == '1') {
                    sep[c] = '0';
                }
            }
        } else {
            for (size_t c = to; c-- > from;) {
                if (c + 1 < sep.size() && sep[c] == '1' && sep[c + 1] == '1') {
                    sep[c] = '0';
                }
            }
        }
    }
    return sep;
}

} // namespace

std::vector<int> ExpandedElements(const std::string& bits)
{
    const size_t dataCount = bits.size() / 12;
    if (dataCount < 3 || dataCount > 21) {
        throw std::invalid_argument("DataBar Expanded takes 3 to 21 data characters");
    }
    const size_t symbolCount = dataCount + 1;
    const size_t finderCount = (symbolCount + 1) / 2;
    const int* sequence = kFinderSequences[std::min<size_t>(finderCount, 11) - 2];

    std::vector<std::vector<int>> data;
    int checksum = 0;
    for (size_t i = 0; i < dataCount; ++i) {
        const int value = static_cast<int>(std::stoul(bits.substr(12 * i, 12), nullptr, 2));
        data.push_back(CharacterWidths(value, kGroups, std::size(kGroups), kForm));
        for (size_t j = 0; j < 8; ++j) {
            checksum += data.back()[j] * kChecksumWeights[8 * static_cast<size_t>(WeightSet(sequence, i)) + j];
        }
    }
    const int checkValue = 211 * (static_cast<int>(dataCount) - 3) + checksum % 211;
    const std::vector<int> check = CharacterWidths(checkValue, kGroups, std::size(kGroups), kForm);

    std::vector<int> elements(5 * finderCount + 8 * symbolCount + 4, 1);
    std::copy(check.begin(), check.end(), elements.begin() + 2);
    for (size_t k = 0; k < finderCount; ++k) {
        const int* finder = kFinders[sequence[k] - 1];
        std::copy(finder, finder + 5, elements.begin() + static_cast<long>(10 + kBlockElements * k));
    }
    for (size_t i = 0; i < dataCount; ++i) {
        if (i % 2 == 1) {
            std::copy(data[i].begin(), data[i].end(), elements.begin() + static_cast<long>(23 + 21 * (i - 1) / 2));
        } else {
            std::copy(data[i].rbegin(), data[i].rend(), elements.begin() + static_cast<long>(15 + 21 * i / 2));
        }
    }
    return elements;
}

RowSymbol ExpandedRows(const std::vector<int>& elements, bool stacked, int columns)
{
    RowSymbol out;
    out.textSpansModules = true;
    if (!stacked) {
        out.rows.push_back(elements);
        out.rows.front().insert(out.rows.front().begin(), 0);
        out.heights = {-1};
        return out;
    }
    const size_t perRow = columns >= 1 && columns <= 10 ? static_cast<size_t>(columns) : 2;
    const size_t blockCount = (elements.size() - 4 + kBlockElements - 1) / kBlockElements;
    const size_t rowCount = (blockCount + perRow - 1) / perRow;
    std::vector<StackRow> rows;
    for (size_t r = 1; r <= rowCount; ++r) {
        StackRow row{};
        const size_t first = (r - 1) * perRow;
        const size_t blocks = std::min(perRow, blockCount - first);
        // A last even row with an odd number of blocks (even column count) reads left to
        // right, one module further right.
        row.shifted = r == rowCount && r % 2 == 0 && perRow % 2 == 0 && blocks % 2 == 1;
        row.leftToRight = perRow % 2 == 1 || r % 2 == 1 || row.shifted;
        row.startsLight = r % 2 == 1 || row.shifted;
        row.elements = {row.shifted ? 2 : 1, 1};
        size_t column = row.shifted ? 3 : 2;
        for (size_t n = 0; n < blocks; ++n) {
            const size_t b = row.leftToRight ? first + n : first + blocks - 1 - n;
            const auto begin = elements.begin() + static_cast<long>(2 + kBlockElements * b);
            const auto end = std::min(begin + kBlockElements, elements.end() - 2);
            std::vector<int> block(begin, end);
            if (!row.leftToRight) {
                std::reverse(block.begin(), block.end());
            }
            // The finder is elements 8 to 12 of a block, counted from its first character.
            const size_t finderAt = row.leftToRight ? 8 : block.size() - 13;
            row.finderColumns.push_back(
                column
                + static_cast<size_t>(std::accumulate(block.begin(), block.begin() + static_cast<long>(finderAt), 0)));
            column += static_cast<size_t>(std::accumulate(block.begin(), block.end(), 0));
            row.elements.insert(row.elements.end(), block.begin(), block.end());
        }
        row.elements.insert(row.elements.end(), {1, 1});
        rows.push_back(row);
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        if (r > 0) {
            std::string middle(kBlockModules * perRow, '0');
            for (size_t c = 5; c < middle.size(); c += 2) {
                middle[c] = '1';
            }
            for (const std::string& sep : {Complement(rows[r - 1]), middle, Complement(rows[r])}) {
                out.rows.push_back(RowRuns(sep));
                out.heights.push_back(1);
            }
        }
        out.rows.push_back(RowRuns(ModuleString(rows[r].elements, rows[r].startsLight)));
        out.heights.push_back(-1);
    }
    return out;
}

} // namespace databar
