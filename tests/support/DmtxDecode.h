// SPDX-License-Identifier: MIT
#pragma once

#include "support/TestSupport.h"

#include <cstdint>
#include <vector>

// A second, independent Data Matrix reader for round trips: libdmtx, which follows the standard's
// decoding procedure more literally than zxing-cpp (it reads the two codewords after a C40, Text
// or X12 latch as values before it looks for an unlatch).
namespace testsupport {

// True when libdmtx was found at build time.
bool HaveDmtx();

// Reads one Data Matrix symbol from a grey image; `bytes` holds the decoded data.
Decoded DecodeDmtx(const GreyImage& image);
// PNG bytes as the library returns them, with a white quiet zone of `margin` pixels added.
Decoded DecodeDmtxPngBytes(const std::vector<std::uint8_t>& png, int margin = 16);

} // namespace testsupport
