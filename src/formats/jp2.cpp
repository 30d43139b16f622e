#include <string.h>

#include "readers.h"
#include "view.h"

// JPEG 2000: a JP2 or JPX file, boxes as HEIF's, keeps its size in the
// ihdr box of its jp2h box; a bare J2K codestream in its SIZ segment.

// As HEIF's: real files put a few boxes before jp2h (XML, UUIDs, a
// resolution), a hostile one thousands of empty ones. Box headers mostly
// share a window; a hop past a large box costs a read.
static const unsigned jp2_most_boxes = 4096;
static const unsigned jp2_most_reads = 1024;
static const char jp2_bound[] = "JPEG 2000 has no size within its first 4096 boxes";

// A SIZ segment holds at least one component: 38 bytes, and 3 for each.
static const unsigned siz_least = 38 + 3;

struct box {
    uint64_t body, end;
    char type[4];
};

struct boxes {
    view v;
    unsigned hops;
    const char *why;   // why the last box could not be read
};

// Reads the header of the box at offset at, which must end by end.
static bool read_box(boxes *b, uint64_t at, uint64_t end, box *to)
{
    if (++b->hops > jp2_most_boxes) {
        b->why = jp2_bound;
        return false;
    }
    const unsigned char *p = view_at(&b->v, at, 8);
    if (p == nullptr) {
        b->why = "JPEG 2000 ends within a box header";
        return false;
    }
    uint64_t size = be32(p);
    memcpy(to->type, p + 4, 4);
    to->body = at + 8;
    if (size == 1) {
        if ((p = view_at(&b->v, at + 8, 8)) == nullptr) {
            b->why = "JPEG 2000 ends within a box header";
            return false;
        }
        size = be64(p);
        to->body = at + 16;
    }
    // A size of 0 runs to the end of the file, or here of the parent.
    if (size == 0) {
        to->end = end;
    } else if (size < to->body - at || size > end - at) {
        b->why = size < to->body - at ? "JPEG 2000 box is smaller than its header"
                                      : "JPEG 2000 box runs past its parent";
        return false;
    } else {
        to->end = at + size;
    }
    return true;
}

// Finds the box of type among those from at to end (UINT64_MAX: the end
// of the file), or says why not in b->why.
static bool find_box(boxes *b, uint64_t at, uint64_t end, const char *type, box *to)
{
    // The file may end where a top-level box does; a parent's boxes fill it.
    while (at < end && (end != UINT64_MAX || view_at(&b->v, at, 1) != nullptr)) {
        if (!read_box(b, at, end, to))
            return false;
        if (memcmp(to->type, type, 4) == 0)
            return true;
        at = to->end;
    }
    b->why = nullptr;
    return false;
}

static const char *header_size(boxes *b, image_sizes *out)
{
    // The signature box, then ftyp.
    box x;
    if (!read_box(b, 12, UINT64_MAX, &x))
        return b->why;
    if (memcmp(x.type, "ftyp", 4) != 0)
        return "JPEG 2000 has no ftyp box after its signature";
    if (!find_box(b, x.end, UINT64_MAX, "jp2h", &x))
        return b->why != nullptr ? b->why : "JPEG 2000 has no header box (jp2h)";
    if (!find_box(b, x.body, x.end, "ihdr", &x))
        return b->why != nullptr ? b->why : "JPEG 2000 header box has no ihdr box";
    if (x.end - x.body < 8)
        return "JPEG 2000 ihdr box is too short for the width and height";
    const unsigned char *p = view_at(&b->v, x.body, 8);
    if (p == nullptr)
        return "JPEG 2000 ends within its ihdr box";
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
    view_open(&b.v, in, out, jp2_most_reads);
    const unsigned char *p = view_at(&b.v, 0, 1);
    if (p != nullptr && *p == 0xff)
        return codestream_size(&b.v, out);
    b.hops = 0;
    b.why = nullptr;
    const char *why = header_size(&b, out);
    // A read that failed or ran out of reads leaves the answer to it,
    // whatever the box it stopped at was.
    if (why != nullptr && b.v.stop == view_failed)
        return image_read_failed;
    if (why != nullptr && b.v.stop == view_bound)
        return jp2_bound;
    return why;
}
