#include "readers.h"
#include "view.h"

const char *read_qoi(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, 0);
    const unsigned char *p = view_at(&v, 4, 8);
    if (p == nullptr)
        return "QOI ends within its header";
    found(out, be32(p), be32(p + 4));
    return nullptr;
}
