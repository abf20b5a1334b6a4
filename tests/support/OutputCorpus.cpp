// SPDX-License-Identifier: MIT
//
// The output corpus: symbols of every type number in both output styles, with the options that
// change how they are painted (colours with alpha, fit width, pixel adjustments, text options,
// extended guards, each 2D size class, failures). Their PNG bytes, base64 URIs, SVG documents
// and diagnostic lines are pinned by the digests in tests/data/output-digests.txt, made by the
// code before any speed work, so that a faster drawing path must produce the same bytes.
//
// Refreshing digests (only for rows whose output is meant to change, or for a type number that
// was not built when the file was written):
//   1. check out the commit whose output is the reference (for a newly built symbology: the
//      main branch right after it landed, before any change to the drawing path);
//   2. build the unit tests and run, from the repository root,
//        BARCODE_WRITE_DIGESTS=tests/data/output-digests.txt BARCODE_DIGEST_TYPES=12,13,14,17,18
//          build/tests/barcode_unit_tests --gtest_filter='OutputIdentity.*'
//      (one command line)
//      BARCODE_DIGEST_TYPES lists the type numbers to (re)write; the lines of every other type
//      are kept as they are. Without it every available type is rewritten.
//   3. carry the file over to the branch under test and commit it.
// Rows of a type number that barcode_create does not build, and rows absent from the file, are
// skipped by the comparison.
#include "support/OutputCorpus.h"

#include "barcode_lumeo.h"
#include "core/Log.h"
#include "support/Sha256.h"
#include "support/TestSupport.h"

#include <string>

namespace testsupport {
namespace {

// Colours with alpha on both sides: blending shows in the text and in the PNG alpha channel.
void Tinted(void* h)
{
    barcode_set_foreground_color(h, 200, 30, 40, 128);
    barcode_set_background_color(h, 240, 240, 200, 200);
}

void OpaqueColours(void* h)
{
    barcode_set_foreground_color(h, 20, 40, 120, 255);
    barcode_set_background_color(h, 255, 250, 220, 255);
}

void Transparent(void* h)
{
    barcode_set_background_color(h, 255, 255, 255, 0);
}

void FitWidth(void* h)
{
    barcode_set_fit_width(h, 1);
}

void PxAdjust(void* h)
{
    barcode_set_px_adjust_black(h, 1);
    barcode_set_px_adjust_white(h, -1);
}

void PxAdjustBlackOnly(void* h)
{
    barcode_set_px_adjust_black(h, 1);
}

// Adjustments far beyond any canvas: rectangles the renderer has to clip or cannot represent.
void AbsurdAdjust(void* h)
{
    barcode_set_px_adjust_black(h, 2147483647);
    barcode_set_px_adjust_white(h, 2147483647);
}

void AbsurdNegativeAdjust(void* h)
{
    barcode_set_px_adjust_black(h, -2147483647 - 1);
    barcode_set_px_adjust_white(h, -2147483647 - 1);
}

void NoText(void* h)
{
    barcode_set_show_text(h, 0);
}

void TextOptions(void* h)
{
    barcode_set_text_even_spacing(h, 0);
    barcode_set_text_font_scale(h, 1.5);
    barcode_set_text_gap(h, 2.0);
}

void TextSmallEven(void* h)
{
    barcode_set_text_font_scale(h, 0.7);
    barcode_set_text_gap(h, 0.5);
}

void StartStop(void* h)
{
    barcode_set_show_start_stop(h, 1);
}

void HideStartStop(void* h)
{
    barcode_set_show_start_stop(h, 0);
}

void ModeA(void* h)
{
    barcode_set_code_mode(h, "A");
}

void ModeB(void* h)
{
    barcode_set_code_mode(h, "B");
}

void ModeC(void* h)
{
    barcode_set_code_mode(h, "C");
}

void Guard(void* h)
{
    barcode_set_extended_guard(h, 1);
}

void GuardTinted(void* h)
{
    Guard(h);
    Tinted(h);
}

void GuardNoText(void* h)
{
    Guard(h);
    NoText(h);
}

void GuardTextOptions(void* h)
{
    Guard(h);
    TextOptions(h);
}

void GuardFit(void* h)
{
    Guard(h);
    FitWidth(h);
}

void NoGuard(void* h)
{
    barcode_set_extended_guard(h, 0);
}

void QrV10M(void* h)
{
    barcode_set_version(h, 10);
    barcode_set_error_correction_level(h, "M");
}

void QrLevelH(void* h)
{
    barcode_set_error_correction_level(h, "H");
}

void QrV1L(void* h)
{
    barcode_set_version(h, 1);
    barcode_set_error_correction_level(h, "L");
}

void QrV25Q(void* h)
{
    barcode_set_version(h, 25);
    barcode_set_error_correction_level(h, "Q");
}

void QrV40L(void* h)
{
    barcode_set_version(h, 40);
    barcode_set_error_correction_level(h, "L");
}

void QrNumeric(void* h)
{
    barcode_set_encode_mode(h, "NUMERIC");
    barcode_set_error_correction_level(h, "L");
}

void QrShiftJis(void* h)
{
    barcode_set_string_encoding(h, "shift-jis");
}

void QrFitTinted(void* h)
{
    FitWidth(h);
    Tinted(h);
}

void DmSize(void* h, const char* size)
{
    barcode_set_code_size(h, size);
}

void Dm10(void* h)
{
    DmSize(h, "10x10");
}

void Dm24(void* h)
{
    DmSize(h, "24x24");
}

void Dm144(void* h)
{
    DmSize(h, "144x144");
}

void Dm8x18(void* h)
{
    DmSize(h, "8x18");
}

void Dm16x48(void* h)
{
    DmSize(h, "16x48");
}

void DmC40(void* h)
{
    barcode_set_encode_scheme(h, "C40");
}

void DmText(void* h)
{
    barcode_set_encode_scheme(h, "TEXT");
}

void DmX12(void* h)
{
    barcode_set_encode_scheme(h, "X12");
}

void DmEdifact(void* h)
{
    barcode_set_encode_scheme(h, "EDIFACT");
}

void DmBase256(void* h)
{
    barcode_set_encode_scheme(h, "BASE256");
}

void PdfColumns(void* h)
{
    barcode_set_columns(h, 5);
    barcode_set_error_level(h, 4);
}

void PdfRows(void* h)
{
    barcode_set_rows(h, 10);
    barcode_set_y_height(h, 4);
}

void PdfAspect(void* h)
{
    barcode_set_aspect_ratio(h, 2.0);
    barcode_set_error_level(h, 2);
}

void DataBarStacked(void* h)
{
    barcode_set_symbol_type_14(h, "STACKED");
}

void DataBarStackedOmni(void* h)
{
    barcode_set_symbol_type_14(h, "STACKED_OMNIDIRECTIONAL");
}

void ExpandedStacked(void* h)
{
    barcode_set_symbol_type_exp(h, "STACKED");
    barcode_set_no_of_columns(h, 2);
}

constexpr char kCode128Long[] =
    "Lumeo 128 long text 0123456789012345678901234567890123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ "
    "abcdefghijklmnopqrstuvwxyz 98765432109876543210 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~ end";
constexpr char kQrUrl[] = "https://example.com/lumeo/benchmark?id=0123456789";
constexpr char kDm50[] = "Data Matrix payload of fifty characters 0123456789";
constexpr char kPdf200[] =
    "PDF417 benchmark text of two hundred characters: Lorem ipsum dolor sit amet, consectetur "
    "adipiscing elit 0123456789012345678901234567890123456789, sed do eiusmod tempor incididunt ut labore.";

using DC = DrawCall;

} // namespace

const std::vector<CorpusEntry>& OutputCorpus()
{
    static const std::vector<CorpusEntry> corpus = {
        // 0 Code39
        {"code39", 0, "LUMEO-39 BENCH", 400, 120, DC::OneD, nullptr},
        {"code39-startstop-low", 0, "AB-12", 160, 40, DC::OneD, StartStop},
        {"code39-tinted", 0, "TINT 39", 300, 90, DC::OneD, Tinted},
        {"code39-fit", 0, "FIT WIDTH 39", 517, 130, DC::OneD, FitWidth},
        {"code39-bad", 0, "lower~case", 300, 100, DC::OneD, nullptr},
        {"code39-absurd-adjust", 0, "AB", 300, 100, DC::OneD, AbsurdAdjust},
        {"code39-absurd-negative-adjust", 0, "AB", 300, 100, DC::OneD, AbsurdNegativeAdjust},
        // 1 Code93
        {"code93", 1, "PN-4711/B", 400, 150, DC::OneD, nullptr},
        {"code93-textopts", 1, "CODE93 lumeo", 333, 250, DC::OneD, TextOptions},
        // 2 Code128
        {"code128", 2, "Lumeo 128 bench 0123", 444, 116, DC::OneD, nullptr},
        {"code128-a", 2, "HELLO-A 01", 300, 100, DC::OneD, ModeA},
        {"code128-b", 2, "Hello b", 300, 100, DC::OneD, ModeB},
        {"code128-c", 2, "0123456789012345", 300, 100, DC::OneD, ModeC},
        {"code128-long-fit", 2, kCode128Long, 2100, 150, DC::OneD, FitWidth},
        {"code128-textopts", 2, "Order No. 2024-00815", 600, 150, DC::OneD, TextOptions},
        {"code128-small-text", 2, "Small text", 300, 45, DC::OneD, TextSmallEven},
        {"code128-tall", 2, "Tall 128", 400, 320, DC::OneD, nullptr},
        {"code128-tinted", 2, "Alpha 128", 400, 120, DC::OneD, Tinted},
        {"code128-transparent", 2, "Clear 128", 400, 120, DC::OneD, Transparent},
        {"code128-opaque-colours", 2, "Navy 128", 400, 120, DC::OneD, OpaqueColours},
        {"code128-pxadjust", 2, "Adjust 128", 400, 120, DC::OneD, PxAdjust},
        {"code128-notext", 2, "No text", 400, 120, DC::OneD, NoText},
        {"code128-utf8", 2, "caf\xC3\xA9 12", 300, 100, DC::OneD, nullptr},
        {"code128-tiny-box", 2, "Overflowing", 30, 12, DC::OneD, nullptr},
        // 3 GS1_128 and the payment barcode
        {"gs1-128", 3, "{FNC1}0104912345678904{AI}15261231{AI}10LOT-42A", 640, 150, DC::OneD, nullptr},
        {"gs1-128-textopts", 3, "{FNC1}0104912345678904{AI}11240401{AI}10ABC123", 600, 150, DC::OneD, TextOptions},
        {"convenience", 3, "9191234500012345678901234567810261231000150", 500, 160, DC::Convenience, nullptr},
        {"convenience-tinted", 3, "9191234500012345678901234567810261231000150", 420, 200, DC::Convenience, Tinted},
        {"convenience-bad", 3, "12345", 500, 160, DC::Convenience, nullptr},
        // 4 NW7
        {"nw7", 4, "A0123-4567-89B", 400, 150, DC::OneD, nullptr},
        {"nw7-hidden", 4, "D30-0045:17D", 400, 150, DC::OneD, HideStartStop},
        // 5, 6 Matrix and NEC 2 of 5
        {"matrix2of5", 5, "20240415", 400, 150, DC::OneD, nullptr},
        {"nec2of5", 6, "0123456789", 400, 150, DC::OneD, PxAdjust},
        // 7 to 10 JAN and UPC
        {"jan8", 7, "4901234", 300, 150, DC::OneD, nullptr},
        {"jan8-guard", 7, "49012347", 300, 150, DC::OneD, Guard},
        {"jan13", 8, "490123456789", 300, 120, DC::OneD, nullptr},
        {"jan13-guard", 8, "4901234567894", 400, 150, DC::OneD, Guard},
        {"jan13-guard-tinted", 8, "4901234567894", 380, 140, DC::OneD, GuardTinted},
        {"jan13-guard-notext", 8, "4901234567894", 300, 100, DC::OneD, GuardNoText},
        {"jan13-guard-textopts", 8, "4901234567894", 400, 210, DC::OneD, GuardTextOptions},
        {"jan13-guard-fit", 8, "4901234567894", 333, 120, DC::OneD, GuardFit},
        {"jan13-noguard", 8, "490123456789", 400, 150, DC::OneD, NoGuard},
        {"jan13-bad", 8, "ABC", 300, 120, DC::OneD, nullptr},
        {"upca", 9, "03600029145", 400, 150, DC::OneD, nullptr},
        {"upca-guard", 9, "036000291452", 400, 150, DC::OneD, Guard},
        {"upce", 10, "425261", 300, 150, DC::OneD, nullptr},
        {"upce-guard", 10, "04252614", 300, 150, DC::OneD, Guard},
        // 11 ITF
        {"itf", 11, "14901234567891", 400, 150, DC::OneD, nullptr},
        {"itf-odd-fit", 11, "1234567", 301, 120, DC::OneD, FitWidth},
        // 12 to 14 GS1 DataBar
        {"databar14", 12, "0123456789012", 300, 100, DC::OneD, nullptr},
        {"databar14-stacked", 12, "0123456789012", 200, 100, DC::OneD, DataBarStacked},
        {"databar14-stacked-omni", 12, "0123456789012", 200, 160, DC::OneD, DataBarStackedOmni},
        {"databar14-tinted", 12, "4901234567894", 300, 100, DC::OneD, Tinted},
        {"databar-limited", 13, "0123456789012", 300, 100, DC::OneD, nullptr},
        {"databar-limited-fit", 13, "1999999999999", 333, 90, DC::OneD, FitWidth},
        {"databar-expanded", 14, "0195012345678903", 400, 100, DC::OneD, nullptr},
        {"databar-expanded-weight", 14, "0190012345678908{AI}3103001750", 500, 100, DC::OneD, TextOptions},
        {"databar-expanded-stacked", 14, "0190012345678908{AI}3103001750", 300, 200, DC::Stacked, ExpandedStacked},
        {"databar-expanded-stacked-type", 14, "0195012345678903{AI}10ABC123", 300, 200, DC::OneD, ExpandedStacked},
        // 15 Japan Post
        {"yubin", 15, "2630023 千葉市稲毛区緑町3-30-8-403", 0, 45, DC::Yubin, nullptr},
        {"yubin-width", 15, "1000001 1-2-3", 500, 60, DC::YubinWidth, Tinted},
        {"yubin-1d", 15, "0600906", 400, 33, DC::OneD, PxAdjustBlackOnly},
        // 16 QR
        {"qr", 16, kQrUrl, 300, 300, DC::TwoDRect, nullptr},
        {"qr-v10-m", 16, kQrUrl, 228, 228, DC::TwoD, QrV10M},
        {"qr-h", 16, "SN-2024-000123 LOT A7", 250, 250, DC::TwoD, QrLevelH},
        {"qr-v1-l", 16, "HELLO", 100, 100, DC::TwoD, QrV1L},
        {"qr-v25-q-rect", 16, kQrUrl, 500, 400, DC::TwoDRect, QrV25Q},
        {"qr-v40-l", 16, kQrUrl, 400, 400, DC::OneD, QrV40L},
        {"qr-fit-tinted", 16, "TEL:+81-3-1234-5678", 250, 250, DC::TwoD, QrFitTinted},
        {"qr-pxadjust", 16, kQrUrl, 200, 200, DC::TwoD, PxAdjustBlackOnly},
        {"qr-numeric", 16, "4901234567894202406010001", 200, 200, DC::TwoD, QrNumeric},
        {"qr-shift-jis", 16, "東京都千代田区丸の内１丁目～", 250, 250, DC::TwoD, QrShiftJis},
        {"qr-tiny-box", 16, kQrUrl, 20, 20, DC::TwoD, nullptr},
        {"qr-absurd-adjust", 16, "HELLO", 100, 100, DC::TwoD, AbsurdAdjust},
        {"qr-absurd-negative-adjust", 16, "HELLO", 100, 100, DC::TwoD, AbsurdNegativeAdjust},
        {"qr-empty", 16, "", 100, 100, DC::TwoD, nullptr},
        {"qr-overflow", 16, nullptr, 300, 300, DC::TwoD, nullptr},
        // 17 Data Matrix
        {"datamatrix", 17, kDm50, 200, 200, DC::TwoD, nullptr},
        {"datamatrix-10", 17, "123", 100, 60, DC::TwoDRect, Dm10},
        {"datamatrix-24", 17, kDm50, 240, 240, DC::TwoD, Dm24},
        {"datamatrix-144", 17, kCode128Long, 300, 300, DC::TwoD, Dm144},
        {"datamatrix-8x18", 17, "12345", 180, 100, DC::TwoDRect, Dm8x18},
        {"datamatrix-16x48", 17, "RECTANGULAR 16x48", 480, 200, DC::TwoDRect, Dm16x48},
        {"datamatrix-c40", 17, "CODE C40 SCHEME 2024", 200, 200, DC::TwoD, DmC40},
        {"datamatrix-text", 17, "text scheme lower case", 200, 200, DC::TwoD, DmText},
        {"datamatrix-x12", 17, "X12*SCHEME>0123", 200, 200, DC::TwoD, DmX12},
        {"datamatrix-edifact", 17, "EDIFACT ^_ 0123", 200, 200, DC::TwoD, DmEdifact},
        {"datamatrix-base256", 17, "bytes \xC3\xA9\xC3\xA0", 200, 200, DC::TwoD, DmBase256},
        {"datamatrix-fit-tinted", 17, kDm50, 250, 250, DC::TwoD, QrFitTinted},
        // 18 PDF417
        {"pdf417", 18, kPdf200, 600, 200, DC::TwoDRect, nullptr},
        {"pdf417-columns", 18, kPdf200, 500, 300, DC::TwoDRect, PdfColumns},
        {"pdf417-rows", 18, "PDF417 rows", 400, 150, DC::TwoDRect, PdfRows},
        {"pdf417-aspect", 18, "PDF417 aspect 0123456789", 200, 0, DC::TwoD, PdfAspect},
        {"pdf417-tinted", 18, "Tinted PDF417", 400, 150, DC::OneD, Tinted},
        {"pdf417-empty", 18, "", 400, 150, DC::TwoDRect, nullptr},
    };
    return corpus;
}

namespace {

// Text of 3,000 bytes: more than any QR version holds.
const char* Text(const CorpusEntry& e)
{
    static const std::string overflow(3000, 'x');
    return e.text != nullptr ? e.text : overflow.c_str();
}

bool Draw(void* h, const CorpusEntry& e)
{
    const char* text = Text(e);
    switch (e.call) {
    case DrawCall::OneD: return barcode_draw_1d(h, text, e.width, e.height);
    case DrawCall::TwoD: return barcode_draw_2d(h, text, e.width);
    case DrawCall::TwoDRect: return barcode_draw_2d_rect(h, text, e.width, e.height);
    case DrawCall::Yubin: return barcode_draw_yubin(h, text, e.height);
    case DrawCall::YubinWidth: return barcode_draw_yubin_with_width(h, text, e.width, e.height);
    case DrawCall::Convenience: return barcode_draw_convenience(h, text, e.width, e.height);
    case DrawCall::Stacked: return barcode_draw_stacked(h, text, e.width, e.height);
    }
    return false;
}

std::string Digest(const std::string& bytes)
{
    return Sha256Hex(bytes);
}

} // namespace

CorpusOutput RunCorpusEntry(const CorpusEntry& entry, const std::string& format, bool captureDiagnostics)
{
    CorpusOutput out;
    Handle handle(entry.type);
    if (handle.h == nullptr) {
        return out;
    }
    out.available = true;
    barcode_set_output_format(handle.h, format.c_str());
    if (entry.options != nullptr) {
        entry.options(handle.h);
    }
    const bool wasVerbose = barcode_log::Verbose();
    if (captureDiagnostics) {
        barcode_log::SetQuiet(false);
    }
    {
        CapturedOutput captured;
        out.drawn = Draw(handle.h, entry);
        if (barcode_is_svg_output(handle.h)) {
            out.svg = barcode_get_svg(handle.h);
        } else {
            out.image = ImageBytes(handle.h);
            out.base64 = barcode_get_base64(handle.h);
        }
        captured.Finish();
        if (captureDiagnostics) {
            out.diagnostics = captured.Out() + "\n--- stderr ---\n" + captured.Err();
        }
    }
    barcode_log::SetQuiet(!wasVerbose);
    return out;
}

std::string DigestLine(const CorpusEntry& entry, const std::string& format, const CorpusOutput& output)
{
    const auto digestOrDash = [](const std::string& bytes) { return bytes.empty() ? std::string("-") : Digest(bytes); };
    return std::to_string(entry.type) + " " + entry.name + "/" + format + " drawn=" + (output.drawn ? "1" : "0")
           + " image=" + digestOrDash(std::string(output.image.begin(), output.image.end())) + " base64="
           + digestOrDash(output.base64) + " svg=" + digestOrDash(output.svg) + " diag=" + Digest(output.diagnostics);
}

} // namespace testsupport
