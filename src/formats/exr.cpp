#include <string.h>

#include "readers.h"
#include "view.h"

// Writers put a dozen or two attributes in a header, some of them large
// (a preview image, an ICC profile), each hopped by its size; a hostile
// header may list thousands of empty ones.
static const unsigned exr_most_attributes = 1024;
static const char exr_bound[] = "OpenEXR has no dataWindow within its first 1024 attributes";
static const char exr_cut[] = "OpenEXR ends within its header";

static const uint32_t exr_version = 2, exr_long_names = 0x400;
// The longest name or type name, without its NUL, as the flag chooses.
static const size_t exr_name_most = 31, exr_long_name_most = 255;

// Reads the NUL-ended name at *at, of at most most bytes, and passes over
// it; *empty tells an empty name, *is whether it is want. Returns why
// there is none.
static const char *read_name(view *v, uint64_t *at, size_t most, const char *want, bool *empty, bool *is)
{
    size_t want_n = strlen(want);
    bool same = true;
    for (size_t k = 0; k <= most; k++) {
        const unsigned char *p = view_at(v, *at + k, 1);
        if (p == nullptr)
            return view_why(v, exr_bound, exr_cut);
        if (*p == '\0') {
            *empty = k == 0;
            *is = same && k == want_n;
            *at += k + 1;
            return nullptr;
        }
        same = same && k < want_n && *p == (unsigned char)want[k];
    }
    return most == exr_name_most ? "OpenEXR attribute name or type is longer than 31 bytes"
                      : "OpenEXR attribute name or type is longer than 255 bytes";
}

// Two's complement, without leaning on the compiler's conversion.
static int64_t s32le(const unsigned char *p)
{
    uint32_t u = le32(p);
    return u < 0x80000000u ? (int64_t)u : (int64_t)u - ((int64_t)1 << 32);
}

// The header's attributes from 8, each a name, a type, a size and a value,
// to dataWindow. A multipart file's first header begins there too.
const char *read_exr(const image_input &in, image_sizes *out)
{
    view v;
    // An attribute's name, type and size take a read past the page, two
    // when long names cross a window.
    view_open(&v, in, out, 2 * exr_most_attributes);
    const unsigned char *p = view_at(&v, 4, 4);
    if (p == nullptr)
        return "OpenEXR ends within its version";
    uint32_t version = le32(p);
    if ((version & 0xff) != exr_version)
        return "OpenEXR version is not 2";
    size_t most = version & exr_long_names ? exr_long_name_most : exr_name_most;
    uint64_t at = 8;
    const char *why;
    for (unsigned k = 0; k < exr_most_attributes; k++) {
        bool empty, window, box2i;
        if ((why = read_name(&v, &at, most, "dataWindow", &empty, &window)) != nullptr)
            return why;
        if (empty)
            return "OpenEXR header has no dataWindow";
        if ((why = read_name(&v, &at, most, "box2i", &empty, &box2i)) != nullptr)
            return why;
        if ((p = view_at(&v, at, 4)) == nullptr)
            return view_why(&v, exr_bound, exr_cut);
        uint32_t size = le32(p);
        at += 4;
        if (!window) {
            at += size;
            continue;
        }
        if (!box2i || size != 16)
            return "OpenEXR dataWindow is not a box2i of 16 bytes";
        if ((p = view_at(&v, at, 16)) == nullptr)
            return view_why(&v, exr_bound, exr_cut);
        // xMin, yMin, xMax, yMax, each side's ends included.
        int64_t width = s32le(p + 8) - s32le(p) + 1, height = s32le(p + 12) - s32le(p + 4) + 1;
        if (width < 1 || height < 1)
            return "OpenEXR dataWindow has a maximum below its minimum";
        if (width > UINT32_MAX || height > UINT32_MAX)
            return "OpenEXR dataWindow is larger than 4294967295 on a side";
        found(out, (uint32_t)width, (uint32_t)height);
        return nullptr;
    }
    return exr_bound;
}
