#ifndef DIMGATE_VIEW_H
#define DIMGATE_VIEW_H

// What the readers share: a view of the file whose every access is
// checked, and numbers taken from bytes that a check has passed.

#include "formats.h"

// Numbers from bytes: each is called only on bytes a view has handed out.
// Widen before shifting: a byte promotes to int, and 0x80 << 24 overflows it.
inline uint32_t be16(const unsigned char *p) { return (uint32_t)p[0] << 8 | p[1]; }
inline uint32_t le16(const unsigned char *p) { return (uint32_t)p[1] << 8 | p[0]; }
inline uint32_t le24(const unsigned char *p) { return (uint32_t)p[2] << 16 | le16(p); }
inline uint32_t be32(const unsigned char *p) { return be16(p) << 16 | be16(p + 2); }
inline uint32_t le32(const unsigned char *p) { return le16(p + 2) << 16 | le16(p); }
inline uint64_t be64(const unsigned char *p) { return (uint64_t)be32(p) << 32 | be32(p + 4); }
inline uint64_t le64(const unsigned char *p) { return (uint64_t)le32(p + 4) << 32 | le32(p); }

// Bytes past the page are read a window at a time, so that the small
// structures that follow one another (segments, entries, boxes) mostly
// cost one read between them.
const size_t view_window = 512;

// Why a view handed out no bytes.
enum view_stop { view_going, view_end, view_failed, view_bound };

struct view {
    const image_input *in;
    image_sizes *out;
    unsigned most_reads;     // reads past the page the reader allows itself
    view_stop stop;
    unsigned char window[view_window];
    uint64_t window_at;
    size_t window_n;
};

// A view of in for a reader that makes at most most_reads reads past the page.
void view_open(view *v, const image_input &in, image_sizes *out, unsigned most_reads);

// Returns the n bytes (at most view_window) at offset, or nullptr when the
// file ends first, a read fails or the reads run out (v->stop says which).
const unsigned char *view_at(view *v, uint64_t offset, size_t n);

// A view of a header of text that must lie within the first page, read a
// byte at a time from at.
struct text {
    view v;
    uint64_t at;
};

// The byte at t->at, or -1 where the file ends or the page does, however
// much of the file the caller holds.
inline int peek(text *t)
{
    if (t->at >= image_page) {
        t->v.stop = view_bound;
        return -1;
    }
    const unsigned char *p = view_at(&t->v, t->at, 1);
    return p != nullptr ? *p : -1;
}

// What a reader answers when view_at() gave nothing: the read's failure,
// the reader's bound, or else cut, for a file that ends too soon.
const char *view_why(const view *v, const char *bound, const char *cut);

// Records one size found; returns false when there is no room.
bool found(image_sizes *out, uint32_t width, uint32_t height);

// With the displayed size asked for, the reader's one image is shown at
// width x height: the stored size is kept beside it when that differs.
void shown(image_sizes *out, uint32_t width, uint32_t height);

// Shows the reader's one image as Exif orientation 1 to 8 turns it; any
// other value, as 0 for none read, changes nothing.
void orient(image_sizes *out, unsigned orientation);

// Puts "FORMAT TEXT" together in out->why, for a reason that two formats
// share, and returns it.
const char *named(image_sizes *out, const char *format, const char *text);

#endif
