// SPDX-License-Identifier: MIT
#include "core/ReedSolomon.h"

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
    m_exp[255] = m_exp[0];
}

std::uint8_t GaloisField256::Multiply(std::uint8_t a, std::uint8_t b) const
{
    if (a == 0 || b == 0) {
        return 0;
    }
    return m_exp[(unsigned{m_log[a]} + m_log[b]) % 255];
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
    for (std::uint8_t d : data) {
        const std::uint8_t factor = static_cast<std::uint8_t>(d ^ (n > 0 ? rem[0] : 0));
        for (size_t k = 0; k + 1 < n; ++k) {
            rem[k] = static_cast<std::uint8_t>(rem[k + 1] ^ field.Multiply(generator[k], factor));
        }
        if (n > 0) {
            rem[n - 1] = field.Multiply(generator[n - 1], factor);
        }
    }
    return rem;
}

} // namespace reed_solomon
