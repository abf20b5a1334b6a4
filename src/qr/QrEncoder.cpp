// SPDX-License-Identifier: MIT
#include "qr/QrEncoder.h"

#include "qr/QrTables.h"

#include <algorithm>
#include <stdexcept>

namespace qr_internal {
namespace {

int ExtraCountBits(DataMode mode, int version)
{
    return mode == DataMode::Numeric ? NumericCountExtraBits(version) : ByteCountExtraBits(version);
}

long long StreamBits(const std::vector<BitEntry>& stream)
{
    long long bits = 0;
    for (const BitEntry& e : stream) {
        bits += e.length;
    }
    return bits;
}

} // namespace

DataMode ChooseDataMode(const std::string& modeLetter, const std::vector<std::uint8_t>& data)
{
    if (modeLetter != "N") {
        return DataMode::Byte;
    }
    for (std::uint8_t b : data) {
        if (b < '0' || b > '9') {
            return DataMode::Byte;
        }
    }
    return DataMode::Numeric;
}

namespace {

[[noreturn]] void ThrowDataTooLong()
{
    throw std::runtime_error(std::string("Data too long for QR Code. ")
                             + "Data requires more capacity than Version 40 can provide. "
                             + "Reduce data length or use a lower error correction level.");
}

} // namespace

std::vector<BitEntry> BuildBitStream(DataMode mode, const std::vector<std::uint8_t>& data)
{
    // No version holds more than 7089 characters (numeric, level L): fail before building a
    // stream for data that cannot fit, whatever its size.
    constexpr size_t kMostCharacters = 7089;
    if (data.size() > kMostCharacters) {
        ThrowDataTooLong();
    }
    std::vector<BitEntry> stream;
    const auto count = static_cast<std::uint32_t>(data.size());
    if (mode == DataMode::Byte) {
        stream.reserve(data.size() + 2);
        stream.push_back({4, 4});
        stream.push_back({count, 8});
        for (std::uint8_t b : data) {
            stream.push_back({b, 8});
        }
        return stream;
    }
    stream.reserve(data.size() / 3 + 3);
    stream.push_back({1, 4});
    stream.push_back({count, 10});
    // ISO/IEC 18004, 7.4.3: groups of three digits in 10 bits, a final two in 7, one in 4.
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = std::min<size_t>(3, data.size() - i);
        std::uint32_t value = 0;
        for (size_t k = 0; k < n; ++k) {
            value = value * 10 + static_cast<std::uint32_t>(data[i + k] - '0');
        }
        stream.push_back({value, static_cast<std::uint8_t>(n == 3 ? 10 : n == 2 ? 7 : 4)});
    }
    return stream;
}

int ChooseVersion(DataMode mode, const std::vector<BitEntry>& stream, int level, int requestedVersion)
{
    const long long bits = StreamBits(stream);
    for (int v = kMinVersion; v <= kMaxVersion; ++v) {
        if (DataCapacityBits(level, v) >= bits + ExtraCountBits(mode, v)) {
            return (requestedVersion >= v && requestedVersion <= kMaxVersion) ? requestedVersion : v;
        }
    }
    ThrowDataTooLong();
}

std::vector<std::uint8_t> QRCodeGet8BitData(DataMode mode, std::vector<BitEntry> stream, int version, int level)
{
    stream.at(1).length = static_cast<std::uint8_t>(stream.at(1).length + ExtraCountBits(mode, version));
    const size_t capacity = static_cast<size_t>(DataCodewords(level, version));
    const size_t capacityBits = capacity * 8;
    std::vector<std::uint8_t> codewords(capacity, 0);
    size_t bit = 0;
    for (const BitEntry& e : stream) {
        for (int k = e.length - 1; k >= 0; --k) {
            if (bit >= capacityBits) {
                throw std::logic_error("QR bit stream exceeds the chosen version");
            }
            if ((e.value >> k) & 1u) {
                codewords[bit / 8] = static_cast<std::uint8_t>(codewords[bit / 8] | (0x80u >> (bit % 8)));
            }
            ++bit;
        }
    }
    // Terminator of up to four zero bits, then zero bits to the byte boundary: both are the
    // zeros already in place, so only the position moves on.
    bit = std::min(bit + 4, capacityBits);
    size_t next = (bit + 7) / 8;
    for (bool first = true; next < capacity; ++next, first = !first) {
        codewords[next] = first ? 0xEC : 0x11;
    }
    return codewords;
}

long long InquireBits(const std::string& modeLetter, size_t n)
{
    const auto count = static_cast<long long>(n);
    long long bits = 8 * count;
    if (modeLetter == "N") {
        bits += 10 * (count / 3) + (count % 3 == 1 ? 4 : count % 3 == 2 ? 7 : 0);
    } else if (modeLetter == "A") {
        bits += 11 * (count / 2) + (count % 2 == 1 ? 6 : 0);
    }
    return bits;
}

} // namespace qr_internal
