// SPDX-License-Identifier: MIT
// Check digits, UPC-E expansion, element widths and failure messages of the retail symbols.
#include "eanupc/EanUpcEncoder.h"

#include "eanupc/Jan13.h"
#include "eanupc/Jan8.h"
#include "eanupc/UpcA.h"
#include "eanupc/UpcE.h"

#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Encoder = std::function<std::vector<int>(const std::string&)>;

// Bars ('1') and spaces ('0') of a width list, for readable comparisons.
std::string Modules(const std::vector<int>& widths)
{
    std::string out;
    for (size_t i = 0; i < widths.size(); ++i) {
        out.append(static_cast<size_t>(widths[i]), i % 2 == 0 ? '1' : '0');
    }
    return out;
}

std::string ThrownBy(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

struct CheckDigitRow
{
    const char* name;
    std::function<std::string(const std::string&)> check;
    const char* text;
    const char* digit;
    const char* source;
};

TEST(EanUpcCheckDigit, PublishedExamples)
{
    const CheckDigitRow rows[] = {
        {"Jan13", Jan13::CalculateCheckDigit, "490123456789", "4", "JAN-13 example"},
        {"Jan13", Jan13::CalculateCheckDigit, "4901234567894", "4", "check digit position ignored"},
        {"Jan13", Jan13::CalculateCheckDigit, "978030640615", "7", "ISBN 978-0-306-40615-7"},
        {"Jan8", Jan8::CalculateCheckDigit, "4901234", "7", "JAN-8 example"},
        {"Jan8", Jan8::CalculateCheckDigit, "9638507", "4", "EAN-8 96385074"},
        {"UpcA", UpcA::CalculateCheckDigit, "03600029145", "2", "UPC-A example"},
        {"UpcE", UpcE::CalculateCheckDigit, "0425261", "4", "UPC-E through its expansion"},
        {"UpcE", UpcE::CalculateCheckDigit, "04210000526", "4", "UPC-E of an expanded body"},
        {"UpcE", UpcE::CalculateCheckDigit, "1425261", "", "number system 1 does not expand"},
        {"UpcE", UpcE::CalculateCheckDigit, "", "", "empty"},
    };
    for (const CheckDigitRow& row : rows) {
        EXPECT_EQ(row.check(row.text), row.digit) << row.name << " " << row.text << " (" << row.source << ")";
    }
}

TEST(EanUpcCheckDigit, UpcEExpansionByLastDigit)
{
    const struct
    {
        const char* text;
        const char* expansion;
    } rows[] = {
        {"0425261", "04210000526"}, // d6 in 0..2: manufacturer d1 d2 d6
        {"0123450", "01200000345"},
        {"0123452", "01220000345"},
        {"0123453", "01230000045"}, // d6 = 3
        {"0123454", "01234000005"}, // d6 = 4
        {"0123457", "01234500007"}, // d6 in 5..9
        {"1425261", ""},            // number system 1
        {"042526", ""},             // too short
        {"04252A1", ""},            // not a digit
    };

    for (const auto& row : rows) {
        EXPECT_EQ(UpcE::ExpandToUpcA(row.text), row.expansion) << row.text;
    }
}

// The module sequences below are spelt out from the number sets A, B, C of ISO/IEC 15420.
TEST(EanUpcEncode, ModuleSequencesFromTheNumberSets)
{
    const struct
    {
        const char* name;
        Encoder encode;
        const char* text;
        std::string modules;
    } rows[] = {
        {"Jan13 4 901234 567894 (parity ABAABB)", Jan13::EncodeJAN13, "490123456789",
         std::string("101") + "0001011" + "0100111" + "0011001" + "0010011" + "0100001" + "0011101" + "01010"
             + "1001110" + "1010000" + "1000100" + "1001000" + "1110100" + "1011100" + "101"},
        {"Jan8 4901 2347", Jan8::EncodeJAN8, "4901234",
         std::string("101") + "0100011" + "0001011" + "0001101" + "0011001" + "01010" + "1101100" + "1000010"
             + "1011100" + "1000100" + "101"},
        {"UpcA 036000 291452", UpcA::EncodeUPCA, "036000291452",
         std::string("101") + "0001101" + "0111101" + "0101111" + "0001101" + "0001101" + "0001101" + "01010"
             + "1101100" + "1110100" + "1100110" + "1011100" + "1001110" + "1101100" + "101"},
        {"UpcE 0 425261 4 (parity BABBAA)", UpcE::EncodeUPCE, "04252614",
         std::string("101") + "0011101" + "0010011" + "0111001" + "0011011" + "0101111" + "0011001" + "010101"},
        {"UpcE 0 425261 0 kept as given (parity BBBAAA)", UpcE::EncodeUPCE, "04252610",
         std::string("101") + "0011101" + "0011011" + "0111001" + "0010011" + "0101111" + "0011001" + "010101"},
    };

    for (const auto& row : rows) {
        EXPECT_EQ(Modules(row.encode(row.text)), row.modules) << row.name;
    }
}

TEST(EanUpcEncode, ElementCountsAndModuleSums)
{
    const struct
    {
        const char* name;
        Encoder encode;
        const char* text;
        size_t elements;
        int modules;
    } rows[] = {
        {"Jan13", Jan13::EncodeJAN13, "4901234567894", 59, 95}, {"Jan13", Jan13::EncodeJAN13, "000000000000", 59, 95},
        {"Jan8", Jan8::EncodeJAN8, "49012347", 43, 67},         {"Jan8", Jan8::EncodeJAN8, "9999999", 43, 67},
        {"UpcA", UpcA::EncodeUPCA, "036000291452", 59, 95},     {"UpcA", UpcA::EncodeUPCA, "88888888888", 59, 95},
        {"UpcE", UpcE::EncodeUPCE, "04252614", 33, 51},         {"UpcE", UpcE::EncodeUPCE, "01234565", 33, 51},
    };

    for (const auto& row : rows) {
        const std::vector<int> widths = row.encode(row.text);
        EXPECT_EQ(widths.size(), row.elements) << row.name << " " << row.text;
        EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), row.modules) << row.name << " " << row.text;
    }
}

TEST(EanUpcEncode, FailureMessages)
{
    const struct
    {
        const char* name;
        Encoder encode;
        const char* text;
        const char* message;
    } rows[] = {
        {"Jan13", Jan13::EncodeJAN13, "", "Empty string"},
        {"Jan13", Jan13::EncodeJAN13, "4901234567890", "Invalid check digit"},
        {"Jan13", Jan13::EncodeJAN13, "49012345678", "Jan13 barcode requires 12 or 13 digits"},
        {"Jan13", Jan13::EncodeJAN13, "49012345678901", "Jan13 barcode requires 12 or 13 digits"},
        {"Jan13 digits tested before length", Jan13::EncodeJAN13, "49012345678A",
         "Jan13 barcode requires numeric digits only"},
        {"Jan13 byte above 127", Jan13::EncodeJAN13, "49012345678\xc3", "Jan13 barcode requires numeric digits only"},
        {"Jan8", Jan8::EncodeJAN8, "", "Empty string"},
        {"Jan8", Jan8::EncodeJAN8, "49012340", "Invalid check digit"},
        {"Jan8", Jan8::EncodeJAN8, "490123", "Jan8 barcode requires 7 or 8 digits"},
        {"Jan8", Jan8::EncodeJAN8, "4901 34", "Jan8 barcode requires numeric digits only"},
        {"UpcA", UpcA::EncodeUPCA, "", "Empty string"},
        {"UpcA", UpcA::EncodeUPCA, "036000291450", "Invalid check digit"},
        {"UpcA", UpcA::EncodeUPCA, "0360002914", "UPC-A barcode requires 11 or 12 digits"},
        {"UpcA", UpcA::EncodeUPCA, "0360002914-", "UPC-A barcode requires numeric digits only"},
        {"UpcE", UpcE::EncodeUPCE, "0425261", "EncodeUPCE: code must be 8 digits."},
        {"UpcE", UpcE::EncodeUPCE, "0425261X", "EncodeUPCE: invalid check digit."},
        {"UpcE", UpcE::EncodeUPCE, "04252A14", "EncodeUPCE: non digit in data part."},
    };

    for (const auto& row : rows) {
        EXPECT_EQ(ThrownBy([&] { row.encode(row.text); }), row.message) << row.name << " \"" << row.text << "\"";
    }
}

TEST(EanUpcEncode, UpcEInputForms)
{
    const struct
    {
        const char* text;
        const char* result; // the 8-digit form, or the message
        const char* why;
    } rows[] = {
        {"425261", "04252614", "six digits: number system 0 and check digit added"},
        {"0425261", "04252614", "seven digits: check digit added"},
        {"04252614", "04252614", "eight digits with the right check digit"},
        {"04252610", "Invalid check digit", "eight digits with a wrong check digit"},
        {"14252614", "Invalid check digit", "number system 1 has no expansion"},
        {"24252614", "Invalid check digit", "number system 2"},
        {"1425261", "1425261", "number system 1 stays seven digits; the encoder refuses it"},
        {"42526", "Invalid length (must be 6, 7 or 8 digits).", "five digits"},
        {"042526140", "Invalid length (must be 6, 7 or 8 digits).", "nine digits"},
        {"", "Invalid length (must be 6, 7 or 8 digits).", "empty"},
        {"42526x", "Invalid character (non-digit found).", "letter"},
    };

    for (const auto& row : rows) {
        std::string got;
        try {
            got = eanupc::NormaliseUpcE(row.text);
        } catch (const std::runtime_error& e) {
            got = e.what();
        }
        EXPECT_EQ(got, row.result) << row.why;
    }
}

// Every valid eight-digit UPC-E text passes: the check digit of each expansion is accepted.
TEST(EanUpcEncode, UpcEAcceptsEveryCorrectCheckDigit)
{
    for (int d6 = 0; d6 <= 9; ++d6) {
        const std::string body = "012345" + std::to_string(d6);
        const std::string full = body + UpcE::CalculateCheckDigit(body);
        EXPECT_EQ(eanupc::NormaliseUpcE(full), full);
        for (char wrong = '0'; wrong <= '9'; ++wrong) {
            if (wrong != full.back()) {
                EXPECT_THROW(eanupc::NormaliseUpcE(body + wrong), std::runtime_error) << body + wrong;
            }
        }
    }
}

#ifdef BARCODE_ZINT
// The module rows of an independent encoder (zint's hexadecimal dump), cut to `modules`.
std::string ZintModules(int symbology, const std::string& text, size_t modules)
{
    const std::string command =
        std::string(BARCODE_ZINT) + " -b " + std::to_string(symbology) + " --dump -d " + text + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    std::string bits;
    for (int c = fgetc(pipe); c != EOF && c != '\n'; c = fgetc(pipe)) {
        const int v = c >= 'A' ? c - 'A' + 10 : c - '0';
        if (c == ' ') {
            continue;
        }
        for (int bit = 3; bit >= 0; --bit) {
            bits += ((v >> bit) & 1) != 0 ? '1' : '0';
        }
    }
    pclose(pipe);
    return bits.substr(0, modules);
}

TEST(EanUpcEncode, AgreesWithAnIndependentEncoder)
{
    const struct
    {
        int zintSymbology;
        Encoder encode;
        const char* text;
        const char* zintText;
        size_t modules;
    } rows[] = {
        {13, Jan13::EncodeJAN13, "490123456789", "490123456789", 95},
        {13, Jan13::EncodeJAN13, "978030640615", "978030640615", 95},
        {13, Jan13::EncodeJAN13, "123456789012", "123456789012", 95},
        {13, Jan13::EncodeJAN13, "567890123456", "567890123456", 95},
        {13, Jan13::EncodeJAN13, "800000000000", "800000000000", 95},
        {13, Jan8::EncodeJAN8, "4901234", "4901234", 67},
        {13, Jan8::EncodeJAN8, "9638507", "9638507", 67},
        {34, UpcA::EncodeUPCA, "03600029145", "03600029145", 95},
        {34, UpcA::EncodeUPCA, "71234567890", "71234567890", 95},
        {37, UpcE::EncodeUPCE, "04252614", "0425261", 51},
        {37, UpcE::EncodeUPCE, "01234565", "0123456", 51},
        {37, UpcE::EncodeUPCE, "06543217", "0654321", 51},
    };

    for (const auto& row : rows) {
        EXPECT_EQ(Modules(row.encode(row.text)), ZintModules(row.zintSymbology, row.zintText, row.modules)) << row.text;
    }
}
#endif

} // namespace
