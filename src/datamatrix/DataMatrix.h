// SPDX-License-Identifier: MIT
#pragma once

#include "core/BarcodeBase2D.h"
#include "datamatrix/DxEncode.h"

#include <cstdint>
#include <string>
#include <vector>

// Data Matrix ECC 200 (ISO/IEC 16022): 24 square and 6 rectangular sizes, the six encodation
// schemes or their shortest mix. The symbol is drawn with square modules from the box's
// top-left corner; a raster image and the SVG document have the symbol's size, not the box's.
class DataMatrix : public BarcodeBase2D
{
public:
    explicit DataMatrix(SDL_Renderer* renderer);
    explicit DataMatrix(const std::string& outputFormat);

    // internal::kDxSizeAutoSquare (the default), kDxSizeAutoRectangular, or a size index 0..29
    // (internal::DxSize); any other value makes the next draw fail.
    void SetCodeSize(int size) { m_codeSize = size; }

    int GetCodeSize() const { return m_codeSize; }

    // Ascii (the default) to Base256, or AutoBest.
    void SetEncodeScheme(internal::DxScheme scheme) { m_scheme = scheme; }

    internal::DxScheme GetEncodeScheme() const { return m_scheme; }

    // The symbol of the bytes as they are, with the code size and scheme. Throws
    // std::runtime_error with the reason when they cannot be encoded or do not fit.
    ModuleMatrix CalDataMatrix(const std::vector<std::uint8_t>& bytes) const;
    // The symbol of a text in the string encoding, read as GS1 data when it starts with "{FNC1}"
    // (every "{FNC1}" is then the FNC1 codeword) or when the scheme is AsciiGs1. Throws as above.
    ModuleMatrix CalDataMatrix(const std::string& text);

private:
    // The whole draw on either output (every Draw form ends here). Data that cannot be encoded or do
    // not fit print "[DataMatrix] " and the reason to standard error and return false.
    bool DrawSymbol(Target target, const std::vector<std::uint8_t>& data, int x, int y, int width, int height) override;
    internal::DxImageEncoderOptions Options() const;
    // The input bytes of a text and the GS1 settings it implies.
    std::vector<std::uint8_t> GetRawDataAndSetEncoding(const std::string& text,
                                                       internal::DxImageEncoderOptions& options);

    int m_codeSize = internal::kDxSizeAutoSquare;
    internal::DxScheme m_scheme = internal::DxScheme::Ascii;
};
