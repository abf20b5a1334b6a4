// SPDX-License-Identifier: MIT
#include "core/text/Fonts.h"

#include "core/Log.h"
#include "core/ProcessLocks.h"
#include "core/text/EmbeddedFont.h"

#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fonts {

namespace {

using barcode_log::Stream;

TTF_Font* g_font = nullptr; // the process-wide 18-point font; its presence means text can be drawn
std::string g_modulePath;

bool FileExists(const std::string& path)
{
    struct stat st
    {
    };

    return ::stat(path.c_str(), &st) == 0;
}

std::string ExecutableDirectory()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0) {
        return "./";
    }
    const std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash);
}

// The file mapped at `address`, from the process's own list of mappings; empty if unknown.
std::string MappedFile(const void* address)
{
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) {
        return {};
    }
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::string file;
    char line[4096 + 128];
    while (file.empty() && std::fgets(line, sizeof(line), maps) != nullptr) {
        unsigned long long begin = 0;
        unsigned long long end = 0;
        int pathAt = 0;
        if (std::sscanf(line, "%llx-%llx %*s %*s %*s %*s %n", &begin, &end, &pathAt) >= 2 && pathAt > 0
            && begin <= at && at < end && line[pathAt] == '/') {
            file.assign(line + pathAt);
            file.erase(file.find_last_not_of('\n') + 1);
        }
    }
    std::fclose(maps);
    return file;
}

// The directory of the shared library (or program) that holds this code, as an absolute path;
// empty if unknown. The loader may know it by a path relative to the directory the process
// worked in then, which says nothing about the working directory now: the absolute path of the
// mapping is taken instead.
std::string LibraryDirectory()
{
    static const std::string directory = [] {
        static const char anchor = 0;
        std::string path;
        Dl_info info{};
        if (::dladdr(&anchor, &info) != 0 && info.dli_fname != nullptr) {
            path = info.dli_fname;
        }
        if (path.empty() || path[0] != '/') {
            path = MappedFile(&anchor);
        }
        const size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }();
    return directory;
}

} // namespace

void SetModulePath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(process_locks::ModulePath());
    g_modulePath = path;
}

std::string ModulePath()
{
    std::lock_guard<std::mutex> lock(process_locks::ModulePath());
    return g_modulePath;
}

std::recursive_mutex& Mutex()
{
    return process_locks::Fonts();
}

bool Loaded()
{
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    return g_font != nullptr;
}

bool Init()
{
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    if (g_font != nullptr) {
        return true;
    }
    if (TTF_WasInit() == 0 && TTF_Init() != 0) {
        barcode_log::Error(Stream::Err, std::string("SDL_ttfの初期化に失敗: ") + SDL_GetError());
        return false;
    }
    if (Path().empty() && embedded_font::Data() == nullptr) {
        barcode_log::Error(Stream::Err, "適切なフォントが見つかりません。");
        return false;
    }
    g_font = Open(18);
    if (g_font == nullptr) {
        barcode_log::Error(Stream::Err, std::string("フォントの読み込みに失敗: ") + SDL_GetError());
        return false;
    }
    return true;
}

std::vector<Candidate> Candidates()
{
    const auto file = [](std::string path) { return Candidate{std::move(path), false}; };
    std::vector<Candidate> candidates;
    // The host's own choice first.
    const std::string modulePath = ModulePath();
    if (!modulePath.empty()) {
        candidates.push_back(file(modulePath + "/fonts/Roboto-Regular.ttf"));
    }
    // Then the library's own font: beside the library (the build tree), installed with it, or
    // compiled into it.
    const std::string libraryDir = LibraryDirectory();
    if (!libraryDir.empty()) {
        candidates.push_back(file(libraryDir + "/assets/fonts/Roboto-Regular.ttf"));
#ifdef BARCODE_INSTALLED_FONT
        candidates.push_back(file(libraryDir + "/" BARCODE_INSTALLED_FONT));
#endif
    }
    if (embedded_font::Data() != nullptr) {
        candidates.push_back(Candidate{std::string(), true});
    }
    candidates.push_back(file(ExecutableDirectory() + "/assets/fonts/Roboto-Regular.ttf"));
    // The platform's own copies of the same font.
    candidates.push_back(file("/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf"));
    candidates.push_back(file("/usr/share/fonts/truetype/roboto/hinted/Roboto-Regular.ttf"));
    // Last, and only when nothing else exists: a file under the working directory, which a
    // library must not prefer to its own (whoever can write there would choose the font parsed).
    candidates.push_back(file("./assets/fonts/Roboto-Regular.ttf"));
    return candidates;
}

std::string Path()
{
    for (const Candidate& candidate : Candidates()) {
        if (candidate.embedded) {
            return {};
        }
        if (FileExists(candidate.path)) {
            return candidate.path;
        }
    }
    return {};
}

TTF_Font* Open(int size)
{
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    if (TTF_WasInit() == 0 && TTF_Init() != 0) {
        return nullptr;
    }
    const std::string path = Path();
    if (!path.empty()) {
        if (TTF_Font* font = TTF_OpenFont(path.c_str(), size)) {
            return font;
        }
    }
    if (embedded_font::Data() == nullptr) {
        return nullptr;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(embedded_font::Data(), static_cast<int>(embedded_font::Size()));
    if (rw == nullptr) {
        barcode_log::Error(Stream::Err,
                           std::string("OpenEmbeddedRobotoFont: SDL_RWFromConstMem failed: ") + SDL_GetError());
        return nullptr;
    }
    TTF_Font* font = TTF_OpenFontRW(rw, 1, size);
    if (font == nullptr) {
        barcode_log::Error(Stream::Err,
                           std::string("OpenEmbeddedRobotoFont: TTF_OpenFontRW failed: ") + SDL_GetError());
    }
    return font;
}

void Close(TTF_Font* font)
{
    if (font != nullptr) {
        std::lock_guard<std::recursive_mutex> lock(Mutex());
        TTF_CloseFont(font);
    }
}

void Shutdown()
{
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    if (g_font != nullptr) {
        TTF_CloseFont(g_font);
        g_font = nullptr;
    }
    TTF_Quit();
}

} // namespace fonts
