// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Reed-Solomon error correction over GF(2^8), shared by the 2D symbologies. The field is
// fixed by its primitive polynomial: 0x11D (x^8 + x^4 + x^3 + x^2 + 1) for QR Code
// (ISO/IEC 18004), 0x12D (x^8 + x^5 + x^3 + x^2 + 1) for Data Matrix (ISO/IEC 16022).
namespace reed_solomon {

class GaloisField256
{
public:
    // `primitive`: the 9-bit field polynomial with its x^8 term (0x100..0x1FF), primitive so
    // that alpha = 2 generates the 255 non-zero elements. Throws std::invalid_argument otherwise.
    explicit GaloisField256(unsigned primitive);

    unsigned Primitive() const { return m_primitive; }

    // alpha^i for any i >= 0 (taken mod 255).
    std::uint8_t Exp(unsigned i) const { return m_exp[i % 255]; }

    // alpha^i for i below 510 (the sum of two logarithms), without the modulo.
    std::uint8_t ExpOfSum(unsigned i) const { return m_exp[i]; }

    // The logarithm of a non-zero element, in [0, 254]; Log(0) is not defined and returns 0.
    unsigned Log(std::uint8_t v) const { return m_log[v]; }

    std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) const;

private:
    unsigned m_primitive;
    std::array<std::uint8_t, 510> m_exp{}; // two periods
    std::array<std::uint8_t, 256> m_log{};
};

// The field of QR Code, built once (0x11D).
const GaloisField256& QrField();
// The field of Data Matrix, built once (0x12D).
const GaloisField256& DataMatrixField();

// The generator polynomial of `degree` check symbols: the product of (x - alpha^(firstRoot + i))
// for i = 0 .. degree-1, as field elements, highest degree first, the leading 1 left out
// (so `degree` coefficients). QR Code uses firstRoot 0, Data Matrix firstRoot 1.
std::vector<std::uint8_t> Generator(const GaloisField256& field, int degree, int firstRoot);

// The check symbols of `data`: the remainder of data(x) * x^n divided by the generator
// (n = generator.size()), highest degree first; always n symbols.
std::vector<std::uint8_t> Remainder(const GaloisField256& field, const std::vector<std::uint8_t>& data,
                                    const std::vector<std::uint8_t>& generator);

// Division by one generator, many times over: the products of its coefficients with every
// field element, taken once. Its remainders equal Remainder() with the same field and generator.
class GeneratorTable
{
public:
    // Throws std::invalid_argument for more than 255 coefficients.
    GeneratorTable(const GaloisField256& field, const std::vector<std::uint8_t>& generator);

    size_t Degree() const { return m_degree; }

    // The Degree() check symbols of the `size` symbols at `data`, written to `out`.
    void Remainder(const std::uint8_t* data, size_t size, std::uint8_t* out) const;

private:
    static constexpr size_t kMostWords = 32; // 255 coefficients

    size_t m_degree;
    size_t m_words; // 64-bit words per row of products
    // Row f: byte j of word w is generator[8 * w + j] * f (bytes past the degree are 0).
    std::vector<std::uint64_t> m_products;
};

} // namespace reed_solomon
