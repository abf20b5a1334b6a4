// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase.h"
#include "core/ModuleMatrix.h"
#include "core/text/Encodings.h"

#include <cstdint>
#include <string>
#include <vector>

enum class StringEncoding
{
    Utf8 = 0,
    ShiftJis = 1
};

// Base of the 2D symbologies: the byte encoding their text is carried in (UTF-8 or Shift-JIS,
// converted with iconv), the square and byte forms of Draw, and the drawing frame they share
// (raster target preparation and module painting on either output).
class BarcodeBase2D : public BarcodeBase
{
public:
    explicit BarcodeBase2D(SDL_Renderer* renderer);
    explicit BarcodeBase2D(const std::string& outputFormat);

    using BarcodeBase::Draw;
    // Every form ends in DrawSymbol: text is converted to the string encoding first, a size
    // stands for a size x size box, and "svg" output mode writes the document. The base class
    // draws nothing and returns false.
    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    virtual bool Draw(const std::string& text, int x, int y, int size);
    virtual bool Draw(const std::vector<std::uint8_t>& bytes, int x, int y, int size);
    virtual bool Draw(const std::vector<std::uint8_t>& bytes, int x, int y, int width, int height);
    // SVG is written by the byte form; the text form of BarcodeBase stays and returns false.
    using BarcodeBase::DrawSvg;
    bool DrawSvg(const std::vector<std::uint8_t>& bytes, int x, int y, int width, int height);

    // Stored as given; "utf-8"/"UTF-8" and "shift-jis"/"Shift-JIS"/"shift_jis" are understood.
    void SetStringEncoding(const std::string& name) { m_stringEncoding = name; }

    void SetStringEncoding(StringEncoding e);

    std::string GetStringEncoding() const { return m_stringEncoding; }

    // Well-formed UTF-8 by lead and continuation bits (overlongs and surrogates not checked);
    // the empty text is valid.
    static bool IsValidUtf8(const std::string& text) { return encodings::IsValidUtf8(text); }
    // Plausible Shift-JIS: at least one double-byte pair and no well-formed UTF-8 sequence where
    // the pairs stop. False for the empty text and for pure ASCII.
    static bool IsShiftJIS(const std::string& text) { return encodings::IsShiftJis(text); }
    // "utf-8" or "shift-jis", judged by the first byte of 0x80 or more.
    static std::string DetectEncoding(const std::string& text) { return encodings::Detect(text); }

    // The bytes of `text` converted between two named encodings; empty on any failure. The
    // Shift-JIS names above convert as code page 932 (the Windows superset of Shift_JIS).
    std::vector<std::uint8_t> ConvertEncoding(const std::string& text, const std::string& from, const std::string& to);
    // The bytes a 2D symbol encodes for `text` in the encoding `encodingName`: text already in
    // that encoding passes unchanged, text in the other one is converted; ASCII never changes.
    std::vector<std::uint8_t> ConvertStringToBytes(const std::string& text, const std::string& encodingName);
    std::vector<std::uint8_t> ConvertToUtf8(const std::string& text);
    std::vector<std::uint8_t> ConvertToSJis(const std::string& text);

protected:
    // Prints `modules` as progress lines on standard output, a line of '1' and '0' per row.
    static void DebugRows(const ModuleMatrix& modules);

    // The whole draw of a symbol from its bytes on either output.
    virtual bool DrawSymbol(Target target, const std::vector<std::uint8_t>& bytes, int x, int y, int width, int height);

    struct Box
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // Prepares a raster draw into `requested`: a caller's renderer is painted at `requested`;
    // otherwise a surface of the requested size is made and `paint` becomes (0, 0, surface
    // width, surface height). Prints why (when `report`) and returns false when there is
    // nowhere to paint.
    bool BeginRaster2D(const Box& requested, Box* paint, bool report = true);
    // Finishes a raster draw (presents a caller's renderer).
    void EndRaster2D();

    // The module pitch of a fit-width draw whose exact share of the box is `share` pixels: the
    // share itself, except on a raster below two pixels a module, where fractional modules
    // (alternately one and two pixels) do not scan: there whole pixels (one) are used and
    // `centred` is set, the symbol then being centred in its box.
    static float FitPitch(Target target, float share, bool* centred);
    // The whole pixels a symbol `extent` pixels long moves to sit centred in `size`.
    static int CentringOffset(int size, float extent);

    // Module edges: the raster sink rounds to whole pixels from the origin, the SVG sink keeps
    // fractions from 0.
    static std::vector<float> Edges(Target target, int origin, float pitch, int count);
    // Fills `box` with the background colour (raster) or starts the document with a background
    // rectangle of its size (SVG).
    void BeginModules(Target target, const Box& box);
    // False, with the reason printed after `tag`, when the layout's widening (the black pixel
    // adjustment) covers whole light modules or leaves dark ones without a pixel: the symbol
    // would be destroyed rather than adjusted.
    static bool AdjustmentKeepsModules(Target target, const std::string& tag, const ModuleLayout& layout);
    // One rectangle per dark module in the foreground colour; rectangles without area are skipped.
    void PaintModules(Target target, const ModuleMatrix& modules, const ModuleLayout& layout);
    void EndModules(Target target);

    std::string m_stringEncoding = "utf-8";

private:
    void PaintModuleRuns(const ModuleMatrix& modules, const ModuleLayout& layout);

    bool m_callersRenderer = false;
};
