// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The library's only way of printing. Every line has a level: error lines explain a failed draw
// or fetch, warning lines an option that was adjusted or ignored (both always printed); info
// (progress) and debug (dumps) lines are dropped when BARCODE_LUMEO_QUIET=1.
//
// By default a line goes to the stream its call site names. A host can take every line instead
// (SetSink, behind lumeo_set_log): then nothing at all is written to stdout or stderr.
//
// Each thread also keeps the reason of its current C interface call: the first error line
// logged since the call began (ClearReason), or a reason noted without printing (NoteReason).
namespace barcode_log {

enum class Stream
{
    Out,
    Err
};

// The numbers of lumeo_log_level.
enum class Level
{
    Error = 0,
    Warning = 1,
    Info = 2,
    Debug = 3
};

using Sink = void (*)(int level, const char* line, void* user);

// The codes of lumeo_last_error_code(), for call sites that know theirs.
namespace code {
constexpr const char* kBadHandle = "bad_handle";
constexpr const char* kBadText = "bad_text";
constexpr const char* kTooLong = "too_long";
constexpr const char* kCanvasLimit = "canvas_limit";
constexpr const char* kBadOption = "bad_option";
constexpr const char* kNoMemory = "no_memory";
constexpr const char* kNoOutput = "no_output";
constexpr const char* kInternal = "internal";
} // namespace code

// True when progress and debug lines should be produced. Check it before formatting one.
bool Verbose();

// Overrides the environment for the rest of the process (tests and tools).
void SetQuiet(bool quiet);

// Writes `line` and a newline to the stream (or hands it to the sink), then flushes it.
// Error lines also become the calling thread's reason when it has none yet; `code` is the
// lumeo_last_error_code() token when the call site knows it (null: derived from the text).
void Error(Stream stream, const std::string& line, const char* code = nullptr);
void Warning(Stream stream, const std::string& line);
void Progress(Stream stream, const std::string& line); // level Info
void Debug(Stream stream, const std::string& line);

// Routes every line to `sink` (with `user`) instead of the streams; null restores printing.
void SetSink(Sink sink, void* user);

// The number of error lines written to standard error so far by the calling thread: a caller
// can tell whether a failure below it already gave its reason.
unsigned long ErrorsOnThisThread();

// In the child of fork(): makes the write lock anew, since the thread that may have held it at
// the fork does not exist there (core/ProcessLocks.cpp calls it).
void RestartAfterFork();

// The calling thread's reason: cleared when a C interface call begins, set by the first error
// line or NoteReason after that. `code` is null when the text alone tells it.
void ClearReason();
void NoteReason(const char* code, const std::string& text);
bool HasReason();
const std::string& ReasonText();
const char* ReasonCode();

} // namespace barcode_log
