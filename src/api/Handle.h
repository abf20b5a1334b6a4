// SPDX-License-Identifier: MIT
#pragma once

#include "api/Ext.h"
#include "api/TypeTable.h"
#include "core/IBarcodeSymbology.h"
#include "core/Log.h"

#include <cstddef>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
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
// Whether CreateSymbol makes an object for the type number (without making one).
bool IsBuilt(int type);

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

// The type numbers of a list as a set.
constexpr lumeo_table::TypeSet Types(std::initializer_list<int> types)
{
    lumeo_table::TypeSet set = 0;
    for (int t : types) {
        set |= lumeo_table::Bit(t);
    }
    return set;
}

// The symbol object of an option setter as class T: null, with the reason left for
// lumeo_last_error() (nothing is printed), for a null handle or a type the option is not for.
template <class T>
T* OptionTarget(const char* function, void* handle, lumeo_table::TypeSet types)
{
    BarcodeHandle* h = Usable(handle);
    if (h == nullptr) {
        NoteUnused(function, kBadHandle, "Invalid handle");
        return nullptr;
    }
    if (!lumeo_table::Has(types, h->type)) {
        NoteUnused(function, kBadHandle, "Not an option of type " + std::to_string(h->type));
        return nullptr;
    }
    return dynamic_cast<T*>(h->symbol.get());
}

// The same for a setter with a string value, which must not be null.
template <class T>
T* OptionTarget(const char* function, void* handle, lumeo_table::TypeSet types, const char* value)
{
    T* target = OptionTarget<T>(function, handle, types);
    if (target != nullptr && value == nullptr) {
        NoteUnused(function, kBadOption, "Value is null");
        return nullptr;
    }
    return target;
}

// Leaves the reason of a setter that ignored or replaced its value.
inline void NoteBadValue(const char* function, const std::string& what) noexcept
{
    try {
        NoteUnused(function, kBadOption, what);
    } catch (...) {
    }
}

// The handle of a fetch, or null with the reason left.
inline BarcodeHandle* FetchTarget(const char* function, void* handle)
{
    BarcodeHandle* h = Usable(handle);
    if (h == nullptr) {
        NoteUnused(function, kBadHandle, "Invalid handle");
    }
    return h;
}

// Leaves the reason of a fetch that found nothing (no draw yet, a failed draw, another format).
inline void NoteNothingToFetch(const char* function) noexcept
{
    NoteUnused(function, kNoOutput, "Nothing drawn to fetch in this output format");
}

// Runs the body of a fetch; an exception becomes `onError` with its text left as the reason.
template <class R, class F>
R GuardFetch(const char* function, R onError, F&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        NoteUnused(function, kNoMemory, "Out of memory");
    } catch (const std::exception& e) {
        NoteUnused(function, nullptr, e.what());
    } catch (...) {
        NoteUnused(function, kInternal, "unknown exception");
    }
    return onError;
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

// The longest text a drawing function accepts for a type number (core/Limits.h).
std::size_t MaxTextBytes(int type);

// The checks before a draw: a usable handle, a text within its limit, a drawing function that
// fits the type, an output format that can be drawn. Prints the reason when one fails.
bool AdmitDraw(const char* function, BarcodeHandle* h, const char* text, bool typeFits) noexcept;
// Prints the reason of an exception that left the symbol object (`code` null: from the text).
void ReportDrawException(const char* function, const char* what, const char* code = nullptr) noexcept;
// The end of every draw: a draw that failed, or whose output is incomplete, leaves no image and
// no document behind and has printed one reason (`errorsBefore` tells whether the symbol did).
bool FinishDraw(const char* function, BarcodeHandle* h, bool drawn, unsigned long errorsBefore) noexcept;

// Shared shape of the drawing functions: the checks above, the call, no exception out, no
// stale result after a failure. An empty `types` list means every type.
template <class T, class F>
bool DrawOn(const char* function, void* handle, const char* text, std::initializer_list<int> types, F&& draw) noexcept
{
    Enter();
    const unsigned long errorsBefore = barcode_log::ErrorsOnThisThread();
    BarcodeHandle* h = Usable(handle);
    bool drawn = false;
    try {
        T* symbol = nullptr;
        if (h != nullptr) {
            symbol = types.size() == 0 ? dynamic_cast<T*>(h->symbol.get()) : SymbolAs<T>(handle, types);
        }
        if (AdmitDraw(function, h, text, symbol != nullptr)) {
            drawn = draw(*symbol, std::string(text));
        }
    } catch (const std::bad_alloc&) {
        ReportDrawException(function, "Out of memory", kNoMemory);
    } catch (const std::exception& e) {
        ReportDrawException(function, e.what());
    } catch (...) {
        ReportDrawException(function, "unknown exception");
    }
    return FinishDraw(function, h, drawn, errorsBefore);
}

} // namespace capi
