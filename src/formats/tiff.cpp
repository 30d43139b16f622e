#include "exif.h"
#include "readers.h"

// Real IFDs hold a few dozen entries; a count beyond this is not read on.
static const uint64_t tiff_most_entries = 4096;
static const char tiff_bound[] = "TIFF has no width and height within its IFD's first 4096 entries";

static const unsigned tiff_width = 256, tiff_height = 257;
static const unsigned tiff_short = 3, tiff_long = 4, tiff_long8 = 16;

static const char *sized_tiff(image_sizes *out, const uint64_t *sides, unsigned orientation)
{
    found(out, (uint32_t)sides[0], (uint32_t)sides[1]);
    orient(out, orientation);
    return nullptr;
}

const char *read_tiff(const image_input &in, image_sizes *out)
{
    view v;
    // An entry is 20 bytes at most, so each window read brings 25 of them.
    view_open(&v, in, out, 1 + tiff_most_entries / (view_window / 20 - 1));
    const unsigned char *p = view_at(&v, 0, 8);
    if (p == nullptr)
        return "TIFF ends within its header";
    bool le = p[0] == 'I', big = p[2] == '+' || p[3] == '+';
    uint32_t (*u16)(const unsigned char *) = le ? le16 : be16;
    uint32_t (*u32)(const unsigned char *) = le ? le32 : be32;
    uint64_t (*u64)(const unsigned char *) = le ? le64 : be64;
    uint64_t header = 8, ifd = u32(p + 4);
    if (big) {
        header = 16;
        if (u16(p + 4) != 8 || u16(p + 6) != 0)
            return "TIFF BigTIFF header gives offsets of other than 8 bytes";
        if ((p = view_at(&v, 8, 8)) == nullptr)
            return "TIFF ends within its header";
        ifd = u64(p);
    }
    if (ifd < header)
        return "TIFF first IFD lies within the header";
    // No file holds an IFD this far in, and the entries' offsets stay far
    // from overflowing.
    if (ifd > UINT64_MAX / 2)
        return "TIFF ends before its first IFD";
    // libtiff writes the IFD after the image data, at the end of the file.
    const size_t count_size = big ? 8 : 2, entry_size = big ? 20 : 12;
    if ((p = view_at(&v, ifd, count_size)) == nullptr)
        return view_why(&v, tiff_bound, "TIFF ends before its first IFD");
    uint64_t count = big ? u64(p) : u16(p);
    uint64_t sides[2] = {0, 0};
    bool seen[2] = {false, false};
    // With the displayed size asked for, the entries are read on to the
    // orientation's, or the first above it: they are sorted by tag.
    bool oriented = !in.displayed;
    unsigned orientation = 0;
    for (uint64_t k = 0; k < count && !(seen[0] && seen[1] && oriented); k++) {
        // What stops the orientation's search leaves the size as stored.
        bool sized = seen[0] && seen[1];
        if (k == tiff_most_entries)
            return sized ? sized_tiff(out, sides, 0) : tiff_bound;
        if ((p = view_at(&v, ifd + count_size + k * entry_size, entry_size)) == nullptr) {
            if (sized && v.stop != view_failed)
                return sized_tiff(out, sides, 0);
            return view_why(&v, tiff_bound, "TIFF ends within its first IFD");
        }
        unsigned tag = u16(p);
        if (in.displayed && tag >= exif_orientation_tag) {
            oriented = true;
            if (tag == exif_orientation_tag && u16(p + 2) == tiff_short && (big ? u64(p + 4) : u32(p + 4)) == 1)
                orientation = u16(p + (big ? 12 : 8));
        }
        if (tag != tiff_width && tag != tiff_height)
            continue;
        unsigned type = u16(p + 2);
        uint64_t n = big ? u64(p + 4) : u32(p + 4);
        const unsigned char *value = p + (big ? 12 : 8);
        if (n != 1)
            return "TIFF width or height is not a single number";
        uint64_t side;
        if (type == tiff_short)
            side = u16(value);
        else if (type == tiff_long)
            side = u32(value);
        else if (type == tiff_long8 && big)
            side = u64(value);
        else
            return "TIFF width or height is not of type SHORT or LONG";
        if (side > UINT32_MAX)
            return "TIFF width or height is larger than 4294967295";
        sides[tag - tiff_width] = side;
        seen[tag - tiff_width] = true;
    }
    if (!seen[0])
        return "TIFF first IFD has no width";
    if (!seen[1])
        return "TIFF first IFD has no height";
    return sized_tiff(out, sides, orientation);
}
