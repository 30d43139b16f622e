#include "readers.h"
#include "view.h"

// Every DDS header is this long; any other size is another layout.
static const uint32_t dds_header_size = 124;

// The base level's size, height first.
const char *read_dds(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, 0);
    const unsigned char *p = view_at(&v, 4, 16);
    if (p == nullptr)
        return "DDS ends within its header";
    if (le32(p) != dds_header_size)
        return "DDS header size is not 124";
    found(out, le32(p + 12), le32(p + 8));
    return nullptr;
}
