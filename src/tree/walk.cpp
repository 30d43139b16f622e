#include "walk.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../formats/formats.h"
#include "lines.h"
#include "rules.h"

#ifndef PATH_MAX
#define PATH_MAX 4096
#endif

ssize_t read_bytes(int fd, unsigned char *to, size_t want)
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

bool displayed;

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

static const char unknown[] = "not a PNG, JPEG, GIF, WebP, AVIF, HEIF, BMP, ICO, TIFF, SVG, JPEG XL, ICNS, "
                               "KTX, PSD, DDS, TGA, Netpbm, JPEG 2000, QOI, HDR or OpenEXR file";

// Reads the sizes of the image whose first n bytes are in bytes, reading
// on from fd where its format needs more, and sets *format to its
// format's name, nullptr when no format takes it. Returns why there are
// no sizes: unknown, or image_read_failed with *err set when a read
// failed.
static const char *read_sizes(int fd, const char *name, size_t n, int *err, const char **format)
{
    open_file file = {fd, 0};
    image_input in = {bytes, n, read_at, &file, name, displayed};
    const char *why = nullptr;

    *format = read_image(in, &sizes, &why);
    if (*format == nullptr)
        return unknown;
    *err = file.err;
    return why;
}

// Who the lines are about, and the limits for files that no rules line
// matches.
static subject who;
static const limits *command_line;

// With rules, the resolved path of the path given, or of the walk's start
// with the rest of the path of the file in it after it.
static char resolved[2 * PATH_MAX + 2];
static size_t resolved_n;

// The limits that the file whose resolved path is abs is held to, or
// nullptr when it is not checked; sets who's rule.
static const limits *limits_for(const char *abs)
{
    const char *path = rules_relative(abs);
    int rule = path != nullptr ? rules_find(path, strlen(path)) : -1;
    who.rule = 0;
    if (rule < 0)
        return command_line;
    who.rule = rules_line(rule);
    const limits &lim = rules_limits(rule);
    return limits_none(lim) ? nullptr : &lim;
}

// An ending of up to 4 bytes as one number, its first byte lowest.
static constexpr uint32_t key(const char *ending)
{
    uint32_t k = 0;
    for (size_t n = 0; n < 4 && ending[n] != '\0'; n++)
        k |= (uint32_t)(unsigned char)ending[n] << 8 * n;
    return k;
}

// The names a walk reads, in any case. Each ending is 3 or 4 bytes after
// the dot, so that one, lowered, is compared as a number: a walk asks
// this of every name it meets.
static bool image_name(const char *name)
{
    static constexpr uint32_t endings[] = {
        key("png"), key("apng"), key("jpg"), key("jpeg"), key("jpe"), key("jfif"), key("gif"),
        key("webp"), key("avif"), key("heic"), key("heif"), key("hif"), key("bmp"), key("dib"),
        key("ico"), key("cur"), key("tif"), key("tiff"), key("svg"), key("jxl"), key("icns"),
        key("ktx"), key("ktx2"), key("psd"), key("psb"), key("dds"), key("tga"), key("icb"),
        key("vda"), key("vst"), key("pbm"), key("pgm"), key("ppm"), key("pnm"), key("pam"),
        key("pfm"), key("jp2"), key("jpx"), key("jpf"), key("j2k"), key("j2c"), key("jpc"),
        key("qoi"), key("hdr"), key("exr"),
    };
    const char *dot = strrchr(name, '.');
    if (dot == nullptr)
        return false;
    uint32_t k = 0;
    for (size_t n = 0; dot[n + 1] != '\0'; n++) {
        unsigned char c = (unsigned char)dot[n + 1];
        if (n == 4)
            return false;
        k |= (uint32_t)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) << 8 * n;
    }
    for (uint32_t ending : endings)
        if (k == ending)
            return true;
    return false;
}

// A name is shown as the path given, then the rest of the path the walk
// found: the walk itself starts from "PATH/.", so that a link given as
// PATH is followed and every C library shows the same names.
static size_t skip;
static int walk_error;

static int visit(const char *path, const struct stat *st, int kind, struct FTW *at)
{
    int err = errno;
    who.rest = at->level == 0 ? "" : path + skip;
    who.rule = 0;

    // Some C libraries stop the walk at a path this long on their own, and
    // no call could open it: stop it everywhere, and say so.
    if (strlen(path) >= PATH_MAX) {
        walk_error = ENAMETOOLONG;
        return 1;
    }
    switch (kind) {
    case FTW_F: {
        if (!image_name(path + at->base))
            return 0;
        const limits *lim = command_line;
        if (rules_file != nullptr) {
            size_t n = strlen(who.rest);
            if (resolved_n + n >= sizeof resolved) {
                walk_error = ENAMETOOLONG;
                return 1;
            }
            memcpy(resolved + resolved_n, who.rest, n + 1);
            lim = limits_for(resolved);
        }
        if (lim == nullptr)
            return 0;
        // Only a regular file is opened, and without waiting: a FIFO or a
        // device swapped in since the walk saw it cannot hang the run.
        if (!S_ISREG(st->st_mode)) {
            fail_says(who, "not a regular file");
            return 0;
        }
        int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
        if (fd < 0) {
            fail_with(who, "cannot be opened", errno);
            return 0;
        }
        // The size bounds the reads, so that a file shorter than its head
        // costs one read too; a size of 0 may be a file that the system
        // makes up as it is read.
        off_t size = st->st_size;
        ssize_t n = read_bytes(fd, bytes, size > 0 && size < (off_t)sizeof bytes ? (size_t)size : sizeof bytes);
        const char *format = nullptr;
        err = errno;
        const char *why = n < 0 ? image_read_failed : read_sizes(fd, path, (size_t)n, &err, &format);
        close(fd);
        judge(who, *lim, format, why, err, sizes, size);
        return 0;
    }
    case FTW_D:
        return 0;
    case FTW_DNR:
        fail_with(who, "directory cannot be read", err);
        return 0;
    case FTW_NS:
        // It may be a file of the gate's or a directory full of them.
        fail_with(who, "cannot be examined", err);
        return 0;
    case FTW_SL:
    case FTW_SLN:
        // A link is checked where it points, when that is in the tree.
        return 0;
    default:
        fail_with(who, "cannot be examined", err);
        return 0;
    }
}

static void walk(const char *path)
{
    static char start[PATH_MAX];
    size_t n = strlen(path);
    bool slash = n > 0 && path[n - 1] == '/';

    if (n + 3 > sizeof start) {
        fail_with(who, "walk stopped", ENAMETOOLONG);
        return;
    }
    if (rules_file != nullptr) {
        if (realpath(path, resolved) == nullptr) {
            fail_with(who, "cannot be examined", errno);
            return;
        }
        // The rest of a path in the walk begins with its /.
        resolved_n = strcmp(resolved, "/") == 0 ? 0 : strlen(resolved);
    }
    memcpy(start, path, n);
    memcpy(start + n, slash ? "." : "/.", slash ? 2 : 3);
    skip = strlen(start) + (slash ? 1 : 0);
    walk_error = 0;
    // A directory at depth k has a path of 2k bytes at least, so no walk
    // that stays within PATH_MAX runs out of this many open directories.
    int r = nftw(start, visit, PATH_MAX / 2, FTW_PHYS);
    who.rest = "";
    who.rule = 0;
    if (r != 0)
        fail_with(who, "walk stopped", r > 0 ? walk_error : errno);
}

// Puts the resolved path of a file named in resolved: its folder
// resolved, its own name as given, since a link named is matched by its
// own name. Returns 0, or why the folder cannot be resolved. Names given
// one after another are mostly in one folder, which is resolved once.
static int resolve_named(const char *path)
{
    static char folder[PATH_MAX], folder_resolved[PATH_MAX];
    static bool known;
    char want[PATH_MAX];
    size_t slash = strlen(path);

    while (slash > 0 && path[slash - 1] != '/')
        slash--;
    if (slash >= sizeof want)
        return ENAMETOOLONG;
    memcpy(want, slash == 0 ? "." : path, slash == 0 ? 1 : slash);
    want[slash == 0 ? 1 : slash] = '\0';
    if (!known || strcmp(want, folder) != 0) {
        known = realpath(want, folder_resolved) != nullptr;
        if (!known)
            return errno;
        memcpy(folder, want, strlen(want) + 1);
    }
    size_t f = strcmp(folder_resolved, "/") == 0 ? 0 : strlen(folder_resolved), name = strlen(path + slash);
    if (f + 1 + name >= sizeof resolved)
        return ENAMETOOLONG;
    memcpy(resolved, folder_resolved, f);
    resolved[f] = '/';
    memcpy(resolved + f + 1, path + slash, name + 1);
    return 0;
}

// A path given is checked whatever its name, opened as dimgate opens it:
// a link is followed, and a FIFO waits for its writer and is read up to
// the head's size or its end.
static void check_given(const char *path)
{
    struct stat st;
    const limits *lim = command_line;

    who = {path, "", 0};
    if (rules_file != nullptr) {
        // A file whose folder cannot be resolved cannot be opened either.
        int err = resolve_named(path);
        if (err != 0) {
            fail_with(who, "cannot be opened", err);
            return;
        }
        // A file that is not checked is not opened, so that a FIFO under
        // its name cannot hang the run; but a directory of that name is
        // walked, for the files in it may be.
        lim = limits_for(resolved);
        if (lim == nullptr) {
            if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
                walk(path);
            return;
        }
    }
    int fd = open(path, O_RDONLY | O_NOCTTY);
    if (fd < 0) {
        int err = errno;
        // A directory that cannot be read is the walk's to report.
        if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
            walk(path);
        else
            fail_with(who, "cannot be opened", err);
        return;
    }
    ssize_t n = read_bytes(fd, bytes, sizeof bytes);
    int err = errno;
    const char *format = nullptr;
    const char *why = n < 0 ? image_read_failed : read_sizes(fd, path, (size_t)n, &err, &format);
    // A directory reads as an error, or on some systems as bytes of no
    // format: only then is it worth a call to learn what it is, unless the
    // byte limit needs the file's size.
    bool examined = false;
    int examine_err = 0;
    bool unread = n < 0 || why == unknown;
    if (unread || lim->bytes != 0) {
        examined = fstat(fd, &st) == 0;
        examine_err = errno;
    }
    if (unread && examined && S_ISDIR(st.st_mode)) {
        close(fd);
        walk(path);
        return;
    }
    close(fd);
    if (why != image_read_failed && lim->bytes != 0 && !examined)
        fail_with(who, "cannot be examined", examine_err);
    else
        judge(who, *lim, format, why, err, sizes, examined && S_ISREG(st.st_mode) ? st.st_size : -1);
}

void check_path(const char *path, const limits *lim)
{
    command_line = lim;
    check_given(path);
}
