// SPDX-License-Identifier: MIT
// libFuzzer harness of the text encodings of the 2D symbols (BarcodeBase2D: IsValidUtf8,
// IsShiftJIS, ConvertEncoding, ConvertStringToBytes). Properties, on raw bytes, on UTF-8 built
// from code points (mostly Japanese) and on Shift-JIS built from lead and trail bytes:
// - text that iconv reads as strict UTF-8 is valid UTF-8 to IsValidUtf8 (which also lets
//   overlongs and surrogates pass); IsShiftJIS is false for the empty text and pure ASCII;
// - ASCII passes every encoding name unchanged;
// - for "utf-8" (and every name the library does not know), valid UTF-8 passes unchanged, and
//   other text, when it converts, becomes strict UTF-8; for "shift-jis", text that is not valid
//   UTF-8 passes unchanged; the spellings of one encoding give the same bytes;
// - round trips where they hold: Shift-JIS read as UTF-8 and written back to Shift-JIS reads as
//   the same UTF-8 again; UTF-8 written as Shift-JIS and read back writes the same Shift-JIS
//   again (code page 932 maps some characters from two places, so the first trip may change
//   the bytes, never the second).
//
// Input: the first byte picks the form (raw bytes, UTF-8 from code points, Shift-JIS pairs).
#include "FuzzSupport.h"
#include "core/BarcodeBase2D.h"

#include <iconv.h>

#include <string>
#include <vector>

namespace {

constexpr char kName[] = "fuzz_sjis_conversion";
using Bytes = std::vector<std::uint8_t>;

std::string Text(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

Bytes Of(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// Whether iconv reads `text` as UTF-8 (overlongs, surrogates and cut sequences refused).
bool StrictUtf8(const std::string& text)
{
    iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        fuzz::Broken(kName, "iconv has no UTF-8");
    }
    std::string input = text;
    std::vector<char> output(4 * input.size() + 4);
    char* in = &input[0];
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t result = input.empty() ? 0 : iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    return result != static_cast<size_t>(-1) && inLeft == 0;
}

bool Ascii(const std::string& text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

void AppendUtf8(std::string& s, std::uint32_t cp)
{
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | cp >> 18);
        s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-8 of code points from the input, mostly from the blocks Japanese text uses.
std::string Utf8Text(fuzz::Bytes& in)
{
    static const std::uint32_t kBlocks[][2] = {
        {0x20, 0x7F},     {0xA0, 0x100},    {0x391, 0x3CA},   {0x401, 0x452},    {0x2010, 0x2040},
        {0x2190, 0x2200}, {0x2200, 0x2300}, {0x2460, 0x24FF}, {0x2500, 0x2550},  {0x3000, 0x3040},
        {0x3040, 0x30A0}, {0x30A0, 0x3100}, {0x3220, 0x3400}, {0x4E00, 0xA000},  {0xF900, 0xFB00},
        {0xFF00, 0xFFF0}, {0xE000, 0xE800}, {0x80, 0xD800},   {0xE000, 0x10000}, {0x10000, 0x110000}};
    std::string s;
    while (!in.AtEnd() && s.size() < 4096) {
        const auto* block = kBlocks[in.Byte() % std::size(kBlocks)];
        AppendUtf8(s, block[0] + in.U16() % (block[1] - block[0]));
    }
    return s;
}

// Lead and trail bytes of code page 932 (and single bytes: ASCII, half-width katakana).
std::string SjisText(fuzz::Bytes& in)
{
    std::string s;
    while (!in.AtEnd() && s.size() < 4096) {
        const std::uint8_t kind = in.Byte();
        if (kind < 32) {
            s += static_cast<char>(kind < 16 ? 0x20 + in.Byte() % 0x5F : 0xA1 + in.Byte() % 0x3F);
            continue;
        }
        const unsigned lead = in.Byte() % 60;
        s += static_cast<char>(lead < 31 ? 0x81 + lead : 0xE0 + (lead - 31));
        const unsigned trail = in.Byte() % 188;
        s += static_cast<char>(trail < 63 ? 0x40 + trail : 0x80 + (trail - 63));
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static BarcodeBase2D base("png");
    fuzz::Bytes in(data, size);
    const unsigned form = in.Byte() % 3;
    const std::string text = form == 0 ? in.Rest() : form == 1 ? Utf8Text(in) : SjisText(in);
    const Bytes bytes = Of(text);
    const bool valid = BarcodeBase2D::IsValidUtf8(text);
    const bool strict = StrictUtf8(text);

    if (strict && !valid) {
        fuzz::Broken(kName, "IsValidUtf8 refuses UTF-8 that iconv reads: " + fuzz::Shown(text));
    }
    if (Ascii(text) && BarcodeBase2D::IsShiftJIS(text)) {
        fuzz::Broken(kName, "IsShiftJIS of ASCII");
    }

    const Bytes asUtf8 = base.ConvertStringToBytes(text, "utf-8");
    const Bytes asSjis = base.ConvertStringToBytes(text, "shift-jis");
    for (const char* name : {"UTF-8", "no-such-name", "SHIFT-JIS", ""}) {
        if (base.ConvertStringToBytes(text, name) != asUtf8) {
            fuzz::Broken(kName, std::string("\"") + name + "\" gives other bytes than \"utf-8\"");
        }
    }
    for (const char* name : {"Shift-JIS", "shift_jis"}) {
        if (base.ConvertStringToBytes(text, name) != asSjis) {
            fuzz::Broken(kName, std::string("\"") + name + "\" gives other bytes than \"shift-jis\"");
        }
    }
    if (Ascii(text) && (asUtf8 != bytes || asSjis != bytes)) {
        fuzz::Broken(kName, "ASCII changed by a conversion: " + fuzz::Shown(text));
    }
    if (valid && asUtf8 != bytes) {
        fuzz::Broken(kName, "valid UTF-8 changed for \"utf-8\"");
    }
    if (!valid && asSjis != bytes) {
        fuzz::Broken(kName, "text that is not UTF-8 changed for \"shift-jis\"");
    }

    // Shift-JIS read as UTF-8: strict UTF-8 that goes back to Shift-JIS and reads the same.
    if (!valid && !asUtf8.empty()) {
        const std::string utf8 = Text(asUtf8);
        if (!StrictUtf8(utf8)) {
            fuzz::Broken(kName, "Shift-JIS " + fuzz::Shown(text) + " read as malformed UTF-8 " + fuzz::Shown(utf8));
        }
        const Bytes back = base.ConvertEncoding(utf8, "utf-8", "shift-jis");
        if (back.empty() || base.ConvertEncoding(Text(back), "shift-jis", "utf-8") != asUtf8) {
            fuzz::Broken(kName, "Shift-JIS " + fuzz::Shown(text) + " does not come back through UTF-8 "
                                    + fuzz::Shown(utf8) + " (back: " + fuzz::Shown(Text(back)) + ")");
        }
    }
    // UTF-8 written as Shift-JIS: read back and written again, the same Shift-JIS.
    if (strict && !asSjis.empty() && !Ascii(text)) {
        const Bytes read = base.ConvertEncoding(Text(asSjis), "shift-jis", "utf-8");
        if (read.empty() || base.ConvertEncoding(Text(read), "utf-8", "shift-jis") != asSjis) {
            fuzz::Broken(kName, "UTF-8 " + fuzz::Shown(text) + " written as Shift-JIS " + fuzz::Shown(Text(asSjis))
                                    + " does not come back");
        }
    }
    return 0;
}
