// SPDX-License-Identifier: MIT
// The extension interface beside the 43 functions: the calling thread's failure reason and its
// code, the log callback and the version. lumeo_describe() is in Describe.cpp.
#include "api/Ext.h"

#include "barcode_lumeo_ext.h"
#include "core/Log.h"

#include <cstring>

#ifndef BARCODE_LUMEO_VERSION
#error "BARCODE_LUMEO_VERSION must be defined by the build"
#endif

namespace capi {
namespace {

struct CodeRule
{
    const char* fragment; // a part of the message text
    const char* code;
};

// The library's messages by what they mean, in order: the first rule whose fragment the reason
// contains gives the code. Call sites that know their code pass it directly; this table covers
// the messages that symbologies and the drawing core raise as exceptions or print.
constexpr CodeRule kCodeRules[] = {
    // Memory.
    {"Out of memory", kNoMemory},
    {"bad_alloc", kNoMemory},
    // The canvas: a box that is empty, too small or past the limits.
    {"Invalid canvas size", kCanvasLimit},
    {"Canvas of ", kCanvasLimit},
    {"exceeds the limit of", kCanvasLimit},
    {"Text size out of range", kCanvasLimit},
    {"Invalid height", kCanvasLimit},
    {"Invalid width", kCanvasLimit},
    {"サーフェス作成に失敗", kCanvasLimit},
    {"The symbol needs ", kCanvasLimit}, // a box too small for the symbol (never clipped)
    {"The text needs ", kCanvasLimit},   // ... or for its text, even at the smallest size
    // Texts longer than the symbology or the chosen size holds.
    {"too long", kTooLong},
    {"Too long", kTooLong},
    {"too big", kTooLong},
    {"longer than the limit", kTooLong},
    {"max 13 digits", kTooLong},
    {"takes 3 to 21 data characters", kTooLong},
    {"data positions; the barcode holds", kTooLong},
    // Option values.
    {"Unknown output format", kBadOption},
    {"Text font scale", kBadOption},
    {"Invalid CodeMode", kBadOption},
    {"Invalid encoding scheme", kBadOption},
    // Nothing to fetch.
    {"サーフェスがnull", kNoOutput},
    {"not available in SVG mode", kNoOutput},
    {"requires SVG output mode", kNoOutput},
    // Texts the symbology does not accept.
    {"Invalid character", kBadText},
    {"Invalid char for", kBadText},
    {"Invalid start/stop", kBadText},
    {"Invalid check digit", kBadText},
    {"invalid check digit", kBadText},
    {"Check digit mismatch", kBadText},
    {"Invalid length", kBadText},
    {"Invalid code value", kBadText},
    {"Invalid AI", kBadText},
    {"numeric digits only", kBadText},
    {"Non-digit", kBadText},
    {"non-digit", kBadText},
    {"non digit", kBadText},
    {"Not 2-digit", kBadText},
    {"No valid start", kBadText},
    {"requires", kBadText},
    {"must be", kBadText},
    {"Empty string", kBadText},
    {"Text is null", kBadText},
    {"Text cannot be null", kBadText},
    {"No data to encode", kBadText},
    {"Input must be", kBadText},
    {"digits", kBadText},
};

} // namespace

const char* CodeOfMessage(const std::string& text)
{
    for (const CodeRule& rule : kCodeRules) {
        if (text.find(rule.fragment) != std::string::npos) {
            return rule.code;
        }
    }
    return kInternal;
}

void NoteUnused(const char* function, const char* code, const std::string& why) noexcept
{
    try {
        barcode_log::NoteReason(code, std::string("[") + function + "] " + why);
    } catch (...) {
        barcode_log::NoteReason(kNoMemory, "Out of memory");
    }
}

} // namespace capi

extern "C" {

const char* lumeo_last_error(void)
{
    return barcode_log::ReasonText().c_str();
}

const char* lumeo_last_error_code(void)
{
    if (!barcode_log::HasReason()) {
        return "";
    }
    const char* code = barcode_log::ReasonCode();
    return code != nullptr ? code : capi::CodeOfMessage(barcode_log::ReasonText());
}

void lumeo_set_log(lumeo_log_callback callback, void* user)
{
    barcode_log::SetSink(callback, user);
}

const char* lumeo_version(void)
{
    return BARCODE_LUMEO_VERSION;
}

} // extern "C"
