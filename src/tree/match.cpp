#include "match.h"

#include <string.h>

// A pattern is matched by following every way through it at once, a set
// of places in it for each byte of the path: the time is at most the
// path's length times the pattern's, however many stars it holds, where
// trying one way after another takes exponential time on a pattern of
// many * and ** against a deep path.

enum token_kind {
    tok_byte,    // one byte, itself
    tok_any,     // ?: one byte of a name
    tok_class,   // [...]: one byte of a name, in the class
    tok_star,    // *: any bytes of a name
    tok_all,     // ** at the start or after a /, at the end: any bytes
    tok_dirs,    // **/ at the start or after a /: any directories, or none
};

struct token {
    token_kind kind;
    unsigned char byte;
    size_t next;   // where the next token begins
};

// Whether c is in the class [:name:], named by its n bytes; *known is
// cleared when no class has that name.
static bool in_named(const char *name, size_t n, unsigned char c, bool *known)
{
    bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z', digit = c >= '0' && c <= '9';
    bool graph = c > 0x20 && c < 0x7f;
    const struct {
        const char *name;
        bool in;
    } classes[] = {
        {"alnum", upper || lower || digit},
        {"alpha", upper || lower},
        {"blank", c == ' ' || c == '\t'},
        {"cntrl", c < 0x20 || c == 0x7f},
        {"digit", digit},
        {"graph", graph},
        {"lower", lower},
        {"print", graph || c == ' '},
        {"punct", graph && !upper && !lower && !digit},
        {"space", c == ' ' || (c >= '\t' && c <= '\r')},
        {"upper", upper},
        {"xdigit", digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')},
    };
    for (const auto &k : classes)
        if (strlen(k.name) == n && memcmp(k.name, name, n) == 0)
            return k.in;
    *known = false;
    return false;
}

// Takes the member of a class at *j, escaped or not, into *c; false
// when the pattern ends first.
static bool member(const char *p, size_t n, size_t *j, unsigned char *c)
{
    if (p[*j] == '\\' && ++*j == n)
        return false;
    *c = (unsigned char)p[(*j)++];
    return true;
}

// Reads the class that opens at i as git does: whether c is in it, and in
// *end where it ends, past its ], or 0 when it does not. A ] first, or
// after ! or ^, is a member; so is a [ that begins no [:NAME:], and the
// first byte of a range, even one from a higher byte to a lower. *known
// is cleared when it names a class that none is.
static bool scan_class(const char *p, size_t n, size_t i, unsigned char c, size_t *end, bool *known)
{
    size_t j = i + 1;
    bool negate = j < n && (p[j] == '!' || p[j] == '^'), in = false;
    *end = 0;
    j += negate;
    for (bool first = true; j < n && (first || p[j] != ']'); first = false) {
        if (p[j] == '[' && j + 1 < n && p[j + 1] == ':') {
            const char *close = (const char *)memchr(p + j + 2, ']', n - j - 2);
            size_t k = close != nullptr ? (size_t)(close - p) : 0;
            if (k >= j + 3 && p[k - 1] == ':') {
                in |= in_named(p + j + 2, k - j - 3, c, known);
                j = k + 1;
                continue;
            }
        }
        unsigned char low, high;
        if (!member(p, n, &j, &low))
            return false;
        high = low;
        if (j + 1 < n && p[j] == '-' && p[j + 1] != ']' && (++j, !member(p, n, &j, &high)))
            return false;
        in |= c == low || (c >= low && c <= high);
    }
    if (j >= n)
        return false;
    *end = j + 1;
    return in != negate;
}

static size_t class_end(const char *p, size_t n, size_t i)
{
    size_t end;
    bool known = true;
    scan_class(p, n, i, 0, &end, &known);
    return end;
}

// The token at i of a pattern that pattern_read() has checked.
static token token_at(const char *p, size_t n, size_t i)
{
    unsigned char c = (unsigned char)p[i];
    if (c == '\\')
        return {tok_byte, (unsigned char)p[i + 1], i + 2};
    if (c == '?')
        return {tok_any, 0, i + 1};
    if (c == '[')
        return {tok_class, 0, class_end(p, n, i)};
    if (c != '*')
        return {tok_byte, c, i + 1};
    size_t r = i;
    while (r < n && p[r] == '*')
        r++;
    // Other runs of stars are one star, as git takes them.
    if (r - i >= 2 && (i == 0 || p[i - 1] == '/')) {
        if (r == n)
            return {tok_all, 0, n};
        if (p[r] == '/')
            return {tok_dirs, 0, r + 1};
    }
    return {tok_star, 0, r};
}

// Whether the token at i of p stands for itself alone.
static bool plain(const char *p, size_t n, size_t i)
{
    return token_at(p, n, i).kind == tok_byte && p[i] != '\\';
}

const char *pattern_read(pattern *p, const char *text, size_t n)
{
    if (n > 0 && text[0] == '!')
        return "begins with !, which makes no exception here: a later line with no options does";
    if (n > pattern_most)
        return "is longer than 4096 bytes";
    p->anchored = n > 0 && text[0] == '/';
    if (p->anchored) {
        text++;
        n--;
    }
    // A / at the end is for directories alone.
    p->dir_only = n > 0 && text[n - 1] == '/';
    if (p->dir_only)
        n--;
    for (size_t i = 0; i < n; i = token_at(text, n, i).next) {
        if (text[i] == '\\' && i + 1 == n)
            return "ends in \\";
        if (text[i] == '[') {
            size_t end;
            bool known = true;
            scan_class(text, n, i, 0, &end, &known);
            if (!known)
                return "names a class [:NAME:] that none is";
            if (end == 0)
                return "has [ without ]";
        }
    }
    if (n == 0)
        return "names no file";
    p->text = text;
    p->n = n;
    p->anchored = p->anchored || memchr(text, '/', n) != nullptr;
    // The plain bytes it begins and ends with, the longest run of them
    // between, the tokens of a byte each that end it, and its one * when
    // nothing else is in it.
    p->head = p->tail = p->inner = p->inner_n = p->ones = p->ones_n = 0;
    p->star = n;
    size_t stars = 0, others = 0;
    for (size_t i = 0; i < n;) {
        token t = token_at(text, n, i);
        if (plain(text, n, i)) {
            p->tail++;
            p->head += p->head == i;
        } else {
            if (p->tail > p->inner_n && p->tail < i) {
                p->inner = i - p->tail;
                p->inner_n = p->tail;
            }
            p->tail = 0;
        }
        if (t.kind == tok_byte || t.kind == tok_any || t.kind == tok_class) {
            p->ones_n++;
        } else {
            p->ones = t.next;
            p->ones_n = 0;
            stars += t.kind == tok_star;
            others += t.kind != tok_star;
            if (t.kind == tok_star && i == p->head)
                p->star = i;
        }
        i = t.next;
    }
    if (others > 0 || stars > 1 || (stars == 1 && p->star == n))
        p->star = SIZE_MAX;
    return nullptr;
}

// The places in a pattern that a set holds: a token's start, the end
// (p.n), or p.n + 1 + i for within a directory's name at the **/ at i.
static const size_t places = 2 * (pattern_most + 1);

// Which sets hold which places, without clearing one for each byte: a
// place is in the newest set when its mark is the newest stamp.
static uint32_t marks[places];
static uint32_t stamp;

struct place_set {
    size_t at[places];
    size_t n;
};
static place_set sets[2];

static void new_set(place_set *set)
{
    if (++stamp == 0) {
        memset(marks, 0, sizeof marks);
        stamp = 1;
    }
    set->n = 0;
}

// The tokens of the pattern being run, each read once per run: a token
// is known when its mark is the run's.
static token tokens[pattern_most + 1];
static uint32_t token_marks[pattern_most + 1];
static uint32_t run_mark;

static const token &token_of(const pattern &p, size_t i)
{
    if (token_marks[i] != run_mark) {
        token_marks[i] = run_mark;
        tokens[i] = token_at(p.text, p.n, i);
    }
    return tokens[i];
}

// Adds place i to the set, and every place that it reaches with no byte.
static void add(const pattern &p, place_set *set, size_t i)
{
    for (;;) {
        if (marks[i] == stamp)
            return;
        marks[i] = stamp;
        set->at[set->n++] = i;
        if (i >= p.n)
            return;
        const token &t = token_of(p, i);
        if (t.kind != tok_star && t.kind != tok_all && t.kind != tok_dirs)
            return;
        i = t.next;
    }
}

// Runs p over the n bytes at s: whether it ends at their end, or, for
// dirs, before any / in them.
static bool run(const pattern &p, const char *s, size_t n, bool dirs)
{
    place_set *now = &sets[0], *then = &sets[1];
    bool known;
    if (++run_mark == 0) {
        memset(token_marks, 0, sizeof token_marks);
        run_mark = 1;
    }
    new_set(now);
    add(p, now, 0);
    for (size_t k = 0; k < n; k++) {
        unsigned char c = (unsigned char)s[k];
        new_set(then);
        for (size_t q = 0; q < now->n; q++) {
            size_t i = now->at[q];
            if (i == p.n)
                continue;
            if (i > p.n) {
                // A / ends the directory's name: another may follow.
                add(p, then, c == '/' ? i - p.n - 1 : i);
                continue;
            }
            const token &t = token_of(p, i);
            size_t end;
            switch (t.kind) {
            case tok_byte:
                if (c == t.byte)
                    add(p, then, t.next);
                break;
            case tok_any:
                if (c != '/')
                    add(p, then, t.next);
                break;
            case tok_class:
                if (c != '/' && scan_class(p.text, p.n, i, c, &end, &known))
                    add(p, then, t.next);
                break;
            case tok_star:
                if (c != '/')
                    add(p, then, i);
                break;
            case tok_all:
                add(p, then, i);
                break;
            case tok_dirs:
                if (c != '/')
                    add(p, then, p.n + 1 + i);
                break;
            }
        }
        if (then->n == 0)
            return false;
        place_set *was = now;
        now = then;
        then = was;
        if (dirs && k + 1 < n && s[k + 1] == '/' && marks[p.n] == stamp)
            return true;
    }
    return marks[p.n] == stamp;
}

// Whether the m bytes at what are among the n at s.
static bool holds(const char *s, size_t n, const char *what, size_t m)
{
    for (size_t k = 0; k + m <= n; k++)
        if (s[k] == what[0] && memcmp(s + k, what, m) == 0)
            return true;
    return false;
}

// Whether the p.ones_n bytes at s are those that p ends with, a token
// each.
static bool ones_fit(const pattern &p, const char *s)
{
    bool known;
    for (size_t i = p.ones, k = 0; k < p.ones_n; k++) {
        token t = token_at(p.text, p.n, i);
        unsigned char c = (unsigned char)s[k];
        size_t end;
        if (t.kind == tok_byte ? c != t.byte
                               : c == '/' || (t.kind == tok_class && !scan_class(p.text, p.n, i, c, &end, &known)))
            return false;
        i = t.next;
    }
    return true;
}

// Whether p matches the n bytes at s whole, or for dirs any part of them
// that ends before a /. The plain bytes it begins with must begin them,
// and those it ends with end them, and its longest run of them must be
// among them: most patterns fail those tests at the cost of a comparison.
// A pattern of a head, a * and bytes, such as *.[pP][nN][gG], needs no
// more than its bytes tried.
static bool matches(const pattern &p, const char *s, size_t n, bool dirs)
{
    if (p.head > 0 && (n < p.head || s[0] != p.text[0] || memcmp(s, p.text, p.head) != 0))
        return false;
    if (p.head == p.n)
        return n == p.n || (dirs && s[p.n] == '/');
    if (!dirs) {
        if (p.tail > 0 && (n < p.tail || s[n - 1] != p.text[p.n - 1] ||
                           memcmp(s + n - p.tail, p.text + p.n - p.tail, p.tail) != 0))
            return false;
        if (n < p.ones_n || !ones_fit(p, s + n - p.ones_n))
            return false;
        if (p.star == p.n)
            return n == p.ones_n;
        if (p.star != SIZE_MAX)
            return n >= p.head + p.ones_n && memchr(s + p.head, '/', n - p.head - p.ones_n) == nullptr;
    }
    if (p.inner_n > 0 && !holds(s, n, p.text + p.inner, p.inner_n))
        return false;
    return run(p, s, n, dirs);
}

bool pattern_matches_file(const pattern &p, const char *path, size_t n, size_t name)
{
    if (p.dir_only)
        return false;
    if (!p.anchored)
        return matches(p, path + name, n - name, false);
    return matches(p, path, n, false);
}

bool pattern_matches_dirs(const pattern &p, const char *dir, size_t n)
{
    if (p.anchored)
        return matches(p, dir, n, true);
    // A pattern with no / is a name, which any directory's may be.
    for (size_t from = 0, to; from < n; from = to + 1) {
        to = from;
        while (to < n && dir[to] != '/')
            to++;
        if (matches(p, dir + from, to - from, false))
            return true;
    }
    return false;
}
