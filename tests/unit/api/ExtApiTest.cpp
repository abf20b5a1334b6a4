// SPDX-License-Identifier: MIT
// The extension interface: the reason and code of each failed call (a table across types and
// functions), the reason kept per thread, and lumeo_describe() as JSON that agrees with the C
// interface and with docs/API.md.
#include "barcode_lumeo_ext.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::Handle;

// Keeps the test's output clean: every library line goes nowhere while alive.
struct Silence
{
    Silence()
    {
        lumeo_set_log([](int, const char*, void*) {}, nullptr);
    }

    ~Silence() { lumeo_set_log(nullptr, nullptr); }
};

struct FailureRow
{
    const char* name;
    int type;
    std::function<bool(void*)> call; // false: the call failed (or, for setters, did nothing)
    const char* code;
    const char* reason; // a part of lumeo_last_error()
};

std::string Repeat(char c, std::size_t n)
{
    return std::string(n, c);
}

const FailureRow kFailures[] = {
    // Texts a symbology does not take.
    {"code39 character", 0, [](void* h) { return barcode_draw_1d(h, "abc~", 300, 100); }, "bad_text",
     "[Code39] Invalid character in CODE39: ~"},
    {"code39 empty", 0, [](void* h) { return barcode_draw_1d(h, "", 300, 100); }, "bad_text", "[Code39] Empty string"},
    {"code128 empty", 2, [](void* h) { return barcode_draw_1d(h, "", 300, 100); }, "bad_text", "Empty string"},
    {"matrix2of5 letters", 5, [](void* h) { return barcode_draw_1d(h, "ab", 300, 100); }, "bad_text",
     "numeric digits only"},
    {"jan13 length", 8, [](void* h) { return barcode_draw_1d(h, "123", 300, 100); }, "bad_text",
     "[Jan13] Jan13 barcode requires 12 or 13 digits"},
    {"jan13 check digit", 8, [](void* h) { return barcode_draw_1d(h, "4901234567890", 300, 100); }, "bad_text",
     "[Jan13] Invalid check digit"},
    {"upce length", 10, [](void* h) { return barcode_draw_1d(h, "1234", 300, 100); }, "bad_text",
     "Invalid length (must be 6, 7 or 8 digits)."},
    {"itf letters", 11, [](void* h) { return barcode_draw_1d(h, "12a", 300, 100); }, "bad_text",
     "ITF barcode requires numeric digits only"},
    {"databar limited lead", 13, [](void* h) { return barcode_draw_1d(h, "9123456789012", 300, 100); }, "bad_text",
     "leading digit 0 or 1"},
    {"qr empty", 16, [](void* h) { return barcode_draw_2d(h, "", 300); }, "bad_text", "[QR] No data to encode"},
    {"datamatrix empty", 17, [](void* h) { return barcode_draw_2d(h, "", 300); }, "bad_text",
     "[DataMatrix] Failed to encode data"},
    {"pdf417 empty", 18, [](void* h) { return barcode_draw_2d(h, "", 300); }, "bad_text", "Text cannot be null."},
    {"null text", 0, [](void* h) { return barcode_draw_1d(h, nullptr, 300, 100); }, "bad_text",
     "[barcode_draw_1d] Text is null"},
    {"encode_14 letters", 12, [](void* h) { return barcode_encode_14(h, "abc"); }, "bad_text", "numeric digits only"},
    // Texts longer than the symbology holds.
    {"databar14 digits", 12, [](void* h) { return barcode_draw_1d(h, "12345678901234", 300, 100); }, "too_long",
     "Input too long (max 13 digits)"},
    {"qr capacity", 16, [](void* h) { return barcode_draw_2d(h, Repeat('A', 8000).c_str(), 300); }, "too_long",
     "Data too long for QR Code."},
    {"datamatrix capacity", 17, [](void* h) { return barcode_draw_2d(h, Repeat('A', 3000).c_str(), 300); }, "too_long",
     "[DataMatrix] Failed to encode data"},
    {"datamatrix fixed size", 17,
     [](void* h) {
         barcode_set_code_size(h, "10x10");
         return barcode_draw_2d(h, "ABCDEFGHIJKLMNOP", 300);
     },
     "too_long", "Data too long for specified symbol size."},
    {"pdf417 capacity", 18, [](void* h) { return barcode_draw_2d(h, Repeat('A', 3000).c_str(), 300); }, "too_long",
     "The text is too big."},
    {"text limit", 16, [](void* h) { return barcode_draw_2d(h, Repeat('1', 10001).c_str(), 300); }, "too_long",
     "[barcode_draw_2d] Text longer than the limit of 10000 bytes"},
    // Boxes.
    {"zero width png", 0, [](void* h) { return barcode_draw_1d(h, "ABC", 0, 100); }, "canvas_limit",
     "Invalid canvas size 0x100"},
    {"zero width svg", 0,
     [](void* h) {
         barcode_set_output_format(h, "svg");
         return barcode_draw_1d(h, "ABC", 0, 100);
     },
     "canvas_limit", "[Code39] Invalid canvas size 0x100"},
    {"huge box", 16, [](void* h) { return barcode_draw_2d(h, "ABC", 100000); }, "canvas_limit", "exceeds the limit"},
    {"postal height", 15, [](void* h) { return barcode_draw_yubin(h, "1234567", 0); }, "canvas_limit",
     "[YubinCustomer] Invalid height 0"},
    {"box one pixel short", 2, [](void* h) { return barcode_draw_1d(h, "ABC", 67, 100); }, "canvas_limit",
     "[Code128] The symbol needs 68 pixels; the box is 67 wide"},
    {"text wider than the box", 0, [](void* h) { return barcode_draw_1d(h, "A", 94, 150); }, "canvas_limit",
     "even at font size 6"},
    {"postal text past 20 positions", 15,
     [](void* h) { return barcode_draw_yubin(h, "2630023 1234567890123456789012345", 45); }, "too_long",
     "the barcode holds 20"},
    // Options.
    {"unknown format", 0,
     [](void* h) {
         barcode_set_output_format(h, "gif");
         return barcode_draw_1d(h, "ABC", 300, 100);
     },
     "bad_option", "[barcode_draw_1d] Unknown output format \"gif\""},
    {"qr version", 16,
     [](void* h) {
         barcode_set_version(h, 41);
         return false;
     },
     "bad_option", "[barcode_set_version] Invalid QR Code version (41)"},
    {"code mode", 2,
     [](void* h) {
         barcode_set_code_mode(h, "D");
         return false;
     },
     "bad_option", "[barcode_set_code_mode] Unknown code mode \"D\""},
    {"pdf417 columns", 18,
     [](void* h) {
         barcode_set_columns(h, 31);
         return false;
     },
     "bad_option", "[barcode_set_columns] Value 31 outside 0..30"},
    {"null value", 16,
     [](void* h) {
         barcode_set_error_correction_level(h, nullptr);
         return false;
     },
     "bad_option", "[barcode_set_error_correction_level] Value is null"},
    // Handles and types.
    {"null handle", 0, [](void*) { return barcode_draw_1d(nullptr, "ABC", 300, 100); }, "bad_handle",
     "[barcode_draw_1d] Invalid handle"},
    {"wrong drawing function", 0, [](void* h) { return barcode_draw_2d(h, "ABC", 300); }, "bad_handle",
     "[barcode_draw_2d] Not a drawing function of type 0"},
    {"wrong setter", 0,
     [](void* h) {
         barcode_set_version(h, 3);
         return false;
     },
     "bad_handle", "[barcode_set_version] Not an option of type 0"},
    {"type number", 0, [](void*) { return barcode_create(19) != nullptr; }, "bad_handle",
     "[barcode_create] No type number 19"},
    // Fetches with nothing to fetch.
    {"svg before a draw", 0,
     [](void* h) {
         barcode_set_output_format(h, "svg");
         return barcode_get_svg(h)[0] != '\0';
     },
     "no_output", "[barcode_get_svg]"},
    {"png after a failed draw", 0,
     [](void* h) {
         barcode_draw_1d(h, "abc~", 300, 100);
         int size = 0;
         return barcode_get_image_data(h, &size) != nullptr;
     },
     "no_output", ""},
    {"svg in png mode", 0,
     [](void* h) {
         barcode_draw_1d(h, "ABC", 300, 100);
         return barcode_get_svg(h)[0] != '\0';
     },
     "no_output", "[barcode_get_svg] Nothing drawn"},
};

TEST(ExtApi, EveryFailureLeavesItsCodeAndReason)
{
    Silence silence;
    for (const FailureRow& row : kFailures) {
        SCOPED_TRACE(row.name);
        Handle handle(row.type);
        ASSERT_NE(handle.h, nullptr);
        EXPECT_FALSE(row.call(handle.h));
        EXPECT_STREQ(lumeo_last_error_code(), row.code);
        const std::string reason = lumeo_last_error();
        EXPECT_NE(reason, "");
        EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
    }
}

TEST(ExtApi, EveryCallStartsWithoutAReason)
{
    Silence silence;
    Handle h(0);
    EXPECT_FALSE(barcode_draw_1d(h.h, "abc~", 300, 100));
    EXPECT_STREQ(lumeo_last_error_code(), "bad_text");
    // A successful call of any kind clears it.
    barcode_set_show_text(h.h, 1);
    EXPECT_STREQ(lumeo_last_error(), "");
    EXPECT_STREQ(lumeo_last_error_code(), "");
    EXPECT_FALSE(barcode_draw_1d(h.h, "abc~", 300, 100));
    EXPECT_TRUE(barcode_draw_1d(h.h, "ABC", 300, 100));
    EXPECT_STREQ(lumeo_last_error(), "");
    EXPECT_STREQ(lumeo_last_error_code(), "");
}

// The first error line of a call is its reason: the symbol's own, not the C layer's repetition.
TEST(ExtApi, TheFirstLineIsTheReason)
{
    Silence silence;
    Handle h(18);
    EXPECT_FALSE(barcode_draw_2d(h.h, Repeat('A', 3000).c_str(), 300));
    EXPECT_STREQ(lumeo_last_error(), "The text is too big.");
}

TEST(ExtApi, ReasonsBelongToTheirThread)
{
    Silence silence;
    constexpr int kThreads = 4;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &wrong] {
            Handle h(0);
            const std::string bad = std::string("ABC") + "~!^{"[t];
            const std::string expected = std::string("[Code39] Invalid character in CODE39: ") + bad.back();
            for (int i = 0; i < 200; ++i) {
                const bool drawn = barcode_draw_1d(h.h, bad.c_str(), 200, 60);
                if (drawn || expected != lumeo_last_error()) {
                    ++wrong;
                }
                if (!barcode_draw_1d(h.h, "ABC", 200, 60) || lumeo_last_error()[0] != '\0') {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(ExtApi, CallbackTakesLinesWithLevels)
{
    std::vector<std::pair<int, std::string>> lines;
    lumeo_set_log(
        [](int level, const char* line, void* user) {
            static_cast<std::vector<std::pair<int, std::string>>*>(user)->emplace_back(level, line);
        },
        &lines);
    {
        Handle qr(16);
        barcode_set_version(qr.h, 41);
        Handle code39(0);
        barcode_draw_1d(code39.h, "abc~", 300, 100);
    }
    lumeo_set_log(nullptr, nullptr);
    const std::vector<std::pair<int, std::string>> expected = {
        {LUMEO_LOG_WARNING, "Warning: Invalid QR Code version (41). Setting to auto."},
        {LUMEO_LOG_ERROR, "[Code39] Invalid character in CODE39: ~"},
    };
    EXPECT_EQ(lines, expected);
}

using Json = nlohmann::json;

Json Describe()
{
    return Json::parse(lumeo_describe());
}

TEST(ExtApi, DescribeIsJsonOfEveryType)
{
    const Json doc = Describe();
    EXPECT_EQ(doc["version"], lumeo_version());
    EXPECT_TRUE(std::regex_match(std::string(lumeo_version()), std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
    ASSERT_EQ(doc["types"].size(), 19u);
    for (int t = 0; t < 19; ++t) {
        const Json& type = doc["types"][t];
        EXPECT_EQ(type["number"], t);
        EXPECT_EQ(type["linear"], t < 16);
        EXPECT_GT(type["quiet_zone"]["left"].get<double>(), 0);
        void* h = barcode_create(t);
        EXPECT_EQ(type["built"], h != nullptr);
        barcode_destroy(h);
    }
    EXPECT_EQ(doc["limits"]["max_canvas_side"], 16384);
    EXPECT_EQ(doc["limits"]["max_compact_text_bytes"], 10000);
    // Names and aliases name one type each.
    std::map<std::string, int> names;
    for (const Json& type : doc["types"]) {
        EXPECT_TRUE(names.emplace(type["name"].get<std::string>(), type["number"].get<int>()).second);
        for (const Json& alias : type["aliases"]) {
            EXPECT_TRUE(names.emplace(alias.get<std::string>(), type["number"].get<int>()).second) << alias;
        }
    }
}

// Each type's option list says exactly which setters act on it: a setter outside the list
// leaves "Not an option of type N", one inside it does not.
TEST(ExtApi, DescribedOptionsAreTheSettersThatApply)
{
    Silence silence;
    const Json doc = Describe();
    for (const Json& option : doc["options"]) {
        const std::string setter = option["setter"];
        std::vector<int> types = option["types"];
        for (int t = 0; t < 19; ++t) {
            Handle h(t);
            const std::string name = option["name"];
            if (name == "output_format") {
                barcode_set_output_format(h.h, "png");
            } else if (name == "foreground_color") {
                barcode_set_foreground_color(h.h, 0, 0, 0, 255);
            } else if (name == "background_color") {
                barcode_set_background_color(h.h, 255, 255, 255, 255);
            } else {
                // Every other setter: (handle, value) with the default as its value.
                const Json& value = option["default"];
                const std::map<std::string, std::function<void()>> calls = {
                    {"px_adjust_black", [&] { barcode_set_px_adjust_black(h.h, 0); }},
                    {"px_adjust_white", [&] { barcode_set_px_adjust_white(h.h, 0); }},
                    {"fit_width", [&] { barcode_set_fit_width(h.h, 0); }},
                    {"show_text", [&] { barcode_set_show_text(h.h, 1); }},
                    {"text_font_scale", [&] { barcode_set_text_font_scale(h.h, 1.0); }},
                    {"text_gap", [&] { barcode_set_text_gap(h.h, 1.0); }},
                    {"text_even_spacing", [&] { barcode_set_text_even_spacing(h.h, 1); }},
                    {"show_start_stop", [&] { barcode_set_show_start_stop(h.h, 1); }},
                    {"code_mode", [&] { barcode_set_code_mode(h.h, value.get<std::string>().c_str()); }},
                    {"extended_guard", [&] { barcode_set_extended_guard(h.h, 1); }},
                    {"string_encoding", [&] { barcode_set_string_encoding(h.h, value.get<std::string>().c_str()); }},
                    {"error_correction_level",
                     [&] { barcode_set_error_correction_level(h.h, value.get<std::string>().c_str()); }},
                    {"version", [&] { barcode_set_version(h.h, value.get<int>()); }},
                    {"encode_mode", [&] { barcode_set_encode_mode(h.h, value.get<std::string>().c_str()); }},
                    {"code_size", [&] { barcode_set_code_size(h.h, value.get<std::string>().c_str()); }},
                    {"encode_scheme", [&] { barcode_set_encode_scheme(h.h, value.get<std::string>().c_str()); }},
                    {"error_level", [&] { barcode_set_error_level(h.h, value.get<int>()); }},
                    {"columns", [&] { barcode_set_columns(h.h, value.get<int>()); }},
                    {"rows", [&] { barcode_set_rows(h.h, value.get<int>()); }},
                    {"aspect_ratio", [&] { barcode_set_aspect_ratio(h.h, value.get<double>()); }},
                    {"y_height", [&] { barcode_set_y_height(h.h, value.get<int>()); }},
                    {"symbol_type_14", [&] { barcode_set_symbol_type_14(h.h, value.get<std::string>().c_str()); }},
                    {"symbol_type_exp", [&] { barcode_set_symbol_type_exp(h.h, value.get<std::string>().c_str()); }},
                    {"no_of_columns", [&] { barcode_set_no_of_columns(h.h, value.get<int>()); }},
                };
                ASSERT_EQ(calls.count(name), 1u) << name;
                ASSERT_EQ(setter, "barcode_set_" + name);
                calls.at(name)();
            }
            const bool applies = std::find(types.begin(), types.end(), t) != types.end();
            const std::string reason = lumeo_last_error();
            const bool refused = reason.find("Not an option of type " + std::to_string(t)) != std::string::npos;
            EXPECT_EQ(refused, !applies) << setter << " on type " << t << ": " << reason;
            if (applies) {
                // The default is a value the setter takes without complaint.
                EXPECT_EQ(reason, "") << setter << " on type " << t;
            }
        }
    }
}

// docs/API.md's table of type numbers lists the same names as lumeo_describe().
TEST(ExtApi, DescribeAgreesWithTheDocumentedTypeTable)
{
    std::ifstream in(std::string(BARCODE_DOCS_DIR) + "/API.md");
    ASSERT_TRUE(in) << "docs/API.md";
    const std::regex row("^\\| *([0-9]+) \\| `([^`]+)` \\|.*");
    std::map<int, std::string> documented;
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, row)) {
            documented[std::stoi(m[1])] = m[2];
        }
    }
    const Json doc = Describe();
    std::map<int, std::string> described;
    for (const Json& type : doc["types"]) {
        described[type["number"].get<int>()] = type["name"].get<std::string>();
    }
    EXPECT_EQ(documented, described);
}

} // namespace
