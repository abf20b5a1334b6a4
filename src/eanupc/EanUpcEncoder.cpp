// SPDX-License-Identifier: MIT
#include "eanupc/EanUpcEncoder.h"

#include "core/CheckDigit.h"
#include "core/RunLengths.h"

#include <stdexcept>

namespace eanupc {
namespace {

// ISO/IEC 15420, number sets A (odd parity), B (even parity) and C, seven modules each,
// most significant bit first, 1 = bar module.
constexpr unsigned kSetA[10] = {0x0D, 0x19, 0x13, 0x3D, 0x23, 0x31, 0x2F, 0x3B, 0x37, 0x0B};
constexpr unsigned kSetB[10] = {0x27, 0x33, 0x1B, 0x21, 0x1D, 0x39, 0x05, 0x11, 0x09, 0x17};
constexpr unsigned kSetC[10] = {0x72, 0x66, 0x6C, 0x42, 0x5C, 0x4E, 0x50, 0x44, 0x48, 0x74};

// EAN-13: the leading digit picks which of digits 2 to 7 take set B (bit = 1), first digit at
// the most significant of six bits.
constexpr unsigned kLeadingParity[10] = {0x00, 0x0B, 0x0D, 0x0E, 0x13, 0x19, 0x1C, 0x15, 0x16, 0x1A};
// UPC-E: the check digit picks which data characters take set A (bit = 1).
constexpr unsigned kUpcEParity[10] = {0x07, 0x0B, 0x0D, 0x0E, 0x13, 0x19, 0x1C, 0x15, 0x16, 0x1A};

constexpr char kNormalGuard[] = "101";
constexpr char kCentreGuard[] = "01010";
constexpr char kUpcEEndGuard[] = "010101";

// The rules that set EAN-13, EAN-8 and UPC-A apart.
struct EanForm
{
    const char* name;        // as the messages spell it
    size_t length;           // digits with the check digit
    size_t leftDigits;       // characters between the start and centre guards
    bool leadingDigitParity; // EAN-13: the first digit is carried by the parity of the left half
};

constexpr EanForm kJan13{"Jan13", 13, 6, true};
constexpr EanForm kJan8{"Jan8", 8, 4, false};
constexpr EanForm kUpcA{"UPC-A", 12, 6, false};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(const std::string& text)
{
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void ThrowNonDigit(const EanForm& form)
{
    throw std::runtime_error(std::string(form.name) + " barcode requires numeric digits only");
}

[[noreturn]] void ThrowLength(const EanForm& form)
{
    throw std::runtime_error(std::string(form.name) + " barcode requires " + std::to_string(form.length - 1) + " or "
                             + std::to_string(form.length) + " digits");
}

std::string CheckDigitOf(const EanForm& form, const std::string& text)
{
    const std::string body = text.substr(0, form.length - 1);
    if (!AllDigits(body)) {
        ThrowNonDigit(form);
    }
    if (body.size() < form.length - 1) {
        ThrowLength(form);
    }
    return std::string(1, WeightedCheckDigit(body));
}

std::string Complete(const EanForm& form, const std::string& text)
{
    if (text.empty()) {
        throw std::runtime_error("Empty string");
    }
    if (!AllDigits(text)) {
        ThrowNonDigit(form);
    }
    if (text.size() == form.length - 1) {
        return text + CheckDigitOf(form, text);
    }
    if (text.size() != form.length) {
        ThrowLength(form);
    }
    if (CheckDigitOf(form, text)[0] != text.back()) {
        throw std::runtime_error("Invalid check digit");
    }
    return text;
}

void AppendPattern(std::string& modules, unsigned pattern)
{
    for (int bit = 6; bit >= 0; --bit) {
        modules += ((pattern >> bit) & 1U) != 0 ? '1' : '0';
    }
}

int DigitValue(char c)
{
    return c - '0';
}

std::vector<int> Encode(const EanForm& form, const std::string& text)
{
    const std::string digits = Complete(form, text);
    const size_t first = form.leadingDigitParity ? 1 : 0;
    const unsigned parity = form.leadingDigitParity ? kLeadingParity[DigitValue(digits[0])] : 0;
    std::string modules = kNormalGuard;
    for (size_t i = 0; i < form.leftDigits; ++i) {
        const int d = DigitValue(digits[first + i]);
        const bool setB = ((parity >> (form.leftDigits - 1 - i)) & 1U) != 0;
        AppendPattern(modules, setB ? kSetB[d] : kSetA[d]);
    }
    modules += kCentreGuard;
    for (size_t i = first + form.leftDigits; i < digits.size(); ++i) {
        AppendPattern(modules, kSetC[DigitValue(digits[i])]);
    }
    modules += kNormalGuard;
    return RunLengths(modules);
}

} // namespace

char WeightedCheckDigit(const std::string& digits)
{
    return check_digit::Mod10Weight3Char(digits);
}

std::string CheckDigitJan13(const std::string& text)
{
    return CheckDigitOf(kJan13, text);
}

std::string CheckDigitJan8(const std::string& text)
{
    return CheckDigitOf(kJan8, text);
}

std::string CheckDigitUpcA(const std::string& text)
{
    return CheckDigitOf(kUpcA, text);
}

std::string CompleteJan13(const std::string& text)
{
    return Complete(kJan13, text);
}

std::string CompleteJan8(const std::string& text)
{
    return Complete(kJan8, text);
}

std::string CompleteUpcA(const std::string& text)
{
    return Complete(kUpcA, text);
}

std::vector<int> EncodeJan13(const std::string& text)
{
    return Encode(kJan13, text);
}

std::vector<int> EncodeJan8(const std::string& text)
{
    return Encode(kJan8, text);
}

std::vector<int> EncodeUpcA(const std::string& text)
{
    return Encode(kUpcA, text);
}

std::string ExpandUpcE(const std::string& text)
{
    if (text.size() != 7 || text[0] != '0' || !AllDigits(text)) {
        return {};
    }
    const std::string n = text.substr(0, 1);
    const std::string d = text.substr(1); // d1..d6 at d[0]..d[5]
    switch (d[5]) {
    case '0':
    case '1':
    case '2': return n + d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3);
    case '3': return n + d.substr(0, 3) + "00000" + d.substr(3, 2);
    case '4': return n + d.substr(0, 4) + "00000" + d[4];
    default: return n + d.substr(0, 5) + "0000" + d[5];
    }
}

std::string CheckDigitUpcE(const std::string& text)
{
    const std::string body = text.size() == 7 ? ExpandUpcE(text) : text;
    if (body.empty() || !AllDigits(body)) {
        return {};
    }
    return std::string(1, WeightedCheckDigit(body));
}

std::string NormaliseUpcE(const std::string& text)
{
    if (text.size() < 6 || text.size() > 8) {
        throw std::runtime_error("Invalid length (must be 6, 7 or 8 digits).");
    }
    if (!AllDigits(text)) {
        throw std::runtime_error("Invalid character (non-digit found).");
    }
    if (text.size() == 6) {
        const std::string body = "0" + text;
        return body + CheckDigitUpcE(body);
    }
    if (text.size() == 7) {
        return text + CheckDigitUpcE(text);
    }
    // The symbol carries the check digit only in its parity pattern: a wrong one, or a number
    // system other than 0, would read back as other data.
    const std::string expected = CheckDigitUpcE(text.substr(0, 7));
    if (expected.empty() || expected[0] != text[7]) {
        throw std::runtime_error("Invalid check digit");
    }
    return text;
}

std::vector<int> EncodeUpcE(const std::string& text)
{
    if (text.size() != 8) {
        throw std::runtime_error("EncodeUPCE: code must be 8 digits.");
    }
    if (!IsDigit(text[7])) {
        throw std::runtime_error("EncodeUPCE: invalid check digit.");
    }
    if (!AllDigits(text.substr(1, 6))) {
        throw std::runtime_error("EncodeUPCE: non digit in data part.");
    }
    const unsigned parity = kUpcEParity[DigitValue(text[7])];
    std::string modules = kNormalGuard;
    for (int i = 0; i < 6; ++i) {
        const int d = DigitValue(text[static_cast<size_t>(1 + i)]);
        const bool setA = ((parity >> (5 - i)) & 1U) != 0;
        AppendPattern(modules, setA ? kSetA[d] : kSetB[d]);
    }
    modules += kUpcEEndGuard;
    if (modules.empty() || modules[0] != '1') {
        throw std::runtime_error("EncodeUPCE: internal module sequence error.");
    }
    return RunLengths(modules);
}

std::vector<int> RunLengths(const std::string& modules)
{
    return runs::RunLengths(modules);
}

} // namespace eanupc
