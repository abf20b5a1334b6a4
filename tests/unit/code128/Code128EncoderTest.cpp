// SPDX-License-Identifier: MIT
#include "code128/Code128Encoder.h"

#include "code128/Code128.h"
#include "code128/Code128Patterns.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

namespace {

using code128::CodeSet128;

int ModuleSum(const std::vector<int>& widths)
{
    return std::accumulate(widths.begin(), widths.end(), 0);
}

TEST(Code128Patterns, EveryCharacterIsElevenModulesWithEvenBarsAndAllDiffer)
{
    std::set<std::string> seen;
    for (int v = 0; v < code128::kStop; ++v) {
        const std::string p = code128::s_codePatterns[v];
        ASSERT_EQ(p.size(), 6u) << v;
        int modules = 0;
        int bars = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            modules += p[i] - '0';
            bars += i % 2 == 0 ? p[i] - '0' : 0;
        }
        EXPECT_EQ(modules, 11) << v;
        EXPECT_EQ(bars % 2, 0) << v; // ISO/IEC 15417: bar modules of a character are even
        EXPECT_TRUE(seen.insert(p).second) << "duplicate pattern at " << v;
    }
    EXPECT_STREQ(code128::s_codePatterns[code128::kStop], "2331112");
}

struct CodewordRow
{
    const char* name;
    int mode; // 0..2 fixed set, 3 automatic
    std::string text;
    std::vector<int> codes;
};

// Codeword lists start to stop, check value included (worked examples whose check values were
// verified by hand with the ISO/IEC 15417 modulo-103 sum).
const CodewordRow kCodewordRows[] = {
    {"digits in set C", 2, "1234", {105, 12, 34, 82, 106}},
    {"digits automatic", 3, "1234", {105, 12, 34, 82, 106}},
    {"odd digits start A then C", 3, "12345", {103, 17, 99, 23, 45, 52, 106}},
    {"upper case A wins tie", 3, "ABC", {103, 33, 34, 35, 0, 106}},
    {"lower case set B", 3, "abc", {104, 65, 66, 67, 90, 106}},
    {"lower case then digits", 3, "ab12345678", {104, 65, 66, 99, 12, 34, 56, 78, 50, 106}},
    {"equal cost stays in A", 3, "X1234Y", {103, 56, 17, 18, 19, 20, 57, 44, 106}},
    {"tab in set A", 3, std::string("A\t"), {103, 33, 73, 76, 106}},
};

TEST(Code128Encoder, PinnedCodewords)
{
    for (const CodewordRow& row : kCodewordRows) {
        const std::vector<int> codes = row.mode == 3
                                           ? code128::AutoCodewords(row.text)
                                           : code128::SingleSetCodewords(row.text, static_cast<CodeSet128>(row.mode));
        EXPECT_EQ(codes, row.codes) << row.name;
        // The widths are the patterns of those codewords: 11 modules each, 13 for STOP.
        Code128 symbol("png");
        symbol.SetCodeMode(row.mode);
        const std::vector<int> widths = symbol.EncodeCode128(row.text);
        EXPECT_EQ(widths, code128::ExpandToWidths(row.codes, "x")) << row.name;
        EXPECT_EQ(ModuleSum(widths), static_cast<int>(11 * (row.codes.size() - 1) + 13)) << row.name;
    }
    // START C, 12, 34, check, STOP: four characters of 11 modules and the 13-module stop.
    EXPECT_EQ(ModuleSum(code128::EncodeSingleSet("1234", CodeSet128::C)), 57);
}

struct FailureRow
{
    const char* name;
    int mode;
    std::string text;
    const char* message;
};

const FailureRow kFailureRows[] = {
    {"empty automatic", 3, "", "Empty string"},
    {"empty set A", 0, "", "Empty string"},
    {"empty set C", 2, "", "Empty string"},
    {"lower case in set A", 0, "abc", "Invalid char for CODE_A"},
    {"tab in set B", 1, "A\t", "Invalid char for CODE_B"},
    {"DEL in set B", 1, "A\x7f", "Invalid char for CODE_B"},
    {"odd digits in set C", 2, "1234567", "Not 2-digit at pos=6"},
    {"five digits in set C", 2, "12345", "Not 2-digit at pos=4"},
    {"letter in set C", 2, "12A4", "Not 2-digit at pos=2"},
    {"DEL automatic", 3, "AB\x7f", "No valid start"},
    {"high byte automatic", 3, "caf\xc3\xa9", "No valid start"},
    {"stored mode out of range", 7, "ABC", "Invalid CodeMode"},
};

TEST(Code128Encoder, FailureMessages)
{
    for (const FailureRow& row : kFailureRows) {
        Code128 symbol("png");
        symbol.SetCodeMode(row.mode);
        try {
            symbol.EncodeCode128(row.text);
            ADD_FAILURE() << row.name << ": no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), row.message) << row.name;
        }
    }
}

// The optimiser as a plain memoised recursion over (position, set), candidates stay / switch
// to A, B, C replaced only by a strictly cheaper one: an independent statement of the optimum
// that the linear-time encoder must reproduce codeword for codeword.
class ReferenceOptimiser
{
public:
    explicit ReferenceOptimiser(const std::string& text) : m_text(text) {}

    std::vector<int> Codewords()
    {
        int bestSet = -1;
        long bestCost = kNone;
        for (int set = 0; set < 3; ++set) {
            const State& s = Solve(0, set);
            if (s.cost + 1 < bestCost) {
                bestCost = s.cost + 1;
                bestSet = set;
            }
        }
        if (bestSet < 0) {
            throw std::runtime_error("No valid start");
        }
        std::vector<int> codes{103 + bestSet};
        const State& s = Solve(0, bestSet);
        codes.insert(codes.end(), s.codes.begin(), s.codes.end());
        codes.push_back(code128::CheckValue(codes));
        codes.push_back(106);
        return codes;
    }

private:
    static constexpr long kNone = 1L << 40;

    struct State
    {
        long cost = kNone;
        std::vector<int> codes;
    };

    bool Takes(size_t pos, int set, int* value) const
    {
        const auto c = static_cast<unsigned char>(m_text[pos]);
        if (set == 0 && c <= 95) {
            *value = c >= 32 ? c - 32 : c + 64;
            return true;
        }
        if (set == 1 && c >= 32 && c <= 126) {
            *value = c - 32;
            return true;
        }
        if (set == 2 && pos + 1 < m_text.size() && isdigit(c) && isdigit(static_cast<unsigned char>(m_text[pos + 1]))) {
            *value = (c - '0') * 10 + (m_text[pos + 1] - '0');
            return true;
        }
        return false;
    }

    const State& Solve(size_t pos, int set)
    {
        static const State done{0, {}};
        if (pos >= m_text.size()) {
            return done;
        }
        const auto key = std::make_pair(pos, set);
        auto found = m_memo.find(key);
        if (found != m_memo.end()) {
            return found->second;
        }
        State best;
        const auto consider = [&](int target, bool switching) {
            int value = 0;
            if (!Takes(pos, target, &value)) {
                return;
            }
            const State& rest = Solve(pos + (target == 2 ? 2 : 1), target);
            const long cost = rest.cost + (switching ? 2 : 1);
            if (rest.cost < kNone && cost < best.cost) {
                best.cost = cost;
                best.codes.clear();
                if (switching) {
                    best.codes.push_back(target == 0 ? 101 : target == 1 ? 100 : 99);
                }
                best.codes.push_back(value);
                best.codes.insert(best.codes.end(), rest.codes.begin(), rest.codes.end());
            }
        };
        consider(set, false);
        for (int target = 0; target < 3; ++target) {
            if (target != set) {
                consider(target, true);
            }
        }
        return m_memo[key] = best;
    }

    std::string m_text;
    std::map<std::pair<size_t, int>, State> m_memo;
};

std::string RandomText(std::mt19937& rng, const std::string& alphabet, size_t maxLength)
{
    std::uniform_int_distribution<size_t> length(1, maxLength);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string s(length(rng), ' ');
    for (char& c : s) {
        c = alphabet[pick(rng)];
    }
    return s;
}

TEST(Code128Encoder, AutomaticMatchesTheReferenceOptimiser)
{
    // Digits weighted heavily so that runs of every parity occur, plus A-only and B-only bytes.
    const std::string alphabet =
        std::string("0123456789012345678901234567890123456789AZ_ az`~{") + '\t' + '\x01' + '\x1f';
    std::mt19937 rng(128);
    for (int i = 0; i < 600; ++i) {
        const std::string text = RandomText(rng, alphabet, 24);
        EXPECT_EQ(code128::AutoCodewords(text), ReferenceOptimiser(text).Codewords()) << "text #" << i;
    }
}

// Number of codewords a fixed set needs, or -1 when the set cannot carry the text.
int FixedSetCount(const std::string& text, CodeSet128 set)
{
    try {
        return static_cast<int>(code128::SingleSetCodewords(text, set).size());
    } catch (const std::runtime_error&) {
        return -1;
    }
}

TEST(Code128Encoder, AutomaticNeverLongerThanAnyFixedSet)
{
    std::string printable;
    for (char c = 32; c < 127; ++c) {
        printable += c;
    }
    const std::string digitsHeavy = printable + "0123456789012345678901234567890123456789";
    std::mt19937 rng(15417);
    int compared = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::string text = RandomText(rng, i % 2 == 0 ? printable : digitsHeavy, 40);
        const int automatic = static_cast<int>(code128::AutoCodewords(text).size());
        for (CodeSet128 set : {CodeSet128::A, CodeSet128::B, CodeSet128::C}) {
            const int fixed = FixedSetCount(text, set);
            if (fixed >= 0) {
                EXPECT_LE(automatic, fixed) << text;
                ++compared;
            }
        }
    }
    // Digit texts of even length, which set C can carry.
    for (int i = 0; i < 200; ++i) {
        std::string digits = RandomText(rng, "0123456789", 40);
        digits.resize(digits.size() & ~size_t{1});
        if (!digits.empty()) {
            EXPECT_LE(code128::AutoCodewords(digits).size(), code128::SingleSetCodewords(digits, CodeSet128::C).size());
            ++compared;
        }
    }
    EXPECT_GT(compared, 2000);
}

TEST(Code128Encoder, HundredThousandCharactersEncodeInLinearTime)
{
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) {
        text += (i % 3 == 0) ? "Lumeo-" : (i % 3 == 1 ? "123456" : "ab\tc7");
    }
    text.resize(100000);
    const std::vector<int> codes = code128::AutoCodewords(text);
    EXPECT_EQ(codes.front(), 104); // "L" then lower case: set B
    EXPECT_EQ(codes.back(), 106);
    std::vector<int> data(codes.begin(), codes.end() - 2);
    EXPECT_EQ(codes[codes.size() - 2], code128::CheckValue(data));

    text.back() = '\x80';
    Code128 symbol("png");
    try {
        symbol.EncodeCode128(text);
        ADD_FAILURE() << "a high byte must fail";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No valid start");
    }
}

TEST(Code128Encoder, AutomaticEncodingIsReentrant)
{
    const std::string a = "ab12345678XYZ\t0099";
    const std::string b = "1234567890123456789012345678";
    const std::vector<int> expectedA = code128::AutoCodewords(a);
    const std::vector<int> expectedB = code128::AutoCodewords(b);
    bool sameA = true;
    bool sameB = true;
    std::thread first([&] {
        for (int i = 0; i < 2000; ++i) {
            sameA = sameA && code128::AutoCodewords(a) == expectedA;
        }
    });
    std::thread second([&] {
        for (int i = 0; i < 2000; ++i) {
            sameB = sameB && code128::AutoCodewords(b) == expectedB;
        }
    });
    first.join();
    second.join();
    EXPECT_TRUE(sameA);
    EXPECT_TRUE(sameB);
}

TEST(Code128Draw, NarrowBoxFailsWithTheWidthTheSymbolNeeds)
{
    // "1234" in set C is 57 modules: in a 30-pixel box without fit width each module would stay
    // one pixel and the stop pattern would end at x = 57, past the box. Nothing is drawn cut:
    // the draw fails and says how wide the box must be; at 57 pixels it fits.
    for (const char* format : {"svg", "png"}) {
        Code128 narrow(format);
        narrow.SetCodeMode(2);
        narrow.SetShowText(false);
        testsupport::CapturedOutput captured;
        EXPECT_FALSE(narrow.Draw("1234", 0, 0, 30, 40)) << format;
        captured.Finish();
        EXPECT_NE(captured.Err().find("[Code128] The symbol needs 57 pixels; the box is 30 wide"), std::string::npos)
            << captured.Err();
    }
    Code128 svg("svg");
    svg.SetCodeMode(2);
    svg.SetShowText(false);
    ASSERT_TRUE(svg.Draw("1234", 0, 0, 57, 40));
    const std::string doc = svg.GetSvg();
    EXPECT_TRUE(testsupport::IsWellFormedXml(doc));
    EXPECT_NE(doc.find("<rect x=\"0.00\" y=\"0.00\" width=\"2.00\" height=\"40.00\""), std::string::npos) << doc;
    EXPECT_NE(doc.find("<rect x=\"55.00\" y=\"0.00\" width=\"2.00\" height=\"40.00\""), std::string::npos) << doc;
}

} // namespace
