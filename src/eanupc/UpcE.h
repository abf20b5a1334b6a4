// SPDX-License-Identifier: MIT
#pragma once

#include "eanupc/EanUpcSymbol.h"

#include <string>
#include <vector>

// UPC-E: the zero-suppressed UPC-A of number system 0; 6, 7 or 8 digits in, printed as 8.
class UpcE : public EanUpcSymbol
{
public:
    explicit UpcE(SDL_Renderer* renderer);
    explicit UpcE(const std::string& outputFormat);

    // The 11-digit UPC-A body of a 7-digit text of number system 0, else "".
    static std::string ExpandToUpcA(const std::string& text);
    // Check digit of a 7-digit text (through its expansion) or of an expanded body; "" when there is none.
    static std::string CalculateCheckDigit(const std::string& text);
    // Element widths of the 8-digit form (33 elements, 51 modules); throws std::runtime_error.
    static std::vector<int> EncodeUPCE(const std::string& text);

protected:
    LinearSymbol Prepare(const std::string& text) const override;
};
