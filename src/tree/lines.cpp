#include "lines.h"

#include <stdio.h>
#include <string.h>

#include "../dimgate.h"
#include "rules.h"

const char *separator = ": ";
unsigned long long failures;

// Writes v in decimal: a tree may print a line a file, and a format costs
// more than the number.
static void put_number(uint64_t v)
{
    char digits[21], *at = digits + sizeof digits;
    *--at = '\0';
    do
        *--at = (char)('0' + v % 10);
    while ((v /= 10) != 0);
    fputs(at, stdout);
}

// Starts the line of a file that fails the gate; end() ends it.
static void start(const subject &who)
{
    failures++;
    put_escaped(stdout, who.given);
    put_escaped(stdout, who.rest);
    fputs(separator, stdout);
}

// Ends a line with the rule that applied, so that a person can find it.
static void end(const subject &who)
{
    if (who.rule != 0) {
        fputs(" (", stdout);
        put_escaped(stdout, rules_file);
        putchar(':');
        put_number(who.rule);
        putchar(')');
    }
    putchar('\n');
}

void fail_with(const subject &who, const char *what, int err)
{
    start(who);
    printf("%s: %s", what, strerror(err));
    end(who);
}

void fail_says(const subject &who, const char *why)
{
    start(who);
    fputs(why, stdout);
    end(who);
}

// The limits a line can name, in the order it names them, each with its
// verb: a verb is left out when the one before has it too.
enum broken_limit { pixels, width, height, bytes, min_width, min_height, aspect, broken_limits };

static const struct {
    const char *verb, *what;
} clauses[broken_limits] = {
    {"over", "the limit of"},         {"over", "the width limit of"},   {"over", "the height limit of"},
    {"over", "the byte limit of"},    {"under", "the width minimum of"}, {"under", "the height minimum of"},
    {"not", "the aspect"},
};

// The limits of its own that an image breaks, a bit for each.
static unsigned breaks(const image_size &s, const limits &lim)
{
    // Both sides are 32-bit, so their product fits in 64 bits.
    uint64_t w = s.width, h = s.height, area = w * h;
    unsigned broken = 0;
    broken |= (unsigned)(lim.pixels != 0 && area > lim.pixels) << pixels;
    broken |= (unsigned)(lim.width != 0 && w > lim.width) << width;
    broken |= (unsigned)(lim.height != 0 && h > lim.height) << height;
    broken |= (unsigned)(w < lim.min_width) << min_width;
    broken |= (unsigned)(h < lim.min_height) << min_height;
    // In lowest terms W:H, width x H = height x W holds just when the sides
    // are the same multiple of W and H: no product to overflow.
    if (lim.ratio_width != 0) {
        bool in = w % lim.ratio_width == 0 && h % lim.ratio_height == 0 &&
                  w / lim.ratio_width == h / lim.ratio_height;
        broken |= (unsigned)!in << aspect;
    }
    return broken;
}

static uint64_t area(const image_size &s) { return (uint64_t)s.width * s.height; }

// Writes "W x H", then the pixels and the bytes where they break their
// limits, then every limit broken, as one line; nothing when none is.
// size is -1 when it is not known. Of an icon's images, the line names
// the largest that breaks a limit.
static void measure(const subject &who, const limits &lim, const image_sizes &sizes, off_t size)
{
    const image_size *shown = nullptr;
    unsigned shown_breaks = 0;
    bool over_bytes = lim.bytes != 0 && size >= 0 && (uint64_t)size > lim.bytes;
    // An image that breaks a limit of its own outranks one that only the
    // file's bytes put over; of two alike, the larger is shown.
    for (size_t k = 0; k < sizes.count; k++) {
        const image_size &s = sizes.at[k];
        unsigned b = breaks(s, lim);
        if (b == 0 && !over_bytes)
            continue;
        if (shown == nullptr || (b != 0) > (shown_breaks != 0) ||
            ((b != 0) == (shown_breaks != 0) && area(s) > area(*shown))) {
            shown = &s;
            shown_breaks = b;
        }
    }
    if (shown == nullptr)
        return;
    unsigned broken = shown_breaks | (unsigned)over_bytes << bytes;
    const uint64_t values[broken_limits] = {lim.pixels, lim.width,      lim.height,      lim.bytes,
                                            lim.min_width, lim.min_height, lim.aspect_width};
    int left = 0;
    for (unsigned b = broken; b != 0; b >>= 1)
        left += b & 1;

    start(who);
    put_number(shown->width);
    fputs(" x ", stdout);
    put_number(shown->height);
    if (sizes.stored.width != 0) {
        fputs(" (stored ", stdout);
        put_number(sizes.stored.width);
        fputs(" x ", stdout);
        put_number(sizes.stored.height);
        putchar(')');
    }
    if (broken & 1u << pixels) {
        fputs(" = ", stdout);
        put_number(area(*shown));
        fputs(" pixels", stdout);
    }
    if (over_bytes) {
        fputs(", ", stdout);
        put_number((uint64_t)size);
        fputs(" bytes", stdout);
    }
    const char *verb = nullptr;
    for (int k = 0; k < broken_limits; k++) {
        if ((broken & 1u << k) == 0)
            continue;
        fputs(verb == nullptr || left > 1 ? ", " : " and ", stdout);
        left--;
        if (verb == nullptr || strcmp(verb, clauses[k].verb) != 0) {
            verb = clauses[k].verb;
            fputs(verb, stdout);
            putchar(' ');
        }
        fputs(clauses[k].what, stdout);
        putchar(' ');
        put_number(values[k]);
        if (k == aspect) {
            putchar(':');
            put_number(lim.aspect_height);
        }
    }
    end(who);
}

// Names the format and those that lim allows, in the help's words.
static void not_allowed(const subject &who, const char *format, const limits &lim)
{
    start(who);
    printf("%s, not one of the formats ", format);
    put_formats(stdout, lim.formats);
    end(who);
}

void judge(const subject &who, const limits &lim, const char *format, const char *why, int err,
           const image_sizes &sizes, off_t size)
{
    // A file of a format not allowed fails for that alone, whatever else
    // its reader found.
    if (format != nullptr && lim.formats != 0 && (lim.formats >> image_format_index(format) & 1) == 0) {
        not_allowed(who, format, lim);
        return;
    }
    if (why == image_read_failed) {
        fail_with(who, "cannot be read", err);
        return;
    }
    if (why != nullptr) {
        fail_says(who, why);
        return;
    }
    // A FIFO or a device has no size to hold to the limit.
    if (lim.bytes != 0 && size < 0) {
        fail_says(who, "not a regular file, so its size is unknown");
        return;
    }
    measure(who, lim, sizes, size);
}
