// SPDX-License-Identifier: MIT
// GS1 element strings for the lumeo tool, batch mode and the service: parsing the forms people
// type, checking every field against the application-identifier table, and writing the text the
// library's drawing calls take. The library itself checks none of this; `--no-gs1-check` skips it.
#pragma once

#include <string>
#include <vector>

namespace gs1 {

// The written forms of an element string.
enum class Syntax
{
    // Brackets when the text starts with '(' (or holds one and no "{FNC1}", "{AI}" or '['),
    // else "{FNC1}" tokens when it holds one, else the DataBar Expanded form (which also covers a
    // bare element string without separators).
    Auto,
    // "(01)04912345678904(10)ABC": every AI in parentheses. A '(' always opens an AI; a
    // parenthesis that belongs to the data is written "\(" or "\)" ('(' and ')' are in GS1
    // character set 82).
    Brackets,
    // The GS1-128 form of the library: "{FNC1}0104912345678904{FNC1}10ABC". The text starts with
    // "{FNC1}"; "{FNC1}" also separates a field that is not of predefined length from the next AI;
    // "{AI}" marks an AI for the printed text and adds nothing to the bars.
    Gs1_128,
    // The DataBar Expanded form of the library: "0190012345678908{AI}10ABC[{AI}21XYZ". '[' is
    // FNC1, "{AI}" marks an AI as above (AI 01 at the start needs no marker).
    Expanded,
};

// One application identifier and its data, e.g. {"01", "04912345678904"}.
struct Element
{
    std::string ai;
    std::string value;

    bool operator==(const Element& other) const { return ai == other.ai && value == other.value; }
};

using Elements = std::vector<Element>;

// A value or the reason there is none (an English sentence naming the AI and the fault).
template <class T>
struct Result
{
    T value{};
    std::string error;

    bool ok() const { return error.empty(); }

    explicit operator bool() const { return ok(); }

    static Result Fail(std::string reason)
    {
        Result r;
        r.error = std::move(reason);
        return r;
    }
};

// Splits `input` into elements and checks each against the AI table: known AI, length, digits or
// character set 82, check digits, dates and times, separators where the standard wants them.
// Examples of reasons: "AI (01): check digit should be 4, not 5", "AI (15): month 13 is not a
// month", "AI (10): 21 characters, at most 20", "AI (9999): unknown application identifier".
Result<Elements> Parse(const std::string& input, Syntax syntax = Syntax::Auto);

// Checks elements built by hand the same way (Parse already did for its own).
Result<Elements> Check(const Elements& elements);

// The text the library's C interface draws for `type` (the barcode_create number):
//   3  GS1-128: "{FNC1}" first, "{FNC1}" after every field not of predefined length that is not
//      last, "{AI}" before the others;
//   14 DataBar Expanded: AI 01 first without a marker, '[' then "{AI}" after a field not of
//      predefined length, "{AI}" before the others;
//   12, 13 DataBar Omnidirectional and Limited: one element (01), given as the 13 digits the
//      library takes (it adds the check digit itself); Limited only for GTINs starting 0 or 1.
// QR Code, Data Matrix and PDF417 (16 to 18) have no GS1 form in the library's C interface (its
// Data Matrix drawing takes "{FNC1}" as text), and the other types take no element strings: both
// fail with a reason.
Result<std::string> ToLibrarySyntax(const Elements& elements, int type);

// True for the types whose text is an element string: 3, 12, 13 and 14.
bool TakesElementString(int type);

// Parse (the form read from the text) and ToLibrarySyntax in one step, for types 3, 12, 13 and
// 14. For 12 and 13 a plain number of up to 13 digits is the library's own form and passes
// unchanged; 14 digits are a GTIN-14 whose check digit must be right. Other types: `input`
// unchanged. Not for the payment barcode (barcode_draw_convenience), which has its own syntax.
Result<std::string> Prepare(const std::string& input, int type);

// Prepare without the checks, for `--no-gs1-check`: the bracket form is written in the library's
// syntax as it stands (any 2 to 4 digits in parentheses are an AI, of predefined length when the
// table says so); the library's own forms pass unchanged. Fails only when the brackets cannot
// be split.
Result<std::string> PrepareUnchecked(const std::string& input, int type);

// "(01)04912345678904(10)AB\(C\)": the bracket form of elements, as Parse reads it back.
std::string ToBrackets(const Elements& elements);

// What the AI table knows about one AI (exposed for help texts and tests).
struct AiInfo
{
    bool known = false;
    std::string title;       // the GS1 data title, e.g. "BATCH/LOT"
    std::string format;      // e.g. "N2+X..20", "N2+N14"
    bool predefined = false; // of predefined length: no FNC1 after it
};

AiInfo Describe(const std::string& ai);

} // namespace gs1
