// SPDX-License-Identifier: MIT
// C interface options, helpers and drawing functions of the GS1 DataBar family.
#include "api/Handle.h"
#include "barcode_lumeo.h"
#include "databar/GS1DataBar14.h"
#include "databar/GS1DataBarExpanded.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

GS1DataBar14* DataBar14(const char* function, void* handle)
{
    return capi::OptionTarget<GS1DataBar14>(function, handle, capi::Types({12}));
}

GS1DataBarExpanded* DataBarExpanded(const char* function, void* handle)
{
    return capi::OptionTarget<GS1DataBarExpanded>(function, handle, capi::Types({14}));
}

// Hands `set` the value the table gives the kind string; an unknown string changes nothing.
template <class Value, class Set>
void SetKind(const char* function, const char* kind, std::initializer_list<std::pair<const char*, Value>> table,
             Set&& set)
{
    if (kind == nullptr) {
        capi::NoteUnused(function, capi::kBadOption, "Value is null");
        return;
    }
    for (const auto& [name, value] : table) {
        if (std::strcmp(kind, name) == 0) {
            set(value);
            return;
        }
    }
    capi::NoteBadValue(function, std::string("Unknown layout \"") + kind + "\": ignored");
}

} // namespace

extern "C" {

void barcode_set_symbol_type_14(void* handle, const char* kind)
{
    capi::Enter();
    capi::GuardVoid([&] {
        if (GS1DataBar14* symbol = DataBar14("barcode_set_symbol_type_14", handle)) {
            using databar::Layout14;
            SetKind<Layout14>("barcode_set_symbol_type_14", kind,
                              {{"OMNIDIRECTIONAL", Layout14::Omnidirectional},
                               {"STACKED", Layout14::Stacked},
                               {"STACKED_OMNIDIRECTIONAL", Layout14::StackedOmnidirectional}},
                              [symbol](Layout14 layout) { symbol->SetSymbolType(layout); });
        }
    });
}

void barcode_set_symbol_type_exp(void* handle, const char* kind)
{
    capi::Enter();
    capi::GuardVoid([&] {
        if (GS1DataBarExpanded* symbol = DataBarExpanded("barcode_set_symbol_type_exp", handle)) {
            SetKind<bool>("barcode_set_symbol_type_exp", kind, {{"UNSTACKED", false}, {"STACKED", true}},
                          [symbol](bool stacked) { symbol->SetStacked(stacked); });
        }
    });
}

void barcode_set_no_of_columns(void* handle, int columns)
{
    capi::Enter();
    capi::GuardVoid([&] {
        if (GS1DataBarExpanded* symbol = DataBarExpanded("barcode_set_no_of_columns", handle)) {
            symbol->SetColumns(columns);
            if (columns < 0 || columns > 10) {
                capi::NoteBadValue("barcode_set_no_of_columns",
                                   "Value " + std::to_string(columns) + " outside 0..10: 2 blocks per row");
            }
        }
    });
}

const char* barcode_get_symbol_type_14(void* handle)
{
    capi::Enter();
    return capi::Guard<const char*>("", [&]() -> const char* {
        const GS1DataBar14* symbol = DataBar14("barcode_get_symbol_type_14", handle);
        if (symbol == nullptr) {
            return "";
        }
        switch (symbol->GetSymbolType()) {
        case databar::Layout14::Stacked: return "STACKED";
        case databar::Layout14::StackedOmnidirectional: return "STACKED_OMNIDIRECTIONAL";
        default: return "OMNIDIRECTIONAL";
        }
    });
}

bool barcode_encode_14(void* handle, const char* text)
{
    capi::Enter();
    constexpr const char* kFunction = "barcode_encode_14";
    return capi::GuardFetch(kFunction, false, [&] {
        GS1DataBar14* symbol = DataBar14(kFunction, handle);
        if (symbol != nullptr && text == nullptr) {
            capi::NoteUnused(kFunction, capi::kBadText, "Text is null");
        }
        const bool encoded = symbol != nullptr && text != nullptr && symbol->encode(text);
        if (!encoded && !barcode_log::HasReason()) {
            capi::NoteUnused(kFunction, capi::kBadText, "The text does not encode");
        }
        return encoded;
    });
}

const char* barcode_calculate_check_digit_14(const char* text)
{
    // One result per thread: a call on one thread never overwrites another thread's result.
    thread_local std::string result;
    capi::Enter();
    return capi::GuardFetch<const char*>("barcode_calculate_check_digit_14", "", [&]() -> const char* {
        if (text == nullptr) {
            capi::NoteUnused("barcode_calculate_check_digit_14", capi::kBadText, "Text is null");
            return "";
        }
        result = GS1DataBar14::CalculateCheckDigit(text);
        return result.c_str();
    });
}

bool barcode_draw_stacked(void* handle, const char* text, int width, int height)
{
    return capi::DrawOn<GS1DataBarExpanded>(
        "barcode_draw_stacked", handle, text, {14},
        [&](GS1DataBarExpanded& symbol, const std::string& t) { return symbol.DrawStacked(t, 0, 0, width, height); });
}

} // extern "C"
