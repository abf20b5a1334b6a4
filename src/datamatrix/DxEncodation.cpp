// SPDX-License-Identifier: MIT
#include "datamatrix/DxEncodation.h"

#include "core/Log.h"
#include "datamatrix/DxTables.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace internal {
namespace {

using barcode_log::Stream;

constexpr std::uint8_t kPairBase = 130;                         // ASCII digit pair 130 + 10 * first + second
constexpr std::uint8_t kUpperShift = 235;                       // ASCII: the next codeword is a byte of 128 or more
constexpr std::uint8_t kFnc1 = 232;                             // ASCII FNC1
constexpr std::uint8_t kUnlatchTriplet = 254;                   // C40, Text, X12 back to ASCII
constexpr int kEdifactUnlatch = 31;                             // EDIFACT value back to ASCII
constexpr std::uint8_t kLatch[] = {0, 230, 239, 238, 240, 231}; // by scheme; ASCII has none
constexpr int kSchemeCount = 6;

// Lengths are counted in twelfths of a codeword so that part-filled C40/Text/X12 triplets
// (three values in two codewords) and EDIFACT groups (four values in three) compare exactly.
constexpr int kWordTwelfths = 12;
constexpr int kTripletValueTwelfths = 8;
constexpr int kEdifactValueTwelfths = 9;

bool IsDigit(std::uint8_t b)
{
    return b >= '0' && b <= '9';
}

bool IsTriplet(DxScheme s)
{
    return s == DxScheme::C40 || s == DxScheme::Text || s == DxScheme::X12;
}

// Bytes of the Base256 length field of a segment of `count` bytes.
int FieldLength(int count)
{
    return count <= 249 ? 1 : 2;
}

// The C40, Text or X12 values of one byte (1 to 4, written to `out`); 0 when X12 has no value.
int TripletValues(DxScheme scheme, std::uint8_t b, std::uint8_t out[4])
{
    if (scheme == DxScheme::X12) {
        static const char kX12Specials[] = "\r*> ";
        for (int i = 0; i < 4; ++i) {
            if (b == static_cast<std::uint8_t>(kX12Specials[i])) {
                out[0] = static_cast<std::uint8_t>(i);
                return 1;
            }
        }
        if (IsDigit(b) || (b >= 'A' && b <= 'Z')) {
            out[0] = static_cast<std::uint8_t>(IsDigit(b) ? b - '0' + 4 : b - 'A' + 14);
            return 1;
        }
        return 0;
    }
    int n = 0;
    if (b >= 128) { // Shift 2, upper shift, then the values of the low seven bits
        out[n++] = 1;
        out[n++] = 30;
        b = static_cast<std::uint8_t>(b - 128);
    }
    const bool upper = b >= 'A' && b <= 'Z';
    const bool lower = b >= 'a' && b <= 'z';
    const bool basicLetter = scheme == DxScheme::C40 ? upper : lower;
    constexpr int kNoShift = -1;
    auto put = [&](int shift, int value) {
        if (shift != kNoShift) {
            out[n++] = static_cast<std::uint8_t>(shift);
        }
        out[n++] = static_cast<std::uint8_t>(value);
        return n;
    };
    if (b < 32) {
        return put(0, b); // Shift 1: control characters
    }
    if (b == ' ') {
        return put(kNoShift, 3);
    }
    if (IsDigit(b)) {
        return put(kNoShift, b - '0' + 4);
    }
    if (basicLetter) {
        return put(kNoShift, b - (upper ? 'A' : 'a') + 14);
    }
    if (upper || lower) { // the other case, Shift 3
        return put(2, b - (upper ? 'A' : 'a') + 1);
    }
    if (b <= 47) {
        return put(1, b - 33); // ! to /
    }
    if (b <= 64) {
        return put(1, b - 58 + 15); // : to @
    }
    if (b <= 95) {
        return put(1, b - 91 + 22); // [ to _
    }
    return put(2, b == 96 ? 0 : b - 123 + 27); // ` and { to DEL
}

// The 255-state randomising of Base256 codewords at 1-based stream `position`.
std::uint8_t Randomise255(int value, int position)
{
    const int v = value + (149 * position) % 255 + 1;
    return static_cast<std::uint8_t>(v <= 255 ? v : v - 256);
}

// Codewords shared by the candidate encodings of one search. A candidate refers to a node; a
// node keeps the first `keep` codewords of its parent and adds its own, so extending a candidate
// by a byte costs a node, never a copy of what it shares with the others. A Base256 node adds a
// whole segment (length field and data) that is read from the input when asked for.
class DxTrail
{
public:
    using Ref = int;
    static constexpr Ref kNone = -1;

    explicit DxTrail(const std::vector<std::uint8_t>& input) : m_input(input) {}

    Ref Add(Ref parent, int keep, const std::uint8_t* words, int count)
    {
        m_nodes.push_back(Node{parent, keep, count, static_cast<int>(m_pool.size()), 0});
        m_pool.insert(m_pool.end(), words, words + count);
        return static_cast<Ref>(m_nodes.size()) - 1;
    }

    // The first `keep` codewords of the encoding at `parent`, without the rest.
    Ref Keep(Ref parent, int keep)
    {
        m_nodes.push_back(Node{parent, keep, 0, static_cast<int>(m_pool.size()), 0});
        return static_cast<Ref>(m_nodes.size()) - 1;
    }

    Ref AddBase256(Ref parent, int keep, int inputStart, int count)
    {
        const int field = FieldLength(count);
        m_nodes.push_back(Node{parent, keep, field + count, inputStart, field});
        return static_cast<Ref>(m_nodes.size()) - 1;
    }

    // Codeword `index` of the encoding at `at`.
    std::uint8_t Word(Ref at, int index) const
    {
        for (Ref r = at; r != kNone; r = m_nodes[static_cast<size_t>(r)].parent) {
            const Node& n = m_nodes[static_cast<size_t>(r)];
            if (index >= n.keep) {
                return Own(n, index - n.keep);
            }
        }
        return 0;
    }

    // The first `count` codewords of the encoding at `at`.
    std::vector<std::uint8_t> Words(Ref at, int count) const
    {
        std::vector<std::uint8_t> out(static_cast<size_t>(count));
        int end = count;
        for (Ref r = at; r != kNone && end > 0; r = m_nodes[static_cast<size_t>(r)].parent) {
            const Node& n = m_nodes[static_cast<size_t>(r)];
            for (int i = n.keep; i < std::min(end, n.keep + n.count); ++i) {
                out[static_cast<size_t>(i)] = Own(n, i - n.keep);
            }
            end = std::min(end, n.keep);
        }
        return out;
    }

private:
    struct Node
    {
        Ref parent;
        int keep;   // codewords of the parent's encoding kept in front
        int count;  // codewords added
        int offset; // into m_pool, or the first input byte of a Base256 segment
        int field;  // 0 for plain codewords, else the Base256 length field's size
    };

    std::uint8_t Own(const Node& n, int k) const
    {
        if (n.field == 0) {
            return m_pool[static_cast<size_t>(n.offset + k)];
        }
        const int data = n.count - n.field;
        int raw = 0;
        if (k >= n.field) {
            raw = m_input[static_cast<size_t>(n.offset + k - n.field)];
        } else if (n.field == 1) {
            raw = data;
        } else {
            raw = k == 0 ? 249 + data / 250 : data % 250;
        }
        return Randomise255(raw, n.keep + k + 1);
    }

    const std::vector<std::uint8_t>& m_input;
    std::vector<Node> m_nodes;
    std::vector<std::uint8_t> m_pool;
};

// One candidate encoding in progress.
struct DxChannel
{
    DxScheme scheme = DxScheme::Ascii;
    int invalid = 0;     // 0 valid, 1 fatal error, 2 the next input cannot be encoded in this scheme
    int inputPos = 0;    // next input byte
    int length = 0;      // twelfths of a codeword, open triplets, EDIFACT groups and Base256 segments included
    int schemeStart = 0; // twelfths, where the current scheme began
    DxTrail::Ref words = DxTrail::kNone;
    int wordCount = 0;     // codewords written
    int pendingStart = 0;  // first input byte not written yet: open triplets or group, Base256 segment
    int pendingValues = 0; // C40/Text/X12/EDIFACT values of the bytes not written yet
};

using DxChannelGroup = std::array<DxChannel, kSchemeCount>;

// Encodes input bytes into channels: the rules of each scheme, scheme changes and the ends of
// the C40/Text/X12 and EDIFACT schemes, which depend on the symbol the codewords will fill.
class DxChannelEncoder
{
public:
    // `singleScheme`: the whole input in one scheme (EncodeSingleScheme), not a candidate of the
    // automatic choice.
    DxChannelEncoder(const std::vector<std::uint8_t>& input, int sizeOption, bool gs1, bool singleScheme)
        : m_input(input), m_size(static_cast<int>(input.size())), m_sizeOption(sizeOption), m_gs1(gs1),
          m_singleScheme(singleScheme), m_trail(input)
    {}

    int InputSize() const { return m_size; }

    // Switches the channel to `target` when needed and encodes the next input byte in it.
    // False (and the channel invalid) when that is not possible.
    bool EncodeNextWord(DxChannel& c, DxScheme target)
    {
        if (c.invalid != 0) {
            return false;
        }
        if (c.inputPos >= m_size) {
            barcode_log::Error(Stream::Out, "Input index out of range while encoding!");
            c.invalid = 1;
            return false;
        }
        bool ok = c.scheme == target || ChangeEncScheme(c, target);
        if (ok) {
            const std::uint8_t b = m_input[static_cast<size_t>(c.inputPos++)];
            switch (target) {
            case DxScheme::Ascii: ok = EncodeAscii(c, b); break;
            case DxScheme::C40:
            case DxScheme::Text:
            case DxScheme::X12: ok = EncodeTriplet(c, b); break;
            case DxScheme::Edifact: ok = EncodeEdifact(c, b); break;
            default: ok = EncodeBase256(c); break;
            }
        }
        UpdateLength(c);
        if (!ok && c.invalid == 0) {
            c.invalid = 2;
        }
        return ok;
    }

    // The codewords of a channel that has consumed all input; empty for an invalid one.
    std::vector<std::uint8_t> Finish(DxChannel c)
    {
        if (c.invalid != 0 || (c.scheme == DxScheme::Base256 && !CloseBase256(c))) {
            return {};
        }
        if (c.inputPos != m_size || c.scheme != DxScheme::Ascii) {
            barcode_log::Error(Stream::Out, "Could not fully process end of symbol triplet!");
            return {};
        }
        return m_trail.Words(c.words, c.wordCount);
    }

private:
    bool Write(DxChannel& c, std::initializer_list<std::uint8_t> words)
    {
        return Write(c, words.begin(), words.size());
    }

    // Appends codewords; a channel that would outgrow the largest symbol becomes invalid.
    bool Write(DxChannel& c, const std::uint8_t* words, size_t count)
    {
        if (c.wordCount + static_cast<int>(count) > kDxMaxDataWords) {
            c.invalid = 2;
            return false;
        }
        c.words = m_trail.Add(c.words, c.wordCount, words, static_cast<int>(count));
        c.wordCount += static_cast<int>(count);
        return true;
    }

    void UpdateLength(DxChannel& c) const
    {
        int open = 0;
        switch (c.scheme) {
        case DxScheme::C40:
        case DxScheme::Text:
        case DxScheme::X12: open = c.pendingValues * kTripletValueTwelfths; break;
        case DxScheme::Edifact: open = c.pendingValues * kEdifactValueTwelfths; break;
        case DxScheme::Base256: {
            const int count = c.inputPos - c.pendingStart;
            open = (FieldLength(count) + count) * kWordTwelfths;
            break;
        }
        default: break;
        }
        c.length = c.wordCount * kWordTwelfths + open;
    }

    // Codewords left in the symbol that holds `words` + `need` codewords once `words` are
    // written: the smallest of the configured family for an automatic size, else the fixed
    // size. Negative when there is no such symbol or the fixed one is too small.
    int Room(int words, int need) const
    {
        const int size = FindSymbolSize(words + need, m_sizeOption);
        return size < 0 ? -1 : DxSize(size).dataWords - words;
    }

    // ASCII codewords of one byte, digit pairs aside.
    int AsciiWords(std::uint8_t b) const { return b >= 128 && !(m_gs1 && b == kFnc1) ? 2 : 1; }

    void EnterAscii(DxChannel& c) const
    {
        c.scheme = DxScheme::Ascii;
        c.schemeStart = c.wordCount * kWordTwelfths;
        c.pendingStart = c.inputPos;
        c.pendingValues = 0;
    }

    // Leaves the current scheme (unlatch; C40/Text/X12 only on a whole triplet) and latches to
    // `target` (0 to 5).
    bool ChangeEncScheme(DxChannel& c, DxScheme target)
    {
        bool ok = true;
        if (IsTriplet(c.scheme)) {
            ok = c.pendingValues == 0 && Write(c, {kUnlatchTriplet});
        } else if (c.scheme == DxScheme::Edifact) {
            ok = FlushEdifact(c, true);
        } else if (c.scheme == DxScheme::Base256) {
            ok = CloseBase256(c);
        }
        if (!ok) {
            return false;
        }
        EnterAscii(c);
        if (target == DxScheme::Ascii) {
            return true;
        }
        if (!Write(c, {kLatch[static_cast<int>(target)]})) {
            return false;
        }
        c.scheme = target;
        c.schemeStart = c.wordCount * kWordTwelfths;
        return true;
    }

    bool EncodeAscii(DxChannel& c, std::uint8_t b)
    {
        // A digit after a single-digit codeword of this ASCII run joins it as a pair.
        if (IsDigit(b) && c.wordCount * kWordTwelfths > c.schemeStart) {
            const std::uint8_t previous = m_trail.Word(c.words, c.wordCount - 1);
            if (previous >= '0' + 1 && previous <= '9' + 1
                && (c.wordCount < 2 || m_trail.Word(c.words, c.wordCount - 2) != kUpperShift)) {
                const std::uint8_t pair = static_cast<std::uint8_t>(kPairBase + 10 * (previous - '0' - 1) + (b - '0'));
                c.words = m_trail.Add(c.words, c.wordCount - 1, &pair, 1);
                return true;
            }
        }
        if (m_gs1 && b == kFnc1) {
            return Write(c, {kFnc1});
        }
        if (b >= 128) {
            return Write(c, {kUpperShift, static_cast<std::uint8_t>(b - 127)});
        }
        return Write(c, {static_cast<std::uint8_t>(b + 1)});
    }

    bool EncodeTriplet(DxChannel& c, std::uint8_t b)
    {
        std::uint8_t values[4];
        const int n = TripletValues(c.scheme, b, values);
        if (n == 0) {
            return false;
        }
        c.pendingValues += n;
        // Codewords are written where a byte ends on a whole triplet, so no byte is ever split
        // between a triplet and what follows it.
        if (c.pendingValues % 3 == 0 && !FlushTriplets(c, false)) {
            return false;
        }
        return c.inputPos < m_size || ProcessEndOfSymbolTriplet(c);
    }

    // Writes the open triplets, the last one completed by a Shift 1 value with `padShift`.
    bool FlushTriplets(DxChannel& c, bool padShift)
    {
        std::vector<std::uint8_t> values;
        for (int i = c.pendingStart; i < c.inputPos; ++i) {
            std::uint8_t v[4];
            values.insert(values.end(), v, v + TripletValues(c.scheme, m_input[static_cast<size_t>(i)], v));
        }
        if (padShift) {
            values.push_back(0);
        }
        std::vector<std::uint8_t> words;
        for (size_t i = 0; i + 2 < values.size(); i += 3) {
            const int packed = 1600 * values[i] + 40 * values[i + 1] + values[i + 2] + 1;
            words.push_back(static_cast<std::uint8_t>(packed >> 8));
            words.push_back(static_cast<std::uint8_t>(packed & 0xFF));
        }
        c.pendingStart = c.inputPos;
        c.pendingValues = 0;
        return Write(c, words.data(), words.size());
    }

    // The input has ended inside C40, Text or X12: finish so that a reader leaves the scheme
    // where the symbol's data end, or unlatch and write the bytes of an open triplet in ASCII.
    bool ProcessEndOfSymbolTriplet(DxChannel& c)
    {
        const int tailStart = c.pendingStart;
        if (m_singleScheme && c.wordCount * kWordTwelfths == c.schemeStart && tailStart < m_size) {
            // Too little input for one whole triplet: the latch would be followed at once by the
            // unlatch, and a reader that takes the two codewords after a latch as a triplet
            // before it looks for the unlatch reads the unlatch, the data and the padding as
            // values. The latch is taken back and the bytes go in ASCII.
            return TakeBackLatch(c);
        }
        if (tailStart == m_size) { // ended on a whole triplet
            const bool ok = Room(c.wordCount, 0) < 1 || Write(c, {kUnlatchTriplet});
            EnterAscii(c);
            return ok;
        }
        const std::uint8_t last = m_input[static_cast<size_t>(tailStart)];
        if (tailStart + 1 == m_size && AsciiWords(last) == 1 && Room(c.wordCount, 1) == 1) {
            EnterAscii(c); // a reader takes a single codeword left at the end as ASCII
            return EncodeAscii(c, last);
        }
        // Shift 1 completes a C40 or Text triplet harmlessly; in X12 the value 0 is a CR.
        if (c.pendingValues % 3 == 2 && c.scheme != DxScheme::X12) {
            const int whole = c.wordCount + c.pendingValues / 3 * 2;
            if (Room(whole, 2) == 2) {
                const bool ok = FlushTriplets(c, true); // the last triplet fills the symbol
                EnterAscii(c);
                return ok;
            }
        }
        if (!Write(c, {kUnlatchTriplet})) {
            return false;
        }
        EnterAscii(c);
        for (int i = tailStart; i < m_size; ++i) {
            if (!EncodeAscii(c, m_input[static_cast<size_t>(i)])) {
                return false;
            }
        }
        return true;
    }

    // Drops the latch that the channel's codewords end with and encodes the bytes from the
    // scheme's start in ASCII.
    bool TakeBackLatch(DxChannel& c)
    {
        const int first = c.pendingStart;
        --c.wordCount;
        c.words = m_trail.Keep(c.words, c.wordCount);
        EnterAscii(c);
        for (int i = first; i < m_size; ++i) {
            if (!EncodeAscii(c, m_input[static_cast<size_t>(i)])) {
                return false;
            }
        }
        return true;
    }

    bool EncodeEdifact(DxChannel& c, std::uint8_t b)
    {
        if (b < 32 || b > 94) {
            return false;
        }
        if (++c.pendingValues == 4 && !FlushEdifact(c, false)) {
            return false;
        }
        return CheckForEndOfSymbolEdifact(c);
    }

    // Writes the open EDIFACT values, with `unlatch` followed by the unlatch value and zero bits
    // to the end of the codeword.
    bool FlushEdifact(DxChannel& c, bool unlatch)
    {
        std::uint32_t bits = 0;
        int bitCount = 0;
        for (int i = c.pendingStart; i < c.inputPos; ++i) {
            bits = (bits << 6) | (m_input[static_cast<size_t>(i)] & 0x3Fu);
            bitCount += 6;
        }
        if (unlatch) {
            bits = (bits << 6) | kEdifactUnlatch;
            bitCount += 6;
        }
        std::uint8_t words[3];
        const int count = (bitCount + 7) / 8;
        bits <<= count * 8 - bitCount;
        for (int i = 0; i < count; ++i) {
            words[i] = static_cast<std::uint8_t>(bits >> (8 * (count - 1 - i)));
        }
        c.pendingStart = c.inputPos;
        c.pendingValues = 0;
        return Write(c, words, static_cast<size_t>(count));
    }

    // After each EDIFACT value, near the end of the input: where one or two codewords remain
    // in the symbol after a whole group, a reader takes them as ASCII, so the last bytes go there
    // without an unlatch; otherwise the segment ends with an explicit unlatch.
    bool CheckForEndOfSymbolEdifact(DxChannel& c)
    {
        const int left = m_size - c.inputPos;
        if (left > 4) {
            return true;
        }
        const int room = Room(c.wordCount, 0);
        if (c.pendingValues == 0 && (room == 1 || room == 2)) {
            int ascii = 0;
            for (int i = c.inputPos; i < m_size; ++i) {
                ascii += AsciiWords(m_input[static_cast<size_t>(i)]);
            }
            if (ascii > room) {
                return true; // stays in EDIFACT
            }
            EnterAscii(c);
            while (c.inputPos < m_size) {
                if (!EncodeAscii(c, m_input[static_cast<size_t>(c.inputPos++)])) {
                    return false;
                }
            }
            c.pendingStart = m_size;
            return true;
        }
        if (left > 0) {
            return true;
        }
        if (c.pendingValues == 0 && room == 0) {
            // The data end on a whole group exactly where the symbol's data end: the reader
            // stops there, and an unlatch would only take a codeword the symbol does not have.
            EnterAscii(c);
            return true;
        }
        // A reader takes the last two codewords of a symbol as ASCII, so one value and the unlatch
        // must not end it: the byte goes there in ASCII, without an unlatch.
        if (c.pendingValues == 1 && Room(c.wordCount, 2) == 2) {
            EnterAscii(c);
            return EncodeAscii(c, m_input[static_cast<size_t>(m_size - 1)]);
        }
        const bool ok = FlushEdifact(c, true);
        EnterAscii(c);
        return ok;
    }

    // A Base256 segment is written when it closes; until then only its size is checked.
    bool EncodeBase256(const DxChannel& c) const
    {
        const int count = c.inputPos - c.pendingStart;
        return c.wordCount + FieldLength(count) + count <= kDxMaxDataWords;
    }

    // Writes the open Base256 segment (length field and bytes).
    bool CloseBase256(DxChannel& c)
    {
        const int count = c.inputPos - c.pendingStart;
        if (!EncodeBase256(c)) {
            c.invalid = 2;
            return false;
        }
        c.words = m_trail.AddBase256(c.words, c.wordCount, c.pendingStart, count);
        c.wordCount += FieldLength(count) + count;
        EnterAscii(c);
        return true;
    }

    const std::vector<std::uint8_t>& m_input;
    int m_size;
    int m_sizeOption;
    bool m_gs1;
    bool m_singleScheme;
    DxTrail m_trail;
};

// No scheme carries more than two input bytes in a codeword (ASCII digit pairs).
bool BeyondAnySymbol(const std::vector<std::uint8_t>& input)
{
    return input.size() > 2 * static_cast<size_t>(kDxMaxDataWords);
}

// The new channel `target`: the shortest of the current channels extended by one byte in it.
DxChannel FindBestChannel(DxChannelEncoder& encoder, const DxChannelGroup& group, DxScheme target)
{
    DxChannel best;
    best.invalid = 2;
    for (const DxChannel& channel : group) {
        if (channel.invalid != 0 || channel.inputPos >= encoder.InputSize()) {
            continue;
        }
        DxChannel candidate = channel;
        encoder.EncodeNextWord(candidate, target);
        if (candidate.invalid == 1) {
            return candidate;
        }
        if (candidate.invalid == 0 && (best.invalid != 0 || candidate.length < best.length)) {
            best = candidate;
        }
    }
    return best;
}

} // namespace

std::vector<std::uint8_t> EncodeSingleScheme(const std::vector<std::uint8_t>& input, DxScheme scheme, int sizeOption,
                                             bool gs1)
{
    if (scheme < DxScheme::Ascii || scheme > DxScheme::Base256) {
        barcode_log::Error(Stream::Out, "Invalid encoding scheme selected!");
        return {};
    }
    if (input.empty() || BeyondAnySymbol(input)) {
        return {};
    }
    DxChannelEncoder encoder(input, sizeOption, gs1, true);
    DxChannel channel;
    while (channel.inputPos < encoder.InputSize()) {
        if (!encoder.EncodeNextWord(channel, scheme)) {
            return {};
        }
    }
    return encoder.Finish(channel);
}

std::vector<std::uint8_t> EncodeAutoBest(const std::vector<std::uint8_t>& input, int sizeOption)
{
    if (input.empty() || BeyondAnySymbol(input)) {
        return {};
    }
    DxChannelEncoder encoder(input, sizeOption, false, false);
    DxChannelGroup group;
    for (int s = 0; s < kSchemeCount; ++s) {
        encoder.EncodeNextWord(group[static_cast<size_t>(s)], static_cast<DxScheme>(s));
    }
    const auto unfinished = [&encoder](const DxChannel& c) {
        return c.invalid == 0 && c.inputPos < encoder.InputSize();
    };
    while (std::any_of(group.begin(), group.end(), unfinished)) {
        DxChannelGroup next;
        for (int t = 0; t < kSchemeCount; ++t) {
            next[static_cast<size_t>(t)] = FindBestChannel(encoder, group, static_cast<DxScheme>(t));
        }
        group = next;
    }
    const DxChannel* winner = nullptr;
    for (const DxChannel& c : group) {
        if (c.invalid == 0 && (winner == nullptr || c.length < winner->length)) {
            winner = &c;
        }
    }
    return winner != nullptr ? encoder.Finish(*winner) : std::vector<std::uint8_t>{};
}

} // namespace internal
