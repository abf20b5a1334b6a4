// SPDX-License-Identifier: MIT
#include "pdf417/Pdf417Encoder.h"

#include "core/Log.h"
#include "core/Numeric.h"
#include "pdf417/Pdf417Tables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

namespace internal_pdf417 {
namespace {

using barcode_log::Stream;

constexpr int kPrime = 929;
constexpr char kTooBig[] = "The text is too big.";
constexpr char kEmpty[] = "Text cannot be null.";

// Text sub-mode sets; a character's value is its index.
constexpr char kMixedSet[] = "0123456789&\r\t,:#-.$/+%*=^";
constexpr char kPunctuationSet[] = ";<>@[\\]_`~!\r\t,:\n-.$/\"|*()?{}'";
static_assert(sizeof(kMixedSet) - 1 == 25, "mixed values 0..24, then 25 punctuation latch");
static_assert(sizeof(kPunctuationSet) - 1 == 29, "punctuation values 0..28, then 29 upper latch");

// Text sub-mode codeword values.
constexpr int kPunctuationLatch = 25; // from mixed
constexpr int kSpace = 26;
constexpr int kLowerLatch = 27;       // from upper or mixed; upper shift from lower
constexpr int kMixedLatch = 28;       // from upper or lower; upper latch from mixed
constexpr int kPunctuationShift = 29; // punctuation shift; upper latch from punctuation

// Classification flags of getTextTypeAndValue; the low 8 bits hold the value.
constexpr int kUpper = 0x100;
constexpr int kLower = 0x200;
constexpr int kMixed = 0x400;
constexpr int kPunctuation = 0x800;
constexpr int kByte = 0x1000;

bool IsTextByte(std::uint8_t c)
{
    return (c >= 32 && c <= 126) || c == 9 || c == 10 || c == 13;
}

bool IsDigit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

// Index of `c` in a set, or -1.
int IndexIn(const char* set, std::uint8_t c)
{
    if (c == 0) {
        return -1;
    }
    const char* p = std::strchr(set, static_cast<char>(c));
    return p != nullptr ? static_cast<int>(p - set) : -1;
}

[[noreturn]] void TooBig()
{
    barcode_log::Error(Stream::Out, kTooBig);
    throw std::out_of_range(kTooBig);
}

// printf into a string, for the progress dumps.
template <class... Args>
std::string Format(const char* format, Args... args)
{
    char buffer[256];
    std::snprintf(buffer, sizeof(buffer), format, args...);
    return buffer;
}

// Merges until nothing changes: `merge` looks at segment k and returns true after changing the
// list, and the scan then starts again from the beginning.
template <class Merge>
void MergeUntilStable(std::vector<Segment>& list, Merge merge)
{
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t k = 0; k < list.size() && !changed; ++k) {
            changed = merge(k);
        }
    }
}

// Segment k absorbs its left or right neighbour when `absorbs` accepts it; true when it did.
template <class Accept>
bool AbsorbNeighbour(std::vector<Segment>& list, size_t k, Accept absorbs)
{
    if (k > 0 && absorbs(list[k - 1])) {
        list[k].start = list[k - 1].start;
        list.erase(list.begin() + static_cast<long>(k) - 1);
        return true;
    }
    if (k + 1 < list.size() && absorbs(list[k + 1])) {
        list[k].end = list[k + 1].end;
        list.erase(list.begin() + static_cast<long>(k) + 1);
        return true;
    }
    return false;
}

} // namespace

const char* SizeKindName(SizeKind kind)
{
    switch (kind) {
    case SizeKind::Auto: return "AUTO";
    case SizeKind::Columns: return "COLUMNS";
    case SizeKind::Rows: return "ROWS";
    case SizeKind::ColumnsAndRows: return "COLUMNS_AND_ROWS";
    }
    return "UNKNOWN";
}

int maxPossibleErrorLevel(int n)
{
    for (int level = 8; level > 0; --level) {
        if (n >= (2 << level)) {
            return level;
        }
    }
    return 0;
}

std::vector<int> ErrorCorrectionCodewords(const std::vector<int>& data, int level)
{
    const std::vector<int>& a = ErrorCorrectionCoefficients(level);
    const size_t k = a.size();
    if (k == 0) {
        return {};
    }
    // Division by the generator polynomial, register ec[k-1] highest, with the coefficients
    // negated. A register word is the sum of at most k (<= 512) products below 929^2, which
    // 32 bits hold, so only the feedback term is reduced at each step.
    std::vector<std::uint32_t> negated(k);
    for (size_t j = 0; j < k; ++j) {
        negated[j] = static_cast<std::uint32_t>((kPrime - a[j] % kPrime) % kPrime);
    }
    std::vector<std::uint32_t> ec(k, 0);
    for (int d : data) {
        const auto t = static_cast<std::uint32_t>((d % kPrime + static_cast<int>(ec[k - 1] % kPrime)) % kPrime);
        for (size_t j = k - 1; j > 0; --j) {
            ec[j] = ec[j - 1] + t * negated[j];
        }
        ec[0] = t * negated[0];
    }
    std::vector<int> out;
    out.reserve(k);
    for (size_t j = k; j-- > 0;) {
        out.push_back(static_cast<int>((kPrime - ec[j] % kPrime) % kPrime));
    }
    return out;
}

int Pdf417Engine::getTextTypeAndValue(int end, int index) const
{
    if (index >= end) {
        return 0;
    }
    const std::uint8_t c = m_text[static_cast<size_t>(index)];
    if (c >= 'A' && c <= 'Z') {
        return kUpper | (c - 'A');
    }
    if (c >= 'a' && c <= 'z') {
        return kLower | (c - 'a');
    }
    if (c == ' ') {
        return kUpper | kLower | kMixed | kSpace;
    }
    const int mixed = IndexIn(kMixedSet, c);
    const int punctuation = IndexIn(kPunctuationSet, c);
    // The characters of both sets have the same index in each.
    if (mixed >= 0) {
        return kMixed | (punctuation >= 0 ? kPunctuation : 0) | mixed;
    }
    if (punctuation >= 0) {
        return kPunctuation | punctuation;
    }
    return kByte | c;
}

void Pdf417Engine::breakString()
{
    std::vector<Segment>& list = m_segmentList.list();
    list.clear();
    const int size = static_cast<int>(m_text.size());
    // Cuts [from, to) into maximal runs of text bytes and of other bytes.
    const auto cut = [this](int from, int to) {
        for (int i = from; i < to;) {
            const bool text = IsTextByte(m_text[static_cast<size_t>(i)]);
            int j = i + 1;
            while (j < to && IsTextByte(m_text[static_cast<size_t>(j)]) == text) {
                ++j;
            }
            m_segmentList.add(text ? 'T' : 'B', i, j);
            i = j;
        }
    };
    int lastEnd = 0;
    for (int i = 0; i < size;) {
        if (!IsDigit(m_text[static_cast<size_t>(i)])) {
            ++i;
            continue;
        }
        int j = i;
        while (j < size && IsDigit(m_text[static_cast<size_t>(j)])) {
            ++j;
        }
        if (j - i >= 13) {
            cut(lastEnd, i);
            m_segmentList.add('N', i, j);
            lastEnd = j;
        }
        i = j;
    }
    cut(lastEnd, size);

    // A lone byte between text that is long enough becomes text (written with a byte shift).
    MergeUntilStable(list, [&list](size_t k) {
        if (k == 0 || k + 1 >= list.size()) {
            return false;
        }
        const Segment& prev = list[k - 1];
        const Segment& next = list[k + 1];
        if (!list[k].checkSegmentType('B') || list[k].getSegmentLength() != 1 || !prev.checkSegmentType('T')
            || !next.checkSegmentType('T') || prev.getSegmentLength() + next.getSegmentLength() < 3) {
            return false;
        }
        list[k - 1].end = next.end;
        list.erase(list.begin() + static_cast<long>(k), list.begin() + static_cast<long>(k) + 2);
        return true;
    });
    // Long text takes in neighbouring text and lone bytes.
    MergeUntilStable(list, [&list](size_t k) {
        if (!list[k].checkSegmentType('T') || list[k].getSegmentLength() < 5) {
            return false;
        }
        return AbsorbNeighbour(list, k, [](const Segment& s) {
            return s.checkSegmentType('T') || (s.checkSegmentType('B') && s.getSegmentLength() == 1);
        });
    });
    // Bytes take in neighbouring bytes and short text.
    MergeUntilStable(list, [&list](size_t k) {
        if (!list[k].checkSegmentType('B')) {
            return false;
        }
        return AbsorbNeighbour(list, k, [](const Segment& s) {
            return s.checkSegmentType('B') || (s.checkSegmentType('T') && s.getSegmentLength() < 5);
        });
    });
}

void Pdf417Engine::reserve(int size) const
{
    if (static_cast<int>(m_codewords.size()) + size > kMaxDataCodewords) {
        TooBig();
    }
}

void Pdf417Engine::assemble()
{
    m_codewords.assign(1, 0);
    const std::vector<Segment>& list = m_segmentList.list();
    for (size_t k = 0; k < list.size(); ++k) {
        const Segment& s = list[k];
        const int length = s.getSegmentLength();
        switch (s.type) {
        case 'T':
            // Text compaction is the mode a symbol starts in.
            if (k != 0) {
                reserve(1);
                m_codewords.push_back(kTextLatch);
            }
            textCompaction(s.start, length);
            break;
        case 'N':
            reserve(1);
            m_codewords.push_back(kNumericLatch);
            numberCompaction(s.start, length);
            break;
        default:
            reserve(1);
            m_codewords.push_back(length % 6 == 0 ? kByteLatch6 : kByteLatch);
            byteCompaction(s.start, length);
            break;
        }
    }
}

void Pdf417Engine::textCompaction(int start, int length)
{
    enum class SubMode
    {
        Upper,
        Lower,
        Mixed,
        Punctuation
    };
    const int end = start + length;
    // Half-codeword values; a byte shift and its byte take a whole codeword each.
    std::vector<int> values;
    values.reserve(static_cast<size_t>(length) * 2 + 2);
    int fullCodewords = 0;
    SubMode mode = SubMode::Upper;
    const auto emit = [&values](std::initializer_list<int> vs) { values.insert(values.end(), vs); };
    const auto punctuationFollows = [this, end](int k) {
        return (getTextTypeAndValue(end, k + 1) & getTextTypeAndValue(end, k + 2) & kPunctuation) != 0;
    };
    const int modeFlag[] = {kUpper, kLower, kMixed, kPunctuation};
    for (int k = start; k < end; ++k) {
        const int tv = getTextTypeAndValue(end, k);
        const int v = tv & 0xFF;
        if ((tv & modeFlag[static_cast<int>(mode)]) != 0) {
            emit({v});
            continue;
        }
        if ((tv & kByte) != 0) {
            if (values.size() % 2 == 1) {
                emit({kPunctuationShift});
                if (mode == SubMode::Punctuation) {
                    mode = SubMode::Upper;
                }
            }
            emit({kByteShift, v});
            fullCodewords += 2;
            continue;
        }
        switch (mode) {
        case SubMode::Upper:
        case SubMode::Lower:
            if (mode == SubMode::Upper && (tv & kLower) != 0) {
                emit({kLowerLatch, v});
                mode = SubMode::Lower;
            } else if (mode == SubMode::Lower && (tv & kUpper) != 0) {
                if ((getTextTypeAndValue(end, k + 1) & getTextTypeAndValue(end, k + 2) & kUpper) != 0) {
                    emit({kMixedLatch, kMixedLatch, v});
                    mode = SubMode::Upper;
                } else {
                    emit({kLowerLatch, v}); // upper shift
                }
            } else if ((tv & kMixed) != 0) {
                emit({kMixedLatch, v});
                mode = SubMode::Mixed;
            } else if (punctuationFollows(k)) {
                emit({kMixedLatch, kPunctuationLatch, v});
                mode = SubMode::Punctuation;
            } else {
                emit({kPunctuationShift, v});
            }
            break;
        case SubMode::Mixed:
            if ((tv & kLower) != 0) {
                emit({kLowerLatch, v});
                mode = SubMode::Lower;
            } else if ((tv & kUpper) != 0) {
                emit({kMixedLatch, v});
                mode = SubMode::Upper;
            } else if (punctuationFollows(k)) {
                emit({kPunctuationLatch, v});
                mode = SubMode::Punctuation;
            } else {
                emit({kPunctuationShift, v});
            }
            break;
        case SubMode::Punctuation:
            emit({kPunctuationShift}); // back to upper; the same byte again
            mode = SubMode::Upper;
            --k;
            break;
        }
    }
    if (values.size() % 2 == 1) {
        emit({kPunctuationShift});
    }
    reserve((static_cast<int>(values.size()) + fullCodewords) / 2);
    for (size_t i = 0; i + 1 < values.size(); i += 2) {
        if (values[i] >= 30) {
            m_codewords.push_back(values[i]); // byte shift, then the byte
            m_codewords.push_back(values[i + 1]);
        } else {
            m_codewords.push_back(30 * values[i] + values[i + 1]);
        }
    }
}

void Pdf417Engine::numberCompaction(int start, int length)
{
    const int rest = length % 44;
    reserve(length / 44 * 15 + (rest != 0 ? rest / 3 + 1 : 0));
    for (int k = 0; k < length; k += 44) {
        basicNumberCompaction(start + k, std::min(44, length - k));
    }
}

void Pdf417Engine::basicNumberCompaction(int start, int length)
{
    // The decimal number "1" followed by the digits, in base 900.
    std::vector<int> decimal(1, 1);
    for (int k = start; k < start + length; ++k) {
        decimal.push_back(m_text[static_cast<size_t>(k)] - '0');
    }
    std::vector<int> out(static_cast<size_t>(length / 3 + 1), 0);
    for (size_t i = out.size(); i-- > 0;) {
        int remainder = 0;
        for (int& d : decimal) {
            const int current = remainder * 10 + d;
            d = current / 900;
            remainder = current % 900;
        }
        out[i] = remainder;
    }
    m_codewords.insert(m_codewords.end(), out.begin(), out.end());
}

void Pdf417Engine::byteCompaction(int start, int length)
{
    reserve(length / 6 * 5 + length % 6);
    int k = 0;
    for (; k + 6 <= length; k += 6) {
        byteCompaction6(start + k);
    }
    for (; k < length; ++k) {
        m_codewords.push_back(m_text[static_cast<size_t>(start + k)]);
    }
}

void Pdf417Engine::byteCompaction6(int start)
{
    std::uint64_t value = 0;
    for (int k = 0; k < 6; ++k) {
        value = (value << 8) | m_text[static_cast<size_t>(start + k)];
    }
    int out[5];
    for (int i = 4; i >= 0; --i) {
        out[i] = static_cast<int>(value % 900);
        value /= 900;
    }
    m_codewords.insert(m_codewords.end(), out, out + 5);
}

void Pdf417Engine::compact()
{
    if (m_text.empty()) {
        barcode_log::Error(Stream::Out, kEmpty);
        throw std::runtime_error(kEmpty);
    }
    if (m_text.size() > static_cast<size_t>(kMaxInputBytes)) {
        TooBig();
    }
    breakString();
    assemble();
}

void Pdf417Engine::chooseGrid(int len, int level)
{
    int columns = std::clamp(m_settings.columns, 1, 30);
    int rows = std::clamp(m_settings.rows, 3, 90);
    const int need = len + (2 << level);
    const auto rowsForColumns = [&] {
        rows = (need - 1) / columns + 1;
        if (rows < 3) {
            rows = 3;
        } else if (rows > 90) {
            rows = 90;
            columns = (need - 1) / 90 + 1;
        }
    };
    switch (m_settings.sizeKind) {
    case SizeKind::Auto: {
        double a = m_settings.aspectRatio;
        a = !(a >= 0.001) ? 0.001 : std::min(a, 1000.0);
        const double b = 73.0 * a - 4.0;
        const double c =
            (-b + std::sqrt(b * b + 68.0 * a * need * static_cast<double>(m_settings.yHeight))) / (34.0 * a);
        columns = std::clamp(numeric::TruncToInt(c + 0.5), 1, 30);
        rowsForColumns();
        break;
    }
    case SizeKind::Columns: rowsForColumns(); break;
    case SizeKind::Rows:
        if ((need - 1) / rows >= 30) {
            columns = 30;
            rows = (need - 1) / 30 + 1;
        } else {
            columns = (need - 1) / rows + 1;
        }
        break;
    default: // ColumnsAndRows
        if (columns * rows < need) {
            rowsForColumns();
        }
        break;
    }
    if (columns * rows > kMaxCodewords) {
        columns = columns < 22 ? 16 : 29;
        rows = columns == 16 ? 58 : 32;
    }
    m_columns = columns;
    m_rows = rows;
}

void Pdf417Engine::paintCode()
{
    compact();
    const int len = static_cast<int>(m_codewords.size());
    const bool verbose = barcode_log::Verbose();
    if (verbose) {
        barcode_log::Progress(
            Stream::Out,
            Format("C++ props: Encoding=%s, SizeKind=%s, CodeColumns=%d, CodeRows=%d, UseAutoErrorLevel=%s, "
                   "ErrorLevel(now)=%d, AspectRatio=%.12g, YHeight=%d",
                   "utf-8", SizeKindName(m_settings.sizeKind), m_settings.columns, m_settings.rows,
                   m_settings.useAutoErrorLevel ? "True" : "False", m_settings.errorLevel, m_settings.aspectRatio,
                   m_settings.yHeight));
    }
    const int maxErr = maxPossibleErrorLevel(kMaxCodewords - len);
    int level = 0;
    if (m_settings.useAutoErrorLevel) {
        level = std::min(len < 41 ? 2 : len < 161 ? 3 : len < 321 ? 4 : 5, maxErr);
    } else {
        level = std::clamp(m_settings.errorLevel, 0, maxErr);
    }
    chooseGrid(len, level);
    const int total = m_columns * m_rows;
    // The grid holds at least len + 2 << level codewords, so the level only goes up here.
    const int finalLevel = maxPossibleErrorLevel(total - len);
    const int pads = total - len - (2 << finalLevel);
    if (pads < 0) {
        TooBig();
    }
    m_codewords.insert(m_codewords.end(), static_cast<size_t>(pads), kTextLatch);
    m_codewords[0] = len + pads;
    const std::vector<int> ec = ErrorCorrectionCodewords(m_codewords, finalLevel);
    m_codewords.insert(m_codewords.end(), ec.begin(), ec.end());

    m_symbol = Pdf417Symbol{};
    m_symbol.columns = m_columns;
    m_symbol.rows = m_rows;
    m_symbol.errorLevel = finalLevel;
    if (verbose) {
        std::string line = Format("C++ codewords len=%d: [", static_cast<int>(m_codewords.size()));
        for (size_t i = 0; i < m_codewords.size(); ++i) {
            line += (i != 0 ? ", " : "") + std::to_string(m_codewords[i]);
        }
        barcode_log::Debug(Stream::Out, line + "]");
    }
    outPaintCode();
    m_symbol.codewords = m_codewords;
}

void Pdf417Engine::outPaintCode()
{
    const int columns = m_columns;
    const int rows = m_rows;
    const int bitColumns = kPatternModules * columns + 69;
    const int lenCodewords = static_cast<int>(m_codewords.size());
    const bool verbose = barcode_log::Verbose();
    ModuleMatrix modules(bitColumns, rows);
    for (int k = 0; k < rows; ++k) {
        const int cluster = k % 3;
        const int base = 30 * (k / 3);
        int x = 0;
        const auto put = [&](std::uint32_t pattern, int count) {
            for (int b = count - 1; b >= 0; --b) {
                modules.set(x++, k, ((pattern >> b) & 1u) != 0);
            }
        };
        const int rowGroups = base + (rows - 1) / 3;
        const int levelAndRows = base + 3 * m_symbol.errorLevel + (rows - 1) % 3;
        const int columnCount = base + columns - 1;
        const int left = cluster == 0 ? rowGroups : cluster == 1 ? levelAndRows : columnCount;
        const int right = cluster == 0 ? columnCount : cluster == 1 ? rowGroups : levelAndRows;
        const int startCp = k * columns;
        std::string clusters;
        if (verbose) {
            barcode_log::Debug(Stream::Out, Format("[C++] row=%d startCp=%d codeColumns=%d lenCodewords=%d", k, startCp,
                                                   columns, lenCodewords));
            clusters = Format("C++ clusters row=%d, cluster=%d: [", k, cluster);
        }
        put(kStartPattern, kStartModules);
        put(CodewordPattern(cluster, left), kPatternModules);
        for (int c = 0; c < columns; ++c) {
            const int codePtr = startCp + c;
            if (codePtr >= lenCodewords) {
                barcode_log::Error(Stream::Out,
                                   Format("[C++] codePtr overflow: row=%d col=%d codePtr=%d lenCodewords=%d", k, c,
                                          codePtr, lenCodewords));
                break;
            }
            const int cw = m_codewords[static_cast<size_t>(codePtr)];
            if (cw < 0 || cw >= kCodewordValues) {
                barcode_log::Error(Stream::Out,
                                   Format("[C++] BAD codeword: row=%d col=%d codePtr=%d cw=%d "
                                          "(clusterSize=%zu lenCodewords=%d)",
                                          k, c, codePtr, cw, static_cast<size_t>(kCodewordValues), lenCodewords));
                break;
            }
            const std::uint32_t pattern = CodewordPattern(cluster, cw);
            if (verbose) {
                clusters += Format(c != 0 ? ", 0x%05x" : "0x%05x", static_cast<unsigned>(pattern));
            }
            put(pattern, kPatternModules);
        }
        x = kStartModules + kPatternModules * (columns + 1);
        put(CodewordPattern(cluster, right), kPatternModules);
        put(kStopPattern, kStopModules);
        if (verbose) {
            barcode_log::Debug(Stream::Out, clusters + "]");
        }
    }
    if (verbose) {
        const int rowBytes = (bitColumns + 7) / 8;
        barcode_log::Debug(Stream::Out, Format("C++ outbits meta: bitColumns=%d, codeRows=%d, lenBytes=%zu", bitColumns,
                                               rows, static_cast<size_t>(rowBytes) * rows));
        for (int k = 0; k < rows; ++k) {
            std::string line = Format("C++ outbits row=%d: ", k);
            for (int byte = 0; byte < rowBytes; ++byte) {
                unsigned v = 0;
                for (int b = 0; b < 8; ++b) {
                    const int x = byte * 8 + b;
                    v = (v << 1) | (x < bitColumns && modules.get(x, k) ? 1u : 0u);
                }
                line += Format(byte != 0 ? " %02X" : "%02X", v);
            }
            barcode_log::Debug(Stream::Out, line);
        }
    }
    m_symbol.modules = std::move(modules);
}

Pdf417Symbol Encode(const std::vector<std::uint8_t>& data, const LayoutSettings& settings)
{
    Pdf417Engine engine(settings);
    engine.setText(data);
    engine.paintCode();
    return engine.symbol();
}

std::vector<int> DataCodewords(const std::vector<std::uint8_t>& data)
{
    Pdf417Engine engine{LayoutSettings{}};
    engine.setText(data);
    engine.compact();
    std::vector<int> codewords = engine.codewords();
    codewords[0] = static_cast<int>(codewords.size());
    return codewords;
}

} // namespace internal_pdf417
