#include <string.h>

#include "readers.h"
#include "view.h"

// The header is text at the head of the file: a few dozen bytes, with a
// comment or two, so the first page holds it and nothing past it is read.
static const char netpbm_bound[] = "Netpbm has no width and height within its first 4096 bytes";
static const char netpbm_cut[] = "Netpbm ends within its header";

static bool blank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Passes over blanks, and comments when comments is set; false when the
// bytes end first.
static bool skip_blanks(text *t, bool comments)
{
    int c;
    bool comment = false;
    while ((c = peek(t)) >= 0) {
        if (comment)
            comment = c != '\n' && c != '\r';
        else if (comments && c == '#')
            comment = true;
        else if (!blank(c))
            return true;
        t->at++;
    }
    return false;
}

// Reads the decimal number at t->at, which a blank or a comment ends, as
// side (0 the width, 1 the height); returns why there is none.
static const char *number(text *t, int side, uint32_t *to)
{
    static const char *const not_number[] = {"Netpbm width is not a decimal number",
                                             "Netpbm height is not a decimal number"};
    static const char *const large[] = {"Netpbm width is larger than 4294967295",
                                        "Netpbm height is larger than 4294967295"};
    uint64_t n = 0;
    int c = peek(t);
    if (c < '0' || c > '9')
        return c < 0 ? view_why(&t->v, netpbm_bound, netpbm_cut) : not_number[side];
    for (; c >= '0' && c <= '9'; c = peek(t)) {
        n = n * 10 + (unsigned)(c - '0');
        if (n > UINT32_MAX)
            return large[side];
        t->at++;
    }
    // Digits that run to the page's end may go on past it.
    if (c < 0)
        return view_why(&t->v, netpbm_bound, netpbm_cut);
    if (!blank(c) && c != '#')
        return not_number[side];
    *to = (uint32_t)n;
    return nullptr;
}

// Whether the word at t->at is w, then a blank; if so, passes over it.
static bool word(text *t, const char *w)
{
    size_t n = strlen(w);
    const unsigned char *p = t->at + n + 1 <= image_page ? view_at(&t->v, t->at, n + 1) : nullptr;
    if (p == nullptr || memcmp(p, w, n) != 0 || !blank(p[n]))
        return false;
    t->at += n;
    return true;
}

// PAM: lines of a keyword and its value up to ENDHDR; the first WIDTH and
// the first HEIGHT count.
static const char *read_pam(text *t, image_sizes *out)
{
    uint32_t sides[2] = {0, 0};
    bool seen[2] = {false, false};
    const char *why;
    // The magic's line, then a line at a time.
    for (;;) {
        int c;
        while ((c = peek(t)) >= 0 && c != '\n')
            t->at++;
        if (c < 0 || !skip_blanks(t, false))
            return view_why(&t->v, netpbm_bound, netpbm_cut);
        if (word(t, "ENDHDR"))
            return "Netpbm PAM header ends without a WIDTH and a HEIGHT";
        int side = word(t, "WIDTH") ? 0 : word(t, "HEIGHT") ? 1 : -1;
        if (side < 0 || seen[side])
            continue;
        while ((c = peek(t)) == ' ' || c == '\t')
            t->at++;
        if ((why = number(t, side, &sides[side])) != nullptr)
            return why;
        seen[side] = true;
        if (seen[0] && seen[1]) {
            found(out, sides[0], sides[1]);
            return nullptr;
        }
    }
}

// P1 to P6, PF and Pf: the magic, then the width and the height apart by
// blanks, with comments anywhere among them; P7 is PAM.
const char *read_netpbm(const image_input &in, image_sizes *out)
{
    text t;
    view_open(&t.v, in, out, 0);
    t.at = 1;
    int kind = peek(&t);
    // The table's signature is only the P: any other byte after it, or
    // no blank after that, is text of another kind.
    if (!((kind >= '1' && kind <= '7') || kind == 'F' || kind == 'f'))
        return image_not_this;
    t.at = 2;
    int c = peek(&t);
    if (!blank(c) && c != '#')
        return image_not_this;
    if (kind == '7')
        return read_pam(&t, out);
    uint32_t sides[2];
    const char *why;
    for (int side = 0; side < 2; side++) {
        if (!skip_blanks(&t, true))
            return view_why(&t.v, netpbm_bound, netpbm_cut);
        if ((why = number(&t, side, &sides[side])) != nullptr)
            return why;
    }
    found(out, sides[0], sides[1]);
    return nullptr;
}
