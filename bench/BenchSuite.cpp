// SPDX-License-Identifier: MIT
// Speed of every type number at a typical size against its peers, measured in one run:
//   encode      the pure encoder (element widths or module matrix)
//   png         a PNG request: draw + barcode_get_image_data
//   floor       IMG_SavePNG_RW alone on an RGBA surface of the same size holding the same pixels
//   pair        a PNG request and the floor, alternating inside each iteration, each timed on
//               the thread's CPU clock: their ratio, with machine drift cancelled out
//   base64      draw + barcode_get_base64
//   svg         draw + barcode_get_svg
//   png8        a PNG request in the "png8" output format (palette PNG)
//   zint_*      libzint on the same data at about the same pixel size: encode + bitmap, PNG file,
//               SVG file (zint 2.11 has no in-memory file output: files go to /dev/shm)
//   qrencode    libqrencode's module matrix of the QR case
// and the length series of Code 128 (automatic code sets) and PDF417 from 10 to 100,000
// characters. The closing table (markdown) prints median CPU times and the ratios the targets
// are stated in; --table_out=FILE writes it to a file as well. bench/run drives it.
#include "BenchEncoders.h"
#include "barcode_lumeo.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <qrencode.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>
#include <zint.h>

namespace {

enum class Call
{
    OneD,     // barcode_draw_1d(width, height)
    TwoD,     // barcode_draw_2d(width)
    TwoDRect, // barcode_draw_2d_rect(width, height)
    Yubin     // barcode_draw_yubin(height)
};

struct Case
{
    const char* name;
    int type;
    const char* text;
    int width;
    int height;
    Call call;
    void (*options)(void* handle); // lumeo options, or null
    int zintSymbology;
    const char* zintText; // the same data in zint's syntax
    void (*zintOptions)(zint_symbol*);
};

void QrV10M(void* h)
{
    barcode_set_version(h, 10);
    barcode_set_error_correction_level(h, "M");
}

void ZintQrV10M(zint_symbol* s)
{
    s->option_1 = 2; // level M
    s->option_2 = 10;
}

constexpr char kQrText[] = "https://example.com/lumeo/benchmark?id=0123456789";
constexpr char kDm50[] = "Data Matrix payload of fifty characters 0123456789";
constexpr char kPdf200[] =
    "PDF417 benchmark text of two hundred characters: Lorem ipsum dolor sit amet, consectetur "
    "adipiscing elit 0123456789012345678901234567890123456789, sed do eiusmod tempor incididunt ut labore.";

// One row per type number; rows whose type is not built in are skipped at run time. zint has no
// NEC 2 of 5: its row compares with zint's Industrial 2 of 5, the nearest in structure.
const Case kCases[] = {
    {"code39", 0, "LUMEO-39 BENCH", 400, 120, Call::OneD, nullptr, BARCODE_CODE39, "LUMEO-39 BENCH", nullptr},
    {"code93", 1, "PN-4711/B LUMEO", 400, 120, Call::OneD, nullptr, BARCODE_CODE93, "PN-4711/B LUMEO", nullptr},
    {"code128", 2, "Lumeo 128 bench 0123", 444, 116, Call::OneD, nullptr, BARCODE_CODE128, "Lumeo 128 bench 0123",
     nullptr},
    {"gs1-128", 3, "{FNC1}0104912345678904{AI}15261231{AI}10LOT42A", 640, 150, Call::OneD, nullptr, BARCODE_GS1_128,
     "[01]04912345678904[15]261231[10]LOT42A", nullptr},
    {"nw7", 4, "A0123-4567-89B", 400, 120, Call::OneD, nullptr, BARCODE_CODABAR, "A0123-4567-89B", nullptr},
    {"matrix2of5", 5, "20240415", 400, 120, Call::OneD, nullptr, BARCODE_C25MATRIX, "20240415", nullptr},
    {"nec2of5", 6, "0123456789", 400, 120, Call::OneD, nullptr, BARCODE_C25IND, "0123456789", nullptr},
    {"jan8", 7, "4901234", 300, 120, Call::OneD, nullptr, BARCODE_EANX, "4901234", nullptr},
    {"jan13", 8, "490123456789", 300, 120, Call::OneD, nullptr, BARCODE_EANX, "490123456789", nullptr},
    {"upca", 9, "03600029145", 300, 120, Call::OneD, nullptr, BARCODE_UPCA, "03600029145", nullptr},
    {"upce", 10, "425261", 300, 120, Call::OneD, nullptr, BARCODE_UPCE, "425261", nullptr},
    {"itf", 11, "14901234567891", 400, 120, Call::OneD, nullptr, BARCODE_C25INTER, "14901234567891", nullptr},
    {"databar14", 12, "0123456789012", 300, 100, Call::OneD, nullptr, BARCODE_DBAR_OMN, "0123456789012", nullptr},
    {"databar-limited", 13, "0123456789012", 300, 100, Call::OneD, nullptr, BARCODE_DBAR_LTD, "0123456789012", nullptr},
    {"databar-expanded", 14, "0190012345678908{AI}3103001750", 500, 100, Call::OneD, nullptr, BARCODE_DBAR_EXP,
     "[01]90012345678908[3103]001750", nullptr},
    {"yubin", 15, "2630023-3-30-8-403", 0, 45, Call::Yubin, nullptr, BARCODE_JAPANPOST, "2630023-3-30-8-403", nullptr},
    {"qr", 16, kQrText, 228, 228, Call::TwoD, QrV10M, BARCODE_QRCODE, kQrText, ZintQrV10M},
    {"datamatrix", 17, kDm50, 200, 200, Call::TwoD, nullptr, BARCODE_DATAMATRIX, kDm50, nullptr},
    {"pdf417", 18, kPdf200, 600, 200, Call::TwoDRect, nullptr, BARCODE_PDF417, kPdf200, nullptr},
};

bool Draw(void* h, const Case& c, const char* text)
{
    switch (c.call) {
    case Call::OneD: return barcode_draw_1d(h, text, c.width, c.height);
    case Call::TwoD: return barcode_draw_2d(h, text, c.width);
    case Call::TwoDRect: return barcode_draw_2d_rect(h, text, c.width, c.height);
    case Call::Yubin: return barcode_draw_yubin(h, text, c.height);
    }
    return false;
}

// A handle of the case's type in `format`, options applied; null when the type is not built.
void* MakeHandle(const Case& c, const char* format)
{
    void* h = barcode_create(c.type);
    if (h != nullptr) {
        barcode_set_output_format(h, format);
        if (c.options != nullptr) {
            c.options(h);
        }
    }
    return h;
}

struct HandleDeleter
{
    void operator()(void* h) const { barcode_destroy(h); }
};

using HandlePtr = std::unique_ptr<void, HandleDeleter>;

struct SurfaceDeleter
{
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};

using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

// The PNG bytes of one draw of the case, or empty.
std::vector<unsigned char> PngOf(const Case& c, const char* format)
{
    HandlePtr h(MakeHandle(c, format));
    if (h == nullptr || !Draw(h.get(), c, c.text)) {
        return {};
    }
    int size = 0;
    const unsigned char* data = barcode_get_image_data(h.get(), &size);
    return data != nullptr ? std::vector<unsigned char>(data, data + size) : std::vector<unsigned char>();
}

// The pixels of the case's PNG on an RGBA32 surface: the input of the floor.
SurfacePtr FloorSurface(const Case& c)
{
    const std::vector<unsigned char> png = PngOf(c, "png");
    if (png.empty()) {
        return nullptr;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(png.data(), static_cast<int>(png.size()));
    SurfacePtr loaded(IMG_LoadPNG_RW(rw));
    SDL_RWclose(rw);
    if (loaded == nullptr) {
        return nullptr;
    }
    return SurfacePtr(SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_RGBA32, 0));
}

// The module width the lumeo case paints with: the width of the narrowest dark run of the
// middle row (a 2D symbol's pitch, a linear symbol's narrow bar).
int ModulePixels(const Case& c)
{
    const SurfacePtr image = FloorSurface(c);
    if (image == nullptr) {
        return 2;
    }
    const int y = c.type >= 16 ? 3 : image->h / 3; // a QR finder row, or inside the bars
    const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(image->pixels)
                                                             + static_cast<size_t>(y) * image->pitch);
    const std::uint32_t background = row[image->w - 1];
    int narrowest = image->w;
    for (int x = 0; x < image->w;) {
        int run = 0;
        while (x + run < image->w && row[x + run] != background) {
            ++run;
        }
        if (run > 0) {
            narrowest = std::min(narrowest, run);
        }
        x += std::max(run, 1);
    }
    return narrowest;
}

void LumeoEncode(benchmark::State& state, bench::EncodeFn encode, std::string text)
{
    for (auto _ : state) {
        encode(text);
    }
}

// One request: the draw and the image fetched.
void Request(void* handle, const Case& c)
{
    Draw(handle, c, c.text);
    int size = 0;
    benchmark::DoNotOptimize(barcode_get_image_data(handle, &size));
}

void LumeoPng(benchmark::State& state, const Case& c, const char* format)
{
    HandlePtr h(MakeHandle(c, format));
    for (auto _ : state) {
        Request(h.get(), c);
    }
}

// The raster draw alone: the library's own work in a PNG request besides the encoding.
void LumeoDraw(benchmark::State& state, const Case& c)
{
    HandlePtr h(MakeHandle(c, "png"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Draw(h.get(), c, c.text));
    }
}

void LumeoBase64(benchmark::State& state, const Case& c)
{
    HandlePtr h(MakeHandle(c, "png"));
    for (auto _ : state) {
        Draw(h.get(), c, c.text);
        benchmark::DoNotOptimize(barcode_get_base64(h.get()));
    }
}

void LumeoSvg(benchmark::State& state, const Case& c)
{
    HandlePtr h(MakeHandle(c, "svg"));
    for (auto _ : state) {
        Draw(h.get(), c, c.text);
        benchmark::DoNotOptimize(barcode_get_svg(h.get()));
    }
}

void PngFloor(benchmark::State& state, SDL_Surface* surface)
{
    // The library's memory stream: four bytes per pixel plus a reserve, allocated once here.
    std::vector<unsigned char> buffer(static_cast<size_t>(surface->w) * surface->h * 4 + 1024000);
    for (auto _ : state) {
        SDL_RWops* rw = SDL_RWFromMem(buffer.data(), static_cast<int>(buffer.size()));
        benchmark::DoNotOptimize(IMG_SavePNG_RW(surface, rw, 0));
        SDL_RWclose(rw);
    }
}

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Two pieces of work in every iteration, in alternating order, each timed on its own: the two
// times come from the same moments of the machine, so that their ratio does not move with the
// load the way two medians taken apart do. The mean times go to the counters `a` and `b`, and
// their ratio to "ratio" (the median of the ratios of the repetitions is the figure to quote).
template <typename A, typename B>
void Paired(benchmark::State& state, const char* a, A&& first, const char* b, B&& second)
{
    double timeA = 0.0;
    double timeB = 0.0;
    bool aFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const double start = ThreadCpuSeconds();
            if ((turn == 0) == aFirst) {
                first();
                timeA += ThreadCpuSeconds() - start;
            } else {
                second();
                timeB += ThreadCpuSeconds() - start;
            }
        }
        aFirst = !aFirst;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters[a] = timeA * 1e6 / n;
    state.counters[b] = timeB * 1e6 / n;
    state.counters["ratio"] = timeB > 0 ? timeA / timeB : 0.0;
}

// A PNG request and the floor of the same pixels.
void PairedPng(benchmark::State& state, const Case& c, SDL_Surface* surface)
{
    HandlePtr h(MakeHandle(c, "png"));
    std::vector<unsigned char> buffer(static_cast<size_t>(surface->w) * surface->h * 4 + 1024000);
    Paired(
        state, "request_us", [&] { Request(h.get(), c); }, "floor_us",
        [&] {
            SDL_RWops* rw = SDL_RWFromMem(buffer.data(), static_cast<int>(buffer.size()));
            benchmark::DoNotOptimize(IMG_SavePNG_RW(surface, rw, 0));
            SDL_RWclose(rw);
        });
}

std::string ShmPath(const char* extension)
{
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/lumeo-bench-" + std::to_string(getpid()) + extension;
}

// zint at the lumeo module size (zint paints 2 px per module at scale 1, in half steps), padded
// with white space to the lumeo canvas size where zint's symbol is smaller.
struct ZintGeometry
{
    float scale = 1.0f;
    float height = 0.0f; // linear symbols, in modules
    int whitespace = 0;  // left and right, in modules
    int vwhitespace = 0; // above and below, in modules
};

zint_symbol* ZintSymbol(const Case& c, const ZintGeometry& g)
{
    zint_symbol* s = ZBarcode_Create();
    s->symbology = c.zintSymbology;
    s->output_options |= BARCODE_NO_QUIET_ZONES;
    s->scale = g.scale;
    if (g.height > 0) {
        s->height = g.height;
    }
    s->whitespace_width = g.whitespace;
    s->whitespace_height = g.vwhitespace;
    if (c.zintOptions != nullptr) {
        c.zintOptions(s);
    }
    return s;
}

// The bitmap size zint makes with `g`, or 0 x 0.
std::pair<int, int> ZintBitmapSize(const Case& c, const ZintGeometry& g)
{
    zint_symbol* s = ZintSymbol(c, g);
    std::pair<int, int> size{0, 0};
    if (ZBarcode_Encode_and_Buffer(s, reinterpret_cast<const unsigned char*>(c.zintText),
                                   static_cast<int>(std::strlen(c.zintText)), 0)
        < ZINT_ERROR) {
        size = {s->bitmap_width, s->bitmap_height};
    }
    ZBarcode_Delete(s);
    return size;
}

ZintGeometry ZintSize(const Case& c, int lumeoWidth, int lumeoHeight, int lumeoModulePx)
{
    ZintGeometry g;
    g.scale = std::max(0.5f, static_cast<float>(lumeoModulePx) / 2.0f);
    const float px = 2.0f * g.scale; // pixels per module
    auto [w, h] = ZintBitmapSize(c, g);
    if (c.type < 15 && h > 0) { // the postal symbol has a fixed height
        g.height = std::max(1.0f, static_cast<float>(lumeoHeight - h) / px + 50.0f); // zint's default height is 50
        h = ZintBitmapSize(c, g).second;
    }
    g.whitespace = std::max(0, static_cast<int>(static_cast<float>(lumeoWidth - w) / (2.0f * px)));
    g.vwhitespace = std::max(0, static_cast<int>(static_cast<float>(lumeoHeight - h) / (2.0f * px)));
    return g;
}

void ZintBitmap(benchmark::State& state, const Case& c, ZintGeometry g)
{
    const int length = static_cast<int>(std::strlen(c.zintText));
    for (auto _ : state) {
        zint_symbol* s = ZintSymbol(c, g);
        benchmark::DoNotOptimize(
            ZBarcode_Encode_and_Buffer(s, reinterpret_cast<const unsigned char*>(c.zintText), length, 0));
        ZBarcode_Delete(s);
    }
}

// zint's file of the case (PNG or SVG by the name's extension).
void WriteZintFile(const Case& c, const ZintGeometry& g, const std::string& path)
{
    zint_symbol* s = ZintSymbol(c, g);
    std::snprintf(s->outfile, sizeof(s->outfile), "%s", path.c_str());
    benchmark::DoNotOptimize(ZBarcode_Encode_and_Print(s, reinterpret_cast<const unsigned char*>(c.zintText),
                                                       static_cast<int>(std::strlen(c.zintText)), 0));
    ZBarcode_Delete(s);
}

void ZintFile(benchmark::State& state, const Case& c, ZintGeometry g, std::string path)
{
    for (auto _ : state) {
        WriteZintFile(c, g, path);
    }
    std::remove(path.c_str());
}

// A png8 request and zint's PNG file of the same symbol.
void PairedPng8(benchmark::State& state, const Case& c, ZintGeometry g, std::string path)
{
    HandlePtr h(MakeHandle(c, "png8"));
    Paired(
        state, "png8_us", [&] { Request(h.get(), c); }, "zint_us", [&] { WriteZintFile(c, g, path); });
    std::remove(path.c_str());
}

// The size of the PNG file zint writes for the case.
long ZintPngBytes(const Case& c, const ZintGeometry& g)
{
    const std::string path = ShmPath("-size.png");
    WriteZintFile(c, g, path);
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const long size = in ? static_cast<long>(in.tellg()) : -1;
    std::remove(path.c_str());
    return size;
}

void QrencodeMatrix(benchmark::State& state, const char* text)
{
    for (auto _ : state) {
        QRcode* q = QRcode_encodeString(text, 10, QR_ECLEVEL_M, QR_MODE_8, 1);
        benchmark::DoNotOptimize(q);
        QRcode_free(q);
    }
}

// ---- length series -------------------------------------------------------------------------

const int kLengths[] = {10, 100, 1000, 10000, 100000};
constexpr int kWidestCanvas = 16384; // pixels a side that a draw accepts

std::string TextOfLength(size_t n)
{
    static const std::string unit = "Lumeo 128 bench 0123456789 abc XYZ ";
    std::string text;
    while (text.size() < n) {
        text += unit;
    }
    text.resize(n);
    return text;
}

// Raster or SVG draw of `length` characters; the box grows with the text (about one pixel per
// module) up to the widest canvas, past which a module is less than a pixel wide. The counter
// "done" tells whether the draw succeeded.
void LengthDraw(benchmark::State& state, int type, int length, const char* format)
{
    const std::string text = TextOfLength(static_cast<size_t>(length));
    HandlePtr h(barcode_create(type));
    barcode_set_output_format(h.get(), format);
    if (type == 2) {
        barcode_set_code_mode(h.get(), "AUTO");
    }
    const int width = type == 2 ? std::min(12 * length + 100, kWidestCanvas) : 2000;
    const int height = type == 2 ? 40 : 1000;
    bool done = false;
    for (auto _ : state) {
        if (type == 2) {
            done = barcode_draw_1d(h.get(), text.c_str(), width, height);
        } else {
            done = barcode_draw_2d_rect(h.get(), text.c_str(), width, height);
        }
        benchmark::DoNotOptimize(done);
    }
    state.counters["chars"] = length;
    state.counters["done"] = done ? 1 : 0;
}

void LengthEncode(benchmark::State& state, bench::EncodeFn encode, int length)
{
    const std::string text = TextOfLength(static_cast<size_t>(length));
    bool done = false;
    for (auto _ : state) {
        try {
            encode(text);
            done = true;
        } catch (const std::exception&) {
            // beyond the symbol's capacity: the rejection is what is timed
            done = false;
        }
    }
    state.counters["done"] = done ? 1 : 0;
}

// ---- reporting -----------------------------------------------------------------------------

class TableReporter : public benchmark::ConsoleReporter
{
public:
    explicit TableReporter(std::string tableOut) : m_tableOut(std::move(tableOut)) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            const std::string name = r.run_name.str();
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                m_medians[name] = r.GetAdjustedCPUTime();
                for (const auto& [counter, value] : r.counters) {
                    m_medians[name + "#" + counter] = value.value * 1000.0; // kept in ns like the times
                }
            } else if (r.run_type == Run::RT_Iteration && r.iterations > 0 && m_medians.count(name) == 0) {
                m_single[name] = r.GetAdjustedCPUTime();
                for (const auto& [counter, value] : r.counters) {
                    m_single[name + "#" + counter] = value.value * 1000.0;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const std::string table = Table();
        std::fputs(table.c_str(), stdout);
        if (!m_tableOut.empty()) {
            std::ofstream(m_tableOut) << table;
        }
    }

    std::map<std::string, std::string> sizes; // case -> "w x h (zint w x h)"
    std::map<std::string, std::string> bytes; // case -> "png | png8 | zint png" file sizes

private:
    // Median CPU time in microseconds, or a negative number when not measured.
    double Us(const std::string& name) const
    {
        const auto m = m_medians.find(name);
        if (m != m_medians.end()) {
            return m->second / 1000.0;
        }
        const auto s = m_single.find(name);
        return s != m_single.end() ? s->second / 1000.0 : -1.0;
    }

    static std::string Num(double v, int decimals = 1)
    {
        if (v < 0) {
            return "-";
        }
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "%.*f", decimals, v);
        return buffer;
    }

    static double Ratio(double a, double b) { return (a < 0 || b <= 0) ? -1.0 : a / b; }

    // Keeps the worst ratio of a target and whether every case met it.
    struct Target
    {
        Target(const char* t, double l) : text(t), limit(l) {}

        const char* text;
        double limit;
        double worst = -1.0;
        std::string worstCase;

        void Add(double ratio, const std::string& name)
        {
            if (ratio >= 0 && ratio > worst) {
                worst = ratio;
                worstCase = name;
            }
        }

        std::string Line() const
        {
            if (worst < 0) {
                return std::string("- ") + text + ": not measured\n";
            }
            return std::string("- ") + text + ": " + (worst <= limit ? "met" : "NOT met") + " (worst " + Num(worst, 2)
                   + ", " + worstCase + ")\n";
        }
    };

    std::string Table() const
    {
        std::ostringstream out;
        Target png{"PNG request at most 1.05 x its PNG floor (paired)", 1.05};
        Target own{"the draw (the library's own work) at most 5 % of the PNG floor", 0.05};
        Target svg{"SVG at most 0.35 x zint's SVG writer", 0.35};
        Target png8Floor{"png8 request at most 0.35 x the RGBA floor", 0.35};
        Target png8Zint{"png8 request no slower than zint's PNG writer (paired)", 1.0};
        Target qr{"QR 10-M module matrix at most 0.5 x libqrencode", 0.5};

        out << "\nTimes are median CPU times in microseconds.\n\n";
        out << "| symbol | canvas (zint) | encode | draw | PNG request | PNG floor | PNG / floor | paired request | "
               "paired floor | paired PNG / floor | draw / floor | base64 | "
               "SVG | zint SVG | SVG / zint | png8 | png8 / floor | zint PNG | png8 / zint PNG | paired png8 | paired "
               "zint PNG | "
               "paired png8 / zint PNG | zint bitmap |\n";
        out << "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:"
               "|---:|"
               "---:|\n";
        for (const Case& c : kCases) {
            const std::string n = c.name;
            if (sizes.count(n) == 0) {
                continue;
            }
            const double p = Us("png/" + n);
            const double f = Us("floor/" + n);
            const double s = Us("svg/" + n);
            const double zs = Us("zint_svg/" + n);
            const double p8 = Us("png8/" + n);
            const double zp = Us("zint_png/" + n);
            const double d = Us("draw/" + n);
            const double pr = Us("pair/" + n + "#request_us");
            const double pf = Us("pair/" + n + "#floor_us");
            const double p8r = Us("pair8/" + n + "#png8_us");
            const double p8z = Us("pair8/" + n + "#zint_us");
            const double pairRatio = Us("pair/" + n + "#ratio");
            const double pair8Ratio = Us("pair8/" + n + "#ratio");
            png.Add(pairRatio, n);
            own.Add(Ratio(d, f), n);
            svg.Add(Ratio(s, zs), n);
            png8Floor.Add(Ratio(p8, f), n);
            png8Zint.Add(pair8Ratio, n);
            out << "| " << n << " | " << sizes.at(n) << " | " << Num(Us("encode/" + n)) << " | " << Num(d) << " | "
                << Num(p) << " | " << Num(f) << " | " << Num(Ratio(p, f), 2) << " | " << Num(pr) << " | " << Num(pf)
                << " | " << Num(pairRatio, 3) << " | " << Num(Ratio(d, f), 3) << " | " << Num(Us("base64/" + n))
                << " | " << Num(s) << " | " << Num(zs) << " | " << Num(Ratio(s, zs), 2) << " | " << Num(p8) << " | "
                << Num(Ratio(p8, f), 2) << " | " << Num(zp) << " | " << Num(Ratio(p8, zp), 2) << " | " << Num(p8r)
                << " | " << Num(p8z) << " | " << Num(pair8Ratio, 3) << " | " << Num(Us("zint_bitmap/" + n)) << " |\n";
        }
        out << "\nFile sizes in bytes:\n\n| symbol | PNG | png8 | zint PNG |\n|---|---:|---:|---:|\n";
        for (const Case& c : kCases) {
            if (bytes.count(c.name) != 0) {
                out << "| " << c.name << " | " << bytes.at(c.name) << " |\n";
            }
        }
        const double matrix = Us("encode/qr");
        const double qrencode = Us("qrencode/qr");
        qr.Add(Ratio(matrix, qrencode), "qr");
        out << "\nQR version 10-M module matrix: lumeo " << Num(matrix) << " us, libqrencode " << Num(qrencode)
            << " us, ratio " << Num(Ratio(matrix, qrencode), 2) << ".\n";

        out << "\nLength series (nanoseconds per character; linear when a column stays flat; \"rejected\": the "
               "text is beyond the symbol's capacity, and the time is that of the rejection):\n\n";
        out << "| characters | Code 128 encode | Code 128 raster draw | Code 128 SVG draw | PDF417 encode | PDF417 "
               "raster draw | PDF417 SVG draw |\n";
        out << "|---:|---:|---:|---:|---:|---:|---:|\n";
        std::string linear;
        for (int length : kLengths) {
            const std::string l = std::to_string(length);
            out << "| " << length;
            for (const char* series : {"len/code128/encode/", "len/code128/raster/", "len/code128/svg/",
                                       "len/pdf417/encode/", "len/pdf417/raster/", "len/pdf417/svg/"}) {
                const double us = Us(series + l);
                if (us >= 0 && Us(series + l + "#done") == 0.0) {
                    out << " | rejected";
                    continue;
                }
                out << " | " << Num(us < 0 ? -1.0 : us * 1000.0 / length, 1);
            }
            out << " |\n";
        }
        out << "\nTargets:\n\n"
            << png.Line() << own.Line() << svg.Line() << png8Floor.Line() << png8Zint.Line() << qr.Line();
        return out.str();
    }

    std::string m_tableOut;
    std::map<std::string, double> m_medians;
    std::map<std::string, double> m_single;
};

// Removes --table_out=FILE from the arguments and returns FILE.
std::string TakeTableOut(int* argc, char** argv)
{
    std::string out;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp(argv[i], "--table_out=", 12) == 0) {
            out = argv[i] + 12;
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    TableReporter reporter(TakeTableOut(&argc, argv));
    std::vector<SurfacePtr> floors;
    for (const Case& c : kCases) {
        const HandlePtr probe(barcode_create(c.type));
        if (probe == nullptr) {
            continue;
        }
        const std::string n = c.name;
        SurfacePtr floor = FloorSurface(c);
        if (floor == nullptr) {
            std::fprintf(stderr, "%s: the case does not draw; skipped\n", c.name);
            continue;
        }
        const ZintGeometry g = ZintSize(c, floor->w, floor->h, ModulePixels(c));
        const auto [zw, zh] = ZintBitmapSize(c, g);
        reporter.sizes[n] = std::to_string(floor->w) + " x " + std::to_string(floor->h) + " (" + std::to_string(zw)
                            + " x " + std::to_string(zh) + ")";
        reporter.bytes[n] = std::to_string(PngOf(c, "png").size()) + " | " + std::to_string(PngOf(c, "png8").size())
                            + " | " + std::to_string(ZintPngBytes(c, g));
        if (bench::EncodeFn encode = bench::EncoderFor(c.type)) {
            try {
                encode(c.text);
                benchmark::RegisterBenchmark(("encode/" + n).c_str(), LumeoEncode, encode, std::string(c.text));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s: the encode hook fails (%s); skipped\n", c.name, e.what());
            }
        }
        benchmark::RegisterBenchmark(("png/" + n).c_str(), LumeoPng, c, "png");
        benchmark::RegisterBenchmark(("draw/" + n).c_str(), LumeoDraw, c);
        benchmark::RegisterBenchmark(("floor/" + n).c_str(), PngFloor, floor.get());
        benchmark::RegisterBenchmark(("pair/" + n).c_str(), PairedPng, c, floor.get());
        benchmark::RegisterBenchmark(("base64/" + n).c_str(), LumeoBase64, c);
        benchmark::RegisterBenchmark(("svg/" + n).c_str(), LumeoSvg, c);
        if (!PngOf(c, "png8").empty()) {
            benchmark::RegisterBenchmark(("png8/" + n).c_str(), LumeoPng, c, "png8");
            benchmark::RegisterBenchmark(("pair8/" + n).c_str(), PairedPng8, c, g, ShmPath("-pair.png"));
        }
        benchmark::RegisterBenchmark(("zint_bitmap/" + n).c_str(), ZintBitmap, c, g);
        benchmark::RegisterBenchmark(("zint_png/" + n).c_str(), ZintFile, c, g, ShmPath(".png"));
        benchmark::RegisterBenchmark(("zint_svg/" + n).c_str(), ZintFile, c, g, ShmPath(".svg"));
        if (c.type == 16) {
            benchmark::RegisterBenchmark(("qrencode/" + n).c_str(), QrencodeMatrix, c.text);
        }
        floors.push_back(std::move(floor));
    }
    for (const auto& [type, series] : {std::make_pair(2, "code128"), std::make_pair(18, "pdf417")}) {
        const HandlePtr probe(barcode_create(type));
        if (probe == nullptr) {
            continue;
        }
        for (int length : kLengths) {
            const std::string l = std::to_string(length);
            const std::string prefix = std::string("len/") + series;
            if (bench::EncodeFn encode = bench::EncoderFor(type)) {
                benchmark::RegisterBenchmark((prefix + "/encode/" + l).c_str(), LengthEncode, encode, length);
            }
            benchmark::RegisterBenchmark((prefix + "/raster/" + l).c_str(), LengthDraw, type, length, "png");
            benchmark::RegisterBenchmark((prefix + "/svg/" + l).c_str(), LengthDraw, type, length, "svg");
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
