// SPDX-License-Identifier: MIT
#include "databar/DataBarExpandedEncoder.h"

#include "databar/DataBarCommon.h"

#include <cstring>
#include <stdexcept>

namespace databar {
namespace {

constexpr char kInvalid[] = "Invalid characters in input data";
constexpr char kMarker[] = "{AI}";
constexpr size_t kMaxBits = 252;

// Encodation of a general-field character; the last two are not yet decided.
enum class Mode
{
    Numeric,
    Alphanumeric,
    IsoIec,
    Invalid,
    AnyEncodation, // a digit or FNC1
    AlphaOrIso,    // encodable in alphanumeric and in ISO/IEC 646 mode
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Two characters numeric mode takes as one value (FNC1 counts as 10; "[[" is refused earlier).
bool IsNumericPair(char a, char b)
{
    return (IsDigit(a) || a == '[') && (IsDigit(b) || b == '[');
}

void Append(std::string& bits, unsigned value, int count)
{
    for (int bit = count - 1; bit >= 0; --bit) {
        bits += ((value >> bit) & 1U) != 0 ? '1' : '0';
    }
}

unsigned Number(const std::string& s, size_t pos, size_t len)
{
    return static_cast<unsigned>(std::stoul(s.substr(pos, len)));
}

// Bits still needed after `length` bits: up to the 36-bit minimum, then to a multiple of 12.
size_t PadTarget(size_t length)
{
    return length < 36 ? 36 - length : (12 - length % 12) % 12;
}

Mode InitialMode(char c)
{
    const auto u = static_cast<unsigned char>(c);
    // ']' has no code in any mode: accepted, it would vanish from the data.
    if (u < 32 || u > 122 || std::strchr("#$@\\^`]", c) != nullptr) {
        return Mode::Invalid;
    }
    if ((c >= 'A' && c <= 'Z') || std::strchr("*,-./", c) != nullptr) {
        return Mode::AlphaOrIso;
    }
    if (IsDigit(c) || c == '[') {
        return Mode::AnyEncodation;
    }
    return Mode::IsoIec;
}

struct Block
{
    size_t count;
    Mode mode;
};

// Decides the mode of every character of the general field; true when the field ends in a
// numeric block of odd length (its last digit is encoded on its own).
bool ApplyGeneralFieldRules(std::vector<Mode>& modes)
{
    std::vector<Block> blocks;
    for (Mode m : modes) {
        if (blocks.empty() || blocks.back().mode != m) {
            blocks.push_back({0, m});
        }
        ++blocks.back().count;
    }
    if (blocks.empty()) {
        return false;
    }
    Mode current = blocks[0].mode;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const bool last = i + 1 == blocks.size();
        Block* next = last ? nullptr : &blocks[i + 1];
        if (current == Mode::IsoIec && next != nullptr) {
            if (next->mode == Mode::AlphaOrIso) {
                next->mode = next->count >= 5 ? Mode::Alphanumeric : Mode::IsoIec;
            } else if (next->mode == Mode::AnyEncodation) {
                next->mode = next->count >= 4 ? Mode::Numeric : Mode::IsoIec;
            }
        } else if (current == Mode::AnyEncodation) {
            blocks[i].mode = Mode::Numeric;
        } else if (current == Mode::AlphaOrIso) {
            blocks[i].mode = Mode::Alphanumeric;
        } else if (current == Mode::Alphanumeric && next != nullptr && next->mode == Mode::AnyEncodation) {
            const bool nextIsLast = i + 2 == blocks.size();
            next->mode = next->count >= 6 || (nextIsLast && next->count >= 4) ? Mode::Numeric : Mode::Alphanumeric;
        }
        if (next != nullptr) {
            current = next->mode;
        }
    }
    std::vector<Block> merged;
    for (const Block& b : blocks) {
        if (!merged.empty() && merged.back().mode == b.mode) {
            merged.back().count += b.count;
        } else {
            merged.push_back(b);
        }
    }
    for (size_t i = 0; i + 1 < merged.size(); ++i) {
        if (merged[i].mode == Mode::Numeric && merged[i].count % 2 == 1) {
            --merged[i].count;
            ++merged[i + 1].count;
        }
    }
    modes.clear();
    for (const Block& b : merged) {
        modes.insert(modes.end(), b.count, b.mode);
    }
    return merged.back().mode == Mode::Numeric && merged.back().count % 2 == 1;
}

// 6-bit alphanumeric and 8-bit ISO/IEC 646 codes of the punctuation both modes share or only
// ISO/IEC 646 has.
constexpr char kAlphaPunctuation[] = "*,-./";
constexpr char kIsoPunctuation[] = "!\"%&'()*+,-./:;<=>?_ ";

// Appends the general field (ISO/IEC 24724 general-purpose data compaction); true when it ends
// in numeric mode.
bool EncodeGeneralField(const std::string& field, std::string& bits)
{
    std::vector<Mode> modes;
    for (char c : field) {
        modes.push_back(InitialMode(c));
        if (modes.back() == Mode::Invalid) {
            throw std::runtime_error(kInvalid);
        }
    }
    // Two FNC1 in a row and a final FNC1 have no code that fits their fields.
    if (field.find("[[") != std::string::npos || field.back() == '[') {
        throw std::runtime_error(kInvalid);
    }
    const bool pendingDigit = ApplyGeneralFieldRules(modes);

    Mode last = Mode::Numeric;
    if (modes[0] == Mode::Alphanumeric) {
        bits += "0000";
        last = Mode::Alphanumeric;
    } else if (modes[0] == Mode::IsoIec) {
        bits += "000000100";
        last = Mode::IsoIec;
    }
    const size_t end = field.size() - (pendingDigit ? 1 : 0);
    for (size_t i = 0; i < end;) {
        const char c = field[i];
        const Mode mode = modes[i];
        if (mode == Mode::Numeric) {
            if (last != Mode::Numeric) {
                bits += "000";
            }
            last = Mode::Numeric;
            if (i + 1 >= end) {
                throw std::runtime_error(kInvalid);
            }
            const auto value = [](char d) { return d == '[' ? 10U : static_cast<unsigned>(d - '0'); };
            Append(bits, 11 * value(c) + value(field[i + 1]) + 8, 7);
            i += 2;
            continue;
        }
        if (mode == Mode::Alphanumeric && last != Mode::Alphanumeric) {
            bits += last == Mode::Numeric ? "0000" : "00100";
        } else if (mode == Mode::IsoIec && last != Mode::IsoIec) {
            bits += last == Mode::Numeric ? "000000100" : "00100";
        }
        last = mode;
        if (IsDigit(c)) {
            Append(bits, static_cast<unsigned>(c - '0') + 5, 5);
        } else if (c == '[') {
            bits += "01111";
            last = Mode::Numeric;
            // FNC1 returns to numeric mode: the digits of the next AI stay there. (Readers take a
            // latch straight after an FNC1 for a stray numeric latch and misread the rest.)
            for (size_t j = i + 1;
                 j + 1 < end && modes[j + 1] != Mode::Numeric && IsNumericPair(field[j], field[j + 1]); j += 2) {
                modes[j] = modes[j + 1] = Mode::Numeric;
            }
        } else if (c >= 'A' && c <= 'Z') {
            Append(bits, static_cast<unsigned>(c) - (mode == Mode::Alphanumeric ? 33 : 1),
                   mode == Mode::Alphanumeric ? 6 : 7);
        } else if (mode == Mode::IsoIec && c >= 'a' && c <= 'z') {
            Append(bits, static_cast<unsigned>(c) - 7, 7);
        } else if (mode == Mode::Alphanumeric && std::strchr(kAlphaPunctuation, c) != nullptr) {
            Append(bits, 0x3A + static_cast<unsigned>(std::strchr(kAlphaPunctuation, c) - kAlphaPunctuation), 6);
        } else if (mode == Mode::IsoIec && std::strchr(kIsoPunctuation, c) != nullptr) {
            Append(bits, 0xE8 + static_cast<unsigned>(std::strchr(kIsoPunctuation, c) - kIsoPunctuation), 8);
        } else {
            throw std::runtime_error(kInvalid);
        }
        ++i;
    }
    if (pendingDigit) {
        const unsigned d = static_cast<unsigned>(field.back() - '0');
        if (last != Mode::Numeric) {
            Append(bits, d + 5, 5);
            last = Mode::Alphanumeric;
        } else {
            const size_t r = PadTarget(bits.size());
            if (r >= 4 && r <= 6) {
                Append(bits, d + 1, 4);
            } else {
                Append(bits, 11 * d + 10 + 8, 7);
            }
        }
    }
    return last == Mode::Numeric;
}

// The GTIN without its indicator and check digit: four 10-bit groups of three digits.
void AppendGtin(const std::string& source, std::string& bits)
{
    for (size_t pos = 3; pos < 15; pos += 3) {
        Append(bits, Number(source, pos, 3), 10);
    }
}

bool AllDigitsIn(const std::string& s, size_t from, size_t to)
{
    return to <= s.size() && AllDigits(s.substr(from, to - from));
}

// A YYMMDD date the compressed methods can hold.
bool DateFits(const std::string& source, size_t pos)
{
    const unsigned month = Number(source, pos + 2, 2);
    const unsigned day = Number(source, pos + 4, 2);
    return month >= 1 && month <= 12 && day <= 31;
}

// The encodation method (ISO/IEC 24724 compressed fields) of a source; 1 or 2 when none fits.
int ChooseMethod(const std::string& s)
{
    const size_t length = s.size();
    if (length < 16 || s.compare(0, 2, "01") != 0) {
        return 2;
    }
    if (length < 20 || s[2] != '9' || s[16] != '3' || !AllDigitsIn(s, 0, 20)) {
        return 1;
    }
    const bool weight = length >= 26 && AllDigitsIn(s, 20, 26) && Number(s, 20, 6) < 99999;
    const unsigned w = weight ? Number(s, 20, 6) : 0;
    const char x = s[19];
    // The date AIs 11, 13, 15 and 17 after a weight: methods 7 to 14.
    const bool dated = length == 34 && AllDigitsIn(s, 26, 34) && s[26] == '1' && std::strchr("1357", s[27]) != nullptr
                       && DateFits(s, 28);
    const int dateIndex = dated ? (s[27] - '1') : 0; // 0, 2, 4, 6
    if (weight && s.compare(17, 2, "10") == 0) {
        if (x == '3' && length == 26 && w <= 32767) {
            return 3;
        }
        return dated ? 7 + dateIndex : 1;
    }
    if (weight && s.compare(17, 2, "20") == 0) {
        if (length == 26 && ((x == '2' && w <= 9999) || (x == '3' && w <= 22767))) {
            return 4;
        }
        return dated ? 8 + dateIndex : 1;
    }
    if ((s.compare(17, 2, "92") == 0 || s.compare(17, 2, "93") == 0) && x >= '0' && x <= '3') {
        return s[18] == '2' ? 5 : 6;
    }
    return 1;
}

// The printed text before the compressed methods rewrite it: AI 01 in parentheses, and every
// marker replaced by its AI's first two digits in parentheses.
std::string MarkedText(const std::string& text, const std::string& source)
{
    std::string out;
    size_t pos = 0;
    if (source.size() >= 16 && source.compare(0, 2, "01") == 0) {
        out = "(01)";
        pos = text.compare(0, 4, kMarker) == 0 ? 6 : 2;
    }
    while (pos < text.size()) {
        if (text.compare(pos, 4, kMarker) == 0) {
            out += "(" + text.substr(pos + 4, 2) + ")";
            pos += 6;
        } else {
            out += text[pos++];
        }
    }
    return out;
}

} // namespace

ExpandedBits EncodeExpandedBits(const std::string& text)
{
    ExpandedBits out;
    for (size_t pos = 0; pos < text.size();) {
        if (text.compare(pos, 4, kMarker) == 0) {
            pos += 4;
        } else {
            out.source += text[pos++];
        }
    }
    const std::string& s = out.source;
    const size_t length = s.size();
    out.humanReadable = MarkedText(text, s);
    out.method = ChooseMethod(s);
    // Where the general field begins: everything before it is a compressed digit.
    const size_t readFrom = out.method == 1   ? 16
                            : out.method == 2 ? 0
                            : out.method == 5 ? 20
                            : out.method == 6 ? 23
                                              : length;
    if (!AllDigitsIn(s, 0, readFrom)) {
        throw std::runtime_error(kInvalid);
    }

    const std::string gtin = "(01)" + s.substr(std::min<size_t>(2, length), 14);
    // The compressed methods leave the GTIN's check digit out (readers compute it), so a wrong
    // one would be replaced in the bars while the text under them shows it: refuse it instead.
    if (out.method != 2 && GtinWithCheckDigit(s.substr(2, 13)) != s.substr(2, 14)) {
        throw std::runtime_error("Wrong check digit in GTIN " + gtin + ": expected "
                                 + GtinWithCheckDigit(s.substr(2, 13)).substr(13));
    }
    std::string& bits = out.bits;
    bits = "0";             // linkage flag: no composite component
    size_t lengthField = 0; // where the two variable-length bits go
    if (out.method == 1) {
        bits += "1XX";
        lengthField = 2;
        Append(bits, Number(s, 2, 1), 4);
        AppendGtin(s, bits);
    } else if (out.method == 2) {
        bits += "00XX";
        lengthField = 3;
    } else if (out.method <= 4) {
        bits += out.method == 3 ? "0100" : "0101";
        AppendGtin(s, bits);
        Append(bits, Number(s, 20, 6) + (out.method == 4 && s[19] == '3' ? 10000 : 0), 15);
        out.humanReadable = gtin + "(3" + s.substr(17, 3) + ")" + s.substr(20);
    } else if (out.method <= 6) {
        bits += out.method == 5 ? "01100XX" : "01101XX";
        lengthField = 6;
        AppendGtin(s, bits);
        Append(bits, Number(s, 19, 1), 2);
        if (out.method == 6) {
            Append(bits, Number(s, 20, 3), 10); // ISO 4217 currency
        }
        out.humanReadable = gtin + "(39" + s.substr(18, 2) + ")" + s.substr(20);
    } else {
        static const char* const kDateAi[] = {"(11)", "(13)", "(15)", "(17)"};
        Append(bits, 0x38U + static_cast<unsigned>(out.method - 7), 7);
        AppendGtin(s, bits);
        Append(bits, Number(s, 19, 1) * 100000 + Number(s, 21, 5), 20);
        Append(bits, Number(s, 28, 2) * 384 + (Number(s, 30, 2) - 1) * 32 + Number(s, 32, 2), 16);
        out.humanReadable =
            gtin + "(3" + s.substr(17, 3) + ")" + s.substr(20, 6) + kDateAi[(s[27] - '1') / 2] + s.substr(28, 6);
    }
    const bool numericPad = readFrom < length && EncodeGeneralField(s.substr(readFrom), bits);
    if (bits.size() > kMaxBits) {
        throw std::runtime_error("Input too long");
    }
    const size_t padding = PadTarget(bits.size());
    std::string pad = numericPad ? "0000" : "";
    while (pad.size() < padding) {
        pad += "00100";
    }
    bits += pad.substr(0, padding);
    if (lengthField != 0) {
        const size_t n = bits.size();
        bits[lengthField] = (n / 12) % 2 == 1 ? '0' : '1';
        bits[lengthField + 1] = n > 156 ? '1' : '0';
    }
    return out;
}

} // namespace databar
