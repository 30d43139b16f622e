#include <string.h>

#include "boxes.h"
#include "readers.h"

// AVIF and HEIF are the same boxes; only the brands tell them apart.

// The item associations are a few bytes an item; phones write a few
// hundred items (grid tiles) at most.
static const uint64_t ipma_most = 64 << 10;

// The box at property index (1-based) in ipco; false with b->why set when
// it cannot be read.
static bool property(boxes *b, const box &ipco, unsigned index, box *x)
{
    uint64_t at = ipco.body;
    for (unsigned k = 1;; k++) {
        if (at >= ipco.end) {
            b->why = "property index is past the end of its properties";
            return false;
        }
        if (!read_box(b, at, ipco.end, x))
            return false;
        if (k == index)
            return true;
        at = x->end;
    }
}

// The size the ispe at property index in ipco holds, if it is one; false
// with b->why set on a fault, or with b->why null otherwise.
static bool property_size(boxes *b, const box &ipco, unsigned index, image_sizes *out)
{
    box x;
    if (!property(b, ipco, index, &x))
        return false;
    b->why = nullptr;
    if (!box_is(x, "ispe"))
        return false;
    // A FullBox: version and flags, then width and height.
    const unsigned char *p = x.end - x.body >= 12 ? view_at(&b->v, x.body + 4, 8) : nullptr;
    if (p == nullptr) {
        b->why = "ispe box is too short for the width and height";
        return false;
    }
    found(out, be32(p), be32(p + 4));
    return true;
}

// Shows the primary item's image as its clap and irot properties crop and
// turn it, in the order of its n associations at offset at, each of
// index_size bytes. A property that cannot be read changes nothing; a
// crop that cannot be judged is why the file cannot be.
static const char *transformed(boxes *b, const box &ipco, uint64_t at, unsigned n, unsigned index_size,
                               image_sizes *out)
{
    uint32_t width = out->at[0].width, height = out->at[0].height;
    for (unsigned k = 0; k < n; k++, at += index_size) {
        const unsigned char *p = view_at(&b->v, at, index_size);
        unsigned index = p == nullptr ? 0 : index_size == 2 ? be16(p) & 0x7fff : *p & 0x7f;
        box x;
        if (index == 0 || !property(b, ipco, index, &x))
            continue;
        if (box_is(x, "irot")) {
            // The angle in quarter turns, in the low 2 bits: 1 and 3 swap.
            p = x.end > x.body ? view_at(&b->v, x.body, 1) : nullptr;
            if (p != nullptr && (*p & 1) != 0) {
                uint32_t w = width;
                width = height;
                height = w;
            }
        } else if (box_is(x, "clap")) {
            // The clean aperture's width and height, each a fraction.
            p = x.end - x.body >= 16 ? view_at(&b->v, x.body, 16) : nullptr;
            if (p == nullptr)
                return "clap box is too short for the width and height";
            uint32_t wn = be32(p), wd = be32(p + 4), hn = be32(p + 8), hd = be32(p + 12);
            if (wd == 0 || hd == 0)
                return "clap box has a denominator of 0";
            if (wn / wd == 0 || hn / hd == 0)
                return "clap box crops to a width or height of 0";
            if (wn / wd > width || hn / hd > height)
                return "clap box crops to more than the image";
            width = wn / wd;
            height = hn / hd;
        }
    }
    if (b->v.stop == view_failed)
        return image_read_failed;
    shown(out, width, height);
    return nullptr;
}

// The compact form's one image: its mini box begins with 2 bits of
// version, 11 of flags and chroma, 3 of orientation less 1, one that gives
// each side 7 bits when set and 15 when not, then the width less 1 and
// the height less 1. The codec's configuration and the image's data
// follow, so that a real one holds more than these 6 bytes.
static const char *compact_size(boxes &b, const box &mini, bool displayed, image_sizes *out)
{
    const unsigned char *p = mini.end - mini.body >= 6 ? view_at(&b.v, mini.body, 6) : nullptr;
    if (p == nullptr)
        return "mini box is too short for the width and height";
    if (p[0] >> 6 != 0)
        return "mini box is not version 0";
    uint64_t bits = (uint64_t)be32(p) << 16 | be16(p + 4);
    unsigned side = p[2] & 0x80 ? 7 : 15;
    uint32_t mask = (1u << side) - 1;
    found(out, (uint32_t)(bits >> (31 - side) & mask) + 1, (uint32_t)(bits >> (31 - 2 * side) & mask) + 1);
    if (displayed)
        orient(out, (p[1] & 7) + 1);
    return nullptr;
}

// The primary item's size: its first ispe among its properties.
static const char *primary_size(boxes &b, const image_input &in, image_sizes *out,
                                const char *const *brands, size_t brand_n)
{
    box ftyp;
    if (!read_box(&b, 0, UINT64_MAX, &ftyp))
        return b.why;
    // The major brand, then the compatible ones; the minor version between
    // them is a number, but in the compact form (major brand mif3) the
    // codec's brand. A type list past the page is no real file's.
    bool ours = false, compact = false;
    for (uint64_t at = ftyp.body; at + 4 <= ftyp.end && at + 4 <= in.n && !ours;
         at += at == ftyp.body && !compact ? 8 : 4) {
        compact = compact || (at == ftyp.body && memcmp(in.page + at, "mif3", 4) == 0);
        for (size_t k = 0; k < brand_n; k++)
            ours = ours || memcmp(in.page + at, brands[k], 4) == 0;
    }
    if (!ours)
        return image_not_this;

    // Phones write the image data first and meta at the end; the compact
    // form has a mini box in its place.
    box meta, iprp, ipco, ipma, pitm;
    if (!find_box(&b, ftyp.end, UINT64_MAX, "meta", &meta, "mini"))
        return b.why != nullptr ? b.why : "has no meta box";
    if (box_is(meta, "mini"))
        return compact_size(b, meta, in.displayed, out);
    uint64_t children = meta.body + 4;
    if (!find_box(&b, children, meta.end, "pitm", &pitm))
        return b.why != nullptr ? b.why : "has no primary item (pitm)";
    const unsigned char *p = view_at(&b.v, pitm.body, 1);
    unsigned id_size = p != nullptr && *p != 0 ? 4 : 2;
    if (pitm.end - pitm.body < 4 + id_size || (p = view_at(&b.v, pitm.body + 4, id_size)) == nullptr)
        return "pitm box is too short for the primary item";
    uint32_t primary = id_size == 4 ? be32(p) : be16(p);

    if (!find_box(&b, children, meta.end, "iprp", &iprp) ||
        !find_box(&b, iprp.body, iprp.end, "ipco", &ipco) ||
        !find_box(&b, iprp.body, iprp.end, "ipma", &ipma))
        return b.why != nullptr ? b.why : "has no item properties (ipco and ipma)";

    // ipma: version and flags, an entry count, then each entry: the item,
    // a count, and that many property indexes, the top bit of each a flag.
    if (ipma.end - ipma.body < 8 || (p = view_at(&b.v, ipma.body, 8)) == nullptr)
        return "ipma box is too short for its count";
    unsigned item_size = p[0] != 0 ? 4 : 2, index_size = p[3] & 1 ? 2 : 1;
    uint32_t entries = be32(p + 4);
    uint64_t at = ipma.body + 8;
    const char *overrun = "ipma entries overrun their box";
    for (uint32_t e = 0; e < entries; e++) {
        if (at - ipma.body > ipma_most)
            return "has no primary item in the first 64 KiB of its ipma box";
        if (at + item_size + 1 > ipma.end || (p = view_at(&b.v, at, item_size + 1)) == nullptr)
            return overrun;
        uint32_t item = item_size == 4 ? be32(p) : be16(p);
        unsigned n = p[item_size];
        at += item_size + 1;
        if (at + (uint64_t)n * index_size > ipma.end)
            return overrun;
        if (item != primary) {
            at += (uint64_t)n * index_size;
            continue;
        }
        for (unsigned k = 0; k < n; k++, at += index_size) {
            if ((p = view_at(&b.v, at, index_size)) == nullptr)
                return overrun;
            unsigned index = index_size == 2 ? be16(p) & 0x7fff : *p & 0x7f;
            if (index == 0)
                continue;
            if (property_size(&b, ipco, index, out)) {
                if (!in.displayed)
                    return nullptr;
                return transformed(&b, ipco, at - (uint64_t)k * index_size, n, index_size, out);
            }
            if (b.why != nullptr)
                return b.why;
        }
        return "primary item has no size (ispe)";
    }
    return "primary item has no properties";
}

// The size's reader for the format of these brands.
static const char *read_boxes(const image_input &in, image_sizes *out, const char *format,
                              const char *const *brands, size_t brand_n)
{
    boxes b;
    // Box headers mostly share a window; an ICC profile or the image data
    // between them costs a read a hop.
    boxes_open(&b, in, out, 1024 + ipma_most / view_window);
    return boxes_why(&b, format, primary_size(b, in, out, brands, brand_n));
}

const char *read_avif(const image_input &in, image_sizes *out)
{
    static const char *const brands[] = {"avif", "avis"};
    return read_boxes(in, out, "AVIF", brands, sizeof brands / sizeof *brands);
}

const char *read_heif(const image_input &in, image_sizes *out)
{
    static const char *const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "mif3"};
    return read_boxes(in, out, "HEIF", brands, sizeof brands / sizeof *brands);
}
