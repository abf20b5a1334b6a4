// SPDX-License-Identifier: MIT
// What the libFuzzer harnesses share: a reader of the fuzzer's bytes and the way a broken
// property is reported (a message on standard error, then abort, which libFuzzer turns into a
// saved crash input).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Reads the input front to back; past its end every read gives zeros.
class Bytes
{
public:
    Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool AtEnd() const { return m_pos >= m_size; }

    std::size_t Left() const { return AtEnd() ? 0 : m_size - m_pos; }

    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    unsigned U16()
    {
        const unsigned high = Byte();
        return high << 8 | Byte();
    }

    // Up to `n` bytes as a string (fewer at the end of the input).
    std::string Take(std::size_t n)
    {
        n = n < Left() ? n : Left();
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return s;
    }

    std::string Rest() { return Take(Left()); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// A printable form of `s` for a report: bytes outside ASCII as \xNN, at most 200 of them.
inline std::string Shown(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < 200; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return s.size() > 200 ? out + "..." : out;
}

[[noreturn]] inline void Broken(const char* fuzzer, const std::string& rule)
{
    std::fprintf(stderr, "%s: broken property: %s\n", fuzzer, rule.c_str());
    std::abort();
}

} // namespace fuzz
