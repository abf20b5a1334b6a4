// SPDX-License-Identifier: MIT
#pragma once

#include "core/ModuleMatrix.h"

#include <cstdint>
#include <string>
#include <vector>

// The PDF417 engine (ISO/IEC 15438): the input bytes are cut into text, numeric and byte
// segments and compacted into data codewords, then the error correction level and the grid are
// chosen, the codewords padded and protected with Reed-Solomon over GF(929), and every row laid
// out as modules. No drawing here: bytes and settings in, codewords and module rows out.
namespace internal_pdf417 {

// How the grid is chosen: from the aspect ratio, from fixed columns, fixed rows, or both.
enum class SizeKind
{
    Auto = 0,
    Columns = 1,
    Rows = 2,
    ColumnsAndRows = 3
};

// "AUTO", "COLUMNS", "ROWS", "COLUMNS_AND_ROWS", or "UNKNOWN".
const char* SizeKindName(SizeKind kind);

constexpr int kMaxInputBytes = 5420;
constexpr int kMaxDataCodewords = 926; // the length descriptor included
constexpr int kMaxCodewords = 928;

// Codewords that switch modes.
constexpr int kTextLatch = 900; // also the pad codeword
constexpr int kByteLatch = 901; // byte compaction, length not a multiple of 6
constexpr int kNumericLatch = 902;
constexpr int kByteShift = 913;
constexpr int kByteLatch6 = 924; // byte compaction, length a multiple of 6

// A piece of the input: 'T' text, 'N' numeric, 'B' byte; [start, end) in the input bytes.
struct Segment
{
    char type;
    int start;
    int end;

    int getSegmentLength() const { return end - start; }

    bool checkSegmentType(char t) const { return type == t; }

    bool operator==(const Segment& o) const { return type == o.type && start == o.start && end == o.end; }
};

class SegmentList
{
public:
    void add(char type, int start, int end) { m_list.push_back(Segment{type, start, end}); }

    std::vector<Segment>& list() { return m_list; }

    const std::vector<Segment>& list() const { return m_list; }

private:
    std::vector<Segment> m_list;
};

// Everything a symbol is laid out from.
struct LayoutSettings
{
    int errorLevel = 2; // used when the automatic level is off
    int columns = 0;    // data columns, for SizeKind::Columns and ColumnsAndRows
    int rows = 0;       // rows, for SizeKind::Rows and ColumnsAndRows
    double aspectRatio = 0.5;
    int yHeight = 3; // row height in module widths, for SizeKind::Auto
    bool useAutoErrorLevel = true;
    SizeKind sizeKind = SizeKind::Auto;
};

// A finished symbol: the grid, the error correction level used, every codeword (length
// descriptor, data, pads, error correction) and the modules, rows x (17 x columns + 69).
struct Pdf417Symbol
{
    int columns = 0;
    int rows = 0;
    int errorLevel = 0;
    std::vector<int> codewords;
    ModuleMatrix modules;
};

// The largest error correction level whose 2 << level codewords fit in `n` codewords.
int maxPossibleErrorLevel(int n);

// The 2 << level error correction codewords of `data`, in symbol order.
std::vector<int> ErrorCorrectionCodewords(const std::vector<int>& data, int level);

// The engine of one symbol. Throws std::runtime_error("Text cannot be null.") for empty input and
// std::out_of_range("The text is too big.") for input that does not fit; both are printed too.
class Pdf417Engine
{
public:
    explicit Pdf417Engine(const LayoutSettings& settings) : m_settings(settings) {}

    void setText(const std::vector<std::uint8_t>& bytes) { m_text = bytes; }

    void setText(const std::string& text) { m_text.assign(text.begin(), text.end()); }

    // Checks the text, breaks it into segments and assembles the data codewords.
    void compact();
    // Fills the segment list from the text.
    void breakString();
    // Writes the data codewords from position 1 (position 0 is the length descriptor, written by
    // paintCode) and leaves cwPtr behind the last.
    void assemble();
    // The whole symbol: compact, then choose level and grid, pad, add error correction and lay
    // out the rows.
    void paintCode();

    const SegmentList& segments() const { return m_segmentList; }

    // The codewords written so far: the length descriptor slot and the data after assemble,
    // every codeword of the symbol after paintCode.
    const std::vector<int>& codewords() const { return m_codewords; }

    const Pdf417Symbol& symbol() const { return m_symbol; }

private:
    void textCompaction(int start, int length);
    void numberCompaction(int start, int length);
    void basicNumberCompaction(int start, int length);
    void byteCompaction(int start, int length);
    void byteCompaction6(int start);
    // Bit flags of the text sub-modes a byte belongs to, with its value, or none past `end`.
    int getTextTypeAndValue(int end, int index) const;
    // Fails unless `size` more codewords fit behind cwPtr.
    void reserve(int size) const;
    void chooseGrid(int len, int level);
    void outPaintCode();

    LayoutSettings m_settings;
    std::vector<std::uint8_t> m_text;
    std::vector<int> m_codewords{0}; // grows; its size is the next free position (cwPtr)
    SegmentList m_segmentList;
    int m_columns = 0;
    int m_rows = 0;
    Pdf417Symbol m_symbol;
};

// One symbol from `data` with `settings`; exceptions as Pdf417Engine.
Pdf417Symbol Encode(const std::vector<std::uint8_t>& data, const LayoutSettings& settings);

// The data codewords of `data` with the length descriptor (the codeword count) in front.
std::vector<int> DataCodewords(const std::vector<std::uint8_t>& data);

} // namespace internal_pdf417
