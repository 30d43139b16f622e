#ifndef DIMGATE_BOXES_H
#define DIMGATE_BOXES_H

// Boxes, as AVIF, HEIF, JPEG 2000 and JPEG XL files hold them: a 32-bit
// size (1: a 64-bit one follows; 0: to the end of the parent), a type,
// then the body, which may hold boxes in turn.

#include "view.h"

struct box {
    uint64_t at, body, end;   // its start, its body's, and its end
    char type[4];
};

struct boxes {
    view v;
    unsigned hops;
    const char *why;          // why the last box could not be read
};

// Real files hold a few dozen boxes on the way to the size, a hostile one
// may chain thousands of empty ones. The reasons below leave out the
// format's name, which goes in front.
const unsigned boxes_most = 4096;
extern const char boxes_bound[];

// Opens a walk of in's boxes that makes at most most_reads reads past the page.
void boxes_open(boxes *b, const image_input &in, image_sizes *out, unsigned most_reads);

// Reads the header of the box at offset at, which must end by end
// (UINT64_MAX: the end of the file).
bool read_box(boxes *b, uint64_t at, uint64_t end, box *to);

// Finds the box of type, or of or_type, among those from at to end, or
// says why not in b->why: none there when it is null.
bool find_box(boxes *b, uint64_t at, uint64_t end, const char *type, box *to, const char *or_type = nullptr);

inline bool box_is(const box &x, const char *type) { return x.type[0] == type[0] && x.type[1] == type[1] && x.type[2] == type[2] && x.type[3] == type[3]; }

// What a walk that stopped with why answers: a read that failed or ran out
// of reads decides, whatever the box it stopped at; then the format's name
// goes in front.
const char *boxes_why(boxes *b, const char *format, const char *why);

#endif
