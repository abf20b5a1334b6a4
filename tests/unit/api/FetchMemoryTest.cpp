// SPDX-License-Identifier: MIT
// Running out of memory while a drawn image is encoded at fetch time: the fetch fails with a
// reason on standard error (nothing on standard output), and what a later fetch returns is that
// draw's image or nothing, never anything older. Each row runs in a child whose address space is
// held at what it maps when the fetch starts.
#include "barcode_lumeo.h"
#include "support/CappedChild.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::CapturedOutput;
using testsupport::Handle;
using testsupport::MappedBytes;

constexpr std::size_t kCeiling = std::size_t{1} << 30;
const char kFallback[] = "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12P4//8/"
                         "AAX+Av7czFnnAAAAAElFTkSuQmCC";

// A text each type draws.
const char* const kValid[] = {
    "ABC-123", "CODE93",          "Code 128",      "{FNC1}0104912345678904", "A123B",
    "1234",    "1234",            "4901234",       "490123456789",           "03600029145",
    "425261",  "123456",          "0123456789012", "0123456789012",          "0195012345678903",
    "1000001", "QR out of memory", "DM out of memory", "PDF417 out of memory",
};

bool DrawLarge(void* h, int type)
{
    if (type >= 16) {
        return barcode_draw_2d(h, kValid[type], 600);
    }
    return type == 15 ? barcode_draw_yubin(h, kValid[type], 100) : barcode_draw_1d(h, kValid[type], 800, 400);
}

// Holds the address space at what the process maps now (the soft limit only, so that it can be
// lifted again) and takes every free block of the heap of 4 KiB or more, so that any larger
// allocation fails while the short lines of a reason can still be written. Until Lift().
class NoMoreMemory
{
public:
    NoMoreMemory()
    {
        m_blocks.reserve(1 << 16);
        getrlimit(RLIMIT_AS, &m_saved);
        const rlimit now{static_cast<rlim_t>(MappedBytes()), m_saved.rlim_max};
        setrlimit(RLIMIT_AS, &now);
        for (std::size_t size = std::size_t{1} << 24; size >= 4096; size /= 4) {
            while (m_blocks.size() < m_blocks.capacity()) {
                void* block = std::malloc(size);
                if (block == nullptr) {
                    break;
                }
                m_blocks.push_back(block);
            }
        }
    }

    ~NoMoreMemory() { Lift(); }

    NoMoreMemory(const NoMoreMemory&) = delete;
    NoMoreMemory& operator=(const NoMoreMemory&) = delete;

    void Lift()
    {
        for (void* block : m_blocks) {
            std::free(block);
        }
        m_blocks.clear();
        setrlimit(RLIMIT_AS, &m_saved);
    }

private:
    rlimit m_saved{};
    std::vector<void*> m_blocks;
};

struct Row
{
    const char* format;
    bool base64; // fetched with barcode_get_base64, else barcode_get_image_data
};

const Row kRows[] = {{"png", false}, {"png8", false}, {"png", true}, {"png8", true}};

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.format << (row.base64 ? " base64" : " image data");
}

// The whole table of types for one row; returns its complaints, one per line.
std::string FetchEveryTypeWithoutMemory(const Row& row)
{
    std::string complaints;
    const auto expect = [&complaints](bool ok, int type, const std::string& what) {
        if (!ok) {
            complaints += "type " + std::to_string(type) + ": " + what + "\n";
        }
    };
    int failures = 0;
    int drawn = 0;
    for (int type = 0; type < 19; ++type) {
        Handle h(type);
        if (h.h == nullptr) {
            continue;
        }
        barcode_set_output_format(h.h, row.format);
        if (!DrawLarge(h.h, type)) {
            expect(false, type, "not drawn");
            continue;
        }
        ++drawn;
        // What the fetch gives with memory enough: from a second handle with the same draw.
        Handle twin(type);
        barcode_set_output_format(twin.h, row.format);
        DrawLarge(twin.h, type);
        const std::vector<std::uint8_t> reference = testsupport::ImageBytes(twin.h);
        const std::string referenceUri = barcode_get_base64(twin.h);

        CapturedOutput captured;
        bool failed = false;
        std::string uri;
        std::vector<std::uint8_t> bytes;
        {
            NoMoreMemory ceiling;
            if (row.base64) {
                uri = barcode_get_base64(h.h);
                failed = uri != referenceUri;
            } else {
                int size = -1;
                const unsigned char* png = barcode_get_image_data(h.h, &size);
                failed = png == nullptr;
                ceiling.Lift();
                expect(!failed || size == 0, type, "size " + std::to_string(size) + " without an image");
                if (!failed) {
                    bytes.assign(png, png + size);
                }
            }
        }
        captured.Finish();
        failures += failed ? 1 : 0;
        expect(captured.Out().empty(), type, "printed on standard output: " + captured.Out().substr(0, 120));
        if (failed) {
            expect(captured.Err().find("Out of memory") != std::string::npos, type,
                   "no reason on standard error: \"" + captured.Err().substr(0, 200) + "\"");
        }
        // With memory again: the draw's image or nothing, never anything else.
        CapturedOutput quiet; // the line of a fetch without an image
        if (row.base64) {
            expect(!failed || uri == kFallback, type, "the failed fetch gave \"" + uri.substr(0, 60) + "\"");
            expect(std::string(barcode_get_base64(h.h)) == kFallback, type, "the image was fetched twice");
        } else {
            expect(failed || bytes == reference, type, "the fetch gave other bytes than the draw's image");
            const std::vector<std::uint8_t> second = testsupport::ImageBytes(h.h);
            expect(second.empty() || second == reference, type, "the next fetch gave other bytes");
        }
    }
    // With no block of 4 KiB left, every encoding of these sizes fails.
    if (failures != drawn) {
        complaints += std::to_string(failures) + " of " + std::to_string(drawn) + " fetches failed\n";
    }
    return complaints;
}

class FetchWithoutMemory : public testing::TestWithParam<Row>
{
};

TEST_P(FetchWithoutMemory, FailsWithAReasonAndNothingStale)
{
    if (!testsupport::CeilingApplies()) {
        GTEST_SKIP() << "no memory ceiling under AddressSanitizer";
    }
    const Row row = GetParam();
    EXPECT_EQ(testsupport::RunCapped(kCeiling, [row] { return FetchEveryTypeWithoutMemory(row); }), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, FetchWithoutMemory, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.format) + (info.param.base64 ? "_base64" : "_image_data");
                         });

} // namespace
