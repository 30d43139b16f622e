#include <stdio.h>
#include <string.h>

#include "../dimgate.h"
#include "exif.h"
#include "readers.h"

// The orientation in the eXIf chunk before the first IDAT, hopping the
// chunks by their lengths from IHDR on: one after IDAT is not shown.
// Returns false when a read failed.
static bool png_orientation(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, exif_most_chunks + exif_most_reads);
    uint64_t at = 8;
    for (unsigned chunks = 0; chunks < exif_most_chunks && at < exif_most_offset; chunks++) {
        const unsigned char *p = view_at(&v, at, 8);
        if (p == nullptr || memcmp(p + 4, "IDAT", 4) == 0)
            break;
        uint64_t length = be32(p);
        if (memcmp(p + 4, "eXIf", 4) == 0) {
            orient(out, exif_orientation(&v, at + 8, at + 8 + length));
            break;
        }
        at += 12 + length;
    }
    return v.stop != view_failed;
}

// The probe dimgate uses reads the head, and so the same bytes give the
// same answer in both programs.
const char *read_png(const image_input &in, image_sizes *out)
{
    png_head head;
    png_fault fault = read_head_bytes(in.page, in.n, &head);

    out->reach = 16 + (uint64_t)(head.length < 128 ? head.length : 128);
    if (head.length_cut)
        return "ends within the first chunk's length";
    if (fault == png_cut_type)
        return "ends within the first chunk's type";
    if (fault == png_cut_data)
        return "ends within the first chunk's data";
    if (memcmp(head.type, "IHDR", 4) != 0) {
        // A real type is four ASCII letters; any other byte is shown as \xNN.
        static const char hex[] = "0123456789abcdef";
        char shown[17], *to = shown;
        for (int k = 0; k < 4; k++) {
            unsigned char c = (unsigned char)head.type[k];
            if (c < 0x20 || c > 0x7e) {
                *to++ = '\\';
                *to++ = 'x';
                *to++ = hex[c >> 4];
                *to++ = hex[c & 15];
            } else {
                *to++ = (char)c;
            }
        }
        *to = '\0';
        snprintf(out->why, sizeof out->why, "first chunk is %s, not IHDR", shown);
        return out->why;
    }
    // Bytes past the declared length read as zero: a short IHDR would pass
    // on sides it does not hold.
    if (head.length < 8) {
        snprintf(out->why, sizeof out->why, "IHDR is %d bytes, too short for the width and height",
                 (int)head.length);
        return out->why;
    }
    found(out, head.width, head.height);
    if (in.displayed && !png_orientation(in, out))
        return image_read_failed;
    return nullptr;
}
