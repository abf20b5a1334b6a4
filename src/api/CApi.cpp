// SPDX-License-Identifier: MIT
// Handle, common options, general drawing and results of the C interface.
#include "api/Ext.h"
#include "api/Handle.h"
#include "api/TypeTable.h"
#include "barcode_lumeo.h"
#include "core/BarcodeBase.h"
#include "core/BarcodeBase1D.h"
#include "core/Limits.h"
#include "core/Log.h"
#include "core/Numeric.h"

#include <cstring>
#include <new>

using capi::Guard;
using capi::GuardVoid;
using capi::Usable;

namespace {

const char kEmpty[] = "";

std::uint8_t Low8(int v)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(v) & 0xFFu);
}

template <class F>
void WithBase(const char* function, void* handle, F&& apply)
{
    capi::Enter();
    GuardVoid([&] {
        if (auto* base = capi::OptionTarget<BarcodeBase>(function, handle, lumeo_table::kAllTypes)) {
            apply(*base);
        }
    });
}

template <class F>
void WithLinear(const char* function, void* handle, F&& apply)
{
    capi::Enter();
    GuardVoid([&] {
        if (auto* linear = capi::OptionTarget<BarcodeBase1D>(function, handle, lumeo_table::kLinearTypes)) {
            apply(*linear);
        }
    });
}

void PrintReason(const char* function, const std::string& reason, const char* code) noexcept
{
    GuardVoid([&] { barcode_log::Error(barcode_log::Stream::Err, std::string("[") + function + "] " + reason, code); });
}

} // namespace

namespace capi {

std::size_t MaxTextBytes(int type)
{
    const bool compact = Is2D(type) || TypeIn(type, {12, 13, 14});
    return compact ? limits::kMaxCompactTextBytes : limits::kMaxLinearTextBytes;
}

bool AdmitDraw(const char* function, BarcodeHandle* h, const char* text, bool typeFits) noexcept
{
    return Guard(false, [&] {
        if (h == nullptr) {
            PrintReason(function, "Invalid handle", kBadHandle);
            return false;
        }
        if (text == nullptr) {
            PrintReason(function, "Text is null", kBadText);
            return false;
        }
        if (!typeFits) {
            PrintReason(function, "Not a drawing function of type " + std::to_string(h->type), kBadHandle);
            return false;
        }
        auto* base = dynamic_cast<BarcodeBase*>(h->symbol.get());
        if (base != nullptr && !base->IsRasterOutput() && !base->IsSvgOutput()) {
            PrintReason(function, "Unknown output format \"" + base->GetOutputFormat() + "\"", kBadOption);
            return false;
        }
        const std::size_t limit = MaxTextBytes(h->type);
        const std::size_t length = strnlen(text, limit + 1);
        if (length > limit) {
            PrintReason(function, "Text longer than the limit of " + std::to_string(limit) + " bytes", kTooLong);
            return false;
        }
        return true;
    });
}

void ReportDrawException(const char* function, const char* what, const char* code) noexcept
{
    PrintReason(function, what, code);
}

bool FinishDraw(const char* function, BarcodeHandle* h, bool drawn, unsigned long errorsBefore) noexcept
{
    auto* base = h != nullptr ? dynamic_cast<BarcodeBase*>(h->symbol.get()) : nullptr;
    // Out of memory while writing the SVG document or the image throws inside the draw, which
    // fails it: a true draw always holds its whole output.
    if (drawn) {
        // A line logged on the way (a font that could not be opened) is no failure of the call.
        barcode_log::ClearReason();
        return true;
    }
    if (barcode_log::ErrorsOnThisThread() == errorsBefore) {
        PrintReason(function, "The symbol could not be drawn", nullptr);
    }
    if (base != nullptr) {
        GuardVoid([base] { base->DiscardOutput(); });
    }
    return false;
}

} // namespace capi

extern "C" {

void* barcode_create(int type)
{
    capi::Enter();
    return Guard<void*>(nullptr, [type]() -> void* {
        std::unique_ptr<IBarcodeSymbology> symbol = capi::CreateSymbol(type);
        if (symbol == nullptr) {
            capi::NoteUnused("barcode_create", capi::kBadHandle,
                             capi::IsBuilt(type) ? "The symbol object could not be made"
                                                 : "No type number " + std::to_string(type) + " in this library");
            return nullptr;
        }
        auto* handle = new BarcodeHandle();
        handle->symbol = std::move(symbol);
        handle->type = type;
        barcode_log::ClearReason(); // a line on the way (no font for the text) is no failure
        return handle;
    });
}

void barcode_destroy(void* handle)
{
    capi::Enter();
    GuardVoid([handle] { delete static_cast<BarcodeHandle*>(handle); });
}

void barcode_set_output_format(void* handle, const char* format)
{
    if (format == nullptr) {
        capi::Enter();
        capi::NoteUnused("barcode_set_output_format", capi::kBadOption, "Value is null");
        return;
    }
    WithBase("barcode_set_output_format", handle, [format](BarcodeBase& b) { b.SetOutputFormat(format); });
}

void barcode_set_foreground_color(void* handle, int r, int g, int b, int a)
{
    WithBase("barcode_set_foreground_color", handle,
             [&](BarcodeBase& base) { base.SetForegroundColor(Low8(r), Low8(g), Low8(b), Low8(a)); });
}

void barcode_set_background_color(void* handle, int r, int g, int b, int a)
{
    WithBase("barcode_set_background_color", handle,
             [&](BarcodeBase& base) { base.SetBackgroundColor(Low8(r), Low8(g), Low8(b), Low8(a)); });
}

void barcode_set_px_adjust_black(void* handle, int px)
{
    WithBase("barcode_set_px_adjust_black", handle, [px](BarcodeBase& b) { b.SetPxAdjustBlack(px); });
}

void barcode_set_px_adjust_white(void* handle, int px)
{
    WithBase("barcode_set_px_adjust_white", handle, [px](BarcodeBase& b) { b.SetPxAdjustWhite(px); });
}

void barcode_set_fit_width(void* handle, int on)
{
    WithBase("barcode_set_fit_width", handle, [on](BarcodeBase& b) { b.SetFitWidth(on != 0); });
}

void barcode_set_show_text(void* handle, int on)
{
    WithLinear("barcode_set_show_text", handle, [on](BarcodeBase1D& b) { b.SetShowText(on != 0); });
}

void barcode_set_text_font_scale(void* handle, double scale)
{
    WithLinear("barcode_set_text_font_scale", handle,
               [scale](BarcodeBase1D& b) { b.SetTextFontScale(numeric::ToFloat(scale)); });
}

void barcode_set_text_gap(void* handle, double gap)
{
    WithLinear("barcode_set_text_gap", handle, [gap](BarcodeBase1D& b) { b.SetTextGap(numeric::ToFloat(gap)); });
}

void barcode_set_text_even_spacing(void* handle, int on)
{
    WithLinear("barcode_set_text_even_spacing", handle, [on](BarcodeBase1D& b) { b.SetTextEvenSpacing(on != 0); });
}

bool barcode_draw_1d(void* handle, const char* text, int width, int height)
{
    return capi::DrawOn<IBarcodeSymbology>(
        "barcode_draw_1d", handle, text, {},
        [&](IBarcodeSymbology& symbol, const std::string& t) { return symbol.Draw(t, 0, 0, width, height); });
}

const char* barcode_get_base64(void* handle)
{
    capi::Enter();
    return capi::GuardFetch<const char*>("barcode_get_base64", kEmpty, [handle]() -> const char* {
        BarcodeHandle* h = capi::FetchTarget("barcode_get_base64", handle);
        if (h == nullptr) {
            return kEmpty;
        }
        std::string uri = h->symbol->GetImageBase64();
        h->lastText = std::move(uri);
        if (h->lastText == BarcodeBase::GetFallbackImage()) {
            capi::NoteNothingToFetch("barcode_get_base64");
        } else {
            barcode_log::ClearReason();
        }
        return h->lastText.c_str();
    });
}

const char* barcode_get_svg(void* handle)
{
    capi::Enter();
    return capi::GuardFetch<const char*>("barcode_get_svg", kEmpty, [handle]() -> const char* {
        BarcodeHandle* h = capi::FetchTarget("barcode_get_svg", handle);
        auto* base = h != nullptr ? dynamic_cast<BarcodeBase*>(h->symbol.get()) : nullptr;
        if (base == nullptr) {
            return kEmpty;
        }
        if (!base->IsSvgOutput()) {
            capi::NoteNothingToFetch("barcode_get_svg");
            return kEmpty;
        }
        // The document itself, shared with the object: no copy of it is made.
        std::shared_ptr<const std::string> svg = base->GetSvgDocument();
        if (svg == nullptr) {
            capi::NoteNothingToFetch("barcode_get_svg");
            return kEmpty;
        }
        h->lastSvg = std::move(svg);
        barcode_log::ClearReason();
        return h->lastSvg->c_str();
    });
}

const unsigned char* barcode_get_image_data(void* handle, int* size)
{
    capi::Enter();
    BarcodeHandle* h = capi::FetchTarget("barcode_get_image_data", handle);
    if (h == nullptr || size == nullptr) {
        if (h != nullptr) {
            capi::NoteUnused("barcode_get_image_data", capi::kBadOption, "Size pointer is null");
        }
        return nullptr;
    }
    try {
        std::vector<std::uint8_t> bytes = h->symbol->GetImageMemory();
        h->lastImage = std::move(bytes);
        *size = static_cast<int>(h->lastImage.size());
        if (h->lastImage.empty()) {
            capi::NoteNothingToFetch("barcode_get_image_data");
            return nullptr;
        }
        barcode_log::ClearReason();
        return h->lastImage.data();
    } catch (const std::bad_alloc&) {
        *size = 0;
        capi::NoteUnused("barcode_get_image_data", capi::kNoMemory, "Out of memory");
        return nullptr;
    } catch (const std::exception& e) {
        *size = 0;
        capi::NoteUnused("barcode_get_image_data", nullptr, e.what());
        return nullptr;
    } catch (...) {
        *size = 0;
        capi::NoteNothingToFetch("barcode_get_image_data");
        return nullptr;
    }
}

bool barcode_is_svg_output(void* handle)
{
    capi::Enter();
    return Guard(false, [handle] {
        BarcodeHandle* h = Usable(handle);
        if (h == nullptr) {
            capi::NoteUnused("barcode_is_svg_output", capi::kBadHandle, "Invalid handle");
            return false;
        }
        auto* base = dynamic_cast<BarcodeBase*>(h->symbol.get());
        return base != nullptr && base->IsSvgOutput();
    });
}

} // extern "C"
