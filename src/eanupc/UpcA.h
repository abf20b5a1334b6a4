// SPDX-License-Identifier: MIT
#pragma once

#include "eanupc/EanUpcSymbol.h"

#include <string>
#include <vector>

// UPC-A: 11 digits and a check digit; the first and last digit print outside the bars.
class UpcA : public EanUpcSymbol
{
public:
    explicit UpcA(SDL_Renderer* renderer);
    explicit UpcA(const std::string& outputFormat);

    // Check digit of the first 11 digits; throws std::runtime_error when there are fewer or a non-digit.
    static std::string CalculateCheckDigit(const std::string& text);
    // Element widths of 11 or 12 digits (59 elements, 95 modules); throws std::runtime_error.
    static std::vector<int> EncodeUPCA(const std::string& text);

protected:
    LinearSymbol Prepare(const std::string& text) const override;
};
