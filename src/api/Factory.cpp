// SPDX-License-Identifier: MIT
#include "api/Handle.h"
#include "code128/Code128.h"
#include "code128/GS1_128.h"
#include "databar/GS1DataBar14.h"
#include "databar/GS1DataBarExpanded.h"
#include "databar/GS1DataBarLimited.h"
#include "datamatrix/DataMatrix.h"
#include "eanupc/Jan13.h"
#include "eanupc/Jan8.h"
#include "eanupc/UpcA.h"
#include "eanupc/UpcE.h"
#include "linear/Code39.h"
#include "linear/Code93.h"
#include "linear/ITF.h"
#include "linear/NW7.h"
#include "linear/TwoOfFive.h"
#include "pdf417/PDF417.h"
#include "postal/YubinCustomer.h"
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
    Make<Code39>,        // 0 Code39
    Make<Code93>,        // 1 Code93
    Make<Code128>,       // 2 Code128
    Make<GS1_128>,       // 3 GS1_128
    Make<NW7>,           // 4 NW7
    Make<Matrix2of5>,    // 5 Matrix2of5
    Make<NEC2of5>,       // 6 NEC2of5
    Make<Jan8>,          // 7 Jan8
    Make<Jan13>,         // 8 Jan13
    Make<UpcA>,          // 9 UpcA
    Make<UpcE>,          // 10 UpcE
    Make<ITF>,           // 11 ITF
    Make<GS1DataBar14>,      // 12 GS1DataBar14
    Make<GS1DataBarLimited>, // 13 GS1DataBarLimited
    Make<GS1DataBarExpanded>, // 14 GS1DataBarExpanded
    Make<YubinCustomer>, // 15 YubinCustomer
    Make<QR>,            // 16 QR
    Make<DataMatrix>,    // 17 DataMatrix
    Make<PDF417>,        // 18 PDF417
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

bool IsBuilt(int type)
{
    return static_cast<unsigned>(type) < static_cast<unsigned>(kSymbolTypeCount) && kFactories[type] != nullptr;
}

} // namespace capi
