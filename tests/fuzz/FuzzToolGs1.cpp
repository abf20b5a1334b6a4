// SPDX-License-Identifier: MIT
// libFuzzer harness of the GS1 element-string checker of the tool, batch mode and the service
// (tools/Gs1.cpp). Properties:
// - Parse, Check, ToBrackets, ToLibrarySyntax, Prepare and PrepareUnchecked throw nothing, and
//   every refusal says why;
// - what Parse accepts, Check accepts too, and it reads back the same from its bracket form;
// - for GS1-128 and DataBar Expanded, the library text of accepted elements parses (in that
//   type's syntax) to the same elements, and what Prepare gives reads back and is written again
//   the same.
//
// Input: a byte choosing the syntax, then the text.
#include "FuzzSupport.h"
#include "Gs1.cpp" // whole, as the other tool harnesses do

#include <exception>

namespace {

constexpr char kName[] = "fuzz_tool_gs1";

void Run(const std::string& text, gs1::Syntax syntax)
{
    const gs1::Result<gs1::Elements> parsed = gs1::Parse(text, syntax);
    if (!parsed.ok()) {
        if (parsed.error.empty()) {
            fuzz::Broken(kName, "a refusal without a reason for " + fuzz::Shown(text));
        }
        return;
    }
    const gs1::Result<gs1::Elements> checked = gs1::Check(parsed.value);
    if (!checked.ok()) {
        fuzz::Broken(kName, "Check refuses what Parse accepted (" + checked.error + "): " + fuzz::Shown(text));
    }
    const std::string brackets = gs1::ToBrackets(parsed.value);
    const gs1::Result<gs1::Elements> again = gs1::Parse(brackets, gs1::Syntax::Brackets);
    if (!again.ok() || !(again.value == parsed.value)) {
        fuzz::Broken(kName, "the bracket form " + fuzz::Shown(brackets) + " does not read back: " + fuzz::Shown(text));
    }
    const struct
    {
        int type;
        gs1::Syntax syntax;
    } forms[] = {{3, gs1::Syntax::Gs1_128}, {14, gs1::Syntax::Expanded}};
    for (const auto& form : forms) {
        const gs1::Result<std::string> library = gs1::ToLibrarySyntax(parsed.value, form.type);
        if (!library.ok()) {
            continue; // not every element string has a form in every type
        }
        const gs1::Result<gs1::Elements> back = gs1::Parse(library.value, form.syntax);
        if (!back.ok() || !(back.value == parsed.value)) {
            fuzz::Broken(kName, "the library text " + fuzz::Shown(library.value) + " of type " +
                                    std::to_string(form.type) + " does not read back: " + fuzz::Shown(text));
        }
    }
}

// What Prepare gives a type is that type's library text: it reads back in the type's syntax and
// is written again the same.
void RunPrepare(const std::string& text)
{
    const struct
    {
        int type;
        gs1::Syntax syntax;
    } forms[] = {{3, gs1::Syntax::Gs1_128}, {14, gs1::Syntax::Expanded}};
    for (const auto& form : forms) {
        const gs1::Result<std::string> prepared = gs1::Prepare(text, form.type);
        if (!prepared.ok()) {
            if (prepared.error.empty()) {
                fuzz::Broken(kName, "Prepare refused without a reason: " + fuzz::Shown(text));
            }
            continue;
        }
        const gs1::Result<gs1::Elements> back = gs1::Parse(prepared.value, form.syntax);
        const gs1::Result<std::string> again =
            back.ok() ? gs1::ToLibrarySyntax(back.value, form.type) : gs1::Result<std::string>::Fail(back.error);
        if (!again.ok() || again.value != prepared.value) {
            fuzz::Broken(kName, "Prepare's text " + fuzz::Shown(prepared.value) + " of type " +
                                    std::to_string(form.type) + " is not stable: " + fuzz::Shown(text));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const gs1::Syntax syntaxes[] = {gs1::Syntax::Auto, gs1::Syntax::Brackets, gs1::Syntax::Gs1_128,
                                    gs1::Syntax::Expanded};
    const gs1::Syntax syntax = syntaxes[data[0] % 4];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        Run(text, syntax);
        RunPrepare(text);
        for (int type : {3, 12, 13, 14, 16}) {
            const gs1::Result<std::string> unchecked = gs1::PrepareUnchecked(text, type);
            if (!unchecked.ok() && unchecked.error.empty()) {
                fuzz::Broken(kName, "PrepareUnchecked refused without a reason: " + fuzz::Shown(text));
            }
        }
    } catch (const std::exception& e) {
        fuzz::Broken(kName, std::string("threw \"") + e.what() + "\" for " + fuzz::Shown(text));
    }
    return 0;
}
