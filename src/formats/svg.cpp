#include <string.h>

#include "readers.h"
#include "view.h"

// SVG is text: a scanner walks it a byte at a time, past what an XML file
// may put before its first element, to that element's start tag, and
// takes the size from its own attributes alone.

// The root's start tag ends within the first 64 KiB: an Illustrator
// DOCTYPE of a few KB, or a long comment, comes well within it. Past the
// page, a page at a time.
static const uint64_t svg_most = 65536;
static const unsigned svg_reads = 16;
static const char svg_bound[] = "SVG has no whole root start tag within its first 64 KiB";

// The longest word take() is given, which it may take back.
static const uint64_t svg_back = 16;

// The file's bytes, one at a time: the page, then a page at a time past it.
struct cursor {
    const image_input *in;
    image_sizes *out;
    uint64_t at;                     // the next byte
    unsigned char window[image_page];
    uint64_t window_at;
    size_t window_n;
    bool ended;                      // the file ended within the window
    const char *stop;                // why no byte came: the end when null
};

// The bytes at hand from c->at, *n of them and at least one, or nullptr
// when there is none (c->stop says why).
static const unsigned char *at_hand(cursor *c, size_t *n)
{
    uint64_t at = c->at, most = svg_most;
    const unsigned char *p = nullptr;
    if (at >= svg_most) {
        c->stop = svg_bound;
        return nullptr;
    }
    if (at < c->in->n) {
        p = c->in->page + at;
        most = c->in->n;
    } else if (at >= c->window_at && at < c->window_at + c->window_n) {
        p = c->window + (at - c->window_at);
        most = c->window_at + c->window_n;
    } else if (c->in->n < image_page || (c->ended && at >= c->window_at + c->window_n) || c->stop != nullptr) {
        // The page is the whole file when it came up short.
        return nullptr;
    } else if (c->out->reads >= svg_reads) {
        c->stop = svg_bound;
        return nullptr;
    } else {
        // A window starts a few bytes back, so that taking back the bytes
        // of a word that did not match (take()) never needs a read again.
        uint64_t from = at - c->in->n < svg_back ? c->in->n : at - svg_back;
        c->out->reads++;
        long got = c->in->read_at(c->in->file, from, c->window, sizeof c->window);
        if (got < 0) {
            c->stop = image_read_failed;
            return nullptr;
        }
        c->window_at = from;
        c->window_n = (size_t)got;
        c->ended = (size_t)got < sizeof c->window;
        if (at >= from + c->window_n)
            return nullptr;
        p = c->window + (at - from);
        most = from + c->window_n;
    }
    if (most > svg_most)
        most = svg_most;
    *n = (size_t)(most - at);
    if (most > c->out->reach)
        c->out->reach = most;
    return p;
}

// The byte at c->at, or -1 when there is none.
static int peek(cursor *c)
{
    size_t n;
    const unsigned char *p = at_hand(c, &n);
    return p != nullptr ? *p : -1;
}

static int next(cursor *c)
{
    int b = peek(c);
    if (b >= 0)
        c->at++;
    return b;
}

static bool space(int b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n'; }

static void skip_space(cursor *c)
{
    size_t n, k;
    for (const unsigned char *p; (p = at_hand(c, &n)) != nullptr; c->at += n) {
        for (k = 0; k < n && space(p[k]); k++)
            ;
        if (k < n) {
            c->at += k;
            return;
        }
    }
}

// Whether the bytes that come are text, which are then taken.
static bool take(cursor *c, const char *text)
{
    uint64_t from = c->at;
    for (; *text != '\0'; text++) {
        if (next(c) != (unsigned char)*text) {
            c->at = from;
            return false;
        }
    }
    return true;
}

// The last bytes taken, for the words that end what is skipped.
static uint32_t word(const char *text)
{
    uint32_t w = 0;
    for (; *text != '\0'; text++)
        w = w << 8 | (unsigned char)*text;
    return w;
}

// Takes the bytes up to and past end, of two or three bytes: a
// comment's or an instruction's. They may be many, so its last byte is
// sought with memchr() in the bytes at hand, and only there are the
// bytes before it compared.
static bool skip_past(cursor *c, const char *end)
{
    size_t m = strlen(end), n;
    unsigned char final = (unsigned char)end[m - 1];
    uint32_t want = word(end), last = 0, mask = m == 2 ? 0xffff : 0xffffff;
    for (const unsigned char *p; (p = at_hand(c, &n)) != nullptr; c->at += n) {
        for (size_t k = 0; k < n;) {
            const unsigned char *hit = (const unsigned char *)memchr(p + k, final, n - k);
            size_t upto = hit != nullptr ? (size_t)(hit - p) + 1 : n;
            // The last bytes up to there, from these and those before.
            for (size_t j = upto > k + 3 ? upto - 3 : k; j < upto; j++)
                last = (last << 8 | p[j]) & mask;
            if (hit != nullptr && last == want) {
                c->at += upto;
                return true;
            }
            k = upto;
        }
    }
    return false;
}

// Takes the bytes up to and past the byte b: a quoted value's end.
static bool skip_to(cursor *c, unsigned char b)
{
    size_t n;
    for (const unsigned char *p; (p = at_hand(c, &n)) != nullptr; c->at += n) {
        const unsigned char *hit = (const unsigned char *)memchr(p, b, n);
        if (hit != nullptr) {
            c->at += (size_t)(hit - p) + 1;
            return true;
        }
    }
    return false;
}

// Takes a DOCTYPE, whose internal subset in [ ] may hold declarations with
// > in their quoted values, and comments. Illustrator writes a few KB of
// them, so the bytes that matter are sought, and those between passed.
static bool skip_doctype(cursor *c)
{
    static bool stops[256], ready;
    for (const char *b = "\"'-[]>"; !ready && *b != '\0'; b++)
        stops[(unsigned char)*b] = true;
    ready = true;
    bool subset = false;
    uint32_t before = 0;   // the last bytes of the bytes at hand before
    size_t n;
    for (const unsigned char *p; (p = at_hand(c, &n)) != nullptr;) {
        size_t k = 0;
        while (k < n && !stops[p[k]])
            k++;
        if (k == n) {
            for (size_t j = n > 3 ? n - 3 : 0; j < n; j++)
                before = before << 8 | p[j];
            c->at += n;
            continue;
        }
        unsigned char b = p[k];
        uint32_t last = before;
        for (size_t j = k > 3 ? k - 3 : 0; j <= k; j++)
            last = last << 8 | p[j];
        c->at += k + 1;
        before = last;
        if (b == '[' || b == ']') {
            subset = b == '[';
        } else if (b == '>') {
            if (!subset)
                return true;
        } else if (b == '"' || b == '\'') {
            before = 0;
            if (!skip_to(c, b))
                return false;
        } else if (subset && last == word("<!--")) {
            // A comment, whose own -- does not end it.
            before = 0;
            if (!skip_past(c, "-->"))
                return false;
        }
    }
    return false;
}

// A name: up to a blank, =, / or >; its first bytes, at most room - 1,
// in name, and whether it was longer.
static bool read_name(cursor *c, char *name, size_t room)
{
    size_t n = 0, got, k;
    bool longer = false;
    for (const unsigned char *p; (p = at_hand(c, &got)) != nullptr; c->at += got) {
        for (k = 0; k < got && !space(p[k]) && p[k] != '=' && p[k] != '/' && p[k] != '>'; k++) {
            if (n + 1 < room)
                name[n++] = (char)p[k];
            else
                longer = true;
        }
        if (k < got) {
            c->at += k;
            break;
        }
    }
    name[n] = '\0';
    return !longer;
}

// An attribute's value, kept when short enough to be a length or a
// viewBox: a longer one is none.
struct value {
    char text[64];
    size_t n;
    bool given, longer;
};

// Takes a value in " or ' (or, leniently, up to a blank or >) into v: a
// span at a time, for a value may be long.
static bool read_value(cursor *c, value *v)
{
    int quote = peek(c);
    if (quote == '"' || quote == '\'')
        c->at++;
    else
        quote = -1;
    v->given = true;
    v->n = 0;
    v->longer = false;
    size_t n;
    for (const unsigned char *p; (p = at_hand(c, &n)) != nullptr; c->at += n) {
        size_t k = 0;
        while (k < n && (quote >= 0 ? p[k] != quote : !space(p[k]) && p[k] != '>'))
            k++;
        size_t keep = k < sizeof v->text - 1 - v->n ? k : sizeof v->text - 1 - v->n;
        memcpy(v->text + v->n, p, keep);
        v->n += keep;
        v->longer = v->longer || keep < k;
        if (k < n) {
            c->at += k + (quote >= 0);
            v->text[v->n] = '\0';
            return true;
        }
    }
    return false;
}

// A number as SVG writes one: a sign, digits with an optional fraction,
// an optional exponent. Returns how many bytes of s it took, 0 for none.
static size_t read_number(const char *s, size_t n, double *value)
{
    size_t k = 0, digits = 0;
    double v = 0;
    int scale = 0, exponent = 0;
    bool negative = k < n && s[k] == '-';
    if (k < n && (s[k] == '-' || s[k] == '+'))
        k++;
    for (; k < n && s[k] >= '0' && s[k] <= '9'; k++, digits++)
        v = v * 10 + (s[k] - '0');
    if (k < n && s[k] == '.')
        for (k++; k < n && s[k] >= '0' && s[k] <= '9'; k++, digits++, scale--)
            v = v * 10 + (s[k] - '0');
    if (digits == 0)
        return 0;
    if (k + 1 < n && (s[k] == 'e' || s[k] == 'E')) {
        size_t e = k + 1;
        bool below = s[e] == '-';
        if (s[e] == '-' || s[e] == '+')
            e++;
        if (e < n && s[e] >= '0' && s[e] <= '9') {
            for (; e < n && s[e] >= '0' && s[e] <= '9'; e++)
                if (exponent < 1000)
                    exponent = exponent * 10 + (s[e] - '0');
            scale += below ? -exponent : exponent;
            k = e;
        }
    }
    // Past these, a side is 0 or far past any size a file can give.
    if (scale > 300)
        v = v > 0 ? 1e300 : 0;
    for (; scale > 0 && v < 1e300; scale--)
        v *= 10;
    if (scale < -400)
        v = 0;
    for (; scale < 0 && v > 0; scale++)
        v /= 10;
    *value = negative ? -v : v;
    return k;
}

enum length_kind { length_absent, length_given, length_bad };

// The lengths in CSS pixels of each unit: 96 to the inch, and the initial
// font size of 16 px for em (ex its half), as browsers take them.
static const struct {
    const char *unit;
    double pixels;
} units[] = {
    {"", 1},          {"px", 1},        {"in", 96},       {"cm", 96 / 2.54}, {"mm", 96 / 25.4},
    {"q", 96 / 101.6}, {"pt", 96.0 / 72}, {"pc", 16},       {"em", 16},        {"ex", 8},
};

// Units relative to what holds the image: for the gate, no size.
static const char *const relative[] = {"%", "ch", "rem", "vw", "vh", "vmin", "vmax", "vi", "vb", "lh"};

static bool same_unit(const char *s, size_t n, const char *unit)
{
    if (strlen(unit) != n)
        return false;
    for (size_t k = 0; k < n; k++) {
        char c = s[k] >= 'A' && s[k] <= 'Z' ? (char)(s[k] - 'A' + 'a') : s[k];
        if (c != unit[k])
            return false;
    }
    return true;
}

// Reads a width or height into *pixels.
static length_kind read_length(const value &v, double *pixels)
{
    if (!v.given)
        return length_absent;
    if (v.longer)
        return length_bad;
    size_t from = 0, to = v.n;
    while (from < to && space(v.text[from]))
        from++;
    while (to > from && space(v.text[to - 1]))
        to--;
    if (from == to || same_unit(v.text + from, to - from, "auto"))
        return length_absent;
    double number;
    size_t used = read_number(v.text + from, to - from, &number);
    if (used == 0)
        return length_bad;
    from += used;
    for (const char *unit : relative)
        if (same_unit(v.text + from, to - from, unit))
            return length_absent;
    for (const auto &u : units) {
        if (same_unit(v.text + from, to - from, u.unit)) {
            *pixels = number * u.pixels;
            return length_given;
        }
    }
    return length_bad;
}

// Reads a viewBox's four numbers, apart by blanks and at most one comma,
// into its width and height; false when they are not there or not both
// positive.
static bool read_view_box(const value &v, double *width, double *height)
{
    double numbers[4];
    size_t k = 0;
    if (!v.given || v.longer)
        return false;
    for (int i = 0; i < 4; i++) {
        bool comma = false;
        while (k < v.n && (space(v.text[k]) || (i > 0 && !comma && v.text[k] == ','))) {
            comma = comma || v.text[k] == ',';
            k++;
        }
        size_t used = read_number(v.text + k, v.n - k, &numbers[i]);
        if (used == 0)
            return false;
        k += used;
    }
    while (k < v.n && space(v.text[k]))
        k++;
    *width = numbers[2];
    *height = numbers[3];
    return k == v.n && *width > 0 && *height > 0;
}

// "SVG WHAT: "VALUE"", the value written as names are, shortened to fit.
static const char *says(image_sizes *out, const char *what, const value &v)
{
    static const char hex[] = "0123456789abcdef";
    size_t room = sizeof out->why - 5, n = strlen(what);
    memcpy(out->why, what, n);
    out->why[n++] = '"';
    for (size_t k = 0; k < v.n; k++) {
        unsigned char b = (unsigned char)v.text[k];
        bool control = b < 0x20 || b == 0x7f;
        if (n + (control ? 4 : 1) > room || (k + 1 == v.n && v.longer)) {
            memcpy(out->why + n, "...", 3);
            n += 3;
            break;
        }
        if (control) {
            out->why[n++] = '\\';
            out->why[n++] = 'x';
            out->why[n++] = hex[b >> 4];
            out->why[n++] = hex[b & 15];
        } else {
            out->why[n++] = (char)b;
        }
    }
    out->why[n++] = '"';
    out->why[n] = '\0';
    return out->why;
}

// A side in whole pixels: to 1/1000 of a pixel, then up to the next
// whole one, so that 511.99997 px is 512 and 512.3 is 513.
static bool whole(double pixels, uint32_t *side)
{
    // Below 2^32 the thousandths fit in 64 bits; the whole side may still
    // round up past 2^32 - 1.
    if (!(pixels < 4294967296.0))
        return false;
    uint64_t thousandths = (uint64_t)(pixels * 1000 + 0.5), up = (thousandths + 999) / 1000;
    if (up > UINT32_MAX)
        return false;
    *side = (uint32_t)up;
    return true;
}

// Sizes the root from its width and height, or its viewBox.
static const char *size(image_sizes *out, const value &width, const value &height, const value &view_box)
{
    double w = 0, h = 0, box_w = 0, box_h = 0;
    length_kind wk = read_length(width, &w), hk = read_length(height, &h);
    bool box = read_view_box(view_box, &box_w, &box_h);

    if (wk == length_bad)
        return says(out, "SVG width is not a length: ", width);
    if (hk == length_bad)
        return says(out, "SVG height is not a length: ", height);
    if ((wk == length_given && w <= 0))
        return says(out, "SVG width is not above 0: ", width);
    if ((hk == length_given && h <= 0))
        return says(out, "SVG height is not above 0: ", height);
    if (wk == length_absent && hk == length_absent) {
        if (!box)
            return "SVG has no width, height or viewBox";
        w = box_w;
        h = box_h;
    } else if (wk == length_absent) {
        if (!box)
            return "SVG has a height but no width or viewBox";
        w = h * box_w / box_h;
    } else if (hk == length_absent) {
        if (!box)
            return "SVG has a width but no height or viewBox";
        h = w * box_h / box_w;
    }
    uint32_t sw, sh;
    if (!whole(w, &sw) || !whole(h, &sh))
        return "SVG is too large: a side past 4294967295 pixels";
    found(out, sw, sh);
    return nullptr;
}

const char *read_svg(const image_input &in, image_sizes *out)
{
    static cursor c;
    c.in = &in;
    c.out = out;
    c.at = 0;
    c.window_at = c.window_n = 0;
    c.ended = false;
    c.stop = nullptr;

    take(&c, "\xef\xbb\xbf");
    // What an XML file may put before its first element; a file that ends
    // in it, or holds anything else, is of no format.
    for (;;) {
        skip_space(&c);
        if (!take(&c, "<"))
            return c.stop != nullptr ? c.stop : image_not_this;
        bool whole_part = true;
        if (take(&c, "?"))
            whole_part = skip_past(&c, "?>");
        else if (take(&c, "!--"))
            whole_part = skip_past(&c, "-->");
        else if (take(&c, "!DOCTYPE"))
            whole_part = skip_doctype(&c);
        else
            break;
        if (!whole_part)
            return c.stop != nullptr ? c.stop : image_not_this;
    }

    // The first element: svg, with a prefix or none.
    char name[64];
    if (!read_name(&c, name, sizeof name))
        return image_not_this;
    size_t n = strlen(name);
    if (!(strcmp(name, "svg") == 0 || (n > 4 && strcmp(name + n - 4, ":svg") == 0)))
        return c.stop != nullptr ? c.stop : image_not_this;

    // Its attributes, up to the tag's end: a nested element's never count.
    value width = {}, height = {}, view_box = {};
    const char *cut = "SVG ends within its root start tag";
    for (;;) {
        skip_space(&c);
        int b = peek(&c);
        if (b < 0)
            return c.stop != nullptr ? c.stop : cut;
        if (b == '>' || b == '/')
            break;
        char attribute[16];
        bool fits = read_name(&c, attribute, sizeof attribute);
        if (attribute[0] == '\0') {
            c.at++;
            continue;
        }
        skip_space(&c);
        if (!take(&c, "="))
            continue;
        skip_space(&c);
        value v;
        if (!read_value(&c, &v))
            return c.stop != nullptr ? c.stop : cut;
        // Names are case-sensitive and have no prefix; the first of two
        // counts, as browsers take it.
        value *kept = !fits                             ? nullptr
                      : strcmp(attribute, "width") == 0   ? &width
                      : strcmp(attribute, "height") == 0  ? &height
                      : strcmp(attribute, "viewBox") == 0 ? &view_box
                                                          : nullptr;
        if (kept != nullptr && !kept->given)
            *kept = v;
        // The first of each counts, so once the size is known no later
        // attribute can change it: a start tag that goes on for long, as
        // a diagram's whose source is kept in an attribute, is not read on.
        double w, h;
        if (width.given && height.given &&
            (view_box.given || (read_length(width, &w) != length_absent && read_length(height, &h) != length_absent)))
            break;
    }
    return size(out, width, height, view_box);
}
