// SPDX-License-Identifier: MIT
// libFuzzer harness of compact_png::RowDeflater on its own: rows of 1 to RowDeflater::kMaxRow
// bytes (raw bytes of the input, copies and near-copies of the row above or of one further up,
// runs, noise over a few values), each followed by 0 to 16,000 repeats. Properties:
// - zlib inflates the stream (checking its header and Adler-32) to exactly the rows with their
//   repeats, and nothing is left over;
// - the stream is never longer than the fixed Huffman codes make it: 9 bits per byte at most,
//   plus the zlib header, the block header and end, and the Adler-32.
//
// Input: a length byte (and its extension), a row count, then per row an operation byte and a
// repeat byte with their arguments (see NextRow).
#include "FuzzSupport.h"
#include "core/png/RowDeflater.h"

#include <algorithm>
#include <memory>
#include <vector>
#include <zlib.h>

namespace {

constexpr char kName[] = "fuzz_row_deflater";
// Bytes the rows and repeats add up to, so that one run stays quick.
constexpr std::size_t kMaxTotal = 8u << 20;

std::size_t RowLength(fuzz::Bytes& in)
{
    static const std::size_t kLengths[] = {1,    2,    3,    4,     5,     7,     8,     9,     15,    16,   17,
                                           31,   32,   33,   63,    64,    65,    66,    127,   128,   129,  255,
                                           256,  257,  258,  259,   260,   261,   515,   516,   517,   1024, 4095,
                                           4096, 8191, 8192, 16383, 16384, 24576, 24577, 24578, 32767, 32768};
    const unsigned mode = in.Byte() % 8;
    if (mode < 4) {
        return 1 + in.Byte();
    }
    if (mode < 6) {
        return 1 + in.U16() % 4096;
    }
    if (mode == 6) {
        return kLengths[in.Byte() % std::size(kLengths)];
    }
    return 1 + in.U16() % compact_png::RowDeflater::kMaxRow;
}

std::size_t Repeats(fuzz::Bytes& in)
{
    static const std::size_t kRepeats[] = {2, 3, 85, 86, 128, 258, 259, 1000, 4000, 16000};
    const unsigned r = in.Byte();
    if (r < 160) {
        return 0;
    }
    if (r < 224) {
        return 1 + r % 8;
    }
    if (r < 248) {
        return kRepeats[r % std::size(kRepeats)];
    }
    return in.U16();
}

// The next row (`length` bytes) by the operation at the input.
void NextRow(fuzz::Bytes& in, const std::vector<const std::uint8_t*>& rows, std::uint8_t* row, std::size_t length)
{
    const std::uint8_t* above = rows.empty() ? nullptr : rows.back();
    unsigned op = in.Byte() % 6;
    if (above == nullptr && (op == 1 || op == 2 || op == 5)) {
        op = 3;
    }
    switch (op) {
    case 0: { // bytes of the input
        const std::string bytes = in.Take(length);
        std::fill_n(row, length, 0);
        std::copy(bytes.begin(), bytes.end(), row);
        break;
    }
    case 1: std::copy(above, above + length, row); break;
    case 2: { // the row above with a few bytes changed
        std::copy(above, above + length, row);
        for (unsigned k = 1 + in.Byte() % 8; k > 0; --k) {
            row[in.U16() % length] = in.Byte();
        }
        break;
    }
    case 3: { // runs
        for (std::size_t x = 0; x < length;) {
            const std::size_t run = in.AtEnd() ? length - x : 1 + in.Byte() % 64 * (1 + in.Byte() % 8);
            std::fill_n(row + x, std::min(run, length - x), in.Byte());
            x += run;
        }
        break;
    }
    case 4: { // noise over a few values
        const unsigned values = 1 + in.Byte() % 4;
        std::uint32_t state = 0x9E3779B9u ^ in.U16();
        for (std::size_t x = 0; x < length; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = static_cast<std::uint8_t>((state >> 24) % values);
        }
        break;
    }
    default: { // equal to a row further up, with the last byte changed
        const std::uint8_t* from = rows[rows.size() - 1 - in.Byte() % rows.size()];
        std::copy(from, from + length, row);
        row[length - 1] = in.Byte();
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes in(data, size);
    const std::size_t length = RowLength(in);
    const std::size_t count = 1 + in.Byte() % (length <= 256 ? 256 : 32);
    std::vector<std::unique_ptr<std::uint8_t[]>> buffers; // exactly one row each, for ASan
    std::vector<const std::uint8_t*> rows;
    std::vector<std::size_t> repeats;
    std::size_t total = 0;
    for (std::size_t r = 0; r < count && total + length <= kMaxTotal; ++r) {
        buffers.emplace_back(new std::uint8_t[length]);
        NextRow(in, rows, buffers.back().get(), length);
        rows.push_back(buffers.back().get());
        const std::size_t room = (kMaxTotal - total) / length - 1;
        repeats.push_back(std::min(Repeats(in), room));
        total += length * (1 + repeats.back());
    }

    std::vector<std::uint8_t> expected;
    expected.reserve(total);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t k = 0; k <= repeats[r]; ++k) {
            expected.insert(expected.end(), rows[r], rows[r] + length);
        }
    }
    compact_png::RowDeflater deflater;
    deflater.Rows(rows.data(), repeats.data(), rows.size(), length);
    const std::vector<std::uint8_t> stream = deflater.Finish();

    const std::size_t bound = 2 + (3 + 9 * total + 7 + 7) / 8 + 4;
    if (stream.size() > bound) {
        fuzz::Broken(kName, std::to_string(stream.size()) + " bytes of stream for " + std::to_string(total)
                                + " bytes, above the fixed-code bound " + std::to_string(bound));
    }
    std::vector<std::uint8_t> inflated(total + 1);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        fuzz::Broken(kName, "inflateInit");
    }
    z.next_in = const_cast<std::uint8_t*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = inflated.data();
    z.avail_out = static_cast<uInt>(inflated.size());
    const int status = inflate(&z, Z_FINISH);
    const std::size_t produced = z.total_out;
    const bool allRead = z.avail_in == 0;
    const std::string message = z.msg != nullptr ? z.msg : "";
    inflateEnd(&z);
    if (status != Z_STREAM_END || !allRead) {
        fuzz::Broken(kName, "zlib refuses the stream (status " + std::to_string(status) + " " + message + ") of "
                                + std::to_string(rows.size()) + " rows of " + std::to_string(length) + " bytes");
    }
    if (produced != total || !std::equal(expected.begin(), expected.end(), inflated.begin())) {
        fuzz::Broken(kName, "the stream inflates to other bytes than the rows");
    }
    return 0;
}
