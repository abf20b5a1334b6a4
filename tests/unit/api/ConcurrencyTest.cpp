// SPDX-License-Identifier: MIT
// Separate handles on separate threads: every symbol comes out as it does on one thread.
#include "barcode_lumeo.h"
#include "support/TestSupport.h"

#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Job
{
    int type;
    const char* text;
    const char* format; // zxing format name
    const char* expected;
    bool payment = false; // drawn with barcode_draw_convenience
};

const Job kJobs[] = {
    {0, "THREAD-39", "Code39", "THREAD-39"},
    {2, "Thread 128 0123456789", "Code128", "Thread 128 0123456789"},
    {8, "490123456789", "EAN13", "4901234567894"},
    {16, "concurrent QR", "QRCode", "concurrent QR"},
    {17, "concurrent Data Matrix", "DataMatrix", "concurrent Data Matrix"},
    {3, "9191234500012345678901234567810261231000150", "Code128", "91912345000123456789012345678102612310001505",
     true},
};

std::vector<std::uint8_t> Draw(const Job& job)
{
    void* h = barcode_create(job.type);
    std::vector<std::uint8_t> png;
    const bool drawn =
        job.payment ? barcode_draw_convenience(h, job.text, 600, 160) : barcode_draw_1d(h, job.text, 360, 160);
    if (h != nullptr && drawn) {
        int size = 0;
        const unsigned char* bytes = barcode_get_image_data(h, &size);
        png.assign(bytes, bytes + size);
    }
    barcode_destroy(h);
    return png;
}

TEST(Concurrency, SeparateHandlesOnSeparateThreads)
{
    // Reference images from this thread first.
    std::vector<std::vector<std::uint8_t>> reference;
    for (const Job& job : kJobs) {
        reference.push_back(Draw(job));
        ASSERT_FALSE(reference.back().empty()) << job.text;
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 15; ++round) {
                const size_t k = static_cast<size_t>(t + round) % std::size(kJobs);
                if (Draw(kJobs[k]) != reference[k]) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
    if (!testsupport::HaveDecoder()) {
        return;
    }
    for (size_t k = 0; k < std::size(kJobs); ++k) {
        const testsupport::Decoded d = testsupport::DecodePngBytes(reference[k], kJobs[k].format);
        ASSERT_TRUE(d.valid) << kJobs[k].text << ": " << d.error;
        EXPECT_EQ(d.text, kJobs[k].expected);
    }
}

// One symbol of every built type in each output, as PNG bytes or SVG text.
struct Output
{
    int type;
    bool svg;
    std::string bytes;
};

const char* const kTypeTexts[] = {
    "THREADS-39", "THREADS 93",     "Threads 128",   "{FNC1}0104912345678904", "A0123B",
    "20240415",   "0123456789",     "4901234",       "490123456789",           "03600029145",
    "425261",     "14901234567891", "0123456789012", "0123456789012",          "0195012345678903",
    "1000001",    "threads QR",     "threads DM",    "threads PDF417",
};

std::string DrawType(int type, bool svg)
{
    testsupport::Handle h(type);
    barcode_set_output_format(h.h, svg ? "svg" : "png");
    const bool drawn = type >= 16   ? barcode_draw_2d(h.h, kTypeTexts[type], 200)
                       : type == 15 ? barcode_draw_yubin(h.h, kTypeTexts[type], 30)
                                    : barcode_draw_1d(h.h, kTypeTexts[type], 360, 120);
    if (!drawn) {
        return {};
    }
    if (svg) {
        return barcode_get_svg(h.h);
    }
    const std::vector<std::uint8_t> png = testsupport::ImageBytes(h.h);
    return std::string(png.begin(), png.end());
}

TEST(Concurrency, EightThreadsDrawEveryTypeInBothOutputs)
{
    std::vector<Output> reference;
    for (int type = 0; type < 19; ++type) {
        testsupport::Handle probe(type);
        if (probe.h == nullptr) {
            continue;
        }
        for (bool svg : {false, true}) {
            reference.push_back({type, svg, DrawType(type, svg)});
            ASSERT_FALSE(reference.back().bytes.empty()) << type << (svg ? " svg" : " png");
        }
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            // Each thread starts elsewhere in the list, so that different types overlap.
            for (size_t i = 0; i < reference.size(); ++i) {
                const Output& r = reference[(i + static_cast<size_t>(t) * 5) % reference.size()];
                if (DrawType(r.type, r.svg) != r.bytes) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace

namespace {

// Text images are cached and shared between threads while each thread paints and frees its
// own canvases: many short draws on several threads keep that sharing busy.
TEST(Concurrency, ManyTextDrawsOnSeparateThreads)
{
    const auto image = [](void* h) {
        int size = 0;
        const unsigned char* bytes = barcode_get_image_data(h, &size);
        return bytes != nullptr ? std::vector<std::uint8_t>(bytes, bytes + size) : std::vector<std::uint8_t>();
    };
    testsupport::Handle single(2);
    ASSERT_TRUE(barcode_draw_1d(single.h, "Shared glyphs 123", 240, 60));
    const std::vector<std::uint8_t> reference = image(single.h);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            testsupport::Handle h(2);
            for (int round = 0; round < 400; ++round) {
                barcode_draw_1d(h.h, "Shared glyphs 123", 240, 60);
            }
            if (image(h.h) != reference) {
                ++mismatches;
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
