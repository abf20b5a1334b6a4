// SPDX-License-Identifier: MIT
#include "eanupc/Jan8.h"

#include "eanupc/EanUpcEncoder.h"

namespace {

const EanUpcSymbol::Layout& Jan8Layout()
{
    static const EanUpcSymbol::Layout layout{"[Jan8] ",
                                             67,
                                             0.0f,
                                             0.0f,
                                             true,
                                             0.275f,
                                             {{3, true}, {16, false}, {5, true}, {16, false}, {3, true}},
                                             -1,
                                             {{0, 4, 1, 2}, {4, 4, 3, 4}},
                                             0.0f,
                                             -1,
                                             true,
                                             false};
    return layout;
}

} // namespace

Jan8::Jan8(SDL_Renderer* renderer) : EanUpcSymbol(renderer, Jan8Layout()) {}

Jan8::Jan8(const std::string& outputFormat) : EanUpcSymbol(outputFormat, Jan8Layout()) {}

std::string Jan8::CalculateCheckDigit(const std::string& text)
{
    return eanupc::CheckDigitJan8(text);
}

std::vector<int> Jan8::EncodeJAN8(const std::string& text)
{
    return eanupc::EncodeJan8(text);
}

BarcodeBase1D::LinearSymbol Jan8::Prepare(const std::string& text) const
{
    LinearSymbol symbol;
    symbol.widths = EncodeJAN8(text);
    symbol.displayText = eanupc::CompleteJan8(text);
    return symbol;
}
