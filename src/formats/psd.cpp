#include "readers.h"
#include "view.h"

// PSD and PSB share the header; only the version tells them apart.
const char *read_psd(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, 0);
    const unsigned char *p = view_at(&v, 4, 18);
    if (p == nullptr)
        return "PSD ends within its header";
    // Offsets below are the file's: p is at 4.
    p -= 4;
    uint32_t version = be16(p + 4);
    if (version != 1 && version != 2)
        return "PSD version is not 1 or 2";
    // Height before width.
    found(out, be32(p + 18), be32(p + 14));
    return nullptr;
}
