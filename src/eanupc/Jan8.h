// SPDX-License-Identifier: MIT
#pragma once

#include "eanupc/EanUpcSymbol.h"

#include <string>
#include <vector>

// JAN-8 (EAN-8): 7 digits and a check digit.
class Jan8 : public EanUpcSymbol
{
public:
    explicit Jan8(SDL_Renderer* renderer);
    explicit Jan8(const std::string& outputFormat);

    // Check digit of the first 7 digits; throws std::runtime_error when there are fewer or a non-digit.
    static std::string CalculateCheckDigit(const std::string& text);
    // Element widths of 7 or 8 digits (43 elements, 67 modules); throws std::runtime_error.
    static std::vector<int> EncodeJAN8(const std::string& text);

protected:
    LinearSymbol Prepare(const std::string& text) const override;
};
