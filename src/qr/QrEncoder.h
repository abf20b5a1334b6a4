// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// First stage of the QR Code engine: the data bit stream of one segment (numeric or 8-bit
// byte mode, no ECI), the version choice and the data codewords with terminator and padding
// (ISO/IEC 18004, 7.4). Pure functions, no drawing.
namespace qr_internal {

enum class DataMode
{
    Numeric,
    Byte
};

// One piece of the bit stream: `length` bits of `value`, most significant first.
struct BitEntry
{
    std::uint32_t value;
    std::uint8_t length;
};

// The mode really used: numeric for the mode letter "N" when every byte is a digit; byte mode
// otherwise (numeric mode cannot carry other bytes, so they fall back to byte mode).
DataMode ChooseDataMode(const std::string& modeLetter, const std::vector<std::uint8_t>& data);

// Mode indicator (4 bits), character count at its base length (8 bits for bytes, 10 for
// digits) and the data: one 8-bit entry per byte, or digits in groups of three (10 bits),
// a final pair in 7 bits, a final digit in 4 bits.
std::vector<BitEntry> BuildBitStream(DataMode mode, const std::vector<std::uint8_t>& data);

// The smallest version whose data capacity at `level` holds the stream with the count field of
// that version; a requested version 1..40 acts as a minimum. Throws std::runtime_error when
// version 40 is too small.
int ChooseVersion(DataMode mode, const std::vector<BitEntry>& stream, int level, int requestedVersion);

// The data codewords of `version` and `level`: the stream with the count field widened for the
// version, the terminator, zero bits to the byte boundary, then 0xEC, 0x11 ... to capacity.
std::vector<std::uint8_t> QRCodeGet8BitData(DataMode mode, std::vector<BitEntry> stream, int version, int level);

// Bits of the data part for n characters in the mode letter (informational): 8n for bytes,
// plus 10 per three digits (4 or 7 for a remainder) for "N", 11 per pair (6 for an odd one) for "A".
long long InquireBits(const std::string& modeLetter, size_t n);

} // namespace qr_internal
