// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The library's only way of printing. Error lines explain a failed draw or fetch and are
// always printed; progress and debug lines are dropped when BARCODE_LUMEO_QUIET=1.
namespace barcode_log {

enum class Stream { Out, Err };

// True when progress and debug lines should be printed. Check it before formatting one.
bool Verbose();

// Overrides the environment for the rest of the process (tests and tools).
void SetQuiet(bool quiet);

// Writes `line` and a newline to the stream, then flushes it. Control characters and broken
// UTF-8 in the line (the caller's text, quoted) are written as \xNN (core/PrintableText.h).
void Error(Stream stream, const std::string& line);
void Progress(Stream stream, const std::string& line);

// The number of error lines written to standard error so far by the calling thread: a caller
// can tell whether a failure below it already gave its reason.
unsigned long ErrorsOnThisThread();

// In the child of fork(): makes the write lock anew, since the thread that may have held it at
// the fork does not exist there (core/ProcessLocks.cpp calls it).
void RestartAfterFork();

} // namespace barcode_log
