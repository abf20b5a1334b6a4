// SPDX-License-Identifier: MIT
#include "eanupc/UpcA.h"

#include "eanupc/EanUpcEncoder.h"

namespace {

const EanUpcSymbol::Layout& UpcALayout()
{
    static const EanUpcSymbol::Layout layout{"[UpcA] ",
                                             95,
                                             0.8f,
                                             0.8f,
                                             true,
                                             0.495f,
                                             // The number-system and check characters share the guards' height.
                                             {{7, true}, {21, false}, {3, true}, {21, false}, {7, true}},
                                             0,
                                             {{1, 5, 1, 2}, {6, 5, 3, 4}},
                                             0.0f,
                                             11,
                                             false,
                                             false};
    return layout;
}

} // namespace

UpcA::UpcA(SDL_Renderer* renderer) : EanUpcSymbol(renderer, UpcALayout()) {}

UpcA::UpcA(const std::string& outputFormat) : EanUpcSymbol(outputFormat, UpcALayout()) {}

std::string UpcA::CalculateCheckDigit(const std::string& text)
{
    return eanupc::CheckDigitUpcA(text);
}

std::vector<int> UpcA::EncodeUPCA(const std::string& text)
{
    return eanupc::EncodeUpcA(text);
}

BarcodeBase1D::LinearSymbol UpcA::Prepare(const std::string& text) const
{
    LinearSymbol symbol;
    symbol.widths = EncodeUPCA(text);
    symbol.displayText = eanupc::CompleteUpcA(text);
    return symbol;
}
