#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dimgate.h"
#include "formats/formats.h"

#ifndef PATH_MAX
#define PATH_MAX 4096
#endif

static const char version[] = "0.8 (16 June 2011)";

static const char help[] =
    "Checks that every image in the paths given is within the limits given.\n"
    "Usage: dimgate-tree [-123456ht] [-p pixels] [-s WxH] [-b bytes] [--] path...\n"
    "\n"
    "Options:\n"
    "   -1         1024 pixels limit\n"
    "   -2         2048 pixels limit\n"
    "   -3         3072 pixels limit\n"
    "   -4         4096 pixels limit\n"
    "   -5         5120 pixels limit\n"
    "   -6         6144 pixels limit\n"
    "   -p pixels  width times height at most pixels\n"
    "   -s WxH     width at most W and height at most H; Wx or xH bounds one side\n"
    "   -b bytes   the file's size at most bytes\n"
    "   -h         print this help\n"
    "   -t         end each name with a tab, not \": \", for scripts\n"
    "\n"
    "Every limit given applies; with none, the limit is 4096 pixels. Of -1 to -6\n"
    "and -p, the last wins. A value is a decimal number of at least 1, with no\n"
    "suffix, in the same argument or the next.\n"
    "\n"
    "Images are PNG, JPEG, GIF, WebP, AVIF, HEIF, BMP, ICO or TIFF files, known\n"
    "by their content; an icon is over a limit when any of its images is.\n"
    "A directory is walked, without following symbolic links, for files named\n"
    "*.png, *.apng, *.jpg, *.jpeg, *.jpe, *.jfif, *.gif, *.webp, *.avif, *.heic,\n"
    "*.heif, *.hif, *.bmp, *.dib, *.ico, *.cur, *.tif or *.tiff in any case; any\n"
    "other path is checked whatever its name. Each file over a limit or that\n"
    "cannot be judged gets one line: NAME: WHY.\n"
    "Exit status: 0 if every file is within the limits, 1 if not, 2 on a usage error.\n";

// The limits, 0 where none is set: a value given is at least 1. With no
// limit given at all, the pixel limit is 4096.
static uint64_t pixel_limit, width_limit, height_limit, byte_limit;
static const uint64_t default_pixel_limit = 4096;

// What comes between a name and why it fails. A name may hold ": ", but
// never a tab, which is escaped like every control byte: -t gives a line
// that a script can take apart.
static const char *separator = ": ";

// Files over the limit or that cannot be judged, and walks cut short: the
// exit status comes from this alone.
static unsigned long failures;

// A name is shown as the path given, then the rest of the path the walk
// found: the walk itself starts from "PATH/.", so that a link given as
// PATH is followed and every C library shows the same names.
static const char *given;
static size_t skip;

static void usage(FILE *stream)
{
    fprintf(stream, "dimgate-tree, version %s by Quorvane\n", version);
    fputs(help, stream);
    fflush(stream);
}

// Ends a usage error's line, with the help after it.
static int usage_end()
{
    fputs("\n\n", stderr);
    usage(stderr);
    return 2;
}

static int usage_error(const char *what, char option)
{
    const char shown[2] = {option, '\0'};
    fputs("error: ", stderr);
    fputs(what, stderr);
    put_escaped(stderr, shown);
    return usage_end();
}

// A limit option's value that cannot be taken: missing when value is null.
static int value_error(char option, const char *value, const char *why)
{
    fprintf(stderr, "error: option -%c", option);
    if (value == nullptr) {
        fputs(" needs a value", stderr);
    } else {
        fputs(": \"", stderr);
        put_escaped(stderr, value);
        fputs("\" ", stderr);
        fputs(why, stderr);
    }
    return usage_end();
}

enum count_fault { count_ok, count_bad, count_too_large };

// Reads the n bytes at text as a decimal number of at least 1: digits
// alone, with no sign, blank or suffix, that 64 bits hold.
static count_fault read_count(const char *text, size_t n, uint64_t *count)
{
    uint64_t v = 0;
    bool too_large = false;

    if (n == 0)
        return count_bad;
    for (size_t k = 0; k < n; k++) {
        if (text[k] < '0' || text[k] > '9')
            return count_bad;
        unsigned digit = (unsigned)(text[k] - '0');
        if (v > (UINT64_MAX - digit) / 10)
            too_large = true;
        else
            v = v * 10 + digit;
    }
    if (too_large)
        return count_too_large;
    if (v == 0)
        return count_bad;
    *count = v;
    return count_ok;
}

// A side left out is not bounded.
static count_fault read_side(const char *text, size_t n, uint64_t *side)
{
    return n == 0 ? count_ok : read_count(text, n, side);
}

// Sets the limit that option names from its value, or says why it cannot
// and returns 2.
static int set_limit(char option, const char *value)
{
    uint64_t v = 0, h = 0;
    count_fault fault;

    if (option == 's') {
        const char *x = strchr(value, 'x');
        fault = x == nullptr || strcmp(value, "x") == 0 ? count_bad
                                                        : read_side(value, (size_t)(x - value), &v);
        if (fault == count_ok)
            fault = read_side(x + 1, strlen(x + 1), &h);
    } else {
        fault = read_count(value, strlen(value), &v);
    }
    if (fault == count_bad)
        return value_error(option, value,
                           option == 's' ? "is not WIDTHxHEIGHT, WIDTHx or xHEIGHT, with sides of at least 1"
                                         : "is not a number of at least 1");
    if (fault == count_too_large)
        return value_error(option, value, "is too large; the most is 18446744073709551615");
    switch (option) {
    case 'p': pixel_limit = v; break;
    case 'b': byte_limit = v; break;
    default:
        width_limit = v;
        height_limit = h;
    }
    return 0;
}

// Starts the line of a file that fails the gate; the caller ends it.
static void fail(const char *rest)
{
    failures++;
    put_escaped(stdout, given);
    put_escaped(stdout, rest);
    fputs(separator, stdout);
}

static void fail_with(const char *rest, const char *what, int err)
{
    fail(rest);
    printf("%s: %s\n", what, strerror(err));
}

// Reads from fd into to until want bytes or the end of the file have
// come, and returns how many came, or -1 after a read error.
static ssize_t read_bytes(int fd, unsigned char *to, size_t want)
{
    size_t got = 0;
    while (got < want) {
        ssize_t n = read(fd, to + got, want - got);
        if (n == 0)
            break;
        if (n < 0 && errno != EINTR)
            return -1;
        if (n > 0)
            got += (size_t)n;
    }
    return (ssize_t)got;
}

// The first page of the file being checked.
static unsigned char bytes[image_page];

// What the readers found in it.
static image_sizes sizes;

// The file being checked, for the readers that read past the page.
struct open_file {
    int fd;
    int err;   // why a read failed
};

static long read_at(void *file, uint64_t offset, unsigned char *to, size_t n)
{
    open_file *f = (open_file *)file;
    // A regular file's read comes up short only at its end, so one read
    // serves: the readers take a short window as the end.
    ssize_t got;
    do
        got = pread(f->fd, to, n, (off_t)offset);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        f->err = errno;
    return (long)got;
}

// Whether an image of width by height breaks a limit on its sides or
// pixels.
static bool over_sides(const image_size &s)
{
    uint64_t pixels = (uint64_t)s.width * s.height;
    return (pixel_limit != 0 && pixels > pixel_limit) || (width_limit != 0 && s.width > width_limit) ||
           (height_limit != 0 && s.height > height_limit);
}

// Writes "W x H", then the pixels and the bytes where they break their
// limits, then every limit broken, as one line; nothing when none is.
// size is -1 when it is not known. Of an icon's images, the line names
// the largest that breaks a limit.
static void measure(off_t size, const char *rest)
{
    const image_size *shown = nullptr;
    bool shown_over = false;
    bool over_bytes = byte_limit != 0 && size >= 0 && (uint64_t)size > byte_limit;
    // An image over a limit of its own outranks one that only the file's
    // bytes put over; of two alike, the larger is shown.
    for (size_t k = 0; k < sizes.count; k++) {
        const image_size &s = sizes.at[k];
        bool over = over_sides(s);
        if (!over && !over_bytes)
            continue;
        if (shown == nullptr || over > shown_over ||
            (over == shown_over && (uint64_t)s.width * s.height > (uint64_t)shown->width * shown->height)) {
            shown = &s;
            shown_over = over;
        }
    }
    if (shown == nullptr)
        return;
    uint32_t width = shown->width, height = shown->height;
    // Both sides are 32-bit, so their product fits in 64 bits.
    uint64_t pixels = (uint64_t)width * height;
    bool over_pixels = pixel_limit != 0 && pixels > pixel_limit;
    const struct {
        bool over;
        const char *name;
        uint64_t limit;
    } limits[] = {
        {over_pixels, "the limit of", pixel_limit},
        {width_limit != 0 && width > width_limit, "the width limit of", width_limit},
        {height_limit != 0 && height > height_limit, "the height limit of", height_limit},
        {over_bytes, "the byte limit of", byte_limit},
    };
    int broken = 0;

    for (const auto &l : limits)
        broken += l.over;
    fail(rest);
    printf("%lu x %lu", (unsigned long)width, (unsigned long)height);
    if (over_pixels)
        printf(" = %llu pixels", (unsigned long long)pixels);
    if (over_bytes)
        printf(", %lld bytes", (long long)size);
    fputs(", over ", stdout);
    for (const auto &l : limits) {
        if (l.over) {
            printf("%s %llu", l.name, (unsigned long long)l.limit);
            if (--broken > 0)
                fputs(broken == 1 ? " and " : ", ", stdout);
        }
    }
    putchar('\n');
}

static const char unknown[] = "not a PNG, JPEG, GIF, WebP, AVIF, HEIF, BMP, ICO or TIFF file";

// Reads the sizes of the image whose first n bytes are in bytes, reading
// on from fd where its format needs more. Returns why there are none:
// unknown when no format takes the bytes, image_read_failed with *err set
// when a read failed.
static const char *read_sizes(int fd, size_t n, int *err)
{
    open_file file = {fd, 0};
    image_input in = {bytes, n, read_at, &file};
    const char *why = nullptr;

    if (read_image(in, &sizes, &why) == nullptr)
        return unknown;
    *err = file.err;
    return why;
}

// Judges a file by what read_sizes() said of it and by its size in
// bytes, -1 when that is not known.
static void judge(const char *why, int err, const char *rest, off_t size)
{
    if (why == image_read_failed) {
        fail_with(rest, "cannot be read", err);
        return;
    }
    if (why != nullptr) {
        fail(rest);
        puts(why);
        return;
    }
    // A FIFO or a device has no size to hold to the limit.
    if (byte_limit != 0 && size < 0) {
        fail(rest);
        puts("not a regular file, so its size is unknown");
        return;
    }
    measure(size, rest);
}

// The names a walk reads, in any case.
static bool image_name(const char *name)
{
    static const char *const suffixes[] = {
        ".png", ".apng", ".jpg", ".jpeg", ".jpe", ".jfif", ".gif", ".webp", ".avif",
        ".heic", ".heif", ".hif", ".bmp", ".dib", ".ico", ".cur", ".tif", ".tiff",
    };
    const char *dot = strrchr(name, '.');
    if (dot == nullptr)
        return false;
    for (const char *suffix : suffixes)
        if (strcasecmp(dot, suffix) == 0)
            return true;
    return false;
}

static int walk_error;

static int visit(const char *path, const struct stat *st, int kind, struct FTW *at)
{
    int err = errno;
    const char *rest = at->level == 0 ? "" : path + skip;

    // Some C libraries stop the walk at a path this long on their own, and
    // no call could open it: stop it everywhere, and say so.
    if (strlen(path) >= PATH_MAX) {
        walk_error = ENAMETOOLONG;
        return 1;
    }
    switch (kind) {
    case FTW_F:
        if (!image_name(path + at->base))
            return 0;
        // Only a regular file is opened, and without waiting: a FIFO or a
        // device swapped in since the walk saw it cannot hang the run.
        if (!S_ISREG(st->st_mode)) {
            fail(rest);
            puts("not a regular file");
            return 0;
        }
        {
            int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
            if (fd < 0) {
                fail_with(rest, "cannot be opened", errno);
                return 0;
            }
            // The size bounds the reads, so that a file shorter than its
            // head costs one read too; a size of 0 may be a file that the
            // system makes up as it is read.
            off_t size = st->st_size;
            ssize_t n = read_bytes(fd, bytes, size > 0 && size < (off_t)sizeof bytes ? (size_t)size
                                                                                    : sizeof bytes);
            int err = errno;
            const char *why = n < 0 ? image_read_failed : read_sizes(fd, (size_t)n, &err);
            close(fd);
            judge(why, err, rest, size);
        }
        return 0;
    case FTW_D:
        return 0;
    case FTW_DNR:
        fail_with(rest, "directory cannot be read", err);
        return 0;
    case FTW_NS:
        // It may be a file of the gate's or a directory full of them.
        fail_with(rest, "cannot be examined", err);
        return 0;
    case FTW_SL:
    case FTW_SLN:
        // A link is checked where it points, when that is in the tree.
        return 0;
    default:
        fail_with(rest, "cannot be examined", err);
        return 0;
    }
}

static void walk(const char *path)
{
    static char start[PATH_MAX];
    size_t n = strlen(path);
    bool slash = n > 0 && path[n - 1] == '/';

    if (n + 3 > sizeof start) {
        fail_with("", "walk stopped", ENAMETOOLONG);
        return;
    }
    memcpy(start, path, n);
    memcpy(start + n, slash ? "." : "/.", slash ? 2 : 3);
    skip = strlen(start) + (slash ? 1 : 0);
    walk_error = 0;
    // A directory at depth k has a path of 2k bytes at least, so no walk
    // that stays within PATH_MAX runs out of this many open directories.
    int r = nftw(start, visit, PATH_MAX / 2, FTW_PHYS);
    if (r != 0)
        fail_with("", "walk stopped", r > 0 ? walk_error : errno);
}

// A path given is checked whatever its name, opened as dimgate opens it:
// a link is followed, and a FIFO waits for its writer and is read up to
// the head's size or its end.
static void check_given(const char *path)
{
    struct stat st;

    given = path;
    int fd = open(path, O_RDONLY | O_NOCTTY);
    if (fd < 0) {
        int err = errno;
        // A directory that cannot be read is the walk's to report.
        if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
            walk(path);
        else
            fail_with("", "cannot be opened", err);
        return;
    }
    ssize_t n = read_bytes(fd, bytes, sizeof bytes);
    int err = errno;
    const char *why = n < 0 ? image_read_failed : read_sizes(fd, (size_t)n, &err);
    // A directory reads as an error, or on some systems as bytes of no
    // format: only then is it worth a call to learn what it is, unless the
    // byte limit needs the file's size.
    bool examined = false;
    int examine_err = 0;
    bool unread = n < 0 || why == unknown;
    if (unread || byte_limit != 0) {
        examined = fstat(fd, &st) == 0;
        examine_err = errno;
    }
    if (unread && examined && S_ISDIR(st.st_mode)) {
        close(fd);
        walk(path);
        return;
    }
    close(fd);
    if (why != image_read_failed && byte_limit != 0 && !examined)
        fail_with("", "cannot be examined", examine_err);
    else
        judge(why, err, "", examined && S_ISREG(st.st_mode) ? st.st_size : -1);
}

int main(int argc, char **argv)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
        if (strcmp(argv[i], "--") == 0) {
            i++;
            break;
        }
        for (const char *c = argv[i] + 1; *c != '\0'; c++) {
            switch (*c) {
            case '1': case '2': case '3': case '4': case '5': case '6':
                pixel_limit = 1024 * (uint64_t)(*c - '0');
                break;
            case 'b': case 'p': case 's': {
                // The value is the rest of the argument, or the next one
                // whatever it holds, as getopt takes it.
                const char *value = c[1] != '\0' ? c + 1 : i + 1 < argc ? argv[++i] : nullptr;
                if (value == nullptr)
                    return value_error(*c, nullptr, nullptr);
                if (set_limit(*c, value) != 0)
                    return 2;
                // The value, here or in the next argument, ends this one.
                c = strchr(c, '\0') - 1;
                break;
            }
            case 'h':
                usage(stdout);
                return 0;
            case 't':
                separator = "\t";
                break;
            default:
                return usage_error("unknown option ", *c);
            }
        }
    }
    if (i == argc)
        return usage_error("no path given", '\0');
    if (pixel_limit == 0 && width_limit == 0 && height_limit == 0 && byte_limit == 0)
        pixel_limit = default_pixel_limit;

    for (; i < argc; i++)
        check_given(argv[i]);
    fflush(stdout);
    return failures > 0 ? 1 : 0;
}
