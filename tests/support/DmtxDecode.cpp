// SPDX-License-Identifier: MIT
#include "support/DmtxDecode.h"

#ifdef BARCODE_HAVE_LIBDMTX
#include <dmtx.h>
#endif

namespace testsupport {

bool HaveDmtx()
{
#ifdef BARCODE_HAVE_LIBDMTX
    return true;
#else
    return false;
#endif
}

Decoded DecodeDmtx(const GreyImage& image)
{
    Decoded d;
    d.format = "DataMatrix";
#ifdef BARCODE_HAVE_LIBDMTX
    if (image.width <= 0 || image.height <= 0) {
        d.error = "empty image";
        return d;
    }
    std::vector<std::uint8_t> pixels = image.pixels; // libdmtx takes a mutable buffer
    DmtxImage* img = dmtxImageCreate(pixels.data(), image.width, image.height, DmtxPack8bppK);
    DmtxDecode* dec = img != nullptr ? dmtxDecodeCreate(img, 1) : nullptr;
    if (dec != nullptr) {
        // The symbols are drawn upright with square corners; a tight corner tolerance keeps the
        // region finder from losing some of them (it does at its wide default of 40 degrees).
        dmtxDecodeSetProp(dec, DmtxPropSquareDevn, 10);
    }
    // No time limit: the scan ends when the image has been searched.
    DmtxRegion* region = dec != nullptr ? dmtxRegionFindNext(dec, nullptr) : nullptr;
    DmtxMessage* message = region != nullptr ? dmtxDecodeMatrixRegion(dec, region, DmtxUndefined) : nullptr;
    if (message != nullptr) {
        d.valid = true;
        d.bytes.assign(message->output, message->output + message->outputIdx);
        d.text.assign(d.bytes.begin(), d.bytes.end());
        dmtxMessageDestroy(&message);
    } else {
        d.error = region == nullptr ? "no symbol found" : "symbol found but not decoded";
    }
    if (region != nullptr) {
        dmtxRegionDestroy(&region);
    }
    if (dec != nullptr) {
        dmtxDecodeDestroy(&dec);
    }
    if (img != nullptr) {
        dmtxImageDestroy(&img);
    }
#else
    (void)image;
    d.error = "libdmtx not available";
#endif
    return d;
}

Decoded DecodeDmtxPngBytes(const std::vector<std::uint8_t>& png, int margin)
{
    return DecodeDmtx(ToGrey(DecodePng(png), margin));
}

} // namespace testsupport
