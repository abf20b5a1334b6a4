/* Compiled as C: the public header is valid C, and the library works from a C program. */
#include "barcode_lumeo.h"

#include <stdio.h>
#include <string.h>

#define CHECK(cond)                                                                                                   \
    do {                                                                                                              \
        if (!(cond)) {                                                                                                \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                                 \
            return 1;                                                                                                 \
        }                                                                                                             \
    } while (0)

int main(void)
{
    void* h = barcode_create(0);
    int size = -1;
    const unsigned char* png;
    const char* uri;
    CHECK(h != NULL);
    CHECK(barcode_create(19) == NULL);
    CHECK(barcode_create(-1) == NULL);
    CHECK(barcode_draw_1d(h, "C API", 300, 100));
    png = barcode_get_image_data(h, &size);
    CHECK(png != NULL && size > 8);
    CHECK(memcmp(png, "\x89PNG\r\n\x1a\n", 8) == 0);
    uri = barcode_get_base64(h);
    CHECK(strncmp(uri, "data:image/png;base64,iVBORw0KGgo", 33) == 0);
    barcode_set_output_format(h, "svg");
    CHECK(barcode_is_svg_output(h));
    CHECK(barcode_draw_1d(h, "C API", 300, 100));
    CHECK(strncmp(barcode_get_svg(h), "<?xml", 5) == 0);
    barcode_destroy(h);
    barcode_destroy(NULL);
    printf("C interface smoke test passed\n");
    return 0;
}
