#include <string.h>

#include "exif.h"
#include "readers.h"

const char *read_webp(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, in.displayed ? exif_most_chunks + exif_most_reads : 0);
    const char *cut = "WebP ends within its first chunk's header";
    const unsigned char *p = view_at(&v, 12, 4);
    if (p == nullptr)
        return cut;
    // Each kind's header ends with its size, and no sooner may the file:
    // a small lossless one ends at 25 bytes.
    bool lossy = memcmp(p, "VP8 ", 4) == 0, lossless = memcmp(p, "VP8L", 4) == 0;
    if (!lossy && !lossless && memcmp(p, "VP8X", 4) != 0)
        return "WebP first chunk is not VP8, VP8L or VP8X";
    if ((p = view_at(&v, 12, lossless ? 13 : 18)) == nullptr)
        return cut;
    // Offsets below are the file's: p is at 12.
    p -= 12;
    if (lossy) {
        if (p[23] != 0x9d || p[24] != 0x01 || p[25] != 0x2a)
            return "WebP lossy frame has no start code";
        // The top two bits ask for upscaling on display; the size stored
        // is the rest.
        found(out, le16(p + 26) & 0x3fff, le16(p + 28) & 0x3fff);
        return nullptr;
    }
    if (lossless) {
        uint32_t bits = le32(p + 21);
        if (p[20] != 0x2f || bits >> 29 != 0)
            return "WebP lossless header is not version 0";
        found(out, (bits & 0x3fff) + 1, (bits >> 14 & 0x3fff) + 1);
        return nullptr;
    }
    found(out, le24(p + 24) + 1, le24(p + 27) + 1);
    // The extended format says when it holds Exif, which writers put at
    // the end, after the image's or the animation's chunks: each is a
    // type, a size and the data, padded to an even length.
    if (!in.displayed || (p[20] & 0x08) == 0)
        return nullptr;
    uint64_t at = 30;
    for (unsigned chunks = 0; chunks < exif_most_chunks && at < exif_most_offset; chunks++) {
        if ((p = view_at(&v, at, 8)) == nullptr)
            break;
        uint64_t size = le32(p + 4);
        if (memcmp(p, "EXIF", 4) == 0) {
            orient(out, exif_orientation(&v, at + 8, at + 8 + size));
            break;
        }
        at += 8 + size + (size & 1);
    }
    return v.stop == view_failed ? image_read_failed : nullptr;
}
