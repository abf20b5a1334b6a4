// SPDX-License-Identifier: MIT
// The codes of lumeo_last_error_code() and the C interface's ways of leaving a reason.
#pragma once

#include "core/Log.h"

#include <string>

namespace capi {

using namespace barcode_log::code;

// The code of a message raised without one: by the table of the library's message texts,
// "internal" for a text the table does not know.
const char* CodeOfMessage(const std::string& text);

// Every exported barcode_* function begins here: the thread's previous reason is forgotten.
inline void Enter() noexcept
{
    barcode_log::ClearReason();
}

// Leaves "[function] why" as the reason of a call that did nothing, without printing it (the
// setters of the C interface stay silent).
void NoteUnused(const char* function, const char* code, const std::string& why) noexcept;

} // namespace capi
