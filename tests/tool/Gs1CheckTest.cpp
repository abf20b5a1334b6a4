// SPDX-License-Identifier: MIT
// GS1 element strings as the tool checks them: one table of inputs with the library text or the
// reason, then the good rows drawn through the C interface and read back with zxing-cpp.
#include "Gs1.h"
#include "barcode_lumeo.h"

#include <gtest/gtest.h>
#include <png.h>
#include <string>
#include <vector>

#ifdef BARCODE_HAVE_ZXING
#include <ZXing/ReadBarcode.h>
#endif

namespace {

struct Row
{
    const char* name;
    int type;          // barcode_create number the text is prepared for
    std::string input; // as the user types it
    bool ok;           // true: `expected` is the library text; false: the reason
    const char* expected;
    const char* readBack; // bracket form a reader returns for the drawn symbol; null: not read back
};

const std::string kOver20 = "ABCDEFGHIJKLMNOPQRSTU"; // 21 characters

const Row kRows[] = {
    // GS1-128 from the bracket form.
    {"brackets GTIN and best-before", 3, "(01)04912345678904(15)261231", true, "{FNC1}0104912345678904{AI}15261231",
     "(01)04912345678904(15)261231"},
    {"brackets batch then serial", 3, "(01)04912345678904(10)ABC123(21)XYZ", true,
     "{FNC1}0104912345678904{AI}10ABC123{FNC1}21XYZ", "(01)04912345678904(10)ABC123(21)XYZ"},
    {"day 00 in an expiry date", 3, "(01)04912345678904(17)261200", true, "{FNC1}0104912345678904{AI}17261200",
     "(01)04912345678904(17)261200"},
    {"29 February of a leap year", 3, "(11)240229", true, "{FNC1}11240229", "(11)240229"},
    {"escaped parentheses in the data", 3, "(10)A\\(1\\)(21)7", true, "{FNC1}10A(1){FNC1}217", "(10)A\\(1\\)(21)7"},
    {"fixed length not predefined", 3, "(422)392(10)B", true, "{FNC1}422392{FNC1}10B", "(422)392(10)B"},
    {"GDTI with serial", 3, "(253)4912345000019X-7", true, "{FNC1}2534912345000019X-7", "(253)4912345000019X-7"},
    {"SSCC and weight", 3, "(00)349123451234567898(3103)001250", true, "{FNC1}00349123451234567898{AI}3103001250",
     "(00)349123451234567898(3103)001250"},
    {"harvest date range", 3, "(7007)260101260131", true, "{FNC1}7007260101260131", "(7007)260101260131"},
    // GS1-128 in the library's own form: accepted and written again with the separators it needs.
    {"library form", 3, "{FNC1}0104912345678904{FNC1}10ABC123", true, "{FNC1}0104912345678904{AI}10ABC123",
     "(01)04912345678904(10)ABC123"},
    {"library form without marks after a fixed field", 3, "{FNC1}010491234567890415261231", true,
     "{FNC1}0104912345678904{AI}15261231", "(01)04912345678904(15)261231"},
    // DataBar Expanded.
    {"Expanded from brackets", 14, "(01)90012345678908(3103)001750", true, "0190012345678908{AI}3103001750",
     "(01)90012345678908(3103)001750"},
    {"Expanded batch then serial", 14, "(01)04912345678904(10)ABC(21)12345", true,
     "0104912345678904{AI}10ABC[{AI}2112345", "(01)04912345678904(10)ABC(21)12345"},
    {"Expanded library form", 14, "{AI}10ABC[{AI}21XYZ", true, "{AI}10ABC[{AI}21XYZ", "(10)ABC(21)XYZ"},
    {"Expanded library form with AI 01", 14, "0190012345678908{AI}3103001750", true, "0190012345678908{AI}3103001750",
     "(01)90012345678908(3103)001750"},
    // DataBar Omnidirectional and Limited take 13 digits; the library appends the check digit.
    {"DataBar GTIN-14", 12, "04912345678904", true, "0491234567890", "(01)04912345678904"},
    {"DataBar GTIN in brackets", 12, "(01)90012345678908", true, "9001234567890", "(01)90012345678908"},
    {"DataBar library form", 12, "491234567890", true, "491234567890", "(01)04912345678904"},
    {"DataBar Limited GTIN-14", 13, "(01)04912345678904", true, "0491234567890", nullptr},
    // Faults.
    {"wrong check digit", 3, "(01)04912345678905", false, "AI (01): check digit should be 4, not 5", nullptr},
    {"wrong SSCC check digit", 3, "{FNC1}00349123451234567897", false, "AI (00): check digit should be 8, not 7",
     nullptr},
    {"month 13", 3, "(01)04912345678904(15)261331", false, "AI (15): month 13 is not a month", nullptr},
    {"30 February", 3, "(17)260230", false, "AI (17): day 30 is not in month 02 of year 26", nullptr},
    {"29 February of a common year", 14, "{AI}11250229", false, "AI (11): day 29 is not in month 02 of year 25",
     nullptr},
    {"day 00 outside AIs 11 to 17", 3, "(7006)260100", false,
     "AI (7006): day 00 is not a day (only the dates of AIs 11 to 17 allow it)", nullptr},
    {"minute 60", 3, "(7003)2601011260", false, "AI (7003): minute 60 is not a minute", nullptr},
    {"hour 24", 3, "(8008)26010124", false, "AI (8008): hour 24 is not an hour", nullptr},
    {"over-long batch", 3, "(10)" + kOver20, false, "AI (10): 21 characters, at most 20", nullptr},
    {"over-long batch, library form", 14, "{AI}10" + kOver20, false, "AI (10): 21 characters, at most 20", nullptr},
    {"GTIN too short", 3, "(01)0491234567890", false, "AI (01): 13 digits, needs 14", nullptr},
    {"GTIN cut short by a separator", 3, "{FNC1}010491234567890{FNC1}10A", false, "AI (01): 13 digits, needs 14",
     nullptr},
    {"partial optional date", 3, "(7007)260101261", false, "AI (7007): 9 digits, needs 6 or 12", nullptr},
    {"unknown AI in brackets", 3, "(01)04912345678904(9999)ABC", false, "AI (9999): unknown application identifier",
     nullptr},
    {"decimal position past 5", 3, "(3106)000100", false, "AI (3106): unknown application identifier", nullptr},
    {"unknown AI, library form", 3, "{FNC1}2312345", false, "AI (2312...): unknown application identifier", nullptr},
    {"character outside set 82", 3, "(10)AB~C", false, "AI (10): character '~' is not in GS1 character set 82",
     nullptr},
    {"space in a batch", 14, "{AI}10A B", false, "AI (10): character ' ' is not in GS1 character set 82", nullptr},
    {"control byte", 3, "(21)A\x1d", false, "AI (21): byte 0x1D is not in GS1 character set 82", nullptr},
    {"letter in a GTIN", 3, "(01)0491234567890A", false, "AI (01): character 'A' is not a digit", nullptr},
    {"outside set 39", 3, "(8010)AB-c", false, "AI (8010): character 'c' is not in GS1 character set 39", nullptr},
    {"GRAI without its zero", 3, "(8003)14912345000019", false, "AI (8003): the first digit must be 0, not 1", nullptr},
    {"unescaped parenthesis", 3, "(10)A(B)", false,
     "\"(B)\": an AI is 2 to 4 digits in parentheses; a parenthesis in the data is written \\( or \\)", nullptr},
    {"no data", 3, "(10)(21)X", false, "AI (10): no data", nullptr},
    {"same AI twice", 3, "(10)A(10)B", false, "AI (10): appears twice with different data", nullptr},
    {"GS1-128 without its leading FNC1", 3, "0104912345678904", false,
     "a GS1-128 text starts with {FNC1} (without it the symbol is a plain Code 128), e.g. {FNC1}0104912345678904",
     nullptr},
    {"variable field without FNC1", 3, "{FNC1}10ABC{AI}21XYZ", false,
     "AI (10): needs {FNC1} before the next AI (21): its length is not predefined, so a reader would take (21) as "
     "part of its data",
     nullptr},
    {"Expanded variable field without FNC1", 14, "{AI}10ABC{AI}21XYZ", false,
     "AI (10): needs FNC1 '[' before the next AI (21): its length is not predefined, so a reader would take (21) as "
     "part of its data",
     nullptr},
    {"trailing FNC1", 3, "{FNC1}10ABC{FNC1}", false,
     "AI (10): the text ends with {FNC1}; an FNC1 only separates a field from the next AI", nullptr},
    {"two FNC1 in a row", 3, "{FNC1}10ABC{FNC1}{FNC1}21X", false, "AI (10): followed by two FNC1 in a row", nullptr},
    {"text before the first AI", 3, "GTIN(01)04912345678904", false,
     "an element string in brackets starts with an AI in parentheses, e.g. (01)", nullptr},
    {"DataBar GTIN-14 with a wrong check digit", 12, "04912345678905", false, "AI (01): check digit should be 4, not 5",
     nullptr},
    {"DataBar with a second AI", 12, "(01)04912345678904(10)A", false,
     "GS1 DataBar holds only AI (01), not (10); use GS1 DataBar Expanded or GS1-128", nullptr},
    {"DataBar Limited with indicator 2", 13, "24912345678908", false,
     "AI (01): GS1 DataBar Limited holds only GTINs starting with 0 or 1, not 2", nullptr},
};

TEST(Gs1Check, TableOfElementStrings)
{
    for (const Row& row : kRows) {
        const gs1::Result<std::string> r = gs1::Prepare(row.input, row.type);
        if (row.ok) {
            EXPECT_TRUE(r.ok()) << row.name << ": " << r.error;
            EXPECT_EQ(r.value, row.expected) << row.name;
        } else {
            EXPECT_FALSE(r.ok()) << row.name << " gave " << r.value;
            EXPECT_EQ(r.error, row.expected) << row.name;
        }
    }
}

// Elements read back in brackets give the same library text: the forms agree with each other.
TEST(Gs1Check, BracketFormRoundTrips)
{
    for (const Row& row : kRows) {
        if (!row.ok || row.type == 12 || row.type == 13) {
            continue;
        }
        const auto parsed = gs1::Parse(row.input);
        ASSERT_TRUE(parsed.ok()) << row.name << ": " << parsed.error;
        const auto again = gs1::Parse(gs1::ToBrackets(parsed.value), gs1::Syntax::Brackets);
        ASSERT_TRUE(again.ok()) << row.name << ": " << again.error;
        EXPECT_EQ(again.value, parsed.value) << row.name;
        EXPECT_EQ(gs1::ToLibrarySyntax(again.value, row.type).value, row.expected) << row.name;
    }
}

TEST(Gs1Check, TwoDimensionalCodesHaveNoGs1Form)
{
    const gs1::Elements gtin = {{"01", "04912345678904"}};
    EXPECT_EQ(gs1::ToLibrarySyntax(gtin, 17).error,
              "Data Matrix has no GS1 form in this library (it cannot draw FNC1); use GS1-128 or GS1 DataBar Expanded");
    EXPECT_FALSE(gs1::ToLibrarySyntax(gtin, 16).ok());
    EXPECT_FALSE(gs1::ToLibrarySyntax(gtin, 2).ok());
    // Other types pass their text through untouched.
    EXPECT_EQ(gs1::Prepare("(01)x", 16).value, "(01)x");
    EXPECT_EQ(gs1::Describe("3103").format, "N4+N6");
    EXPECT_EQ(gs1::Describe("8003").format, "N4+N1+N13+X..16");
    EXPECT_FALSE(gs1::Describe("3106").known);
}

TEST(Gs1Check, UncheckedBracketsAreWrittenAsTheyStand)
{
    // --no-gs1-check: a wrong check digit, a month 13 and an unknown AI go through; only
    // brackets that cannot be split fail, and the library's own forms pass unchanged.
    EXPECT_EQ(gs1::PrepareUnchecked("(01)04912345678905(15)261331(9999)X", 3).value,
              "{FNC1}0104912345678905{AI}15261331{AI}9999X");
    EXPECT_EQ(gs1::PrepareUnchecked("(01)90012345678909(10)A(21)B", 14).value, "0190012345678909{AI}10A[{AI}21B");
    EXPECT_EQ(gs1::PrepareUnchecked("(01)04912345678905", 12).value, "0491234567890");
    EXPECT_EQ(gs1::PrepareUnchecked("{FNC1}0104912345678905", 3).value, "{FNC1}0104912345678905");
    EXPECT_FALSE(gs1::PrepareUnchecked("(1)x", 3).ok());
    EXPECT_EQ(gs1::PrepareUnchecked("(01)x", 16).value, "(01)x");
}

#ifdef BARCODE_HAVE_ZXING

// The PNG of a draw as grey pixels with a white quiet zone of 40 pixels.
bool ReadPng(void* h, std::vector<unsigned char>& grey, int& width, int& height)
{
    int size = 0;
    const unsigned char* bytes = barcode_get_image_data(h, &size);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (bytes == nullptr || !png_image_begin_read_from_memory(&image, bytes, static_cast<size_t>(size))) {
        return false;
    }
    image.format = PNG_FORMAT_GRAY;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&image, &white, pixels.data(), 0, nullptr)) {
        return false;
    }
    const int margin = 40;
    width = static_cast<int>(image.width) + 2 * margin;
    height = static_cast<int>(image.height) + 2 * margin;
    grey.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 255);
    for (png_uint_32 y = 0; y < image.height; ++y) {
        std::copy_n(&pixels[y * image.width], image.width,
                    &grey[static_cast<size_t>(y + margin) * static_cast<size_t>(width) + margin]);
    }
    return true;
}

// What zxing reads, in the bracket form: the GS1-128 text carries GS separators, which the
// library form writes as {FNC1}; DataBar Expanded comes in brackets; DataBar as 14 digits.
std::string ReadBack(int type, const std::string& text, int width, int height)
{
    void* h = barcode_create(type);
    barcode_set_show_text(h, 0);
    barcode_set_fit_width(h, 0);
    std::vector<unsigned char> grey;
    int w = 0;
    int ht = 0;
    const bool drawn = barcode_draw_1d(h, text.c_str(), width, height) && ReadPng(h, grey, w, ht);
    barcode_destroy(h);
    if (!drawn) {
        return "draw failed";
    }
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    hints.setFormats(type == 3    ? ZXing::BarcodeFormat::Code128
                     : type == 14 ? ZXing::BarcodeFormat::DataBarExpanded
                                  : ZXing::BarcodeFormat::DataBar);
    const ZXing::Result r = ZXing::ReadBarcode({grey.data(), w, ht, ZXing::ImageFormat::Lum}, hints);
    if (!r.isValid()) {
        return "unreadable: " + ZXing::ToString(r.error());
    }
    if (type == 3) {
        if (r.symbologyIdentifier() != "]C1") {
            return "not GS1-128: " + r.symbologyIdentifier();
        }
        std::string library = "{FNC1}";
        for (char c : r.text()) {
            library += c == '\x1d' ? std::string("{FNC1}") : std::string(1, c);
        }
        const auto parsed = gs1::Parse(library, gs1::Syntax::Gs1_128);
        return parsed.ok() ? gs1::ToBrackets(parsed.value) : "reads as " + r.text() + ": " + parsed.error;
    }
    return type == 14 ? r.text() : "(01)" + r.text();
}

TEST(Gs1Check, GoodRowsDrawAndReadBack)
{
    for (const Row& row : kRows) {
        if (row.ok && row.readBack != nullptr) {
            const auto prepared = gs1::Prepare(row.input, row.type);
            // Whole-pixel modules of 3 pixels fit every row in this box.
            EXPECT_EQ(ReadBack(row.type, prepared.value, 1500, 120), row.readBack) << row.name;
        }
    }
}

#endif

} // namespace
