#include "exif.h"

#include <string.h>

// As a TIFF file's first IFD: a hostile count is not read on past this.
static const uint64_t exif_most_entries = 4096;

// The orientation is one number of type SHORT.
static const unsigned exif_short = 3;

unsigned exif_orientation(view *v, uint64_t at, uint64_t end)
{
    const unsigned reads = v->out->reads;
    const unsigned char *p;
    if (end < at)
        return 0;
    // An old writer's marker, which JPEG's APP1 always begins with.
    if (end - at >= 14 && (p = view_at(v, at, 6)) != nullptr && memcmp(p, "Exif\0\0", 6) == 0)
        at += 6;
    if (end - at < 8 || (p = view_at(v, at, 8)) == nullptr)
        return 0;
    bool le = memcmp(p, "II*\0", 4) == 0;
    if (!le && memcmp(p, "MM\0*", 4) != 0)
        return 0;
    uint32_t (*u16)(const unsigned char *) = le ? le16 : be16;
    uint32_t (*u32)(const unsigned char *) = le ? le32 : be32;
    // IFD0's offset is from the TIFF header, and the IFD lies within the
    // Exif: one pointing back into the header, or past the end, is none.
    uint64_t ifd = u32(p + 4);
    if (ifd < 8 || ifd + 2 > end - at || (p = view_at(v, at + ifd, 2)) == nullptr)
        return 0;
    uint64_t count = u16(p), first = at + ifd + 2;
    for (uint64_t k = 0; k < count && k < exif_most_entries; k++) {
        uint64_t entry = first + 12 * k;
        if (entry + 12 > end || v->out->reads - reads >= exif_most_reads)
            return 0;
        if ((p = view_at(v, entry, 12)) == nullptr)
            return 0;
        unsigned tag = u16(p);
        // The entries are sorted by tag.
        if (tag > exif_orientation_tag)
            return 0;
        if (tag == exif_orientation_tag)
            return u16(p + 2) == exif_short && u32(p + 4) == 1 ? u16(p + 8) : 0;
    }
    return 0;
}
