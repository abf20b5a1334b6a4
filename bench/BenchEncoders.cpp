// SPDX-License-Identifier: MIT
// Encode-only hooks per type number: the encoders are pure functions inside the library.
#include "BenchEncoders.h"

#include "code128/Code128Encoder.h"
#include "code128/GS1_128Encoder.h"
#include "databar/DataBar14Encoder.h"
#include "databar/DataBarExpandedEncoder.h"
#include "databar/DataBarLimitedEncoder.h"
#include "datamatrix/DxEncode.h"
#include "eanupc/EanUpcEncoder.h"
#include "linear/Code39Encoder.h"
#include "linear/Code93Encoder.h"
#include "linear/ITFEncoder.h"
#include "linear/NW7Encoder.h"
#include "linear/TwoOfFiveEncoder.h"
#include "pdf417/Pdf417Encoder.h"
#include "postal/YubinEncoder.h"
#include "qr/QRJam.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <iterator>
#include <vector>

namespace bench {
namespace {

template <class T>
void Keep(const T& value)
{
    benchmark::DoNotOptimize(value);
}

// QR version 10 at level M, bytes, as the QR bench case draws it.
void EncodeQr(const std::string& text)
{
    qr_internal::QRJam jam;
    jam.SetEncodeMode("B");
    jam.SetVersion(10);
    jam.SetLevel(1);
    jam.qrcode_write_barcode(std::vector<std::uint8_t>(text.begin(), text.end()), 0, 0, 100, 100);
    Keep(jam.Modules());
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

void EncodeExpanded(const std::string& text)
{
    const databar::ExpandedBits bits = databar::EncodeExpandedBits(text);
    Keep(databar::ExpandedRows(databar::ExpandedElements(bits.bits), false, 2));
}

void EncodeDataMatrix(const std::string& text)
{
    internal::DxEncode encoder;
    encoder.EncodeDataMatrix(Bytes(text), internal::DxImageEncoderOptions{});
    Keep(encoder.PrintPatternRaw());
}

// PDF417 with the default layout settings (automatic level, aspect ratio 0.5, y-height 3).
void EncodePdf417(const std::string& text)
{
    Keep(internal_pdf417::Encode(Bytes(text), internal_pdf417::LayoutSettings{}).modules);
}

// Indexed by type number; null where no hook exists (yet).
const EncodeFn kEncoders[] = {
    [](const std::string& t) { Keep(linear::EncodeCode39(t)); },                                         // 0 Code39
    [](const std::string& t) { Keep(linear::EncodeCode93(t)); },                                         // 1 Code93
    [](const std::string& t) { Keep(code128::EncodeAuto(t)); },                                          // 2 Code128
    [](const std::string& t) { Keep(gs1_128::Encode(t).Widths()); },                                     // 3 GS1_128
    [](const std::string& t) { Keep(linear::EncodeNW7(t)); },                                            // 4 NW7
    [](const std::string& t) { Keep(linear::EncodeTwoOfFive(t, linear::kMatrix2of5)); },                 // 5 Matrix2of5
    [](const std::string& t) { Keep(linear::EncodeTwoOfFive(t, linear::kNEC2of5)); },                    // 6 NEC2of5
    [](const std::string& t) { Keep(eanupc::EncodeJan8(t)); },                                           // 7 Jan8
    [](const std::string& t) { Keep(eanupc::EncodeJan13(t)); },                                          // 8 Jan13
    [](const std::string& t) { Keep(eanupc::EncodeUpcA(t)); },                                           // 9 UpcA
    [](const std::string& t) { Keep(eanupc::EncodeUpcE(eanupc::NormaliseUpcE(t))); },                    // 10 UpcE
    [](const std::string& t) { Keep(linear::EncodeITF(t)); },                                            // 11 ITF
    [](const std::string& t) { Keep(databar::EncodeDataBar14(t, databar::Layout14::Omnidirectional)); }, // 12
    [](const std::string& t) { Keep(databar::EncodeDataBarLimited(t)); }, // 13 GS1DataBarLimited
    EncodeExpanded,                                                       // 14 GS1DataBarExpanded
    [](const std::string& t) { Keep(postal::EncodeYubin(t)); },           // 15 YubinCustomer
    EncodeQr,                                                             // 16 QR
    EncodeDataMatrix,                                                     // 17 DataMatrix
    EncodePdf417,                                                         // 18 PDF417
};
static_assert(std::size(kEncoders) == 19, "one hook per type number");

} // namespace

EncodeFn EncoderFor(int type)
{
    return type >= 0 && type < 19 ? kEncoders[type] : nullptr;
}

} // namespace bench
