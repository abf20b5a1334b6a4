// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fixed set of symbols over every type number, drawn through the C interface, whose output
// bytes are pinned by digests (tests/data/output-digests.txt). See OutputCorpus.cpp for how the
// digests are made and refreshed.
namespace testsupport {

enum class DrawCall
{
    OneD,        // barcode_draw_1d(text, width, height)
    TwoD,        // barcode_draw_2d(text, width)
    TwoDRect,    // barcode_draw_2d_rect(text, width, height)
    Yubin,       // barcode_draw_yubin(text, height)
    YubinWidth,  // barcode_draw_yubin_with_width(text, width, height)
    Convenience, // barcode_draw_convenience(text, width, height)
    Stacked      // barcode_draw_stacked(text, width, height)
};

struct CorpusEntry
{
    const char* name; // unique
    int type;
    const char* text;
    int width;
    int height;
    DrawCall call;
    void (*options)(void* handle); // applied after the output format; null for the defaults
};

const std::vector<CorpusEntry>& OutputCorpus();

// What one entry produced in one output format, in the order the calls were made: draw, then
// barcode_get_image_data and barcode_get_base64 (raster) or barcode_get_svg.
struct CorpusOutput
{
    bool available = false; // barcode_create gave a handle
    bool drawn = false;
    std::vector<std::uint8_t> image;
    std::string base64;
    std::string svg;
    std::string diagnostics; // standard output, then standard error, with progress lines on
};

// Draws `entry` with output format `format` ("png", "svg", "png8", ...). Diagnostics are only
// captured when `captureDiagnostics` is set (progress lines are switched on for the call).
CorpusOutput RunCorpusEntry(const CorpusEntry& entry, const std::string& format, bool captureDiagnostics);

// The digest line of an output: "<type> <name>/<format> drawn=.. image=.. base64=.. svg=.. diag=..".
std::string DigestLine(const CorpusEntry& entry, const std::string& format, const CorpusOutput& output);

} // namespace testsupport
