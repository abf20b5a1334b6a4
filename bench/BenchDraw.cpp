// SPDX-License-Identifier: MIT
// Drawing speed against a peer encoder (libzint) in the same run. Each case is measured for
// both libraries on the same text; the closing table prints lumeo's time over zint's.
//
//   build/bench/barcode_bench [--benchmark_filter=...]
#include "barcode_lumeo.h"

#include <benchmark/benchmark.h>
#include <zint.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Case
{
    const char* name;
    int lumeoType;
    int zintSymbology;
    const char* text;
    int width;
    int height;
};

// One row per symbology; rows whose type is not built in are skipped at run time.
const Case kCases[] = {
    {"Code39", 0, BARCODE_CODE39, "LUMEO-39 BENCH", 400, 120},
    {"Code128", 2, BARCODE_CODE128, "Lumeo 128 bench 0123456789", 400, 120},
    {"JAN13", 8, BARCODE_EANX, "490123456789", 300, 120},
    {"QR", 16, BARCODE_QRCODE, "https://example.com/lumeo/benchmark?id=0123456789", 300, 300},
};

// Encode and paint a raster image (the peer's nearest equivalent of a draw).
void LumeoRaster(benchmark::State& state, const Case& c)
{
    void* h = barcode_create(c.lumeoType);
    for (auto _ : state) {
        benchmark::DoNotOptimize(barcode_draw_1d(h, c.text, c.width, c.height));
    }
    barcode_destroy(h);
}

// Draw and fetch the PNG file.
void LumeoPng(benchmark::State& state, const Case& c)
{
    void* h = barcode_create(c.lumeoType);
    for (auto _ : state) {
        barcode_draw_1d(h, c.text, c.width, c.height);
        int size = 0;
        benchmark::DoNotOptimize(barcode_get_image_data(h, &size));
    }
    barcode_destroy(h);
}

void LumeoSvg(benchmark::State& state, const Case& c)
{
    void* h = barcode_create(c.lumeoType);
    barcode_set_output_format(h, "svg");
    for (auto _ : state) {
        barcode_draw_1d(h, c.text, c.width, c.height);
        benchmark::DoNotOptimize(barcode_get_svg(h));
    }
    barcode_destroy(h);
}

void ZintRaster(benchmark::State& state, const Case& c)
{
    for (auto _ : state) {
        zint_symbol* s = ZBarcode_Create();
        s->symbology = c.zintSymbology;
        s->show_hrt = c.lumeoType < 16 ? 1 : 0;
        benchmark::DoNotOptimize(ZBarcode_Encode_and_Buffer(
            s, reinterpret_cast<const unsigned char*>(c.text), static_cast<int>(std::strlen(c.text)), 0));
        ZBarcode_Delete(s);
    }
}

void ZintVector(benchmark::State& state, const Case& c)
{
    for (auto _ : state) {
        zint_symbol* s = ZBarcode_Create();
        s->symbology = c.zintSymbology;
        benchmark::DoNotOptimize(ZBarcode_Encode_and_Buffer_Vector(
            s, reinterpret_cast<const unsigned char*>(c.text), static_cast<int>(std::strlen(c.text)), 0));
        ZBarcode_Delete(s);
    }
}

// Collects per-benchmark times to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                m_times[r.benchmark_name()] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-10s %16s %16s\n", "case", "raster/zint", "svg/zint-vector");
        for (const Case& c : kCases) {
            const std::string n = c.name;
            const double raster = Ratio("lumeo_raster/" + n, "zint_raster/" + n);
            const double svg = Ratio("lumeo_svg/" + n, "zint_vector/" + n);
            if (raster > 0 || svg > 0) {
                std::printf("%-10s %16.2f %16.2f\n", c.name, raster, svg);
            }
        }
    }

private:
    double Ratio(const std::string& a, const std::string& b) const
    {
        const auto x = m_times.find(a);
        const auto y = m_times.find(b);
        return (x == m_times.end() || y == m_times.end() || y->second <= 0) ? 0.0 : x->second / y->second;
    }

    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv)
{
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    for (const Case& c : kCases) {
        void* probe = barcode_create(c.lumeoType);
        if (probe == nullptr) {
            continue;
        }
        barcode_destroy(probe);
        const std::string n = c.name;
        benchmark::RegisterBenchmark(("lumeo_raster/" + n).c_str(), LumeoRaster, c);
        benchmark::RegisterBenchmark(("zint_raster/" + n).c_str(), ZintRaster, c);
        benchmark::RegisterBenchmark(("lumeo_png/" + n).c_str(), LumeoPng, c);
        benchmark::RegisterBenchmark(("lumeo_svg/" + n).c_str(), LumeoSvg, c);
        benchmark::RegisterBenchmark(("zint_vector/" + n).c_str(), ZintVector, c);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
