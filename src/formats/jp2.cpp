#include <string.h>

#include "boxes.h"
#include "readers.h"

// JPEG 2000: a JP2 or JPX file, boxes as HEIF's, keeps its size in the
// ihdr box of its jp2h box; a bare J2K codestream in its SIZ segment.

// Real files put a few boxes before jp2h (XML, UUIDs, a resolution).
// Box headers mostly share a window; a hop past a large box costs a read.
static const unsigned jp2_most_reads = 1024;

// A SIZ segment holds at least one component: 38 bytes, and 3 for each.
static const unsigned siz_least = 38 + 3;

static const char *header_size(boxes *b, image_sizes *out)
{
    // The signature box, then ftyp.
    box x;
    if (!read_box(b, 12, UINT64_MAX, &x))
        return b->why;
    if (!box_is(x, "ftyp"))
        return "has no ftyp box after its signature";
    if (!find_box(b, x.end, UINT64_MAX, "jp2h", &x))
        return b->why != nullptr ? b->why : "has no header box (jp2h)";
    if (!find_box(b, x.body, x.end, "ihdr", &x))
        return b->why != nullptr ? b->why : "header box has no ihdr box";
    if (x.end - x.body < 8)
        return "ihdr box is too short for the width and height";
    const unsigned char *p = view_at(&b->v, x.body, 8);
    if (p == nullptr)
        return "ends within its ihdr box";
    found(out, be32(p + 4), be32(p));
    return nullptr;
}

// SOC, then SIZ: its length, the capabilities, the reference grid's size
// and the image's offset on it.
static const char *codestream_size(view *v, image_sizes *out)
{
    const unsigned char *p = view_at(v, 2, 22);
    if (p == nullptr)
        return "JPEG 2000 ends within its SIZ segment";
    if (be16(p + 2) < siz_least)
        return "JPEG 2000 SIZ segment is too short to hold an image";
    uint32_t x = be32(p + 6), y = be32(p + 10), x0 = be32(p + 14), y0 = be32(p + 18);
    if (x0 >= x || y0 >= y)
        return "JPEG 2000 image offset is not within its reference grid";
    found(out, x - x0, y - y0);
    return nullptr;
}

const char *read_jp2(const image_input &in, image_sizes *out)
{
    boxes b;
    boxes_open(&b, in, out, jp2_most_reads);
    const unsigned char *p = view_at(&b.v, 0, 1);
    if (p != nullptr && *p == 0xff)
        return codestream_size(&b.v, out);
    return boxes_why(&b, "JPEG 2000", header_size(&b, out));
}
