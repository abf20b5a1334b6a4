// SPDX-License-Identifier: MIT
// PNG output: base64 and the data URI of the image bytes.
#include "core/png/PngOutput.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(Base64, Rfc4648Vectors)
{
    struct Row
    {
        const char* in;
        const char* out;
    };
    const Row rows[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
                        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.in);
        EXPECT_EQ(png_output::Base64(reinterpret_cast<const std::uint8_t*>(r.in), std::strlen(r.in)), r.out);
    }
    const std::uint8_t high[] = {0xFF, 0xFE, 0x00};
    EXPECT_EQ(png_output::Base64(high, 3), "//4A");
}

TEST(DataUri, LabelFollowsTheFormatBytesStayPng)
{
    struct Row
    {
        const char* format;
        const char* uri;
    };
    const std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G'};
    const Row rows[] = {{"png", "data:image/png;base64,iVBORw=="},
                        {"png8", "data:image/png;base64,iVBORw=="},
                        {"jpg", "data:image/jpeg;base64,iVBORw=="},
                        {"jpeg", "data:image/jpeg;base64,iVBORw=="},
                        {"JPEG", "data:image/png;base64,iVBORw=="}};
    for (const Row& r : rows) {
        EXPECT_EQ(png_output::DataUri(r.format, bytes), r.uri) << r.format;
    }
    EXPECT_EQ(png_output::DataUri("png", {}), "data:image/png;base64,");
}

} // namespace
