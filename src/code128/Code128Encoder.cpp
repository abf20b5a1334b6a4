// SPDX-License-Identifier: MIT
#include "code128/Code128Encoder.h"

#include "code128/Code128Patterns.h"

#include <array>
#include <cstdint>
#include <stdexcept>

namespace code128 {
namespace {

// The optimiser's code set index.
enum InternalSet : int
{
    kSetA = 0,
    kSetB = 1,
    kSetC = 2
};

constexpr int kSetCount = 3;
constexpr int kUnreachable = 999999999;

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

unsigned char ByteAt(const std::string& text, size_t pos)
{
    return static_cast<unsigned char>(text[pos]);
}

// Whether set `set` can carry the data at `pos`, and with which value.
bool Admissible(const std::string& text, size_t pos, int set)
{
    const unsigned char c = ByteAt(text, pos);
    switch (set) {
    case kSetA: return c <= 95;
    case kSetB: return c >= 32 && c <= 126;
    default: return pos + 1 < text.size() && IsDigit(c) && IsDigit(ByteAt(text, pos + 1));
    }
}

int DataValue(const std::string& text, size_t pos, int set)
{
    const unsigned char c = ByteAt(text, pos);
    switch (set) {
    case kSetA: return c >= 32 ? c - 32 : c + 64;
    case kSetB: return c - 32;
    default: return (c - '0') * 10 + (ByteAt(text, pos + 1) - '0');
    }
}

size_t Advance(int set)
{
    return set == kSetC ? 2 : 1;
}

int SwitchValue(int target)
{
    static constexpr std::array<int, kSetCount> values{kCodeA, kCodeB, kCodeC};
    return values[static_cast<size_t>(target)];
}

// Best encoding of the text from one position to the end in one current set: the number of
// codewords and the set in which the next data codeword goes (the current set means stay).
struct Choice
{
    int cost = kUnreachable;
    std::int8_t next = -1;
};

std::vector<int> WithCheckAndStop(std::vector<int> codes)
{
    codes.push_back(CheckValue(codes));
    codes.push_back(kStop);
    return codes;
}

} // namespace

std::vector<int> SingleSetCodewords(const std::string& text, CodeSet128 set)
{
    std::vector<int> codes;
    switch (set) {
    case CodeSet128::A:
        codes.push_back(kStartA);
        for (size_t i = 0; i < text.size(); ++i) {
            if (!Admissible(text, i, kSetA)) {
                throw std::runtime_error("Invalid char for CODE_A");
            }
            codes.push_back(DataValue(text, i, kSetA));
        }
        break;
    case CodeSet128::B:
        codes.push_back(kStartB);
        for (size_t i = 0; i < text.size(); ++i) {
            if (!Admissible(text, i, kSetB)) {
                throw std::runtime_error("Invalid char for CODE_B");
            }
            codes.push_back(DataValue(text, i, kSetB));
        }
        break;
    case CodeSet128::C:
        codes.push_back(kStartC);
        for (size_t i = 0; i < text.size(); i += 2) {
            if (!Admissible(text, i, kSetC)) {
                throw std::runtime_error("Not 2-digit at pos=" + std::to_string(i));
            }
            codes.push_back(DataValue(text, i, kSetC));
        }
        break;
    default: throw std::runtime_error("Invalid CodeMode");
    }
    return WithCheckAndStop(std::move(codes));
}

std::vector<int> AutoCodewords(const std::string& text)
{
    const size_t length = text.size();
    // choices[pos * 3 + set], filled from the end of the text; the row at `length` costs 0.
    std::vector<Choice> choices((length + 1) * kSetCount);
    const auto at = [&choices](size_t pos, int set) -> Choice& {
        return choices[pos * kSetCount + static_cast<size_t>(set)];
    };
    for (int set = 0; set < kSetCount; ++set) {
        at(length, set).cost = 0;
    }
    for (size_t pos = length; pos-- > 0;) {
        for (int set = 0; set < kSetCount; ++set) {
            Choice best;
            // Candidates in a fixed order, replaced only by a strictly cheaper one: staying,
            // then switching to A, B, C.
            const auto consider = [&](int target, int extra) {
                if (!Admissible(text, pos, target)) {
                    return;
                }
                const int rest = at(pos + Advance(target), target).cost;
                if (rest >= kUnreachable) {
                    return;
                }
                if (rest + extra < best.cost) {
                    best.cost = rest + extra;
                    best.next = static_cast<std::int8_t>(target);
                }
            };
            consider(set, 1);
            for (int target = 0; target < kSetCount; ++target) {
                if (target != set) {
                    consider(target, 2);
                }
            }
            at(pos, set) = best;
        }
    }

    int startSet = -1;
    int bestCost = kUnreachable;
    for (int set = 0; set < kSetCount; ++set) {
        const int cost = at(0, set).cost;
        if (cost < kUnreachable && cost + 1 < bestCost) {
            bestCost = cost + 1;
            startSet = set;
        }
    }
    if (startSet < 0) {
        throw std::runtime_error("No valid start");
    }

    std::vector<int> codes;
    codes.reserve(static_cast<size_t>(bestCost) + 2);
    codes.push_back(kStartA + startSet);
    int set = startSet;
    for (size_t pos = 0; pos < length;) {
        const int next = at(pos, set).next;
        if (next != set) {
            codes.push_back(SwitchValue(next));
            set = next;
        }
        codes.push_back(DataValue(text, pos, set));
        pos += Advance(set);
    }
    return WithCheckAndStop(std::move(codes));
}

std::vector<int> EncodeSingleSet(const std::string& text, CodeSet128 set)
{
    return ExpandToWidths(SingleSetCodewords(text, set), "Invalid code val");
}

std::vector<int> EncodeAuto(const std::string& text)
{
    return ExpandToWidths(AutoCodewords(text), "Invalid code value");
}

} // namespace code128
