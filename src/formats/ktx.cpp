#include "readers.h"
#include "view.h"

// The base level's size. KTX writes its numbers in the byte order of the
// machine that made the file, and says which with 0x04030201 at 12; KTX 2
// is always little-endian. The version digit after "KTX " tells them apart.
const char *read_ktx(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, 0);
    // As far as KTX 2's height: KTX's byte order mark lies within.
    const unsigned char *p = view_at(&v, 0, 28);
    if (p == nullptr)
        return "KTX ends within its header";
    uint32_t width, height;
    if (p[5] == '2') {
        width = le32(p + 20);
        height = le32(p + 24);
    } else {
        bool le = le32(p + 12) == 0x04030201;
        if (!le && be32(p + 12) != 0x04030201)
            return "KTX byte order is neither 01 02 03 04 nor 04 03 02 01";
        if ((p = view_at(&v, 36, 8)) == nullptr)
            return "KTX ends within its header";
        width = le ? le32(p) : be32(p);
        height = le ? le32(p + 4) : be32(p + 4);
    }
    // A height of 0 is a texture of one dimension: a single row. A width
    // of 0 is left for the table to fail.
    found(out, width, height == 0 ? 1 : height);
    return nullptr;
}
