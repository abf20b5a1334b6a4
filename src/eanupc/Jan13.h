// SPDX-License-Identifier: MIT
#pragma once

#include "eanupc/EanUpcSymbol.h"

#include <string>
#include <vector>

// JAN-13 (EAN-13): 12 digits and a check digit, the first carried by the parity of the left half.
class Jan13 : public EanUpcSymbol
{
public:
    explicit Jan13(SDL_Renderer* renderer);
    explicit Jan13(const std::string& outputFormat);

    // Check digit of the first 12 digits; throws std::runtime_error when there are fewer or a non-digit.
    static std::string CalculateCheckDigit(const std::string& text);
    // Element widths of 12 or 13 digits (59 elements, 95 modules); throws std::runtime_error.
    static std::vector<int> EncodeJAN13(const std::string& text);

protected:
    LinearSymbol Prepare(const std::string& text) const override;
};
