// SPDX-License-Identifier: MIT
#pragma once

#include "core/IBarcodeSymbology.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// The record behind every handle of the C interface.
struct BarcodeHandle
{
    std::unique_ptr<IBarcodeSymbology> symbol;
    int type = -1;
    std::string lastText;                       // last string of barcode_get_base64
    std::shared_ptr<const std::string> lastSvg; // last document of barcode_get_svg (shared with the symbol)
    std::vector<unsigned char> lastImage;       // last bytes of barcode_get_image_data
};

namespace capi {

constexpr int kSymbolTypeCount = 19;

// Constructs the symbology object of a type number with output format "png"; null for a
// type number outside 0..18 or a symbology not built into this library.
std::unique_ptr<IBarcodeSymbology> CreateSymbol(int type);

// The handle when it is usable (non-null with a symbol object), else null.
inline BarcodeHandle* Usable(void* handle)
{
    auto* h = static_cast<BarcodeHandle*>(handle);
    return (h != nullptr && h->symbol != nullptr) ? h : nullptr;
}

inline bool IsLinear(int type)
{
    return type >= 0 && type <= 15;
}

inline bool Is2D(int type)
{
    return type >= 16 && type <= 18;
}

inline bool TypeIn(int type, std::initializer_list<int> types)
{
    for (int t : types) {
        if (t == type) {
            return true;
        }
    }
    return false;
}

// The symbol object as class T when the handle is usable and its type is one of `types`.
template <class T>
T* SymbolAs(void* handle, std::initializer_list<int> types)
{
    BarcodeHandle* h = Usable(handle);
    if (h == nullptr || !TypeIn(h->type, types)) {
        return nullptr;
    }
    return dynamic_cast<T*>(h->symbol.get());
}

// Runs `body`, turning any exception into `onError`: nothing crosses the C boundary.
template <class R, class F>
R Guard(R onError, F&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return onError;
    }
}

template <class F>
void GuardVoid(F&& body) noexcept
{
    try {
        body();
    } catch (...) {
    }
}

// Shared shape of the drawing functions: null checks, a type test, the call, no exception out.
template <class T, class F>
bool DrawOn(void* handle, const char* text, std::initializer_list<int> types, F&& draw) noexcept
{
    return Guard(false, [&] {
        T* symbol = text != nullptr ? SymbolAs<T>(handle, types) : nullptr;
        return symbol != nullptr && draw(*symbol, std::string(text));
    });
}

} // namespace capi
