// SPDX-License-Identifier: MIT
#include "eanupc/Jan13.h"

#include "eanupc/EanUpcEncoder.h"

namespace {

const EanUpcSymbol::Layout& Jan13Layout()
{
    static const EanUpcSymbol::Layout layout{"[Jan13] ",
                                             95,
                                             0.96f,
                                             0.0f,
                                             true,
                                             0.275f,
                                             {{3, true}, {24, false}, {5, true}, {24, false}, {3, true}},
                                             0,
                                             {{1, 6, 1, 2}, {7, 6, 3, 4}},
                                             0.0f,
                                             -1,
                                             false,
                                             false};
    return layout;
}

} // namespace

Jan13::Jan13(SDL_Renderer* renderer) : EanUpcSymbol(renderer, Jan13Layout()) {}

Jan13::Jan13(const std::string& outputFormat) : EanUpcSymbol(outputFormat, Jan13Layout()) {}

std::string Jan13::CalculateCheckDigit(const std::string& text)
{
    return eanupc::CheckDigitJan13(text);
}

std::vector<int> Jan13::EncodeJAN13(const std::string& text)
{
    return eanupc::EncodeJan13(text);
}

BarcodeBase1D::LinearSymbol Jan13::Prepare(const std::string& text) const
{
    LinearSymbol symbol;
    symbol.widths = EncodeJAN13(text);
    symbol.displayText = eanupc::CompleteJan13(text);
    return symbol;
}
