// SPDX-License-Identifier: MIT
// Handle, common options, general drawing and results of the C interface.
#include "api/Handle.h"
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
void WithBase(void* handle, F&& apply)
{
    GuardVoid([&] {
        if (BarcodeHandle* h = Usable(handle)) {
            if (auto* base = dynamic_cast<BarcodeBase*>(h->symbol.get())) {
                apply(*base);
            }
        }
    });
}

template <class F>
void WithLinear(void* handle, F&& apply)
{
    GuardVoid([&] {
        BarcodeHandle* h = Usable(handle);
        if (h != nullptr && capi::IsLinear(h->type)) {
            if (auto* linear = dynamic_cast<BarcodeBase1D*>(h->symbol.get())) {
                apply(*linear);
            }
        }
    });
}

void PrintReason(const char* function, const std::string& reason) noexcept
{
    GuardVoid([&] { barcode_log::Error(barcode_log::Stream::Err, std::string("[") + function + "] " + reason); });
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
            PrintReason(function, "Invalid handle");
            return false;
        }
        if (text == nullptr) {
            PrintReason(function, "Text is null");
            return false;
        }
        if (!typeFits) {
            PrintReason(function, "Not a drawing function of type " + std::to_string(h->type));
            return false;
        }
        auto* base = dynamic_cast<BarcodeBase*>(h->symbol.get());
        if (base != nullptr && !base->IsRasterOutput() && !base->IsSvgOutput()) {
            PrintReason(function, "Unknown output format \"" + base->GetOutputFormat() + "\"");
            return false;
        }
        const std::size_t limit = MaxTextBytes(h->type);
        const std::size_t length = strnlen(text, limit + 1);
        if (length > limit) {
            PrintReason(function, "Text longer than the limit of " + std::to_string(limit) + " bytes");
            return false;
        }
        return true;
    });
}

void ReportDrawException(const char* function, const char* what) noexcept
{
    PrintReason(function, what);
}

bool FinishDraw(const char* function, BarcodeHandle* h, bool drawn, unsigned long errorsBefore) noexcept
{
    auto* base = h != nullptr ? dynamic_cast<BarcodeBase*>(h->symbol.get()) : nullptr;
    // Out of memory while writing the SVG document or the image throws inside the draw, which
    // fails it: a true draw always holds its whole output.
    if (drawn) {
        return true;
    }
    if (barcode_log::ErrorsOnThisThread() == errorsBefore) {
        PrintReason(function, "The symbol could not be drawn");
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
    return Guard<void*>(nullptr, [type]() -> void* {
        std::unique_ptr<IBarcodeSymbology> symbol = capi::CreateSymbol(type);
        if (symbol == nullptr) {
            return nullptr;
        }
        auto* handle = new BarcodeHandle();
        handle->symbol = std::move(symbol);
        handle->type = type;
        return handle;
    });
}

void barcode_destroy(void* handle)
{
    GuardVoid([handle] { delete static_cast<BarcodeHandle*>(handle); });
}

void barcode_set_output_format(void* handle, const char* format)
{
    if (format != nullptr) {
        WithBase(handle, [format](BarcodeBase& b) { b.SetOutputFormat(format); });
    }
}

void barcode_set_foreground_color(void* handle, int r, int g, int b, int a)
{
    GuardVoid([&] {
        if (BarcodeHandle* h = Usable(handle)) {
            h->symbol->SetForegroundColor(Low8(r), Low8(g), Low8(b), Low8(a));
        }
    });
}

void barcode_set_background_color(void* handle, int r, int g, int b, int a)
{
    GuardVoid([&] {
        if (BarcodeHandle* h = Usable(handle)) {
            h->symbol->SetBackgroundColor(Low8(r), Low8(g), Low8(b), Low8(a));
        }
    });
}

void barcode_set_px_adjust_black(void* handle, int px)
{
    WithBase(handle, [px](BarcodeBase& b) { b.SetPxAdjustBlack(px); });
}

void barcode_set_px_adjust_white(void* handle, int px)
{
    WithBase(handle, [px](BarcodeBase& b) { b.SetPxAdjustWhite(px); });
}

void barcode_set_fit_width(void* handle, int on)
{
    WithBase(handle, [on](BarcodeBase& b) { b.SetFitWidth(on != 0); });
}

void barcode_set_show_text(void* handle, int on)
{
    WithLinear(handle, [on](BarcodeBase1D& b) { b.SetShowText(on != 0); });
}

void barcode_set_text_font_scale(void* handle, double scale)
{
    WithLinear(handle, [scale](BarcodeBase1D& b) { b.SetTextFontScale(numeric::ToFloat(scale)); });
}

void barcode_set_text_gap(void* handle, double gap)
{
    WithLinear(handle, [gap](BarcodeBase1D& b) { b.SetTextGap(numeric::ToFloat(gap)); });
}

void barcode_set_text_even_spacing(void* handle, int on)
{
    WithLinear(handle, [on](BarcodeBase1D& b) { b.SetTextEvenSpacing(on != 0); });
}

bool barcode_draw_1d(void* handle, const char* text, int width, int height)
{
    return capi::DrawOn<IBarcodeSymbology>(
        "barcode_draw_1d", handle, text, {},
        [&](IBarcodeSymbology& symbol, const std::string& t) { return symbol.Draw(t, 0, 0, width, height); });
}

const char* barcode_get_base64(void* handle)
{
    return Guard<const char*>(kEmpty, [handle]() -> const char* {
        BarcodeHandle* h = Usable(handle);
        if (h == nullptr) {
            return kEmpty;
        }
        std::string uri = h->symbol->GetImageBase64();
        h->lastText = std::move(uri);
        return h->lastText.c_str();
    });
}

const char* barcode_get_svg(void* handle)
{
    return Guard<const char*>(kEmpty, [handle]() -> const char* {
        BarcodeHandle* h = Usable(handle);
        auto* base = h != nullptr ? dynamic_cast<BarcodeBase*>(h->symbol.get()) : nullptr;
        if (base == nullptr) {
            return kEmpty;
        }
        // The document itself, shared with the object: no copy of it is made.
        std::shared_ptr<const std::string> svg = base->GetSvgDocument();
        if (svg == nullptr) {
            return kEmpty;
        }
        h->lastSvg = std::move(svg);
        return h->lastSvg->c_str();
    });
}

const unsigned char* barcode_get_image_data(void* handle, int* size)
{
    BarcodeHandle* h = Usable(handle);
    if (h == nullptr || size == nullptr) {
        return nullptr;
    }
    try {
        std::vector<std::uint8_t> bytes = h->symbol->GetImageMemory();
        h->lastImage = std::move(bytes);
        *size = static_cast<int>(h->lastImage.size());
        return h->lastImage.empty() ? nullptr : h->lastImage.data();
    } catch (...) {
        *size = 0;
        return nullptr;
    }
}

bool barcode_is_svg_output(void* handle)
{
    return Guard(false, [handle] {
        BarcodeHandle* h = Usable(handle);
        auto* base = h != nullptr ? dynamic_cast<BarcodeBase*>(h->symbol.get()) : nullptr;
        return base != nullptr && base->IsSvgOutput();
    });
}

} // extern "C"
