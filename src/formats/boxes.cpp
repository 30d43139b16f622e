#include <string.h>

#include "boxes.h"

const char boxes_bound[] = "has no size within its first 4096 boxes";

void boxes_open(boxes *b, const image_input &in, image_sizes *out, unsigned most_reads)
{
    view_open(&b->v, in, out, most_reads);
    b->hops = 0;
    b->why = nullptr;
}

bool read_box(boxes *b, uint64_t at, uint64_t end, box *to)
{
    if (++b->hops > boxes_most) {
        b->why = boxes_bound;
        return false;
    }
    // A read that fails or runs out is told apart by boxes_why().
    const unsigned char *p = view_at(&b->v, at, 8);
    if (p == nullptr) {
        b->why = "ends within a box header";
        return false;
    }
    uint64_t size = be32(p);
    memcpy(to->type, p + 4, 4);
    to->at = at;
    to->body = at + 8;
    if (size == 1) {
        if ((p = view_at(&b->v, at + 8, 8)) == nullptr) {
            b->why = "ends within a box header";
            return false;
        }
        size = be64(p);
        to->body = at + 16;
    }
    if (size == 0) {
        to->end = end;
    } else if (size < to->body - at || size > end - at) {
        b->why = size < to->body - at ? "box is smaller than its header" : "box runs past its parent";
        return false;
    } else {
        to->end = at + size;
    }
    return true;
}

bool find_box(boxes *b, uint64_t at, uint64_t end, const char *type, box *to, const char *or_type)
{
    while (at < end) {
        // Where the parent is the file, the file may end between two boxes.
        if (end == UINT64_MAX && view_at(&b->v, at, 1) == nullptr && b->v.stop == view_end)
            break;
        if (!read_box(b, at, end, to))
            return false;
        if (box_is(*to, type) || (or_type != nullptr && box_is(*to, or_type)))
            return true;
        at = to->end;
    }
    b->why = nullptr;
    return false;
}

const char *boxes_why(boxes *b, const char *format, const char *why)
{
    if (why == nullptr || why == image_not_this)
        return why;
    if (b->v.stop == view_failed)
        return image_read_failed;
    return named(b->v.out, format, b->v.stop == view_bound ? boxes_bound : why);
}
