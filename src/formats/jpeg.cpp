#include <string.h>

#include "exif.h"
#include "readers.h"

// Exif is at most 64 KB, but ICC profiles, previews split over several
// APP2 segments and extended XMP put the frame header a few MB in: 1024
// segments within 16 MiB cover them, and bound what a hostile file costs.
static const unsigned jpeg_most_segments = 1024;
static const uint64_t jpeg_most_offset = 16 << 20;
static const char jpeg_bound[] = "JPEG has no frame header within its first 1024 segments or 16 MiB";

// A frame header: C0 to CF but for DHT (C4), JPG (C8) and DAC (CC).
// Arithmetic and lossless frames are as real as the baseline one.
static bool frame_header(unsigned code)
{
    return code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc;
}

// A marker with no length after it.
static bool standalone(unsigned code)
{
    return code == 0x01 || (code >= 0xd0 && code <= 0xd9);
}

const char *read_jpeg(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, jpeg_most_segments + (in.displayed ? exif_most_reads : 0));
    const char *cut = "JPEG ends before its frame header";
    uint64_t at = 2;
    unsigned orientation = 0;
    bool exif = false;

    // The first frame header met walking the segments' lengths is the
    // image's: scanning for its bytes would find an Exif thumbnail's.
    for (unsigned segments = 0; segments < jpeg_most_segments; segments++) {
        // Junk between segments is passed over, as decoders do, and then
        // any run of fill bytes before the code.
        const unsigned char *p;
        while ((p = view_at(&v, at, 1)) != nullptr && *p != 0xff && at < jpeg_most_offset)
            at++;
        while ((p = view_at(&v, at + 1, 1)) != nullptr && *p == 0xff && at < jpeg_most_offset)
            at++;
        if (at >= jpeg_most_offset)
            return jpeg_bound;
        if (p == nullptr)
            return view_why(&v, jpeg_bound, cut);
        unsigned code = *p;
        if (code == 0xda || code == 0xd9)
            return "JPEG has no frame header before its image data";
        if (code == 0x00 || standalone(code)) {
            at += 2;
            continue;
        }
        if ((p = view_at(&v, at, frame_header(code) ? 10 : 4)) == nullptr)
            return view_why(&v, jpeg_bound, cut);
        unsigned length = be16(p + 2);
        if (length < 2)
            return "JPEG has a segment whose length is below 2";
        if (frame_header(code)) {
            if (length < 8)
                return "JPEG frame header is too short for the width and height";
            // A height of 0 is given by a marker after the image data.
            if (be16(p + 5) == 0)
                return "JPEG height is 0, to be given after the image data";
            found(out, be16(p + 7), be16(p + 5));
            orient(out, orientation);
            return nullptr;
        }
        // The first APP1 that is Exif (XMP's may come before it) holds the
        // orientation.
        if (code == 0xe1 && in.displayed && !exif && length >= 8 && (p = view_at(&v, at + 4, 6)) != nullptr &&
            memcmp(p, "Exif\0\0", 6) == 0) {
            exif = true;
            orientation = exif_orientation(&v, at + 4, at + 2 + length);
        }
        at += 2 + length;
    }
    return jpeg_bound;
}
