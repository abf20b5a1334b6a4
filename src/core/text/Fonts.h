// SPDX-License-Identifier: MIT
#pragma once

#include <SDL_ttf.h>

#include <mutex>
#include <string>
#include <vector>

// The text font: where it is searched, opening and closing it, and the process-wide 18-point
// font whose presence means that text can be drawn. SDL_ttf shares one FreeType library
// between fonts, so every open and close goes through one lock (Mutex()).
namespace fonts {

// One place the font search looks: a file, or the font compiled into the library.
struct Candidate
{
    std::string path; // empty for the compiled-in font
    bool embedded;
};

// Directory tried first by the font search; process-wide, set it before drawing.
void SetModulePath(const std::string& path);
std::string ModulePath();

// The lock of every font open and close (process_locks::Fonts()).
std::recursive_mutex& Mutex();

// Loads the process-wide 18-point font once; false (with a message) when none is found.
bool Init();
// True once Init has succeeded (and until Shutdown).
bool Loaded();
// Closes the process-wide font and shuts SDL_ttf down (the callers close their own fonts first).
void Shutdown();

// The font search in order: the module path (when set), the library's own font (beside the
// library, installed with it, compiled into it), the executable's directory, the platform's
// copies, and last a path relative to the working directory.
std::vector<Candidate> Candidates();
// The font file the search settles on: the first candidate that exists, or "" when that is
// the compiled-in font (or there is no font at all).
std::string Path();
// Opens the text font at `size` points; null when no font can be opened.
TTF_Font* Open(int size);
void Close(TTF_Font* font);

} // namespace fonts
