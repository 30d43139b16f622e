#include "readers.h"
#include "view.h"

const char *read_bmp(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, 0);
    const unsigned char *p = view_at(&v, 14, 4);
    if (p == nullptr)
        return "BMP ends within its header";
    uint32_t header = le32(p);
    // OS/2 1.x: 16-bit sides, unsigned.
    if (header == 12) {
        if ((p = view_at(&v, 18, 4)) == nullptr)
            return "BMP ends within its header";
        found(out, le16(p), le16(p + 2));
        return nullptr;
    }
    if (header != 16 && header != 40 && header != 52 && header != 56 && header != 64 &&
        header != 108 && header != 124)
        return "BMP header size is none of 12, 16, 40, 52, 56, 64, 108 or 124";
    if ((p = view_at(&v, 18, 8)) == nullptr)
        return "BMP ends within its header";
    uint32_t width = le32(p), height = le32(p + 4);
    // OS/2 2.x: 32-bit sides, unsigned.
    if (header == 16 || header == 64) {
        found(out, width, height);
        return nullptr;
    }
    // Windows: signed; a negative height means rows from the top down.
    if (width >= 0x80000000u)
        return "BMP width is negative";
    if (height == 0x80000000u)
        return "BMP height is -2147483648, which has no positive counterpart";
    found(out, width, height >= 0x80000000u ? 0u - height : height);
    return nullptr;
}
