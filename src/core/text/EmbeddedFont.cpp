// SPDX-License-Identifier: MIT
#include "core/text/EmbeddedFont.h"

#if defined(BARCODE_EMBEDDED_FONT_FILE)
// The font file is pulled in by the assembler at build time, so no generated source is needed.
__asm__(".section .rodata\n"
        ".global barcode_lumeo_font_begin\n"
        ".hidden barcode_lumeo_font_begin\n"
        ".balign 16\n"
        "barcode_lumeo_font_begin:\n"
        ".incbin \"" BARCODE_EMBEDDED_FONT_FILE "\"\n"
        ".global barcode_lumeo_font_end\n"
        ".hidden barcode_lumeo_font_end\n"
        "barcode_lumeo_font_end:\n"
        ".previous\n");

extern "C" const unsigned char barcode_lumeo_font_begin[];
extern "C" const unsigned char barcode_lumeo_font_end[];

namespace embedded_font {

const unsigned char* Data()
{
    return barcode_lumeo_font_begin;
}

std::size_t Size()
{
    return static_cast<std::size_t>(barcode_lumeo_font_end - barcode_lumeo_font_begin);
}

} // namespace embedded_font
#else
namespace embedded_font {

const unsigned char* Data()
{
    return nullptr;
}

std::size_t Size()
{
    return 0;
}

} // namespace embedded_font
#endif
