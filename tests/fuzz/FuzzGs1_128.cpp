// SPDX-License-Identifier: MIT
// libFuzzer harness of the GS1-128 text syntax ("{FNC1}" and "{AI}" tokens in a Code 128 text):
// gs1_128::Encode, CalcCheckDigit, BuildDisplayText and the symbol's widths. Properties:
// - Encode throws exactly when the text holds a byte of 0x80 or more, with the message naming
//   the first one; otherwise it never throws;
// - read back by a Code 128 decoder of its own (code sets A, B, C and their switches, ISO/IEC
//   15417), the values give the text again: "{FNC1}" as FNC1, "{AI}" as nothing, every other
//   byte as itself; no value is one the encoder never writes (FNC2 to FNC4, SHIFT);
// - the check value is the start value plus each value times its position, modulo 103, and
//   CalcCheckDigit agrees with Encode;
// - the widths are whole Code 128 characters: six elements of 1 to 4 modules making 11, with an
//   even number of bar modules, then the 13-module stop;
// - the display text of a well-formed element string (each token followed by a real AI from
//   the GS1 table and data without '{') puts each AI in parentheses and copies the rest; a text
//   without '{' is its own display text.
//
// Input: the first byte picks the form: odd gives the rest of the input as the text; even builds
// a well-formed element string from the rest (see ElementString).
#include "FuzzSupport.h"
#include "code128/GS1_128Encoder.h"

#include <stdexcept>
#include <vector>

namespace {

constexpr char kName[] = "fuzz_gs1_128";
constexpr int kFnc1 = 256; // FNC1 among the decoded bytes

enum class Set
{
    A,
    B,
    C
};

// The bytes and FNC1s the values of a symbol stand for.
std::vector<int> DecodeValues(const gs1_128::Gs1Symbol& symbol)
{
    Set set = Set::A;
    switch (symbol.start) {
    case 103: set = Set::A; break;
    case 104: set = Set::B; break;
    case 105: set = Set::C; break;
    default: fuzz::Broken(kName, "start value " + std::to_string(symbol.start));
    }
    std::vector<int> out;
    for (int v : symbol.values) {
        if (v == 102) {
            out.push_back(kFnc1);
        } else if (set == Set::C) {
            if (v < 100) {
                out.push_back('0' + v / 10);
                out.push_back('0' + v % 10);
            } else if (v == 100) {
                set = Set::B;
            } else if (v == 101) {
                set = Set::A;
            } else {
                fuzz::Broken(kName, "value " + std::to_string(v) + " in code set C");
            }
        } else if (v < 96) {
            out.push_back(set == Set::B || v < 64 ? 0x20 + v : v - 64);
        } else if (v == 99) {
            set = Set::C;
        } else if (v == 100 && set == Set::A) {
            set = Set::B;
        } else if (v == 101 && set == Set::B) {
            set = Set::A;
        } else {
            fuzz::Broken(kName, "value " + std::to_string(v) + " (FNC2 to FNC4, SHIFT or a start) among the data");
        }
    }
    return out;
}

// The text's bytes and FNC1s: tokens read left to right where they begin.
std::vector<int> Expected(const std::string& text)
{
    std::vector<int> out;
    for (std::size_t p = 0; p < text.size();) {
        if (text.compare(p, 6, "{FNC1}") == 0) {
            out.push_back(kFnc1);
            p += 6;
        } else if (text.compare(p, 4, "{AI}") == 0) {
            p += 4;
        } else {
            out.push_back(static_cast<unsigned char>(text[p++]));
        }
    }
    return out;
}

void CheckWidths(const gs1_128::Gs1Symbol& symbol)
{
    const std::vector<int> widths = symbol.Widths();
    const std::size_t characters = symbol.values.size() + 2; // start, values, check
    if (widths.size() != 6 * characters + 7) {
        fuzz::Broken(kName, std::to_string(widths.size()) + " elements for " + std::to_string(characters)
                                + " characters and the stop");
    }
    for (std::size_t c = 0; c <= characters; ++c) {
        const std::size_t n = c < characters ? 6 : 7;
        int modules = 0;
        int bars = 0;
        for (std::size_t e = 0; e < n; ++e) {
            const int w = widths[6 * c + e];
            if (w < 1 || w > 4) {
                fuzz::Broken(kName, "element width " + std::to_string(w));
            }
            modules += w;
            bars += e % 2 == 0 ? w : 0;
        }
        if (modules != (c < characters ? 11 : 13) || bars % 2 != 0) {
            fuzz::Broken(kName, "character " + std::to_string(c) + " of " + std::to_string(modules)
                                    + " modules with odd bar parity");
        }
    }
}

// AIs of the GS1 General Specifications, each with as many digits as it has there (none whose
// first digits the AI length table of the display text reads otherwise, such as 43nn or 71n).
const char* const kAis[] = {"00",   "01",   "02",   "10",   "11",   "12",   "13",   "15",   "16",   "17",   "20",
                            "21",   "22",   "235",  "240",  "241",  "242",  "243",  "250",  "251",  "253",  "254",
                            "255",  "30",   "3103", "3202", "3302", "3922", "3932", "37",   "400",  "401",  "402",
                            "403",  "410",  "411",  "412",  "413",  "414",  "415",  "416",  "420",  "421",  "422",
                            "423",  "424",  "425",  "426",  "7001", "7002", "7003", "7240", "8001", "8002", "8003",
                            "8004", "8005", "8006", "8007", "8008", "8020", "8200", "90",   "91",   "92",   "93",
                            "94",   "95",   "96",   "97",   "98",   "99"};

// Up to `n` data bytes of the input: ASCII without '{'.
std::string Data(fuzz::Bytes& in, std::size_t n)
{
    std::string data = in.Take(n);
    for (char& c : data) {
        c = static_cast<char>(c & 0x7F);
        if (c == '{') {
            c = '0';
        }
    }
    return data;
}

// A well-formed element string from the input, and its display text from the AI table.
void ElementString(fuzz::Bytes& in, std::string* text, std::string* display)
{
    *text = Data(in, in.Byte() % 4);
    *display = *text;
    for (unsigned elements = 1 + in.Byte() % 6; elements > 0 && !in.AtEnd(); --elements) {
        const unsigned pick = in.Byte();
        const std::string ai = kAis[(pick >> 1) % std::size(kAis)];
        const std::string data = Data(in, in.Byte() % 24);
        *text += ((pick & 1) != 0 ? "{FNC1}" : "{AI}") + ai + data;
        *display += "(" + ai + ")" + data;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Bytes in(data, size);
    const bool raw = (in.Byte() & 1) != 0;
    std::string text;
    std::string display;
    if (raw) {
        text = in.Rest();
    } else {
        ElementString(in, &text, &display);
    }

    std::size_t high = 0;
    while (high < text.size() && static_cast<unsigned char>(text[high]) < 0x80) {
        ++high;
    }
    gs1_128::Gs1Symbol symbol;
    try {
        symbol = gs1_128::Encode(text);
    } catch (const std::runtime_error& e) {
        const std::string expected =
            "Invalid character at pos=" + std::to_string(high) + ": GS1-128 carries bytes 0 to 127 only";
        if (high == text.size() || e.what() != expected) {
            fuzz::Broken(kName, "Encode(\"" + fuzz::Shown(text) + "\") threw \"" + e.what() + "\"");
        }
        return 0;
    }
    if (high != text.size()) {
        fuzz::Broken(kName, "Encode accepted a byte of 0x80 or more");
    }
    if (DecodeValues(symbol) != Expected(text)) {
        fuzz::Broken(kName, "the symbol of \"" + fuzz::Shown(text) + "\" decodes to another text");
    }
    int check = symbol.start % 103;
    for (std::size_t i = 0; i < symbol.values.size(); ++i) {
        check = static_cast<int>((check + static_cast<long long>(i + 1) * symbol.values[i]) % 103);
    }
    if (symbol.check != check || gs1_128::CalcCheckDigit(text) != check) {
        fuzz::Broken(kName, "check value " + std::to_string(symbol.check) + ", expected " + std::to_string(check));
    }
    CheckWidths(symbol);

    const std::string shown = gs1_128::BuildDisplayText(text);
    if (!raw && shown != display) {
        fuzz::Broken(kName, "display text \"" + fuzz::Shown(shown) + "\" of \"" + fuzz::Shown(text) + "\", expected \""
                                + fuzz::Shown(display) + "\"");
    }
    if (raw && text.find('{') == std::string::npos && shown != text) {
        fuzz::Broken(kName, "a text without tokens is not its own display text");
    }
    return 0;
}
