#include <string.h>

#include "boxes.h"
#include "readers.h"

// JPEG XL: a bare codestream, or one in boxes as HEIF's, whole in a jxlc
// box or split over jxlp boxes. The size is the SizeHeader right after
// the codestream's FF 0A, read a bit at a time.

// Real files put a few boxes before the codestream (Exif, XMP, a JPEG's
// reconstruction data). Box headers mostly share a window; a hop past a
// large box costs a read.
static const unsigned jxl_most_reads = 1024;
static const char jxl_cut[] = "ends within its size header";

// FF 0A, then the SizeHeader, whose longest is 68 bits: div8, and a
// selector and 30 bits for each side, and the ratio between them. The
// orientation takes 5 bits more.
static const size_t jxl_size_bytes = 2 + 9, jxl_most_bytes = 2 + 10;

// The codestream, a part at a time.
struct stream {
    boxes b;
    uint64_t at, end;   // the bytes of the part at hand not yet taken
    bool more;          // whether jxlp parts follow it
    const char *why;    // why the bytes stopped coming
};

// Finds the next part among the boxes from offset at on: the body of a
// jxlc box (when whole is set) or of a jxlp box past its index. Sets
// s->why to none when the file ends first.
static bool next_part(stream *s, uint64_t at, bool whole, const char *none)
{
    box x;
    // The file may end where a box does.
    while (view_at(&s->b.v, at, 1) != nullptr) {
        if (!read_box(&s->b, at, UINT64_MAX, &x)) {
            s->why = s->b.why;
            return false;
        }
        s->at = x.body;
        s->end = x.end;
        s->more = false;
        if (whole && box_is(x, "jxlc"))
            return true;
        if (box_is(x, "jxlp")) {
            // Each part begins with its index, the top bit set on the last.
            const unsigned char *p = x.end - x.body >= 4 ? view_at(&s->b.v, x.body, 4) : nullptr;
            if (p == nullptr) {
                s->why = x.end - x.body >= 4 ? jxl_cut : "jxlp box is too short for its index";
                return false;
            }
            s->at += 4;
            s->more = (p[0] & 0x80) == 0;
            return true;
        }
        at = x.end;
    }
    s->why = none;
    return false;
}

// Takes up to n of the codestream's bytes into to, reading on across its
// parts; returns how many came, and s->why says why when fewer.
static size_t take(stream *s, unsigned char *to, size_t n)
{
    size_t k = 0;
    while (k < n) {
        if (s->at >= s->end) {
            if (!s->more) {
                s->why = jxl_cut;
                break;
            }
            if (!next_part(s, s->end, false, jxl_cut))
                break;
            continue;
        }
        const unsigned char *p = view_at(&s->b.v, s->at, 1);
        if (p == nullptr) {
            s->why = jxl_cut;
            break;
        }
        to[k++] = *p;
        s->at++;
    }
    return k;
}

// The SizeHeader's bits, the least significant first within each byte.
struct bits {
    const unsigned char *p;
    size_t n;       // bytes
    size_t at;      // the next bit
};

static bool u(bits *b, unsigned n, uint32_t *to)
{
    *to = 0;
    for (unsigned k = 0; k < n; k++, b->at++) {
        if (b->at / 8 >= b->n)
            return false;
        *to |= (uint32_t)(b->p[b->at / 8] >> b->at % 8 & 1) << k;
    }
    return true;
}

// One side: a multiple of 8 up to 256, or a selector for its count of bits.
static bool side(bits *b, uint32_t div8, uint32_t *to)
{
    static const unsigned widths[] = {9, 13, 18, 30};
    uint32_t select = 0;
    if (div8 == 0 && !u(b, 2, &select))
        return false;
    if (!u(b, div8 != 0 ? 5 : widths[select], to))
        return false;
    *to = div8 != 0 ? (*to + 1) * 8 : *to + 1;
    return true;
}

// The size in the n bytes at p, or false when it runs past them; with
// the displayed size asked for, turned as the image metadata after it
// says, when its bits are there: all_default, extra_fields, then the
// orientation less 1.
static bool size_header(const unsigned char *p, size_t n, bool displayed, image_sizes *out)
{
    // The width as a ratio of the height, for the ratio codes 1 to 7.
    static const uint32_t ratios[7][2] = {{1, 1}, {12, 10}, {4, 3}, {3, 2}, {16, 9}, {5, 4}, {2, 1}};
    bits b = {p, n, 0};
    uint32_t div8, height, ratio, width;
    if (!u(&b, 1, &div8) || !side(&b, div8, &height) || !u(&b, 3, &ratio))
        return false;
    if (ratio == 0 && !side(&b, div8, &width))
        return false;
    if (ratio != 0)
        width = (uint32_t)((uint64_t)height * ratios[ratio - 1][0] / ratios[ratio - 1][1]);
    found(out, width, height);
    uint32_t all_default, extra_fields, orientation;
    if (displayed && u(&b, 1, &all_default) && all_default == 0 && u(&b, 1, &extra_fields) &&
        extra_fields == 1 && u(&b, 3, &orientation))
        orient(out, orientation + 1);
    return true;
}

static const char *codestream_size(stream *s, image_sizes *out)
{
    const unsigned char *p = view_at(&s->b.v, 0, 1);
    if (p != nullptr && *p == 0xff) {
        // A bare codestream.
        s->at = 0;
        s->end = UINT64_MAX;
    } else {
        // The signature box, then ftyp, then any boxes before the codestream's.
        box ftyp;
        if (!read_box(&s->b, 12, UINT64_MAX, &ftyp))
            return s->b.why;
        p = ftyp.end - ftyp.body >= 4 ? view_at(&s->b.v, ftyp.body, 4) : nullptr;
        if (!box_is(ftyp, "ftyp") || p == nullptr || memcmp(p, "jxl ", 4) != 0)
            return "has no ftyp box of brand jxl after its signature";
        if (!next_part(s, ftyp.end, true, "has no codestream box (jxlc or jxlp)"))
            return s->why;
    }
    unsigned char bytes[jxl_most_bytes];
    size_t n = take(s, bytes, s->b.v.in->displayed ? jxl_most_bytes : jxl_size_bytes);
    if (n >= 2 && (bytes[0] != 0xff || bytes[1] != 0x0a))
        return "codestream does not begin with FF 0A";
    if (n < 2 || !size_header(bytes + 2, n - 2, s->b.v.in->displayed, out))
        return s->why;
    return nullptr;
}

const char *read_jxl(const image_input &in, image_sizes *out)
{
    stream s;
    boxes_open(&s.b, in, out, jxl_most_reads);
    s.at = s.end = 0;
    s.more = false;
    s.why = jxl_cut;
    const char *why = codestream_size(&s, out);
    // A read that failed leaves the answer to it, even past the bytes the
    // size needed.
    if (s.b.v.stop == view_failed)
        return image_read_failed;
    return boxes_why(&s.b, "JPEG XL", why);
}
