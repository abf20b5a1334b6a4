// SPDX-License-Identifier: MIT
#include "api/Handle.h"

#include "linear/Code39.h"
#include "qr/QR.h"

#include <iterator>

namespace capi {
namespace {

using Factory = std::unique_ptr<IBarcodeSymbology> (*)();

template <class T>
std::unique_ptr<IBarcodeSymbology> Make()
{
    return std::make_unique<T>("png");
}

// Indexed by type number; null where the symbology is not built in yet.
constexpr Factory kFactories[] = {
    Make<Code39>, // 0 Code39
    nullptr,      // 1 Code93
    nullptr,      // 2 Code128
    nullptr,      // 3 GS1_128
    nullptr,      // 4 NW7
    nullptr,      // 5 Matrix2of5
    nullptr,      // 6 NEC2of5
    nullptr,      // 7 Jan8
    nullptr,      // 8 Jan13
    nullptr,      // 9 UpcA
    nullptr,      // 10 UpcE
    nullptr,      // 11 ITF
    nullptr,      // 12 GS1DataBar14
    nullptr,      // 13 GS1DataBarLimited
    nullptr,      // 14 GS1DataBarExpanded
    nullptr,      // 15 YubinCustomer
    Make<QR>,     // 16 QR
    nullptr,      // 17 DataMatrix
    nullptr,      // 18 PDF417
};
static_assert(std::size(kFactories) == kSymbolTypeCount, "one factory per type number");

} // namespace

std::unique_ptr<IBarcodeSymbology> CreateSymbol(int type)
{
    if (static_cast<unsigned>(type) >= static_cast<unsigned>(kSymbolTypeCount)) {
        return nullptr;
    }
    const Factory make = kFactories[type];
    return make != nullptr ? make() : nullptr;
}

} // namespace capi
