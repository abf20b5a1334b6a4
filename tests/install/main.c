#include <barcode_lumeo.h>

int main(void)
{
    void* h = barcode_create(0);
    int ok = barcode_draw_1d(h, "INSTALL", 300, 100);
    barcode_destroy(h);
    return ok ? 0 : 1;
}
