/* SPDX-License-Identifier: MIT */
/*
 * A shipping label from C: a Code 128 parcel number as PNG, a QR tracking link as SVG and as a
 * data URI, and what a rejected text looks like.
 *
 *   label_c [DIR]      writes DIR/parcel.png and DIR/tracking.svg
 */
#include <barcode_lumeo.h>
#include <stdio.h>
#include <string.h>

static int write_file(const char* dir, const char* name, const void* data, size_t size)
{
    char path[1024];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    FILE* f = fopen(path, "wb");
    if (f == NULL) {
        perror(path);
        return 0;
    }
    const int written = fwrite(data, 1, size, f) == size;
    if (fclose(f) != 0 || !written) {
        fprintf(stderr, "cannot write %s\n", path);
        return 0;
    }
    printf("wrote %s\n", path);
    return 1;
}

int main(int argc, char** argv)
{
    const char* dir = argc > 1 ? argv[1] : ".";
    int ok = 1;

    /* Code 128: PNG bytes. The library draws the symbol flush against its box; leave a margin
       around it in the label layout (the lumeo tool adds the quiet zone for you). */
    void* parcel = barcode_create(2);
    barcode_set_code_mode(parcel, "AUTO");
    if (barcode_draw_1d(parcel, "PARCEL-2024-00815", 480, 120)) {
        int size = 0;
        /* Owned by the handle: valid until the next barcode_get_image_data or barcode_destroy. */
        const unsigned char* png = barcode_get_image_data(parcel, &size);
        ok = png != NULL && write_file(dir, "parcel.png", png, (size_t)size) && ok;
    } else {
        ok = 0; /* the library has printed the reason on standard error */
    }
    barcode_destroy(parcel);

    /* QR Code: an SVG document, then the same symbol as a data URI for an HTML page. */
    void* tracking = barcode_create(16);
    barcode_set_error_correction_level(tracking, "Q");
    barcode_set_output_format(tracking, "svg");
    if (barcode_draw_2d(tracking, "https://example.jp/track/PARCEL-2024-00815", 240)) {
        /* valid until the next barcode_get_svg / barcode_get_base64 on this handle */
        const char* svg = barcode_get_svg(tracking);
        ok = write_file(dir, "tracking.svg", svg, strlen(svg)) && ok;
    } else {
        ok = 0;
    }
    barcode_set_output_format(tracking, "png");
    if (barcode_draw_2d(tracking, "https://example.jp/track/PARCEL-2024-00815", 120)) {
        const char* uri = barcode_get_base64(tracking);
        printf("<img src=\"%.40s...\"> (%zu characters)\n", uri, strlen(uri));
    }
    barcode_destroy(tracking);

    /* A JAN-13 needs 12 or 13 digits: the draw returns false and the reason goes to stderr. */
    void* jan = barcode_create(8);
    if (!barcode_draw_1d(jan, "12345", 300, 100)) {
        printf("JAN-13 rejected \"12345\", as it should\n");
    } else {
        ok = 0;
    }
    barcode_destroy(jan);
    return ok ? 0 : 1;
}
