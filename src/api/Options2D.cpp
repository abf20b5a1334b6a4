// SPDX-License-Identifier: MIT
// C interface options and drawing functions of the 2D symbologies.
#include "api/Handle.h"
#include "barcode_lumeo.h"
#include "core/BarcodeBase2D.h"
#include "datamatrix/DataMatrix.h"
#include "pdf417/PDF417.h"
#include "qr/QR.h"

#include <cstdio>
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
void OnPdf417(const char* function, void* handle, Set&& set)
{
    capi::Enter();
    capi::GuardVoid([&] {
        if (auto* pdf = capi::OptionTarget<PDF417>(function, handle, capi::Types({18}))) {
            set(*pdf);
        }
    });
}

// Whether `value` is one of the strings the option takes (the table of lumeo_describe()).
bool Accepted(const char* value, lumeo_table::List<const char*> choices)
{
    for (const char* c : choices) {
        if (std::strcmp(value, c) == 0) {
            return true;
        }
    }
    return false;
}

// Leaves the reason of a string the setter does not know (it then selects its default).
void CheckChoice(const char* function, const char* value, lumeo_table::List<const char*> choices, const char* chosen)
{
    if (!Accepted(value, choices)) {
        capi::NoteBadValue(function, std::string("Unknown value \"") + value + "\": " + chosen + " selected");
    }
}

// Leaves the reason of a number outside the range the setter keeps (it then ignores it).
template <class T>
bool InRange(const char* function, T value, double min, double max)
{
    const auto v = static_cast<double>(value);
    if (v >= min && v <= max) {
        return true;
    }
    char what[96];
    std::snprintf(what, sizeof what, "Value %.12g outside %g..%.10g: ignored", v, min, max);
    capi::NoteBadValue(function, what);
    return false;
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
    capi::Enter();
    capi::GuardVoid([&] {
        constexpr const char* kFunction = "barcode_set_string_encoding";
        if (auto* symbol = capi::OptionTarget<BarcodeBase2D>(kFunction, handle, lumeo_table::k2DTypes, name)) {
            symbol->SetStringEncoding(std::string(name));
            if (!Accepted(name, lumeo_table::ListOf(lumeo_table::kEncodings))) {
                capi::NoteBadValue(kFunction,
                                   std::string("Unknown encoding \"") + name + "\": the bytes pass as UTF-8");
            }
        }
    });
}

void barcode_set_error_correction_level(void* handle, const char* level)
{
    capi::Enter();
    capi::GuardVoid([&] {
        constexpr const char* kFunction = "barcode_set_error_correction_level";
        if (auto* qr = capi::OptionTarget<QR>(kFunction, handle, capi::Types({16}), level)) {
            qr->SetErrorCorrectionLevel(QrLevelFromString(level));
            CheckChoice(kFunction, level, lumeo_table::ListOf(lumeo_table::kQrLevels), "M");
        }
    });
}

void barcode_set_version(void* handle, int version)
{
    capi::Enter();
    capi::GuardVoid([&] {
        constexpr const char* kFunction = "barcode_set_version";
        if (auto* qr = capi::OptionTarget<QR>(kFunction, handle, capi::Types({16}))) {
            qr->SetVersion(version);
            if (version < 0 || version > 40) {
                capi::NoteBadValue(kFunction, "Invalid QR Code version (" + std::to_string(version)
                                                  + "): automatic version selected");
            }
        }
    });
}

void barcode_set_encode_mode(void* handle, const char* mode)
{
    capi::Enter();
    capi::GuardVoid([&] {
        constexpr const char* kFunction = "barcode_set_encode_mode";
        if (auto* qr = capi::OptionTarget<QR>(kFunction, handle, capi::Types({16}), mode)) {
            qr->SetEncodeMode(std::string(QrModeLetter(mode)));
            CheckChoice(kFunction, mode, lumeo_table::ListOf(lumeo_table::kQrModes), "BYTE");
        }
    });
}

void barcode_set_code_size(void* handle, const char* size)
{
    capi::Enter();
    capi::GuardVoid([&] {
        constexpr const char* kFunction = "barcode_set_code_size";
        if (auto* dm = capi::OptionTarget<DataMatrix>(kFunction, handle, capi::Types({17}), size)) {
            dm->SetCodeSize(internal::DxSizeIndexFromName(size));
            CheckChoice(kFunction, size, lumeo_table::ListOf(lumeo_table::kCodeSizes), "AUTO");
        }
    });
}

void barcode_set_encode_scheme(void* handle, const char* scheme)
{
    capi::Enter();
    capi::GuardVoid([&] {
        constexpr const char* kFunction = "barcode_set_encode_scheme";
        if (auto* dm = capi::OptionTarget<DataMatrix>(kFunction, handle, capi::Types({17}), scheme)) {
            dm->SetEncodeScheme(DxSchemeFromString(scheme));
            CheckChoice(kFunction, scheme, lumeo_table::ListOf(lumeo_table::kSchemes), "AUTO");
        }
    });
}

void barcode_set_error_level(void* handle, int level)
{
    // 0..8 fixes the level (the automatic choice is off from then on); a negative level turns
    // the automatic choice back on; anything above 8 is ignored.
    OnPdf417("barcode_set_error_level", handle, [level](PDF417& pdf) {
        if (level < 0) {
            pdf.SetUseAutoErrorLevel(true);
        } else if (InRange("barcode_set_error_level", level, 0, 8)) {
            pdf.SetErrorLevel(static_cast<PDF417ErrorLevel>(level));
            pdf.SetUseAutoErrorLevel(false);
        }
    });
}

void barcode_set_columns(void* handle, int columns)
{
    OnPdf417("barcode_set_columns", handle, [columns](PDF417& pdf) {
        pdf.SetColumns(columns);
        InRange("barcode_set_columns", columns, 0, 30);
        ChooseSizeMode(pdf);
    });
}

void barcode_set_rows(void* handle, int rows)
{
    OnPdf417("barcode_set_rows", handle, [rows](PDF417& pdf) {
        pdf.SetRows(rows);
        InRange("barcode_set_rows", rows, 0, 90);
        ChooseSizeMode(pdf);
    });
}

void barcode_set_aspect_ratio(void* handle, double ratio)
{
    OnPdf417("barcode_set_aspect_ratio", handle, [ratio](PDF417& pdf) {
        pdf.SetAspectRatio(ratio);
        InRange("barcode_set_aspect_ratio", ratio, 0.001, 1000);
    });
}

void barcode_set_y_height(void* handle, int height)
{
    OnPdf417("barcode_set_y_height", handle, [height](PDF417& pdf) {
        pdf.SetYHeight(height);
        InRange("barcode_set_y_height", height, 1, lumeo_table::kIntMax);
    });
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
