// SPDX-License-Identifier: MIT
#include "code128/GS1_128Encoder.h"

#include "code128/Code128Patterns.h"
#include "core/CheckDigit.h"

#include <stdexcept>

namespace gs1_128 {
namespace {

using namespace code128;

enum class Set
{
    A,
    B,
    C
};

constexpr char kFnc1Token[] = "{FNC1}";
constexpr char kAiToken[] = "{AI}";
constexpr size_t kFnc1Length = sizeof(kFnc1Token) - 1;
constexpr size_t kAiLength = sizeof(kAiToken) - 1;

unsigned char ByteAt(const std::string& text, size_t pos)
{
    return static_cast<unsigned char>(text[pos]);
}

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool TokenAt(const std::string& text, size_t pos, const char* token, size_t length)
{
    return pos + length <= text.size() && text.compare(pos, length, token) == 0;
}

bool Fnc1At(const std::string& text, size_t pos)
{
    return TokenAt(text, pos, kFnc1Token, kFnc1Length);
}

bool AiAt(const std::string& text, size_t pos)
{
    return TokenAt(text, pos, kAiToken, kAiLength);
}

// Control bytes: only set A has them.
bool AOnly(unsigned char c)
{
    return c < 0x20;
}

// Grave accent, lower-case letters, braces, vertical bar, tilde and DEL: only set B has them.
bool BOnly(unsigned char c)
{
    return c >= 0x60 && c <= 0x7F;
}

bool DigitsAt(const std::string& text, size_t pos, size_t count)
{
    if (pos + count > text.size()) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!IsDigit(ByteAt(text, pos + i))) {
            return false;
        }
    }
    return true;
}

// Set A when a control byte comes before any byte only set B has, else set B.
Set SetForRest(const std::string& text, size_t from)
{
    for (size_t i = from; i < text.size(); ++i) {
        const unsigned char c = ByteAt(text, i);
        if (AOnly(c)) {
            return Set::A;
        }
        if (BOnly(c)) {
            return Set::B;
        }
    }
    return Set::B;
}

Set StartSet(const std::string& text)
{
    // Leading digits, tokens skipped; the last byte is never counted.
    size_t digits = 0;
    for (size_t p = 0; p + 1 < text.size();) {
        if (Fnc1At(text, p)) {
            p += kFnc1Length;
        } else if (AiAt(text, p)) {
            p += kAiLength;
        } else if (IsDigit(ByteAt(text, p))) {
            ++digits;
            ++p;
        } else {
            break;
        }
    }
    return digits > 2 ? Set::C : SetForRest(text, 0);
}

int StartValue(Set set)
{
    switch (set) {
    case Set::A: return kStartA;
    case Set::B: return kStartB;
    default: return kStartC;
    }
}

int SwitchValue(Set set)
{
    switch (set) {
    case Set::A: return kCodeA;
    case Set::B: return kCodeB;
    default: return kCodeC;
    }
}

// Set A value: 0x20..0x5F give 0..63, control bytes 64..95.
int ValueInA(unsigned char c)
{
    if (c > 0x5F) {
        throw std::runtime_error("Invalid code value");
    }
    return c >= 0x20 ? c - 0x20 : c + 64;
}

// Set B value: 0x20..0x7F give 0..95.
int ValueInB(unsigned char c)
{
    if (c < 0x20 || c > 0x7F) {
        throw std::runtime_error("Invalid code value");
    }
    return c - 0x20;
}

int ToIntPos(size_t pos)
{
    return pos > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(pos);
}

} // namespace

std::vector<int> Gs1Symbol::Codewords() const
{
    std::vector<int> codes;
    codes.reserve(values.size() + 3);
    codes.push_back(start);
    codes.insert(codes.end(), values.begin(), values.end());
    codes.push_back(check);
    codes.push_back(kStop);
    return codes;
}

std::vector<int> Gs1Symbol::Widths() const
{
    return ExpandToWidths(Codewords(), "Invalid code value");
}

Gs1Symbol Encode(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (ByteAt(text, i) >= 0x80) {
            throw std::runtime_error("Invalid character at pos=" + std::to_string(i)
                                     + ": GS1-128 carries bytes 0 to 127 only");
        }
    }
    Gs1Symbol symbol;
    Set set = StartSet(text);
    symbol.start = StartValue(set);
    const auto switchTo = [&](Set target) {
        symbol.values.push_back(SwitchValue(target));
        set = target;
    };
    for (size_t p = 0; p < text.size();) {
        const unsigned char c = ByteAt(text, p);
        // Switch step: look-ahead of four digits into set C, single-set bytes into A or B.
        if (set == Set::B) {
            if (DigitsAt(text, p, 4)) {
                switchTo(Set::C);
            } else if (AOnly(c)) {
                switchTo(Set::A);
            }
        } else if (set == Set::A) {
            if (DigitsAt(text, p, 4)) {
                switchTo(Set::C);
            } else if (BOnly(c)) {
                switchTo(Set::B);
            }
        } else if (!DigitsAt(text, p, 2) && !Fnc1At(text, p) && !AiAt(text, p)) {
            switchTo(SetForRest(text, p));
        }
        // Data step.
        if (Fnc1At(text, p)) {
            symbol.values.push_back(kFnc1);
            p += kFnc1Length;
        } else if (AiAt(text, p)) {
            p += kAiLength;
        } else if (set == Set::C) {
            symbol.values.push_back((c - '0') * 10 + (ByteAt(text, p + 1) - '0'));
            p += 2;
        } else if (set == Set::A) {
            symbol.values.push_back(ValueInA(c));
            ++p;
        } else {
            symbol.values.push_back(ValueInB(c));
            ++p;
        }
    }
    std::vector<int> weighted;
    weighted.reserve(symbol.values.size() + 1);
    weighted.push_back(symbol.start);
    weighted.insert(weighted.end(), symbol.values.begin(), symbol.values.end());
    symbol.check = CheckValue(weighted);
    return symbol;
}

int CalcCheckDigit(const std::string& text)
{
    return Encode(text).check;
}

int GetLenAI(const std::string& text, int pos)
{
    if (pos < 0 || static_cast<size_t>(pos) >= text.size()) {
        return 2;
    }
    const size_t p = static_cast<size_t>(pos);
    if (p + 1 < text.size()) {
        const std::string two = text.substr(p, 2);
        if (two == "23" || two == "24" || two == "25") {
            return 3;
        }
        if (two == "30" || two == "37" || two == "43") {
            return 2;
        }
    }
    switch (text[p]) {
    case '3':
    case '7':
    case '8': return 4;
    case '4': return 3;
    default: return 2;
    }
}

std::string BuildDisplayText(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 8);
    bool pendingAi = false;
    for (size_t p = 0; p < text.size();) {
        if (Fnc1At(text, p)) {
            pendingAi = true;
            p += kFnc1Length;
        } else if (AiAt(text, p)) {
            pendingAi = true;
            p += kAiLength;
        } else if (pendingAi) {
            const size_t n = static_cast<size_t>(GetLenAI(text, ToIntPos(p)));
            out += '(';
            out += text.substr(p, n);
            out += ')';
            pendingAi = false;
            p += n;
        } else {
            out += text[p];
            ++p;
        }
    }
    return out;
}

int CalcCheckDigitMod10W3(const std::string& digits)
{
    return check_digit::Mod10Weight3(digits);
}

std::string ConvenienceBody(const std::string& text)
{
    std::string digits = Fnc1At(text, 0) ? text.substr(kFnc1Length) : text;
    for (char c : digits) {
        if (!IsDigit(static_cast<unsigned char>(c))) {
            throw std::runtime_error("Non-digit character found");
        }
    }
    if (digits.size() != 43 && digits.size() != 44) {
        throw std::runtime_error("Code length must be 43 or 44 digits");
    }
    const int check = CalcCheckDigitMod10W3(digits.substr(0, 43));
    if (digits.size() == 44) {
        if (digits[43] - '0' != check) {
            throw std::runtime_error("Check digit mismatch");
        }
    } else {
        digits += static_cast<char>('0' + check);
    }
    return digits;
}

std::string ConvenienceLine1(const std::string& body)
{
    return "(" + body.substr(0, 2) + ")" + body.substr(2, 6) + "-" + body.substr(8, 22);
}

std::string ConvenienceLine2(const std::string& body)
{
    return body.substr(30, 6) + "-" + body.substr(36, 1) + "-" + body.substr(37, 6) + "-" + body.substr(43, 1);
}

} // namespace gs1_128
