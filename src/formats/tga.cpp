#include <string.h>

#include "readers.h"
#include "view.h"

// TGA has no signature: only the name and a header that makes sense tell
// it from any other 18 bytes.
static const char *const tga_suffixes[] = {".tga", ".icb", ".vda", ".vst"};
static const size_t tga_suffix_length = 4;
static const size_t tga_header = 18;

// Compares the name's last bytes with a lowercase suffix, in any case; no
// locale decides what a letter is.
static bool ends_in(const char *name, const char *suffix)
{
    size_t n = strlen(name);
    if (n < tga_suffix_length)
        return false;
    name += n - tga_suffix_length;
    for (size_t k = 0; k < tga_suffix_length; k++) {
        unsigned char c = (unsigned char)name[k];
        if (c >= 'A' && c <= 'Z')
            c = (unsigned char)(c - 'A' + 'a');
        if (c != (unsigned char)suffix[k])
            return false;
    }
    return true;
}

static bool plausible(const unsigned char *h)
{
    unsigned map = h[1], type = h[2], depth = h[16];
    return (map == 0 || map == 1) &&
           (type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11) &&
           (depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32);
}

const char *read_tga(const image_input &in, image_sizes *out)
{
    if (in.name == nullptr)
        return image_not_this;
    bool named_tga = false;
    for (const char *suffix : tga_suffixes)
        named_tga = named_tga || ends_in(in.name, suffix);
    if (!named_tga)
        return image_not_this;
    view v;
    view_open(&v, in, out, 0);
    const unsigned char *p = view_at(&v, 0, tga_header);
    if (p == nullptr || !plausible(p))
        return image_not_this;
    found(out, le16(p + 12), le16(p + 14));
    return nullptr;
}
