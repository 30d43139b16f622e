#include <string.h>

#include "readers.h"
#include "view.h"

// Every entry's size is read from its image: the directory's bytes stop
// at 255, and a PNG entry may be larger than 256.
const char *read_ico(const image_input &in, image_sizes *out)
{
    view v;
    // One read for the directory's end past the page, then one per entry.
    view_open(&v, in, out, 2 * image_most);
    const unsigned char *p = view_at(&v, 4, 2);
    if (p == nullptr)
        return "ICO ends within its count of images";
    unsigned count = le16(p);
    // A count of 0 is no icon at all: most likely another format's bytes.
    if (count == 0)
        return image_not_this;
    if (count > image_most)
        return "ICO holds more than 256 images";
    for (unsigned k = 0; k < count; k++) {
        if ((p = view_at(&v, 6 + 16 * k, 16)) == nullptr)
            return view_why(&v, "ICO directory is too large", "ICO ends within its directory");
        uint32_t offset = le32(p + 12);
        if (offset < 6 + 16 * count)
            return "ICO image lies within the directory";
        // A PNG image's size is in its IHDR; a DIB's height counts the
        // mask below the image too.
        if ((p = view_at(&v, offset, 24)) == nullptr)
            return view_why(&v, "ICO directory is too large", "ICO ends within an image's header");
        if (memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0) {
            if (memcmp(p + 12, "IHDR", 4) != 0)
                return "ICO PNG image does not begin with IHDR";
            found(out, be32(p + 16), be32(p + 20));
        } else {
            uint32_t width = le32(p + 4), height = le32(p + 8);
            if (le32(p) < 40)
                return "ICO image header is neither PNG nor a DIB";
            if (width >= 0x80000000u || height >= 0x80000000u)
                return "ICO image has a negative side";
            found(out, width, height / 2);
        }
    }
    return nullptr;
}
