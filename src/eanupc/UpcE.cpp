// SPDX-License-Identifier: MIT
#include "eanupc/UpcE.h"

#include "eanupc/EanUpcEncoder.h"

namespace {

const EanUpcSymbol::Layout& UpcELayout()
{
    static const EanUpcSymbol::Layout layout{
        "[UpcE] ",      51,   0.8f, 0.8f,  false, 0.495f, {{3, true}, {24, false}, {6, true}}, 0,
        {{1, 6, 1, 2}}, 0.4f, 7,    false, true};
    return layout;
}

} // namespace

UpcE::UpcE(SDL_Renderer* renderer) : EanUpcSymbol(renderer, UpcELayout()) {}

UpcE::UpcE(const std::string& outputFormat) : EanUpcSymbol(outputFormat, UpcELayout()) {}

std::string UpcE::ExpandToUpcA(const std::string& text)
{
    return eanupc::ExpandUpcE(text);
}

std::string UpcE::CalculateCheckDigit(const std::string& text)
{
    return eanupc::CheckDigitUpcE(text);
}

std::vector<int> UpcE::EncodeUPCE(const std::string& text)
{
    return eanupc::EncodeUpcE(text);
}

BarcodeBase1D::LinearSymbol UpcE::Prepare(const std::string& text) const
{
    // The 8-digit form is printed as well as encoded.
    const std::string digits = eanupc::NormaliseUpcE(text);
    return LinearSymbol{EncodeUPCE(digits), digits};
}
