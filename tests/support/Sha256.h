// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

// SHA-256 (FIPS 180-4) of `size` bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const void* data, size_t size);

inline std::string Sha256Hex(const std::string& text)
{
    return Sha256Hex(text.data(), text.size());
}

} // namespace testsupport
