#ifndef DIMGATE_FORMATS_H
#define DIMGATE_FORMATS_H

#include <stddef.h>
#include <stdint.h>

// The first read of a file: one page holds the size of every format in
// real files, but for JPEG after large metadata, a TIFF IFD at the end and
// a HEIF meta box after the image data.
const size_t image_page = 4096;

// An icon holds at most this many images; a file that claims more cannot
// be judged.
const size_t image_most = 256;

// Reads up to n bytes at offset into to, and returns how many came: fewer
// only at the end of the file, -1 when the read failed (errno says why).
typedef long (*image_read_at)(void *file, uint64_t offset, unsigned char *to, size_t n);

struct image_input {
    const unsigned char *page;   // the file's first bytes
    size_t n;                    // how many: fewer than a page only at the end
    image_read_at read_at;       // for the bytes past them
    void *file;
    const char *name;            // the file's name, for the one format with no signature
    bool displayed;              // the size shown: the file's orientation and crop applied
};

struct image_size {
    uint32_t width, height;
};

// What a reader found: every image that counts (one, but for an icon),
// or why none can be judged.
struct image_sizes {
    size_t count;
    image_size at[image_most];
    image_size stored;     // with displayed, at[0] as stored when it is shown otherwise; else 0 x 0
    char why[96];          // a reason that had to be put together
    uint64_t reach;        // how far into the file the reader looked
    unsigned reads;        // how many reads past the page it made
};

// What a reader returns when a read past the page failed; errno is the
// read's.
extern const char image_read_failed[];

// Returns nullptr with out->count sizes, each side at least 1, or why the
// file cannot be judged; nothing is printed or allocated.
typedef const char *(*image_reader)(const image_input &in, image_sizes *out);

// One row per signature. A reader may also answer image_not_this, when
// more than the signature tells (a brand, a count): the next row is asked.
struct image_format {
    const char *name;
    const char *signature;   // '?' is any byte
    size_t signature_n;
    image_reader read;
};

extern const char image_not_this[];

// The formats' names, each once, in the table's order, nullptr past the
// last: a set of formats is a bit for each, in this order.
const char *image_format_name(size_t k);

// The index of the format named name among them, or one past the last
// when none is.
size_t image_format_index(const char *name);

// Reads the size of the image the page begins, with the reader of the
// first format that takes it; returns the format's name and sets *why to
// the reader's answer, or returns nullptr when no format takes it.
const char *read_image(const image_input &in, image_sizes *out, const char **why);

#endif
