// SPDX-License-Identifier: MIT
#include "core/text/Encodings.h"

#include "core/ProcessLocks.h"

#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace encodings {

namespace {

#ifndef _WIN32
// An iconv descriptor, opened and closed under the conversion lock (both take the C library's
// lock of its conversion modules, which fork() must not catch taken).
class Converter
{
public:
    Converter(const std::string& to, const std::string& from)
    {
        const std::lock_guard<std::mutex> lock(process_locks::Conversion());
        m_cd = iconv_open(to.c_str(), from.c_str());
    }

    ~Converter()
    {
        if (Open()) {
            const std::lock_guard<std::mutex> lock(process_locks::Conversion());
            iconv_close(m_cd);
        }
    }

    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Open() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    size_t Convert(char** in, size_t* inLeft, char** out, size_t* outLeft) const
    {
        return iconv(m_cd, in, inLeft, out, outLeft);
    }

private:
    iconv_t m_cd = reinterpret_cast<iconv_t>(-1);
};
#endif

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Length of the UTF-8 sequence announced by lead byte `c` (1 for ASCII), 0 for a byte that
// cannot start one.
size_t Utf8SequenceLength(unsigned char c)
{
    if (c < 0x80) {
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        return 2;
    }
    if ((c & 0xF0) == 0xE0) {
        return 3;
    }
    if ((c & 0xF8) == 0xF0) {
        return 4;
    }
    return 0;
}

// True when a complete multi-byte UTF-8 sequence starts at `i`.
bool Utf8SequenceAt(const std::string& text, size_t i)
{
    const size_t n = Utf8SequenceLength(static_cast<unsigned char>(text[i]));
    if (n < 2 || i + n > text.size()) {
        return false;
    }
    for (size_t k = 1; k < n; ++k) {
        if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) {
            return false;
        }
    }
    return true;
}

bool IsShiftJisName(const std::string& name)
{
    return name == "shift-jis" || name == "Shift-JIS" || name == "shift_jis";
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

#ifdef _WIN32
UINT CodePage(const std::string& name)
{
    return name == "shift-jis" ? 932 : CP_UTF8;
}
#endif

} // namespace

bool IsValidUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        const size_t n = Utf8SequenceLength(static_cast<unsigned char>(text[i]));
        if (n == 0) {
            return false;
        }
        if (n > 1 && !Utf8SequenceAt(text, i)) {
            return false;
        }
        i += n;
    }
    return true;
}

bool IsShiftJis(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    bool doubleByteSeen = false;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (lead && i + 1 < text.size()) {
            const unsigned char t = static_cast<unsigned char>(text[i + 1]);
            if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) {
                doubleByteSeen = true;
                i += 2;
                continue;
            }
        }
        // The pairs stop here: Shift-JIS unless a well-formed UTF-8 sequence starts instead.
        return !Utf8SequenceAt(text, i);
    }
    return doubleByteSeen;
}

std::string Detect(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            continue;
        }
        if ((b & 0xE0) == 0xC0 && i + 1 < text.size() && IsContinuation(static_cast<unsigned char>(text[i + 1]))) {
            return "utf-8";
        }
        return "shift-jis";
    }
    return "utf-8";
}

std::vector<std::uint8_t> Convert(const std::string& text, const std::string& from, const std::string& to)
{
#ifdef _WIN32
    const int wideLength = MultiByteToWideChar(CodePage(from), 0, text.c_str(), -1, nullptr, 0);
    if (wideLength <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CodePage(from), 0, text.c_str(), -1, &wide[0], wideLength);
    const int length = WideCharToMultiByte(CodePage(to), 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CodePage(to), 0, wide.c_str(), -1, &out[0], length, nullptr, nullptr);
    out.resize(static_cast<size_t>(length) - 1); // the terminating NUL
    return Bytes(out);
#else
    // iconv's "SHIFT_JIS" is the strict JIS X 0208 set: it maps '\' and '~' to the yen sign and
    // overline and lacks the characters of code page 932 (U+FF5E, circled digits, NEC and IBM
    // extensions). Japanese text comes in code page 932, so the Shift-JIS names mean CP932 here.
    const std::string fromName = IsShiftJisName(from) ? "CP932" : from;
    const std::string toName = IsShiftJisName(to) ? "CP932" : to;
    const Converter converter(toName, fromName);
    if (!converter.Open()) {
        return {};
    }
    std::string input = text;
    std::vector<char> output(input.size() * 4, 0);
    char* in = input.empty() ? nullptr : &input[0];
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t result = input.empty() ? 0 : converter.Convert(&in, &inLeft, &out, &outLeft);
    if (result == static_cast<size_t>(-1)) {
        return {};
    }
    return std::vector<std::uint8_t>(output.begin(), output.begin() + static_cast<long>(output.size() - outLeft));
#endif
}

std::vector<std::uint8_t> ToBytes(const std::string& text, const std::string& encodingName)
{
    const bool utf8 = IsValidUtf8(text);
    if (IsShiftJisName(encodingName)) {
        return utf8 ? Convert(text, "utf-8", "shift-jis") : Bytes(text);
    }
    // UTF-8, and any name this library does not know, carry UTF-8.
    return utf8 ? Bytes(text) : Convert(text, "shift-jis", "utf-8");
}

std::vector<std::uint8_t> ToUtf8(const std::string& text)
{
    return IsShiftJis(text) ? Convert(text, "shift-jis", "utf-8") : Bytes(text);
}

std::vector<std::uint8_t> ToShiftJis(const std::string& text)
{
    return IsShiftJis(text) ? Bytes(text) : Convert(text, "utf-8", "shift-jis");
}

} // namespace encodings
