#include <string.h>

#include "readers.h"
#include "view.h"

// An icon of many sizes: every image entry counts, as an ICO's images do.

// Real icons hold a dozen or two entries, one for each size and kind.
static const unsigned icns_most_entries = image_most;
// A JPEG 2000 image's ihdr follows its signature, ftyp and at most a few
// metadata boxes.
static const unsigned icns_most_boxes = 16;
// An entry's header is read together with its image's, a read for each;
// the rest is for JPEG 2000 boxes spread over their entry.
static const unsigned icns_most_reads = 2 * image_most;
static const char icns_bound[] = "ICNS entries take more than 512 reads";
static const char icns_cut[] = "ICNS entry runs past the end of the file";

// The size each image type stands for; a PNG or JPEG 2000 image in one
// has its own. Types not here are passed over, among them the table of
// contents and FD D9 2F A8, the dark-mode icon, an icns of its own.
struct icns_type {
    char type[5];
    uint16_t width, height;
};
static const icns_type icns_types[] = {
    {"icm#", 16, 12},     {"icm4", 16, 12},     {"icm8", 16, 12},     {"ics#", 16, 16},
    {"ics4", 16, 16},     {"ics8", 16, 16},     {"is32", 16, 16},     {"s8mk", 16, 16},
    {"icp4", 16, 16},     {"ic04", 16, 16},     {"icsb", 18, 18},     {"sb24", 24, 24},
    {"ICON", 32, 32},     {"ICN#", 32, 32},     {"icl4", 32, 32},     {"icl8", 32, 32},
    {"il32", 32, 32},     {"l8mk", 32, 32},     {"icp5", 32, 32},     {"ic05", 32, 32},
    {"ic11", 32, 32},     {"icsB", 36, 36},     {"ich#", 48, 48},     {"ich4", 48, 48},
    {"ich8", 48, 48},     {"ih32", 48, 48},     {"h8mk", 48, 48},     {"SB24", 48, 48},
    {"icp6", 64, 64},     {"ic12", 64, 64},     {"it32", 128, 128},   {"t8mk", 128, 128},
    {"ic07", 128, 128},   {"ic08", 256, 256},   {"ic13", 256, 256},   {"ic09", 512, 512},
    {"ic14", 512, 512},   {"ic10", 1024, 1024},
};

static const unsigned char png_signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
static const unsigned char jp2_signature[] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', '\r', '\n', 0x87, '\n'};
static const unsigned char j2k_signature[] = {0xff, 0x4f, 0xff, 0x51};

// The entries' helpers below answer icns_cut when the view gives nothing;
// read_icns() tells a failed read or the bound apart.

// Finds the box of type among the boxes in [at, end), counting each hop in
// *hops; returns nullptr with the box's body in [*body, *box_end), or why not.
static const char *find_box(view *v, uint64_t at, uint64_t end, const char *type, unsigned *hops,
                            uint64_t *body, uint64_t *box_end)
{
    const char *wrong = "ICNS JPEG 2000 box size is below its header or past its parent";
    while (at < end) {
        if ((*hops)++ == icns_most_boxes)
            return "ICNS JPEG 2000 image has no ihdr within its first 16 boxes";
        const unsigned char *p;
        if (end - at < 8)
            return wrong;
        if ((p = view_at(v, at, 8)) == nullptr)
            return icns_cut;
        bool match = memcmp(p + 4, type, 4) == 0;
        uint64_t size = be32(p), header = 8;
        if (size == 1) {
            if (end - at < 16)
                return wrong;
            if ((p = view_at(v, at + 8, 8)) == nullptr)
                return icns_cut;
            size = be64(p);
            header = 16;
        } else if (size == 0) {
            // A size of 0 runs to the end of the parent, here at most the entry.
            size = end - at;
        }
        if (size < header || size > end - at)
            return wrong;
        if (match) {
            *body = at + header;
            *box_end = at + size;
            return nullptr;
        }
        at += size;
    }
    return "ICNS JPEG 2000 image has no ihdr box";
}

// A JP2's size is in the ihdr of its jp2h, from the boxes after the
// signature box to the entry's end: height, then width.
static const char *jp2_size(view *v, uint64_t at, uint64_t end, image_sizes *out)
{
    unsigned hops = 0;
    uint64_t body, box_end;
    const char *why = find_box(v, at, end, "jp2h", &hops, &body, &box_end);
    if (why == nullptr)
        why = find_box(v, body, box_end, "ihdr", &hops, &body, &box_end);
    if (why != nullptr)
        return why;
    if (box_end - body < 8)
        return "ICNS JPEG 2000 ihdr box is too short for the width and height";
    const unsigned char *p = view_at(v, body, 8);
    if (p == nullptr)
        return icns_cut;
    found(out, be32(p + 4), be32(p));
    return nullptr;
}

// Measures the entry whose data is [at, end), of an image type: a PNG or
// JPEG 2000 image by its own header, any other by what its type stands for.
static const char *entry_size(view *v, uint64_t at, uint64_t end, const icns_type &type, image_sizes *out)
{
    // PNG's IHDR and a codestream's SIZ both end within the first 24 bytes.
    const uint64_t head = 24;
    size_t n = (size_t)(end - at < head ? end - at : head);
    const unsigned char *p = n > 0 ? view_at(v, at, n) : nullptr;
    if (n > 0 && p == nullptr)
        return icns_cut;
    bool png = n >= 8 && memcmp(p, png_signature, 8) == 0;
    bool j2k = n >= 4 && memcmp(p, j2k_signature, 4) == 0;
    if ((png || j2k) && n < head)
        return "ICNS entry is too short for its image's header";
    if (png) {
        if (memcmp(p + 12, "IHDR", 4) != 0)
            return "ICNS PNG image does not begin with IHDR";
        found(out, be32(p + 16), be32(p + 20));
        return nullptr;
    }
    if (j2k) {
        // SIZ is at 2; the image lies at an offset on its reference grid.
        uint32_t x = be32(p + 8), y = be32(p + 12), x0 = be32(p + 16), y0 = be32(p + 20);
        if (x0 >= x || y0 >= y)
            return "ICNS JPEG 2000 image offset is not below its size";
        found(out, x - x0, y - y0);
        return nullptr;
    }
    if (n >= 12 && memcmp(p, jp2_signature, 12) == 0)
        return jp2_size(v, at + 12, end, out);
    found(out, type.width, type.height);
    return nullptr;
}

const char *read_icns(const image_input &in, image_sizes *out)
{
    view v;
    view_open(&v, in, out, icns_most_reads);
    if (view_at(&v, 0, 8) == nullptr)
        return "ICNS ends within its header";
    // The total length at 4 is not trusted: the entries go on to the end
    // of the file, whatever it says.
    uint64_t at = 8;
    for (unsigned k = 0;; k++) {
        // The entry before must end within the file, which may end right
        // after it. The byte before comes first, so that one read brings
        // the next header and its image's.
        if (view_at(&v, at - 1, 1) == nullptr)
            return view_why(&v, icns_bound, icns_cut);
        if (view_at(&v, at, 1) == nullptr) {
            if (v.stop != view_end)
                return view_why(&v, icns_bound, icns_cut);
            break;
        }
        if (k == icns_most_entries)
            return "ICNS holds more than 256 entries";
        const unsigned char *p = view_at(&v, at, 8);
        if (p == nullptr)
            return view_why(&v, icns_bound, "ICNS ends within an entry's header");
        uint32_t length = be32(p + 4);
        if (length < 8)
            return "ICNS entry length is below 8";
        for (const icns_type &t : icns_types) {
            if (memcmp(p, t.type, 4) != 0)
                continue;
            // A read that failed or ran out of reads leaves the answer to
            // it; any other stop is the entry's own reason.
            const char *why = entry_size(&v, at + 8, at + length, t, out);
            if (why != nullptr)
                return view_why(&v, icns_bound, why);
            break;
        }
        at += length;
    }
    return out->count > 0 ? nullptr : "ICNS holds no image";
}
