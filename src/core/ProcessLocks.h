// SPDX-License-Identifier: MIT
#pragma once

#include <mutex>

// The library's process-wide locks, kept together so that fork() can take them all.
//
// When a thread calls fork(), the handlers installed here first take every one of these locks in
// the order below (waiting for the threads inside to leave), so that the state they guard is
// whole at the fork; afterwards the parent gives them back and the child makes them anew (the
// threads that might have held them do not exist there). A thread that holds more than one takes
// them in this order, and none is held while code of the host runs.
namespace process_locks {

// SDL_ttf and FreeType (neither is thread-safe), the process-wide fonts and the caches of
// rendered and measured text. Recursive: font helpers call each other.
std::recursive_mutex& Fonts();

// Tables made once on first use (QR generator polynomials, version layouts).
std::mutex& Tables();

// Opening and closing text-conversion descriptors: iconv_open and iconv_close take the C
// library's own lock, which a child must not inherit taken.
std::mutex& Conversion();

// The directory the font search tries first.
std::mutex& ModulePath();

// Creating and freeing SDL surfaces and renderers: SDL keeps the pixel formats of all surfaces
// in one list under a spin lock of its own. Held around the library's own such calls (those
// SDL_ttf makes run under the font lock).
std::mutex& Surfaces();

} // namespace process_locks
