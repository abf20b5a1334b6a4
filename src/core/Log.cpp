// SPDX-License-Identifier: MIT
#include "core/Log.h"

#include "core/PrintableText.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace barcode_log {
namespace {

std::atomic<int> g_quiet{-1}; // -1: not decided yet
std::mutex g_writeMutex;      // keeps lines from separate threads whole
thread_local unsigned long t_errors = 0;

bool QuietFromEnvironment()
{
    const char* value = std::getenv("BARCODE_LUMEO_QUIET");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void Write(Stream stream, const std::string& line)
{
    std::FILE* f = stream == Stream::Out ? stdout : stderr;
    std::lock_guard<std::mutex> lock(g_writeMutex);
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

void Error(Stream stream, const std::string& line)
{
    if (stream == Stream::Err) {
        ++t_errors;
    }
    Write(stream, printable_text::Escape(line));
}

unsigned long ErrorsOnThisThread()
{
    return t_errors;
}

void Progress(Stream stream, const std::string& line)
{
    if (Verbose()) {
        Write(stream, printable_text::Escape(line));
    }
}

void RestartAfterFork()
{
    new (&g_writeMutex) std::mutex();
}

} // namespace barcode_log
