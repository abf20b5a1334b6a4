// SPDX-License-Identifier: MIT
// C interface options and drawing functions of the 2D symbologies.
#include "api/Handle.h"
#include "barcode_lumeo.h"
#include "core/BarcodeBase2D.h"
#include "datamatrix/DataMatrix.h"
#include "pdf417/PDF417.h"
#include "qr/QR.h"

#include <cstring>
#include <string>

namespace {

// "L", "M", "Q", "H"; any other string selects M.
QRErrorCorrectionLevel QrLevelFromString(const char* level)
{
    if (std::strcmp(level, "L") == 0) {
        return QRErrorCorrectionLevel::L;
    }
    if (std::strcmp(level, "Q") == 0) {
        return QRErrorCorrectionLevel::Q;
    }
    if (std::strcmp(level, "H") == 0) {
        return QRErrorCorrectionLevel::H;
    }
    return QRErrorCorrectionLevel::M;
}

// The mode names of the C interface as the letters of QR::SetEncodeMode; unknown names are bytes.
const char* QrModeLetter(const char* mode)
{
    if (std::strcmp(mode, "NUMERIC") == 0) {
        return "N";
    }
    if (std::strcmp(mode, "ALPHANUMERIC") == 0) {
        return "A";
    }
    if (std::strcmp(mode, "KANJI") == 0) {
        return "K";
    }
    return "B"; // "AUTO", "BYTE" and anything else
}

// The Data Matrix encodation names; any other string selects the automatic choice.
internal::DxScheme DxSchemeFromString(const char* scheme)
{
    static const struct
    {
        const char* name;
        internal::DxScheme scheme;
    } kSchemes[] = {{"ASCII", internal::DxScheme::Ascii},     {"C40", internal::DxScheme::C40},
                    {"TEXT", internal::DxScheme::Text},       {"X12", internal::DxScheme::X12},
                    {"EDIFACT", internal::DxScheme::Edifact}, {"BASE256", internal::DxScheme::Base256}};

    for (const auto& s : kSchemes) {
        if (std::strcmp(scheme, s.name) == 0) {
            return s.scheme;
        }
    }
    return internal::DxScheme::AutoBest; // "AUTO" and anything else
}

// Applies `set` to the PDF417 object of a type 18 handle; other handles are ignored.
template <class Set>
void OnPdf417(void* handle, Set&& set)
{
    capi::GuardVoid([&] {
        if (auto* pdf = capi::SymbolAs<PDF417>(handle, {18})) {
            set(*pdf);
        }
    });
}

// Columns, rows or both choose the size mode that keeps them; with neither (both 0) the grid
// follows the aspect ratio and row height again.
void ChooseSizeMode(PDF417& pdf)
{
    const bool columns = pdf.GetColumns() > 0;
    const bool rows = pdf.GetRows() > 0;
    pdf.SetSizeMode(columns && rows ? PDF417SizeMode::ColumnsAndRows
                    : columns       ? PDF417SizeMode::Columns
                    : rows          ? PDF417SizeMode::Rows
                                    : PDF417SizeMode::Auto);
}

} // namespace

extern "C" {

void barcode_set_string_encoding(void* handle, const char* name)
{
    capi::GuardVoid([&] {
        if (auto* symbol = name != nullptr ? capi::SymbolAs<BarcodeBase2D>(handle, {16, 17, 18}) : nullptr) {
            symbol->SetStringEncoding(std::string(name));
        }
    });
}

void barcode_set_error_correction_level(void* handle, const char* level)
{
    capi::GuardVoid([&] {
        if (auto* qr = level != nullptr ? capi::SymbolAs<QR>(handle, {16}) : nullptr) {
            qr->SetErrorCorrectionLevel(QrLevelFromString(level));
        }
    });
}

void barcode_set_version(void* handle, int version)
{
    capi::GuardVoid([&] {
        if (auto* qr = capi::SymbolAs<QR>(handle, {16})) {
            qr->SetVersion(version);
        }
    });
}

void barcode_set_encode_mode(void* handle, const char* mode)
{
    capi::GuardVoid([&] {
        if (auto* qr = mode != nullptr ? capi::SymbolAs<QR>(handle, {16}) : nullptr) {
            qr->SetEncodeMode(std::string(QrModeLetter(mode)));
        }
    });
}

void barcode_set_code_size(void* handle, const char* size)
{
    capi::GuardVoid([&] {
        if (auto* dm = size != nullptr ? capi::SymbolAs<DataMatrix>(handle, {17}) : nullptr) {
            dm->SetCodeSize(internal::DxSizeIndexFromName(size));
        }
    });
}

void barcode_set_encode_scheme(void* handle, const char* scheme)
{
    capi::GuardVoid([&] {
        if (auto* dm = scheme != nullptr ? capi::SymbolAs<DataMatrix>(handle, {17}) : nullptr) {
            dm->SetEncodeScheme(DxSchemeFromString(scheme));
        }
    });
}

void barcode_set_error_level(void* handle, int level)
{
    // 0..8 fixes the level (the automatic choice is off from then on); a negative level turns
    // the automatic choice back on; anything above 8 is ignored.
    OnPdf417(handle, [level](PDF417& pdf) {
        if (level < 0) {
            pdf.SetUseAutoErrorLevel(true);
        } else if (level <= static_cast<int>(PDF417ErrorLevel::Level8)) {
            pdf.SetErrorLevel(static_cast<PDF417ErrorLevel>(level));
            pdf.SetUseAutoErrorLevel(false);
        }
    });
}

void barcode_set_columns(void* handle, int columns)
{
    OnPdf417(handle, [columns](PDF417& pdf) {
        pdf.SetColumns(columns);
        ChooseSizeMode(pdf);
    });
}

void barcode_set_rows(void* handle, int rows)
{
    OnPdf417(handle, [rows](PDF417& pdf) {
        pdf.SetRows(rows);
        ChooseSizeMode(pdf);
    });
}

void barcode_set_aspect_ratio(void* handle, double ratio)
{
    OnPdf417(handle, [ratio](PDF417& pdf) { pdf.SetAspectRatio(ratio); });
}

void barcode_set_y_height(void* handle, int height)
{
    OnPdf417(handle, [height](PDF417& pdf) { pdf.SetYHeight(height); });
}

bool barcode_draw_2d(void* handle, const char* text, int size)
{
    return capi::DrawOn<BarcodeBase2D>(
        "barcode_draw_2d", handle, text, {16, 17, 18},
        [size](BarcodeBase2D& symbol, const std::string& t) { return symbol.Draw(t, 0, 0, size); });
}

bool barcode_draw_2d_rect(void* handle, const char* text, int width, int height)
{
    return capi::DrawOn<BarcodeBase2D>(
        "barcode_draw_2d_rect", handle, text, {16, 17, 18},
        [width, height](BarcodeBase2D& symbol, const std::string& t) { return symbol.Draw(t, 0, 0, width, height); });
}

} // extern "C"
