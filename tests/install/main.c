#include <barcode_lumeo.h>
#include <barcode_lumeo_ext.h>

int main(void)
{
    void* h = barcode_create(0);
    int ok = barcode_draw_1d(h, "INSTALL", 300, 100);
    barcode_destroy(h);
    /* The extension header is installed beside the main one and its functions are exported. */
    return ok && lumeo_version()[0] != '\0' && lumeo_last_error()[0] == '\0' ? 0 : 1;
}
