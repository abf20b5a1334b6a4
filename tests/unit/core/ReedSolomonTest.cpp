// SPDX-License-Identifier: MIT
// The GF(256) Reed-Solomon kernel against a plain long division kept here, and against the
// worked examples of ISO/IEC 18004 and ISO/IEC 16022.
#include "core/ReedSolomon.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using Poly = std::vector<std::uint8_t>;

// Carry-less multiplication reduced by the field polynomial, bit by bit.
std::uint8_t SlowMultiply(std::uint8_t a, std::uint8_t b, unsigned primitive)
{
    unsigned product = 0;
    unsigned x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1u << bit)) {
            product ^= x;
        }
        x <<= 1;
        if (x & 0x100) {
            x ^= primitive;
        }
    }
    return static_cast<std::uint8_t>(product);
}

std::uint8_t SlowPower(unsigned exponent, unsigned primitive)
{
    std::uint8_t v = 1;
    for (unsigned i = 0; i < exponent; ++i) {
        v = SlowMultiply(v, 2, primitive);
    }
    return v;
}

// Generator with its leading 1, highest degree first.
Poly SlowGenerator(int degree, int firstRoot, unsigned primitive)
{
    Poly g{1};
    for (int i = 0; i < degree; ++i) {
        const std::uint8_t root = SlowPower(static_cast<unsigned>(firstRoot + i), primitive);
        Poly next(g.size() + 1, 0);
        for (size_t k = 0; k < g.size(); ++k) {
            next[k] ^= g[k];
            next[k + 1] ^= SlowMultiply(g[k], root, primitive);
        }
        g = next;
    }
    return g;
}

// Long division of data(x) * x^n by the monic generator; returns the n remainder symbols.
Poly SlowRemainder(const Poly& data, const Poly& monicGenerator, unsigned primitive)
{
    const size_t n = monicGenerator.size() - 1;
    Poly dividend = data;
    dividend.resize(data.size() + n, 0);
    for (size_t i = 0; i < data.size(); ++i) {
        const std::uint8_t factor = dividend[i];
        if (factor == 0) {
            continue;
        }
        for (size_t k = 0; k < monicGenerator.size(); ++k) {
            dividend[i + k] ^= SlowMultiply(monicGenerator[k], factor, primitive);
        }
    }
    return Poly(dividend.end() - static_cast<long>(n), dividend.end());
}

struct FieldRow
{
    const char* name;
    unsigned primitive;
    int firstRoot;
};

TEST(ReedSolomon, MatchesLongDivisionForBothFields)
{
    std::mt19937 random(18004);
    for (const FieldRow& row : {FieldRow{"QR 0x11D", 0x11D, 0}, FieldRow{"Data Matrix 0x12D", 0x12D, 1}}) {
        SCOPED_TRACE(row.name);
        const reed_solomon::GaloisField256 field(row.primitive);
        for (int a = 0; a < 256; a += 7) {
            for (int b = 0; b < 256; b += 5) {
                ASSERT_EQ(field.Multiply(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)),
                          SlowMultiply(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), row.primitive));
            }
        }
        for (int degree : {1, 5, 7, 8, 10, 18, 28, 30, 68, 255}) {
            const Poly monic = SlowGenerator(degree, row.firstRoot, row.primitive);
            const Poly generator = reed_solomon::Generator(field, degree, row.firstRoot);
            ASSERT_EQ(generator, Poly(monic.begin() + 1, monic.end())) << "degree " << degree;
            const reed_solomon::GeneratorTable table(field, generator);
            for (size_t length : {size_t{1}, size_t{3}, size_t{19}, size_t{118}, size_t{255 - 68}}) {
                Poly data(length);
                for (auto& d : data) {
                    d = static_cast<std::uint8_t>(random());
                }
                const Poly expected = SlowRemainder(data, monic, row.primitive);
                EXPECT_EQ(reed_solomon::Remainder(field, data, generator), expected)
                    << "degree " << degree << " length " << length;
                Poly fromTable(generator.size());
                table.Remainder(data.data(), data.size(), fromTable.data());
                EXPECT_EQ(fromTable, expected) << "table, degree " << degree << " length " << length;
            }
        }
        EXPECT_THROW(reed_solomon::GeneratorTable(field, Poly(256, 1)), std::invalid_argument);
    }
}

TEST(ReedSolomon, QrGeneratorOfSevenFromTheStandard)
{
    // ISO/IEC 18004 Annex A: x^7 + a^87 x^6 + a^229 x^5 + a^146 x^4 + a^149 x^3 + a^238 x^2 + a^102 x + a^21.
    const auto& field = reed_solomon::QrField();
    const Poly g = reed_solomon::Generator(field, 7, 0);
    const unsigned exponents[] = {87, 229, 146, 149, 238, 102, 21};
    ASSERT_EQ(g.size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(field.Log(g[i]), exponents[i]) << i;
    }
}

TEST(ReedSolomon, QrWorkedExampleVersion1M)
{
    // ISO/IEC 18004 Annex I: "01234567" at 1-M.
    const Poly data = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11};
    const Poly ecc = {0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55};
    const auto& field = reed_solomon::QrField();
    EXPECT_EQ(reed_solomon::Remainder(field, data, reed_solomon::Generator(field, 10, 0)), ecc);
}

TEST(ReedSolomon, DataMatrixWorkedExample)
{
    // ISO/IEC 16022 Annex O: "123456" in a 10 x 10 symbol.
    const Poly data = {142, 164, 186};
    const Poly ecc = {114, 25, 5, 88, 102};
    const auto& field = reed_solomon::DataMatrixField();
    EXPECT_EQ(reed_solomon::Remainder(field, data, reed_solomon::Generator(field, 5, 1)), ecc);
}

TEST(ReedSolomon, RejectsPolynomialsThatAreNotPrimitive)
{
    EXPECT_THROW(reed_solomon::GaloisField256(0x11B), std::invalid_argument); // AES: 2 is not a generator
    EXPECT_THROW(reed_solomon::GaloisField256(0x0FF), std::invalid_argument);
    EXPECT_NO_THROW(reed_solomon::GaloisField256(0x11D));
}

} // namespace
