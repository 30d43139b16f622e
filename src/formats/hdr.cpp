#include <string.h>

#include "readers.h"
#include "view.h"

// The header is a few lines of text before the pixels, so the first page
// holds it and nothing past it is read.
static const char hdr_bound[] = "HDR has no resolution line within its first 4096 bytes";
static const char hdr_cut[] = "HDR ends within its header";
static const char hdr_form[] = "HDR resolution line is not of the form -Y H +X W";

static bool begins(text *t, const char *magic)
{
    const unsigned char *p = view_at(&t->v, 0, strlen(magic));
    return p != nullptr && memcmp(p, magic, strlen(magic)) == 0;
}

// Passes over blanks within the line; returns how many.
static unsigned skip_blanks(text *t)
{
    unsigned n = 0;
    int c;
    while ((c = peek(t)) == ' ' || c == '\t') {
        t->at++;
        n++;
    }
    return n;
}

// Why the byte at t->at cannot go on the resolution line: the bytes
// ended, or it is of another form.
static const char *stop(text *t)
{
    return peek(t) < 0 ? view_why(&t->v, hdr_bound, hdr_cut) : hdr_form;
}

// The program's line, the header's lines up to an empty one, then the
// resolution line: a sign and an axis, then its size, twice, the rows'
// axis first; so X, the width, may come first or second.
const char *read_hdr(const image_input &in, image_sizes *out)
{
    static const char *const large[] = {"HDR width is larger than 4294967295",
                                        "HDR height is larger than 4294967295"};
    text t;
    view_open(&t.v, in, out, 0);
    if (!begins(&t, "#?RADIANCE") && !begins(&t, "#?RGBE"))
        return image_not_this;
    t.at = 2;
    for (bool line_start = false;; t.at++) {
        int c = peek(&t);
        if (c < 0)
            return view_why(&t.v, hdr_bound, hdr_cut);
        if (c == '\n' && line_start)
            break;
        line_start = c == '\n';
    }
    t.at++;

    uint32_t sides[2];
    bool seen[2] = {false, false};
    for (int pair = 0; pair < 2; pair++) {
        if (pair == 1 && skip_blanks(&t) == 0)
            return stop(&t);
        int sign = peek(&t);
        if (sign != '+' && sign != '-')
            return stop(&t);
        t.at++;
        int axis = peek(&t);
        int side = axis == 'Y';
        if ((axis != 'X' && axis != 'Y') || seen[side])
            return stop(&t);
        seen[side] = true;
        t.at++;
        if (skip_blanks(&t) == 0)
            return stop(&t);
        uint64_t n = 0;
        int c = peek(&t);
        if (c < '0' || c > '9')
            return stop(&t);
        for (; c >= '0' && c <= '9'; c = peek(&t)) {
            n = n * 10 + (unsigned)(c - '0');
            if (n > UINT32_MAX)
                return large[side];
            t.at++;
        }
        sides[side] = (uint32_t)n;
    }
    // Nothing but blanks may follow on the line.
    skip_blanks(&t);
    if (peek(&t) != '\n')
        return stop(&t);
    found(out, sides[0], sides[1]);
    return nullptr;
}
