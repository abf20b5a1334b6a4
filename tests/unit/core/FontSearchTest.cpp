// SPDX-License-Identifier: MIT
// The font search tries the library's own font before anything a working directory could hold:
// a font planted in the directory a program runs in is never read while the library has its own.
#include "barcode_lumeo.h"
#include "core/BarcodeBase.h"
#include "core/BarcodeBase1D.h"
#include "core/text/EmbeddedFont.h"
#include "support/CappedChild.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Candidates = std::vector<BarcodeBase1D::FontCandidate>;

const char kWorkingDirectoryFont[] = "./assets/fonts/Roboto-Regular.ttf";

// The absolute directory of the file that holds the library's code (this test program links it
// in, and may have been started by a relative path).
std::string LibraryDirectory()
{
    Dl_info info{};
    char path[PATH_MAX] = {};
    if (dladdr(reinterpret_cast<void*>(&barcode_create), &info) == 0 || info.dli_fname == nullptr
        || realpath(info.dli_fname, path) == nullptr) {
        return {};
    }
    const std::string file(path);
    return file.substr(0, file.rfind('/'));
}

size_t IndexOf(const Candidates& candidates, const std::string& path)
{
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!candidates[i].embedded && candidates[i].path == path) {
            return i;
        }
    }
    return candidates.size();
}

size_t EmbeddedIndex(const Candidates& candidates)
{
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i].embedded) {
            return i;
        }
    }
    return candidates.size();
}

TEST(FontSearch, TheLibrarysOwnFontComesBeforeAnyOther)
{
    const std::string library = LibraryDirectory();
    ASSERT_FALSE(library.empty());
    for (const std::string modulePath : {"", "/opt/host"}) {
        SCOPED_TRACE("module path \"" + modulePath + "\"");
        BarcodeBase::SetModulePath(modulePath);
        const Candidates candidates = BarcodeBase1D::FontCandidates();
        BarcodeBase::SetModulePath("");
        ASSERT_GE(candidates.size(), 3u);
        size_t first = 0; // where the library's own candidates begin
        if (!modulePath.empty()) {
            EXPECT_EQ(candidates.front().path, modulePath + "/fonts/Roboto-Regular.ttf") << "the host's choice first";
            first = 1;
        }
        EXPECT_EQ(candidates[first].path, library + "/assets/fonts/Roboto-Regular.ttf") << "beside the library";
        // The library's own (beside it, installed with it, compiled into it) before the rest.
        const size_t embedded = EmbeddedIndex(candidates);
        if (embedded_font::Data() != nullptr) {
            ASSERT_LT(embedded, candidates.size());
        }
        for (size_t i = first; i < candidates.size(); ++i) {
            const bool own = candidates[i].embedded || candidates[i].path.rfind(library + "/", 0) == 0;
            if (!own && embedded < candidates.size()) {
                EXPECT_GT(i, embedded) << candidates[i].path << " comes before the compiled-in font";
            }
        }
        for (const char* platform : {"/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf",
                                     "/usr/share/fonts/truetype/roboto/hinted/Roboto-Regular.ttf"}) {
            EXPECT_LT(IndexOf(candidates, platform), candidates.size() - 1) << platform;
        }
        // The working directory last, and only there.
        EXPECT_EQ(candidates.back().path, kWorkingDirectoryFont);
        EXPECT_EQ(IndexOf(candidates, kWorkingDirectoryFont), candidates.size() - 1);
        for (const BarcodeBase1D::FontCandidate& c : candidates) {
            EXPECT_TRUE(c.embedded || c.path.rfind('/', 0) == 0 || c.path == kWorkingDirectoryFont) << c.path;
        }
    }
}

// A directory holding `fontFile` (or a file that is no font) where the working-directory
// candidate looks; the process works in it until destroyed.
class PlantedFont
{
public:
    explicit PlantedFont(const std::string& fontFile)
    {
        m_dir = std::string(BARCODE_TEST_TMPDIR) + "/planted-" + std::to_string(getpid());
        EXPECT_EQ(std::system(("mkdir -p '" + m_dir + "/assets/fonts'").c_str()), 0);
        std::ofstream out(m_dir + "/assets/fonts/Roboto-Regular.ttf", std::ios::binary);
        if (fontFile.empty()) {
            out << "not a font";
        } else {
            out << std::ifstream(fontFile, std::ios::binary).rdbuf();
        }
        out.close();
        char cwd[4096] = {};
        EXPECT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        m_previous = cwd;
        EXPECT_EQ(chdir(m_dir.c_str()), 0);
    }

    ~PlantedFont()
    {
        EXPECT_EQ(chdir(m_previous.c_str()), 0);
        EXPECT_EQ(std::system(("rm -rf '" + m_dir + "'").c_str()), 0);
    }

    PlantedFont(const PlantedFont&) = delete;
    PlantedFont& operator=(const PlantedFont&) = delete;

private:
    std::string m_dir;
    std::string m_previous;
};

TEST(FontSearch, AFontPlantedInTheWorkingDirectoryIsNotChosen)
{
    PlantedFont planted("");
    const std::string chosen = BarcodeBase1D::GetFontPath();
    EXPECT_NE(chosen, kWorkingDirectoryFont);
    if (chosen.empty()) {
        EXPECT_NE(embedded_font::Data(), nullptr) << "no font at all but the planted one";
    }
}

// A Code 128 drawn with its text at a font size of its own as PNG bytes, in a string.
std::string DrawWithText()
{
    void* h = barcode_create(2);
    barcode_set_text_font_scale(h, 1.37); // a size no other draw of this process opens
    barcode_set_text_even_spacing(h, 0);
    std::string png;
    if (barcode_draw_1d(h, "Planted 0123", 420, 100)) {
        int size = 0;
        const unsigned char* bytes = barcode_get_image_data(h, &size);
        png.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    }
    barcode_destroy(h);
    return png;
}

TEST(FontSearch, TextIsDrawnWithTheLibrarysFontWhateverTheWorkingDirectoryHolds)
{
    // Any TrueType font that is not Roboto.
    std::string other;
    for (const char* path : {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                             "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"}) {
        if (access(path, R_OK) == 0) {
            other = path;
            break;
        }
    }
    if (other.empty()) {
        GTEST_SKIP() << "no second font on this machine";
    }
    // The planted draw runs in a child, so that this process opens the size only afterwards.
    const std::string inPlantedDirectory = testsupport::RunCapped(std::size_t{1} << 30, [&other] {
        PlantedFont planted(other);
        return DrawWithText();
    });
    const std::string here = DrawWithText();
    ASSERT_FALSE(here.empty());
    EXPECT_TRUE(inPlantedDirectory == here) << "the text came out in the planted font";
}

} // namespace
