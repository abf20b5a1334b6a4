// SPDX-License-Identifier: MIT
// Thread scaling: draws per second of 1 and 2 threads, each on its own handle, for linear symbols
// with text (the path that shares fonts and text caches between threads) and a 2D symbol without
// text for comparison. Wall-clock throughput; --ratio_out writes a Markdown table of the 2-thread
// figure against the 1-thread one.
#include "barcode_lumeo.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct Case
{
    const char* name;
    int type;
    const char* text;
    const char* format;
    int width;
    int height; // 0: a 2D symbol of width x width
};

const Case kCases[] = {
    {"code128 text png", 2, "Order 2024-00815", "png8", 600, 200},
    {"code128 text svg", 2, "Order 2024-00815", "svg", 600, 200},
    {"jan13 text png", 8, "490123456789", "png8", 400, 200},
    {"jan13 text svg", 8, "490123456789", "svg", 400, 200},
    {"qr png (no text)", 16, "https://example.jp/lumeo?item=4901234567894", "png8", 300, 0},
};

void Draw(benchmark::State& state, const Case& c)
{
    void* h = barcode_create(c.type);
    barcode_set_output_format(h, c.format);
    const bool svg = std::strcmp(c.format, "svg") == 0;
    // Each thread varies its text a little, as a label run does: most pieces come from the cache.
    std::string text = c.text;
    const size_t last = text.size() - 2;
    int i = 0;
    for (auto _ : state) {
        text[last] = static_cast<char>('0' + (i++ % 10));
        const bool ok = c.height == 0 ? barcode_draw_2d(h, text.c_str(), c.width)
                                      : barcode_draw_1d(h, text.c_str(), c.width, c.height);
        if (!ok) {
            state.SkipWithError("the draw failed");
            break;
        }
        if (svg) {
            benchmark::DoNotOptimize(barcode_get_svg(h));
        } else {
            int size = 0;
            benchmark::DoNotOptimize(barcode_get_image_data(h, &size));
        }
    }
    state.SetItemsProcessed(state.iterations());
    barcode_destroy(h);
}

// Collects items per second by case and thread count.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, std::map<int, double>> rates;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") {
                continue;
            }
            const auto it = run.counters.find("items_per_second");
            if (it != run.counters.end()) {
                rates[run.run_name.function_name][static_cast<int>(run.threads)] = it->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    std::string ratioOut;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--ratio_out=", 12) == 0) {
            ratioOut = argv[i] + 12;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    setenv("BARCODE_LUMEO_QUIET", "1", 1);
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark(c.name, Draw, c)->Threads(1)->Threads(2)->UseRealTime();
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (!ratioOut.empty()) {
        std::ofstream out(ratioOut);
        out << "| case | 1 thread (draws/s) | 2 threads (draws/s) | ratio |\n|---|---:|---:|---:|\n";
        for (const Case& c : kCases) {
            const auto& r = reporter.rates[c.name];
            if (r.count(1) == 0 || r.count(2) == 0) {
                continue;
            }
            char line[256];
            std::snprintf(line, sizeof line, "| %s | %.0f | %.0f | %.2f |\n", c.name, r.at(1), r.at(2), r.at(2) / r.at(1));
            out << line;
        }
    }
    benchmark::Shutdown();
    return 0;
}
