// SPDX-License-Identifier: MIT
#include "datamatrix/DxEncode.h"

#include "core/ReedSolomon.h"

#include <stdexcept>

namespace internal {
namespace {

constexpr char kEncodeFailed[] = "Failed to encode data. Data may be empty or contain invalid characters.";
constexpr std::uint8_t kPad = 129;

// A module of a shape: a row or column counted from the start, or from the end when negative.
struct ShapeModule
{
    int row;
    int col;
};

using SpecialShape = ShapeModule[8];

// The corner shapes, bit 0 (most significant) first.
static const SpecialShape kShapeSpecial1 = {{-1, 0}, {-1, 1}, {-1, 2}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}};
static const SpecialShape kShapeSpecial2 = {{-3, 0}, {-2, 0}, {-1, 0}, {0, -4}, {0, -3}, {0, -2}, {0, -1}, {1, -1}};
static const SpecialShape kShapeSpecial3 = {{-3, 0}, {-2, 0}, {-1, 0}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}};
static const SpecialShape kShapeSpecial4 = {{-1, 0}, {-1, -1}, {0, -3}, {0, -2}, {0, -1}, {1, -3}, {1, -2}, {1, -1}};

class Placer
{
public:
    Placer(int rows, int cols) : m_rows(rows), m_cols(cols)
    {
        m_p.rows = rows;
        m_p.cols = cols;
        m_p.source.assign(static_cast<size_t>(rows) * static_cast<size_t>(cols), DxPlacement::kFixedLight);
        m_p.visits.assign(m_p.source.size(), 0);
    }

    DxPlacement Run()
    {
        int word = 0;
        int row = 4;
        int col = 0;
        do {
            if (row == m_rows && col == 0) {
                PatternShapeSpecial(kShapeSpecial1, word++);
            }
            if (row == m_rows - 2 && col == 0 && m_cols % 4 != 0) {
                PatternShapeSpecial(kShapeSpecial2, word++);
            }
            if (row == m_rows - 2 && col == 0 && m_cols % 8 == 4) {
                PatternShapeSpecial(kShapeSpecial3, word++);
            }
            if (row == m_rows + 4 && col == 2 && m_cols % 8 == 0) {
                PatternShapeSpecial(kShapeSpecial4, word++);
            }
            do { // up and to the right
                if (row < m_rows && col >= 0 && !Visited(row, col)) {
                    PatternShapeStandard(row, col, word++);
                }
                row -= 2;
                col += 2;
            } while (row >= 0 && col < m_cols);
            row += 1;
            col += 3;
            do { // down and to the left
                if (row >= 0 && col < m_cols && !Visited(row, col)) {
                    PatternShapeStandard(row, col, word++);
                }
                row += 2;
                col -= 2;
            } while (row < m_rows && col >= 0);
            row += 3;
            col += 1;
        } while (row < m_rows || col < m_cols);
        if (!Visited(m_rows - 1, m_cols - 1)) {
            Set(m_rows - 1, m_cols - 1, DxPlacement::kFixedDark);
            Set(m_rows - 2, m_cols - 2, DxPlacement::kFixedDark);
            Set(m_rows - 1, m_cols - 2, DxPlacement::kFixedLight);
            Set(m_rows - 2, m_cols - 1, DxPlacement::kFixedLight);
        }
        return std::move(m_p);
    }

private:
    size_t Index(int row, int col) const { return static_cast<size_t>(row) * static_cast<size_t>(m_cols) + col; }

    bool Visited(int row, int col) const { return m_p.visits[Index(row, col)] != 0; }

    void Set(int row, int col, int source)
    {
        m_p.source[Index(row, col)] = source;
        ++m_p.visits[Index(row, col)];
    }

    // A module of the standard shape; positions beyond the top or left edge wrap around.
    void Module(int row, int col, int word, int bit)
    {
        if (row < 0) {
            row += m_rows;
            col += 4 - ((m_rows + 4) % 8);
        }
        if (col < 0) {
            col += m_cols;
            row += 4 - ((m_cols + 4) % 8);
        }
        Set(row, col, word * 8 + bit);
    }

    // The 8-module shape whose last module is at (row, col).
    void PatternShapeStandard(int row, int col, int word)
    {
        static const ShapeModule kOffsets[] = {{-2, -2}, {-2, -1}, {-1, -2}, {-1, -1},
                                               {-1, 0},  {0, -2},  {0, -1},  {0, 0}};
        for (int bit = 0; bit < 8; ++bit) {
            Module(row + kOffsets[bit].row, col + kOffsets[bit].col, word, bit);
        }
    }

    void PatternShapeSpecial(const SpecialShape& shape, int word)
    {
        for (int bit = 0; bit < 8; ++bit) {
            const int r = shape[bit].row < 0 ? m_rows + shape[bit].row : shape[bit].row;
            const int c = shape[bit].col < 0 ? m_cols + shape[bit].col : shape[bit].col;
            Set(r, c, word * 8 + bit);
        }
    }

    int m_rows;
    int m_cols;
    DxPlacement m_p;
};

// The symbol: each data region framed by its finder (solid left column and bottom row) and
// timing pattern (alternating top row and right column), the codeword bits inside.
ModuleMatrix BuildSymbol(const std::vector<std::uint8_t>& codewords, int sizeIndex)
{
    const DxSymbolSize& size = DxSize(sizeIndex);
    const DxPlacement placement = ModulePlacementEcc200(size.MappingRows(), size.MappingCols());
    const int frameRows = size.regionRows + 2;
    const int frameCols = size.regionCols + 2;
    ModuleMatrix m(size.cols, size.rows);
    for (int y = 0; y < size.rows; ++y) {
        for (int x = 0; x < size.cols; ++x) {
            const int fy = y % frameRows;
            const int fx = x % frameCols;
            if (fx == 0 || fy == frameRows - 1) {
                m.set(x, y, true);
            } else if (fy == 0) {
                m.set(x, y, fx % 2 == 0);
            } else if (fx == frameCols - 1) {
                m.set(x, y, fy % 2 == 1);
            } else {
                const int row = y / frameRows * size.regionRows + fy - 1;
                const int col = x / frameCols * size.regionCols + fx - 1;
                const int source = placement.source[static_cast<size_t>(row) * placement.cols + col];
                const bool dark =
                    source == DxPlacement::kFixedDark
                    || (source >= 0 && ((codewords[static_cast<size_t>(source / 8)] >> (7 - source % 8)) & 1));
                m.set(x, y, dark);
            }
        }
    }
    return m;
}

} // namespace

DxPlacement ModulePlacementEcc200(int rows, int cols)
{
    return Placer(rows, cols).Run();
}

void PadCodewords(std::vector<std::uint8_t>& words, int dataWords)
{
    if (static_cast<int>(words.size()) < dataWords) {
        words.push_back(kPad);
    }
    while (static_cast<int>(words.size()) < dataWords) {
        const int position = static_cast<int>(words.size()) + 1;
        const int v = kPad + (149 * position) % 253 + 1;
        words.push_back(static_cast<std::uint8_t>(v <= 254 ? v : v - 254));
    }
}

std::vector<std::uint8_t> GenReedSolEcc(const std::vector<std::uint8_t>& data, int sizeIndex)
{
    const DxSymbolSize& size = DxSize(sizeIndex);
    const auto& field = reed_solomon::DataMatrixField();
    const std::vector<std::uint8_t> generator = reed_solomon::Generator(field, size.eccPerBlock, 1);
    std::vector<std::uint8_t> out = data;
    out.resize(static_cast<size_t>(size.TotalWords()));
    for (int b = 0; b < size.blocks; ++b) {
        std::vector<std::uint8_t> block;
        for (int i = b; i < size.dataWords; i += size.blocks) {
            block.push_back(data[static_cast<size_t>(i)]);
        }
        const std::vector<std::uint8_t> ecc = reed_solomon::Remainder(field, block, generator);
        // The codeword stream is interleaved as a whole: stream position p belongs to block
        // p mod B, so where the data do not divide evenly (144x144) the error words start at
        // block dataWords mod B.
        const int first = ((b - size.dataWords) % size.blocks + size.blocks) % size.blocks;
        for (int j = 0; j < size.eccPerBlock; ++j) {
            out[static_cast<size_t>(size.dataWords + first + j * size.blocks)] = ecc[static_cast<size_t>(j)];
        }
    }
    return out;
}

void DxEncode::EncodeDataMatrix(const std::vector<std::uint8_t>& bytes, const DxImageEncoderOptions& options)
{
    m_dataWords = options.scheme == DxScheme::AutoBest
                      ? EncodeAutoBest(bytes, options.sizeIdx)
                      : EncodeSingleScheme(bytes, options.scheme, options.sizeIdx, options.gs1);
    if (m_dataWords.empty()) {
        throw std::runtime_error(kEncodeFailed);
    }
    const int words = static_cast<int>(m_dataWords.size());
    m_sizeIndex = FindSymbolSize(words, options.sizeIdx);
    if (m_sizeIndex < 0) {
        throw std::runtime_error(kEncodeFailed);
    }
    const int capacity = DxSize(m_sizeIndex).dataWords;
    if (capacity < words) {
        throw std::runtime_error(std::string("Data too long for specified symbol size. ") + "Data requires "
                                 + std::to_string(words) + " codewords, " + "but symbol only supports "
                                 + std::to_string(capacity) + " codewords. " + "Use 'AUTO' or reduce data length.");
    }
    std::vector<std::uint8_t> data = m_dataWords;
    PadCodewords(data, capacity);
    m_codewords = GenReedSolEcc(data, m_sizeIndex);
    m_modules = BuildSymbol(m_codewords, m_sizeIndex);
}

} // namespace internal
