#include <stdio.h>
#include <string.h>

#include "../dimgate.h"
#include "readers.h"
#include "view.h"

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
    return nullptr;
}
