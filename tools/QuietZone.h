// SPDX-License-Identifier: MIT
// Quiet zones for the lumeo tool: the library draws a symbol flush against its box, so the
// tool measures the drawn module width and adds the margin the symbology's standard asks for.
#pragma once

#include <string>

namespace lumeo {

struct Color
{
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 255;
};

// Quiet zone of a symbology in modules (the narrowest bar or space of the symbol).
struct QuietZoneModules
{
    double left;
    double right;
    double vertical; // above and below
};

// Where the dark parts of a drawn symbol lie on its canvas, and how wide a module is.
struct SymbolExtent
{
    bool found = false;                              // false when the document holds no dark rectangle
    double module = 0;                               // narrowest dark rectangle, in pixels
    double moduleHeight = 0;                         // lowest dark rectangle, in pixels
    double left = 0, top = 0, right = 0, bottom = 0; // bounding box of the dark rectangles
    double canvasWidth = 0, canvasHeight = 0;
};

// Pixels to add on each side of a drawn image.
struct Margins
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Reads the rectangles that the library wrote in the colour `fg` into an SVG document.
SymbolExtent MeasureSvg(const std::string& svg, const Color& fg);

// The margins that give the symbol its quiet zone, counting the blank space the canvas already
// has around the dark rectangles. `pxAdjustBlack` (added to every bar by the library) is taken
// off the narrowest bar to find the module.
Margins QuietZoneMargins(const SymbolExtent& extent, const QuietZoneModules& zone, int pxAdjustBlack);

// The document with `m` pixels of background around it: a larger canvas and view box; then
// turned clockwise by `degrees` (0, 90, 180 or 270), width and height swapped for 90 and 270.
std::string FrameSvg(const std::string& svg, const Margins& m, const Color& bg, int degrees = 0);

// The PNG file with `m` pixels of background around it, then turned clockwise by `degrees` (0,
// 90, 180 or 270). Palette images stay palette images. Throws std::runtime_error when the bytes
// are not a PNG file that can be read.
std::string FramePng(const std::string& png, const Margins& m, const Color& bg, int degrees = 0);

// The size in pixels of a PNG file or an SVG document; false when it cannot be read.
bool ImageSize(const std::string& image, long long* width, long long* height);

} // namespace lumeo
