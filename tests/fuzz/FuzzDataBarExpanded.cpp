// SPDX-License-Identifier: MIT
// libFuzzer harness of the GS1 DataBar Expanded element string ("01" and a GTIN, "{AI}" markers,
// '[' for FNC1): databar::EncodeExpandedBits, ExpandedElements and ExpandedRows. Properties:
// - EncodeExpandedBits either throws std::runtime_error "Invalid characters in input data",
//   "Wrong check digit in GTIN (01)..." (only for a wrong one), or
//   "Input too long", or gives a source equal to the text without its markers and a bit string
//   of '0' and '1' whose length is a multiple of 12 from 36 to 252;
// - a decoder of its own (ISO/IEC 24724: the encodation methods 1 to 14 and the general-purpose
//   field in numeric, alphanumeric and ISO/IEC 646 modes) reads the bits back to the source,
//   with the GTIN check digit recomputed (the text's own is carried but not encoded), the two
//   variable-length bits telling the parity and size of the symbol, and only padding after the
//   data;
// - the elements are 5F + 8S + 4 widths for S symbol characters and F = ceil(S / 2) finders,
//   with the guards, characters of 17 modules (elements of 1 to 8) and finders of 15;
// - the rows of the unstacked and stacked layouts hold the same modules as the elements.
//
// Input: the first byte picks the form: odd gives the rest of the input as the text; even builds
// an element string (GTIN, weights, dates, prices, general data) from the rest.
#include "FuzzSupport.h"
#include "databar/DataBarExpandedEncoder.h"

#include <stdexcept>
#include <vector>

namespace {

constexpr char kName[] = "fuzz_databar_expanded";

class BitReader
{
public:
    explicit BitReader(const std::string& bits) : m_bits(bits) {}

    std::size_t Left() const { return m_bits.size() - m_pos; }

    std::size_t Position() const { return m_pos; }

    // The next `n` bits as a number (the caller checks that they are there).
    unsigned Peek(std::size_t n) const
    {
        unsigned v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            v = v << 1 | (m_bits[m_pos + i] == '1' ? 1u : 0u);
        }
        return v;
    }

    unsigned Read(std::size_t n)
    {
        if (Left() < n) {
            fuzz::Broken(kName, "the bits end inside a field");
        }
        const unsigned v = Peek(n);
        m_pos += n;
        return v;
    }

private:
    const std::string& m_bits;
    std::size_t m_pos = 0;
};

std::string Digits(unsigned value, int count)
{
    std::string s(static_cast<std::size_t>(count), '0');
    for (int i = count - 1; i >= 0; --i) {
        s[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return s;
}

// GS1 modulo-10 check digit of the 13 digits: weights 3, 1, 3, ... from the right.
char CheckDigit(const std::string& digits)
{
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        sum += (digits[digits.size() - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// "01", the indicator and the 12 digits of four 10-bit groups, and the check digit.
std::string Gtin(BitReader& r, char indicator)
{
    std::string digits(1, indicator);
    for (int i = 0; i < 4; ++i) {
        const unsigned group = r.Read(10);
        if (group > 999) {
            fuzz::Broken(kName, "a GTIN group above 999");
        }
        digits += Digits(group, 3);
    }
    return "01" + digits + CheckDigit(digits);
}

enum class Mode
{
    Numeric,
    Alphanumeric,
    Iso
};

// The general-purpose field from the reader's position to the padding.
std::string GeneralField(BitReader& r)
{
    static const char kIsoPunctuation[] = "!\"%&'()*+,-./:;<=>?_ ";
    static const char kAlphaPunctuation[] = "*,-./";
    std::string out;
    Mode mode = Mode::Numeric;
    for (;;) {
        const std::size_t left = r.Left();
        if (mode == Mode::Numeric) {
            if (left >= 7 && r.Peek(4) != 0) {
                const unsigned v = r.Read(7) - 8;
                for (unsigned d : {v / 11, v % 11}) {
                    out += d == 10 ? '[' : static_cast<char>('0' + d);
                }
            } else if (left >= 7) {
                r.Read(4); // latch to alphanumeric
                mode = Mode::Alphanumeric;
            } else if (left >= 4 && r.Peek(4) != 0) {
                const unsigned v = r.Read(4);
                if (v > 10) {
                    fuzz::Broken(kName, "a 4-bit final digit above 9");
                }
                out += static_cast<char>('0' + v - 1);
            } else {
                return out;
            }
            continue;
        }
        if (left >= 3 && r.Peek(3) == 0) {
            r.Read(3); // latch to numeric
            mode = Mode::Numeric;
            continue;
        }
        if (left >= 5 && r.Peek(5) == 4) {
            r.Read(5); // latch to the other of alphanumeric and ISO/IEC 646
            mode = mode == Mode::Alphanumeric ? Mode::Iso : Mode::Alphanumeric;
            continue;
        }
        if (left >= 5 && r.Peek(5) >= 5 && r.Peek(5) <= 15) {
            const unsigned v = r.Read(5);
            if (v == 15) {
                out += '[';
                mode = Mode::Numeric;
            } else {
                out += static_cast<char>('0' + v - 5);
            }
            continue;
        }
        if (mode == Mode::Alphanumeric && left >= 6 && r.Peek(6) >= 32 && r.Peek(6) <= 62) {
            const unsigned v = r.Read(6);
            out += v <= 57 ? static_cast<char>('A' + v - 32) : kAlphaPunctuation[v - 58];
            continue;
        }
        if (mode == Mode::Iso && left >= 7 && r.Peek(7) >= 64 && r.Peek(7) <= 115) {
            const unsigned v = r.Read(7);
            out += v <= 89 ? static_cast<char>('A' + v - 64) : static_cast<char>('a' + v - 90);
            continue;
        }
        if (mode == Mode::Iso && left >= 8 && r.Peek(8) >= 232 && r.Peek(8) <= 252) {
            out += kIsoPunctuation[r.Read(8) - 232];
            continue;
        }
        return out;
    }
}

// The element string of a bit string, FNC1 as '['. An element string that ends right after its
// fixed fields ("", or AI 392x/393x without a price) has an empty general field that is padded
// from numeric mode without the numeric latch, so its padding would read as digits: the caller
// says so in `noGeneralField`, and the padding is only checked then.
std::string DecodeBits(const std::string& bits, bool noGeneralField)
{
    BitReader r(bits);
    if (r.Read(1) != 0) {
        fuzz::Broken(kName, "the linkage flag is set");
    }
    std::string out;
    std::size_t lengthBits = 0; // where the variable-length bits are, 0 for none
    bool general = true;
    if (r.Read(1) == 1) { // method 1
        lengthBits = 2;
        r.Read(2);
        const unsigned indicator = r.Read(4);
        if (indicator > 9) {
            fuzz::Broken(kName, "indicator digit above 9");
        }
        out = Gtin(r, static_cast<char>('0' + indicator));
    } else if (r.Read(1) == 0) { // method 2
        lengthBits = 3;
        r.Read(2);
    } else if (r.Read(1) == 0) { // methods 3 and 4
        const bool method4 = r.Read(1) == 1;
        out = Gtin(r, '9');
        const unsigned w = r.Read(15);
        out += method4 ? (w >= 10000 ? "3203" + Digits(w - 10000, 6) : "3202" + Digits(w, 6)) : "3103" + Digits(w, 6);
        general = false;
    } else if (r.Read(1) == 0) { // methods 5 and 6
        const bool method6 = r.Read(1) == 1;
        lengthBits = 6;
        r.Read(2);
        out = Gtin(r, '9');
        out += (method6 ? "393" : "392") + Digits(r.Read(2), 1);
        if (method6) {
            const unsigned currency = r.Read(10);
            if (currency > 999) {
                fuzz::Broken(kName, "a currency above 999");
            }
            out += Digits(currency, 3);
        }
    } else { // methods 7 to 14
        const unsigned k = r.Read(3);
        out = Gtin(r, '9');
        const unsigned weight = r.Read(20);
        out += ((k & 1) != 0 ? "320" : "310") + Digits(weight / 100000, 1) + Digits(weight % 100000, 6);
        const unsigned date = r.Read(16);
        if (date != 38400) {
            out += std::string("1") + "1357"[k >> 1] + Digits(date / 384, 2) + Digits(date % 384 / 32 + 1, 2)
                   + Digits(date % 32, 2);
        }
        general = false;
    }
    if (general && !noGeneralField) {
        std::string field = GeneralField(r);
        if (!field.empty() && field.back() == '[') {
            field.pop_back(); // a last odd digit is sent as a pair with FNC1
        }
        out += field;
    }
    // Only padding is left: "00100" repeated, after numeric data "0000" first, cut anywhere.
    const std::string rest = bits.substr(r.Position());
    std::string pad;
    while (pad.size() < rest.size() + 4) {
        pad += "00100";
    }
    if (rest != pad.substr(0, rest.size()) && (noGeneralField || rest != ("0000" + pad).substr(0, rest.size()))) {
        fuzz::Broken(kName, "bits after the data that are no padding: " + rest);
    }
    if (lengthBits != 0) {
        const std::size_t symbols = bits.size() / 12 + 1;
        if ((bits[lengthBits] == '1') != (symbols % 2 == 1) || (bits[lengthBits + 1] == '1') != (symbols > 14)) {
            fuzz::Broken(kName, "variable-length bits " + bits.substr(lengthBits, 2) + " for " + std::to_string(symbols)
                                    + " symbol characters");
        }
    }
    return out;
}

void CheckElements(const std::vector<int>& elements, std::size_t dataCharacters)
{
    const std::size_t s = dataCharacters + 1;
    const std::size_t f = (s + 1) / 2;
    if (elements.size() != 5 * f + 8 * s + 4) {
        fuzz::Broken(kName, std::to_string(elements.size()) + " elements for " + std::to_string(s) + " characters");
    }
    const std::size_t n = elements.size();
    if (elements[0] != 1 || elements[1] != 1 || elements[n - 2] != 1 || elements[n - 1] != 1) {
        fuzz::Broken(kName, "guards that are not one module each");
    }
    // After the guard space and bar: the check character, then finder k before data
    // characters 2k and 2k + 1 (the last finder may have none after it).
    std::size_t at = 2;
    const auto piece = [&](std::size_t count, int modules, int widest, const char* what) {
        int sum = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int w = elements[at + i];
            if (w < 1 || w > widest) {
                fuzz::Broken(kName, std::string("an element of ") + std::to_string(w) + " modules in a " + what);
            }
            sum += w;
        }
        if (sum != modules) {
            fuzz::Broken(kName, std::string("a ") + what + " of " + std::to_string(sum) + " modules");
        }
        at += count;
    };
    piece(8, 17, 8, "check character");
    for (std::size_t k = 0; k < f; ++k) {
        piece(5, 15, 9, "finder");
        for (std::size_t i = 2 * k; i < 2 * k + 2 && i < dataCharacters; ++i) {
            piece(8, 17, 8, "data character");
        }
    }
    if (at != n - 2) {
        fuzz::Broken(kName, "elements beyond the characters and finders");
    }
}

long long Modules(const std::vector<int>& runs)
{
    long long sum = 0;
    for (int r : runs) {
        if (r < 0) {
            fuzz::Broken(kName, "a negative run in a row");
        }
        sum += r;
    }
    return sum;
}

const char kGeneral[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!\"%&'()*+,-./:;<=>?_ [";

std::string GeneralData(fuzz::Bytes& in, std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n && !in.AtEnd(); ++i) {
        const std::uint8_t b = in.Byte();
        s += b < 240 ? kGeneral[b % (sizeof kGeneral - 1)] : "#$@\\^`]\x80"[b % 8];
    }
    return s;
}

std::string DigitString(fuzz::Bytes& in, std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += static_cast<char>('0' + in.Byte() % 10);
    }
    return s;
}

// An element string that reaches the compressed methods as often as the general field.
std::string ElementString(fuzz::Bytes& in)
{
    std::string text;
    const unsigned head = in.Byte();
    if (head % 4 != 0) {
        std::string gtin =
            std::string(1, head % 8 < 6 ? '9' : static_cast<char>('0' + in.Byte() % 10)) + DigitString(in, 12);
        gtin += (head & 16) != 0 ? static_cast<char>('0' + in.Byte() % 10) : CheckDigit(gtin);
        text = ((head & 32) != 0 ? "{AI}01" : "01") + gtin;
    }
    for (unsigned elements = in.Byte() % 4; elements > 0 && !in.AtEnd(); --elements) {
        const unsigned kind = in.Byte() % 10;
        std::string element;
        switch (kind) {
        case 0:
        case 1: { // net weights in kilograms and pounds
            const unsigned w = in.U16() % 40000;
            element = (kind == 0 ? "310" : "320") + DigitString(in, 1) + Digits(w, 6);
            break;
        }
        case 2:
        case 3: // dates
            element = std::string("1") + "1357"[in.Byte() % 4] + DigitString(in, 2) + Digits(in.Byte() % 14, 2)
                      + Digits(in.Byte() % 33, 2);
            break;
        case 4: element = "392" + DigitString(in, 1) + DigitString(in, in.Byte() % 16); break;
        case 5: element = "393" + DigitString(in, 1) + DigitString(in, 3 + in.Byte() % 16); break;
        default:
            element = DigitString(in, 2 + in.Byte() % 3) + GeneralData(in, in.Byte() % 24);
            if ((in.Byte() & 1) != 0) {
                element += '[';
            }
            break;
        }
        text += "{AI}" + element;
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes in(data, size);
    const std::string text = (in.Byte() & 1) != 0 ? in.Rest() : ElementString(in);

    databar::ExpandedBits bits;
    try {
        bits = databar::EncodeExpandedBits(text);
    } catch (const std::runtime_error& e) {
        const std::string why = e.what();
        if (why.rfind("Wrong check digit in GTIN (01)", 0) == 0) {
            // Refused only when the check digit is really wrong: it names the right one.
            const std::string gtin = why.substr(30, 14);
            int sum = 0;
            for (int i = 0; i < 13; ++i) {
                sum += (gtin[static_cast<std::size_t>(i)] - '0') * (i % 2 == 0 ? 3 : 1);
            }
            const char expected = static_cast<char>('0' + (10 - sum % 10) % 10);
            if (why.size() != 56 || why.substr(44) != ": expected " + std::string(1, expected) || gtin[13] == expected) {
                fuzz::Broken(kName, "EncodeExpandedBits(\"" + fuzz::Shown(text) + "\") threw \"" + why + "\"");
            }
            return 0;
        }
        if (why != "Invalid characters in input data" && why != "Input too long") {
            fuzz::Broken(kName, "EncodeExpandedBits(\"" + fuzz::Shown(text) + "\") threw \"" + why + "\"");
        }
        return 0;
    }
    std::string source;
    for (std::size_t p = 0; p < text.size();) {
        if (text.compare(p, 4, "{AI}") == 0) {
            p += 4;
        } else {
            source += text[p++];
        }
    }
    if (bits.source != source) {
        fuzz::Broken(kName, "the source is not the text without its markers");
    }
    if (bits.bits.size() % 12 != 0 || bits.bits.size() < 36 || bits.bits.size() > 252
        || bits.bits.find_first_not_of("01") != std::string::npos || bits.method < 1 || bits.method > 14) {
        fuzz::Broken(kName, "method " + std::to_string(bits.method) + ", bits " + bits.bits);
    }

    const bool noGeneralField = (bits.method == 2 && source.empty()) || (bits.method == 5 && source.size() == 20)
                                || (bits.method == 6 && source.size() == 23);
    const std::string decoded = DecodeBits(bits.bits, noGeneralField);
    std::string expected = source;
    if (bits.method != 2) {
        expected[15] = CheckDigit(expected.substr(2, 13)); // carried in the text, not encoded
    }
    if (decoded != expected) {
        fuzz::Broken(kName, "the bits of \"" + fuzz::Shown(text) + "\" (method " + std::to_string(bits.method)
                                + ") decode to \"" + fuzz::Shown(decoded) + "\"");
    }

    const std::vector<int> elements = databar::ExpandedElements(bits.bits);
    CheckElements(elements, bits.bits.size() / 12);
    long long modules = 0;
    for (int e : elements) {
        modules += e;
    }
    const databar::RowSymbol unstacked = databar::ExpandedRows(elements, false, 2);
    if (unstacked.rows.size() != 1 || Modules(unstacked.rows[0]) != modules) {
        fuzz::Broken(kName, "the unstacked row does not hold the elements");
    }
    const int columns = static_cast<int>(in.Byte() % 12);
    const databar::RowSymbol stacked = databar::ExpandedRows(elements, true, columns);
    if (stacked.rows.empty() || stacked.rows.size() != stacked.heights.size()) {
        fuzz::Broken(kName, "stacked rows without heights");
    }
    for (const std::vector<int>& row : stacked.rows) {
        if (Modules(row) > modules) {
            fuzz::Broken(kName, "a stacked row wider than the whole symbol");
        }
    }
    return 0;
}
