// SPDX-License-Identifier: MIT
#include "core/ProcessLocks.h"

#include "core/Log.h"

#include <new>
#include <pthread.h>

namespace process_locks {
namespace {

std::recursive_mutex g_fonts;
std::mutex g_tables;
std::mutex g_conversion;
std::mutex g_modulePath;
std::mutex g_surfaces;

void BeforeFork()
{
    g_fonts.lock();
    g_tables.lock();
    g_conversion.lock();
    g_modulePath.lock();
    g_surfaces.lock();
}

void InParentAfterFork()
{
    g_surfaces.unlock();
    g_modulePath.unlock();
    g_conversion.unlock();
    g_tables.unlock();
    g_fonts.unlock();
}

// The child's only thread is the one that forked, but under another thread id: a recursive lock
// would refuse its unlock. Every lock is made anew instead (nothing else can hold one here).
void InChildAfterFork()
{
    new (&g_surfaces) std::mutex();
    new (&g_modulePath) std::mutex();
    new (&g_conversion) std::mutex();
    new (&g_tables) std::mutex();
    new (&g_fonts) std::recursive_mutex();
    barcode_log::RestartAfterFork();
}

// Installed when the library is loaded; the C library drops the handlers again if the library
// is unloaded.
[[maybe_unused]] const int g_installed = pthread_atfork(BeforeFork, InParentAfterFork, InChildAfterFork);

} // namespace

std::recursive_mutex& Fonts()
{
    return g_fonts;
}

std::mutex& Tables()
{
    return g_tables;
}

std::mutex& Conversion()
{
    return g_conversion;
}

std::mutex& ModulePath()
{
    return g_modulePath;
}

std::mutex& Surfaces()
{
    return g_surfaces;
}

} // namespace process_locks
