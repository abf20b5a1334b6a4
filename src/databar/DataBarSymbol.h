// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase1D.h"
#include "databar/DataBarRows.h"

#include <functional>
#include <string>
#include <vector>

// Base of the GS1 DataBar classes: paints the rows an encoder lays out, on either output.
class DataBarSymbol : public BarcodeBase1D
{
public:
    explicit DataBarSymbol(SDL_Renderer* renderer) : BarcodeBase1D(renderer) {}

    explicit DataBarSymbol(const std::string& outputFormat) : BarcodeBase1D(outputFormat) {}

    bool Draw(const std::string& text, int x, int y, int width, int height) override;
    bool DrawSvg(const std::string& text, int x, int y, int width, int height) override;

protected:
    using RowEncoder = std::function<databar::RowSymbol()>;

    // The rows of a text; throws for bad input.
    virtual databar::RowSymbol EncodeRows(const std::string& text) = 0;
    // What a failure message begins with, such as "[GS1 DataBar] ".
    virtual const char* Tag() const = 0;

    // The draw of a DataBar symbol: canvas, encoding (an exception is printed after `tag` and
    // fails the draw), rows, text. One row takes the bar height of the linear frame; a stack
    // shares the height above a reserved text band among its rows.
    bool DrawRows(Target target, const char* tag, const RowEncoder& encode, int x, int y, int width, int height);

    // Pixel heights of the rows of a stack drawn `height` pixels high with modules `module`
    // pixels wide.
    std::vector<float> StackHeights(const std::vector<int>& values, int height, float module) const;

private:
    // The x just past the last bar of a row painted from x.
    float RowEnd(const std::vector<int>& runs, float x, float module) const;
    // Paints one row of run lengths from x; returns the x after it.
    float PaintRow(Target target, const std::vector<int>& runs, float x, float y, float module, float rowHeight);
};
