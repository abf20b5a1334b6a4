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

GS1DataBar14* DataBar14(void* handle)
{
    return capi::SymbolAs<GS1DataBar14>(handle, {12});
}

GS1DataBarExpanded* DataBarExpanded(void* handle)
{
    return capi::SymbolAs<GS1DataBarExpanded>(handle, {14});
}

// Hands `set` the value the table gives the kind string; an unknown string changes nothing.
template <class Value, class Set>
void SetKind(const char* kind, std::initializer_list<std::pair<const char*, Value>> table, Set&& set)
{
    for (const auto& [name, value] : table) {
        if (kind != nullptr && std::strcmp(kind, name) == 0) {
            set(value);
        }
    }
}

} // namespace

extern "C" {

void barcode_set_symbol_type_14(void* handle, const char* kind)
{
    capi::GuardVoid([&] {
        if (GS1DataBar14* symbol = DataBar14(handle)) {
            using databar::Layout14;
            SetKind<Layout14>(kind,
                              {{"OMNIDIRECTIONAL", Layout14::Omnidirectional},
                               {"STACKED", Layout14::Stacked},
                               {"STACKED_OMNIDIRECTIONAL", Layout14::StackedOmnidirectional}},
                              [symbol](Layout14 layout) { symbol->SetSymbolType(layout); });
        }
    });
}

void barcode_set_symbol_type_exp(void* handle, const char* kind)
{
    capi::GuardVoid([&] {
        if (GS1DataBarExpanded* symbol = DataBarExpanded(handle)) {
            SetKind<bool>(kind, {{"UNSTACKED", false}, {"STACKED", true}},
                          [symbol](bool stacked) { symbol->SetStacked(stacked); });
        }
    });
}

void barcode_set_no_of_columns(void* handle, int columns)
{
    capi::GuardVoid([&] {
        if (GS1DataBarExpanded* symbol = DataBarExpanded(handle)) {
            symbol->SetColumns(columns);
        }
    });
}

const char* barcode_get_symbol_type_14(void* handle)
{
    return capi::Guard<const char*>("", [&]() -> const char* {
        const GS1DataBar14* symbol = DataBar14(handle);
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
    return capi::Guard(false, [&] {
        GS1DataBar14* symbol = DataBar14(handle);
        return symbol != nullptr && text != nullptr && symbol->encode(text);
    });
}

const char* barcode_calculate_check_digit_14(const char* text)
{
    // One result per thread: a call on one thread never overwrites another thread's result.
    thread_local std::string result;
    return capi::Guard<const char*>("", [&]() -> const char* {
        if (text == nullptr) {
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
