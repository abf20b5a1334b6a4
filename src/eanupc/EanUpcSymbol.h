// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"

#include <string>
#include <vector>

// The drawing shared by JAN-8, JAN-13, UPC-A and UPC-E. Two styles: uniform (all bars one
// height, the number centred under them like any linear symbol) and extended guard (guard bars
// reach into the text line, the digits sit in groups between the guards, the leading and for
// UPC the trailing digit outside the bars). One geometry feeds both outputs; the classes differ
// only by their `Layout` row and their encoder.
class EanUpcSymbol : public BarcodeBase1D
{
public:
    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;

    void SetExtendedGuard(bool on) { m_extendedGuard = on; }

    bool GetExtendedGuard() const { return m_extendedGuard; }

    // A run of consecutive elements drawn at one bar height.
    struct Zone
    {
        int elements;
        bool guard; // bars reach below the data bars
    };

    // Digits printed as a group between the starts of two zones.
    struct Group
    {
        int firstByte;
        int count;
        int fromZone;
        int toZone;
    };

    // What sets the four symbols apart; lengths are in units of the text band T.
    struct Layout
    {
        const char* tag;         // "[Jan13] "
        int modules;             // symbol width in modules
        float leftMargin;        // room for the leading digit (x T)
        float rightMargin;       // room for the trailing digit (x T)
        bool snapRasterOrigin;   // raster: first bar at a whole pixel
        float guardExtension;    // guard bars grow by this (x T) under shown text
        std::vector<Zone> zones; // left to right, covering every element
        int leadingByte;         // printed left of the bars; -1 for none
        std::vector<Group> groups;
        float groupInset;         // groups shrink by this (x T) at each end
        int trailingByte;         // printed right of the bars; -1 for none
        bool rasterTextBelowGap;  // raster digits start one text gap under the bars
        bool rasterCrowdedGroups; // raster groups without room are still drawn (step 0)
    };

protected:
    EanUpcSymbol(SDL_Renderer* renderer, const Layout& layout);
    EanUpcSymbol(const std::string& outputFormat, const Layout& layout);

    // The element widths and the digits to print (check digit included) for a text; throws
    // std::runtime_error with the reason when the text cannot be encoded.
    virtual LinearSymbol Prepare(const std::string& text) const = 0;

private:
    bool DrawStyled(Target target, const std::string& text, int x, int y, int width, int height);
    bool DrawExtended(Target target, const std::string& text, int x, int y, int width, int height);
    // The digits of the extended style at the largest raster font size, from the one the box
    // suggests down, at which they lie inside the box; false, with the reason printed, when not
    // even the smallest size fits.
    bool PaintExtendedText(Target target, const std::string& digits, const std::vector<float>& zoneStarts, float xEnd,
                           int x, int y, int height);
    // The digits at raster font size `rasterSize`: painted when `paint`, else only placed.
    // Returns true when they lie inside the box of the draw (`last`: the smallest size, whose
    // failure prints the reason).
    bool LayOutExtendedText(Target target, const std::string& digits, const std::vector<float>& zoneStarts, float xEnd,
                            int x, int y, int height, int rasterSize, bool paint, bool last);

    const Layout& m_layout;
    bool m_extendedGuard = true;
};
