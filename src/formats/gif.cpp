#include "readers.h"
#include "view.h"

// The logical screen, which browsers draw and every frame is cut to.
const char *read_gif(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, 0);
    const unsigned char *p = view_at(&v, 6, 4);
    if (p == nullptr)
        return "GIF ends within its logical screen's size";
    found(out, le16(p), le16(p + 2));
    return nullptr;
}
