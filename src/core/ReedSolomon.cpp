// SPDX-License-Identifier: MIT
#include "core/ReedSolomon.h"

#include <algorithm>
#include <stdexcept>

namespace reed_solomon {

GaloisField256::GaloisField256(unsigned primitive) : m_primitive(primitive)
{
    if (primitive < 0x100 || primitive > 0x1FF) {
        throw std::invalid_argument("GF(256) polynomial must have degree 8");
    }
    unsigned v = 1;
    for (unsigned i = 0; i < 255; ++i) {
        if (i > 0 && v == 1) {
            throw std::invalid_argument("GF(256) polynomial is not primitive");
        }
        m_exp[i] = static_cast<std::uint8_t>(v);
        m_log[v] = static_cast<std::uint8_t>(i);
        v <<= 1;
        if (v & 0x100) {
            v ^= primitive;
        }
    }
    if (v != 1) {
        throw std::invalid_argument("GF(256) polynomial is not primitive");
    }
    for (unsigned i = 255; i < m_exp.size(); ++i) {
        m_exp[i] = m_exp[i - 255];
    }
}

std::uint8_t GaloisField256::Multiply(std::uint8_t a, std::uint8_t b) const
{
    if (a == 0 || b == 0) {
        return 0;
    }
    return m_exp[unsigned{m_log[a]} + m_log[b]];
}

const GaloisField256& QrField()
{
    static const GaloisField256 field(0x11D);
    return field;
}

const GaloisField256& DataMatrixField()
{
    static const GaloisField256 field(0x12D);
    return field;
}

std::vector<std::uint8_t> Generator(const GaloisField256& field, int degree, int firstRoot)
{
    // coefficients[0] is the x^degree term while multiplying out; dropped at the end.
    std::vector<std::uint8_t> poly{1};
    for (int i = 0; i < degree; ++i) {
        const std::uint8_t root = field.Exp(static_cast<unsigned>(firstRoot + i));
        std::vector<std::uint8_t> next(poly.size() + 1, 0);
        for (size_t k = 0; k < poly.size(); ++k) {
            next[k] ^= poly[k];                           // x * poly
            next[k + 1] ^= field.Multiply(poly[k], root); // - root * poly (minus is plus here)
        }
        poly.swap(next);
    }
    return std::vector<std::uint8_t>(poly.begin() + 1, poly.end());
}

std::vector<std::uint8_t> Remainder(const GaloisField256& field, const std::vector<std::uint8_t>& data,
                                    const std::vector<std::uint8_t>& generator)
{
    const size_t n = generator.size();
    std::vector<std::uint8_t> rem(n, 0);
    if (n == 0) {
        return rem;
    }
    // Multiplication by a generator coefficient as exp(log g + log factor), with the logarithms
    // of the coefficients taken once (a zero coefficient contributes nothing).
    std::vector<unsigned> logGenerator(n);
    std::vector<std::uint8_t> zero(n);
    for (size_t k = 0; k < n; ++k) {
        logGenerator[k] = field.Log(generator[k]);
        zero[k] = generator[k] == 0 ? 1 : 0;
    }
    for (std::uint8_t d : data) {
        const std::uint8_t factor = static_cast<std::uint8_t>(d ^ rem[0]);
        if (factor == 0) {
            std::copy(rem.begin() + 1, rem.end(), rem.begin());
            rem[n - 1] = 0;
            continue;
        }
        const unsigned logFactor = field.Log(factor);
        for (size_t k = 0; k + 1 < n; ++k) {
            rem[k] = static_cast<std::uint8_t>(rem[k + 1]
                                               ^ (zero[k] != 0 ? 0 : field.ExpOfSum(logGenerator[k] + logFactor)));
        }
        rem[n - 1] = zero[n - 1] != 0 ? 0 : field.ExpOfSum(logGenerator[n - 1] + logFactor);
    }
    return rem;
}

GeneratorTable::GeneratorTable(const GaloisField256& field, const std::vector<std::uint8_t>& generator)
    : m_degree(generator.size()), m_words((generator.size() + 7) / 8)
{
    if (m_degree > 255) {
        throw std::invalid_argument("Reed-Solomon generator longer than 255 coefficients");
    }
    m_products.assign(256 * m_words, 0);
    for (unsigned f = 0; f < 256; ++f) {
        std::uint64_t* row = &m_products[f * m_words];
        for (size_t k = 0; k < m_degree; ++k) {
            row[k / 8] |= std::uint64_t{field.Multiply(generator[k], static_cast<std::uint8_t>(f))} << (8 * (k % 8));
        }
    }
}

void GeneratorTable::Remainder(const std::uint8_t* data, size_t size, std::uint8_t* out) const
{
    // The remainder as bytes of words, highest degree in the lowest byte of word 0, with a clear
    // word after the last: each symbol shifts it by a byte and adds the generator's multiple.
    std::uint64_t rem[kMostWords + 1] = {};
    const size_t words = m_words;
    if (words == 0) {
        return;
    }
    for (size_t i = 0; i < size; ++i) {
        const std::uint64_t* product = &m_products[((data[i] ^ rem[0]) & 0xFFu) * words];
        for (size_t w = 0; w < words; ++w) {
            rem[w] = ((rem[w] >> 8) | (rem[w + 1] << 56)) ^ product[w];
        }
    }
    for (size_t k = 0; k < m_degree; ++k) {
        out[k] = static_cast<std::uint8_t>(rem[k / 8] >> (8 * (k % 8)));
    }
}

} // namespace reed_solomon
