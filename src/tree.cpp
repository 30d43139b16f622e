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

#ifndef PATH_MAX
#define PATH_MAX 4096
#endif

static const char version[] = "0.8 (16 June 2011)";

static const char help[] =
    "Checks that every PNG file in the paths given is within a pixel limit.\n"
    "Usage: dimgate-tree [-123456ht] [--] path...\n"
    "\n"
    "Options:\n"
    "   -1  1024 pixels limit\n"
    "   -2  2048 pixels limit\n"
    "   -3  3072 pixels limit\n"
    "   -4  4096 pixels limit (the default)\n"
    "   -5  5120 pixels limit\n"
    "   -6  6144 pixels limit\n"
    "   -h  print this help\n"
    "   -t  end each name with a tab, not \": \", for scripts\n"
    "\n"
    "A directory is walked for files named *.png in any case, without following\n"
    "symbolic links; any other path is checked whatever its name. Each file over\n"
    "the limit or that cannot be judged gets one line: NAME: WHY.\n"
    "Exit status: 0 if every file is within the limit, 1 if not, 2 on a usage error.\n";

static int32_t pass = 4096;

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

static int usage_error(const char *what, char option)
{
    const char shown[2] = {option, '\0'};
    fputs("error: ", stderr);
    fputs(what, stderr);
    put_escaped(stderr, shown);
    fputs("\n\n", stderr);
    usage(stderr);
    return 2;
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

// The head of the file being checked.
static unsigned char bytes[144];

// Judges a file by what the probe found in its head.
static void judge(png_fault fault, const png_head &head, const char *rest)
{
    const char *why = nullptr;

    if (fault == png_not_png)
        why = "not a PNG file";
    else if (head.length_cut)
        why = "ends within the first chunk's length";
    else if (fault == png_cut_type)
        why = "ends within the first chunk's type";
    else if (fault == png_cut_data)
        why = "ends within the first chunk's data";
    if (why != nullptr) {
        fail(rest);
        puts(why);
        return;
    }
    if (memcmp(head.type, "IHDR", 4) != 0) {
        fail(rest);
        fputs("first chunk is ", stdout);
        put_type(stdout, head.type, 4);
        fputs(", not IHDR\n", stdout);
        return;
    }
    // Bytes past the declared length read as zero: a short IHDR would pass
    // on sides it does not hold.
    if (head.length < 8) {
        fail(rest);
        printf("IHDR is %d bytes, too short for the width and height\n", (int)head.length);
        return;
    }
    uint64_t pixels = (uint64_t)head.width * head.height;
    if (pixels > (uint64_t)pass) {
        fail(rest);
        printf("%lu x %lu = %llu pixels, over the limit of %d\n", (unsigned long)head.width,
               (unsigned long)head.height, (unsigned long long)pixels, (int)pass);
    }
}

static bool png_name(const char *name)
{
    size_t n = strlen(name);
    return n >= 4 && strcasecmp(name + n - 4, ".png") == 0;
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
        if (!png_name(path + at->base))
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
            close(fd);
            png_head head;
            if (n < 0)
                fail_with(rest, "cannot be read", err);
            else
                judge(read_head_bytes(bytes, (size_t)n, &head), head, rest);
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
    png_head head;
    png_fault fault = n < 0 ? png_not_png : read_head_bytes(bytes, (size_t)n, &head);
    // A directory reads as an error, or on some systems as bytes that are
    // not a PNG file: only then is it worth a call to learn what it is.
    if (fault == png_not_png && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        walk(path);
        return;
    }
    close(fd);
    if (n < 0)
        fail_with("", "cannot be read", err);
    else
        judge(fault, head, "");
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
            if (*c >= '1' && *c <= '6') {
                pass = 1024 * (*c - '0');
            } else if (*c == 'h') {
                usage(stdout);
                return 0;
            } else if (*c == 't') {
                separator = "\t";
            } else {
                return usage_error("unknown option ", *c);
            }
        }
    }
    if (i == argc)
        return usage_error("no path given", '\0');

    for (; i < argc; i++)
        check_given(argv[i]);
    fflush(stdout);
    return failures > 0 ? 1 : 0;
}
