// SPDX-License-Identifier: MIT
#include "core/Log.h"

#include "core/PrintableText.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace barcode_log {
namespace {

std::atomic<int> g_quiet{-1}; // -1: not decided yet
std::mutex g_writeMutex;      // keeps lines from separate threads whole; guards the sink
Sink g_sink = nullptr;
void* g_sinkUser = nullptr;
thread_local unsigned long t_errors = 0;

// The reason of the thread's current C interface call (first error wins).
thread_local bool t_haveReason = false;
thread_local std::string t_reasonText;
thread_local const char* t_reasonCode = nullptr;

#if !defined(_WIN32)
// A fork while another thread writes a line leaves the child a lock that nobody will release:
// the child, which has only the forking thread, starts with a fresh one.
void ResetLockInChild()
{
    new (&g_writeMutex) std::mutex();
}

const int g_atforkRegistered = pthread_atfork(nullptr, nullptr, ResetLockInChild);
#endif

bool QuietFromEnvironment()
{
    const char* value = std::getenv("BARCODE_LUMEO_QUIET");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

// Control characters and broken UTF-8 in a line (the caller's text, quoted) are written as
// \xNN, whether the line goes to a stream or to the host's sink.
void Write(Level level, Stream stream, const std::string& raw)
{
    const std::string line = printable_text::Escape(raw);
    std::lock_guard<std::mutex> lock(g_writeMutex);
    if (g_sink != nullptr) {
        g_sink(static_cast<int>(level), line.c_str(), g_sinkUser);
        return;
    }
    std::FILE* f = stream == Stream::Out ? stdout : stderr;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

} // namespace

bool Verbose()
{
    int quiet = g_quiet.load(std::memory_order_relaxed);
    if (quiet < 0) {
        quiet = QuietFromEnvironment() ? 1 : 0;
        g_quiet.store(quiet, std::memory_order_relaxed);
    }
    return quiet == 0;
}

void SetQuiet(bool quiet)
{
    g_quiet.store(quiet ? 1 : 0, std::memory_order_relaxed);
}

void Error(Stream stream, const std::string& line, const char* code)
{
    if (stream == Stream::Err) {
        ++t_errors;
    }
    NoteReason(code, printable_text::Escape(line));
    Write(Level::Error, stream, line);
}

void Warning(Stream stream, const std::string& line)
{
    Write(Level::Warning, stream, line);
}

void Progress(Stream stream, const std::string& line)
{
    if (Verbose()) {
        Write(Level::Info, stream, line);
    }
}

void Debug(Stream stream, const std::string& line)
{
    if (Verbose()) {
        Write(Level::Debug, stream, line);
    }
}

void SetSink(Sink sink, void* user)
{
    std::lock_guard<std::mutex> lock(g_writeMutex);
    g_sink = sink;
    g_sinkUser = sink != nullptr ? user : nullptr;
}

unsigned long ErrorsOnThisThread()
{
    return t_errors;
}

void ClearReason()
{
    t_haveReason = false;
    t_reasonText.clear();
    t_reasonCode = nullptr;
}

// The first reason of a call is kept: it is the one raised nearest to the fault. The layers
// above it only repeat it with their own tag or, when nothing was said, give a general one.
void NoteReason(const char* code, const std::string& text)
{
    if (t_haveReason) {
        return;
    }
    try {
        t_reasonText = text;
    } catch (const std::bad_alloc&) {
        t_reasonText.clear();
        code = code::kNoMemory;
    }
    t_reasonCode = code;
    t_haveReason = true;
}

bool HasReason()
{
    return t_haveReason;
}

const std::string& ReasonText()
{
    return t_reasonText;
}

const char* ReasonCode()
{
    return t_reasonCode;
}

void RestartAfterFork()
{
    new (&g_writeMutex) std::mutex();
}

} // namespace barcode_log
