#include "formats.h"

#include <string.h>

#include "readers.h"
#include "view.h"

const char image_read_failed[] = "cannot be read";
const char image_not_this[] = "not this format";

// AVIF comes before HEIF: an AVIF file lists a HEIF brand too. SVG has
// no signature.
static const image_format formats[] = {
    {"PNG", "\x89PNG\r\n\x1a\n", 8, read_png},
    {"JPEG", "\xff\xd8\xff", 3, read_jpeg},
    {"GIF", "GIF87a", 6, read_gif},
    {"GIF", "GIF89a", 6, read_gif},
    {"WebP", "RIFF????WEBP", 12, read_webp},
    {"AVIF", "????ftyp", 8, read_avif},
    {"HEIF", "????ftyp", 8, read_heif},
    {"BMP", "BM", 2, read_bmp},
    {"ICO", "\0\0\1\0", 4, read_ico},
    {"ICO", "\0\0\2\0", 4, read_ico},
    {"TIFF", "II*\0", 4, read_tiff},
    {"TIFF", "MM\0*", 4, read_tiff},
    {"TIFF", "II+\0", 4, read_tiff},
    {"TIFF", "MM\0+", 4, read_tiff},
    {"JPEG XL", "\xff\x0a", 2, read_jxl},
    {"JPEG XL", "\0\0\0\x0cJXL \r\n\x87\n", 12, read_jxl},
    {"ICNS", "icns", 4, read_icns},
    {"KTX", "\xabKTX 11\xbb\r\n\x1a\n", 12, read_ktx},
    {"KTX", "\xabKTX 20\xbb\r\n\x1a\n", 12, read_ktx},
    {"PSD", "8BPS", 4, read_psd},
    {"DDS", "DDS ", 4, read_dds},
    {"Netpbm", "P?", 2, read_netpbm},
    {"JPEG 2000", "\0\0\0\x0cjP  \r\n\x87\n", 12, read_jp2},
    {"JPEG 2000", "\xff\x4f\xff\x51", 4, read_jp2},
    {"QOI", "qoif", 4, read_qoi},
    {"HDR", "#?", 2, read_hdr},
    {"OpenEXR", "v/1\x01", 4, read_exr},
    // No signature: a file that none took, by its name and a plausible
    // header; then text, which any file may begin like.
    {"TGA", "", 0, read_tga},
    {"SVG", "", 0, read_svg},
};

// A format with several signatures has a row for each, one after another,
// with the same reader.
static bool first_row(size_t k) { return k == 0 || formats[k].read != formats[k - 1].read; }

const char *image_format_name(size_t n)
{
    for (size_t k = 0; k < sizeof formats / sizeof *formats; k++)
        if (first_row(k) && n-- == 0)
            return formats[k].name;
    return nullptr;
}

size_t image_format_index(const char *name)
{
    size_t index = 0;
    // The name that read_image() gave is its row's own, told by the
    // pointer; any other is compared.
    for (int pass = 0; pass < 2; pass++) {
        index = 0;
        for (size_t k = 0; k < sizeof formats / sizeof *formats; k++) {
            index += k > 0 && first_row(k);
            if (pass == 0 ? formats[k].name == name : strcmp(formats[k].name, name) == 0)
                return index;
        }
    }
    return index + 1;
}

static bool starts(const image_input &in, const image_format &f)
{
    if (in.n < f.signature_n)
        return false;
    for (size_t k = 0; k < f.signature_n; k++)
        if (f.signature[k] != '?' && (unsigned char)f.signature[k] != in.page[k])
            return false;
    return true;
}

const char *read_image(const image_input &in, image_sizes *out, const char **why)
{
    for (const image_format &f : formats) {
        if (!starts(in, f))
            continue;
        out->count = 0;
        out->stored = {0, 0};
        out->why[0] = '\0';
        out->reach = f.signature_n;
        out->reads = 0;
        *why = f.read(in, out);
        if (*why == image_not_this)
            continue;
        // A side of 0 holds no pixel to count: such a file is broken, or
        // its size is elsewhere (a JPEG's after its image data).
        for (size_t k = 0; *why == nullptr && k < out->count; k++) {
            if (out->at[k].width == 0)
                *why = named(out, f.name, "image has a width of 0");
            else if (out->at[k].height == 0)
                *why = named(out, f.name, "image has a height of 0");
        }
        return f.name;
    }
    return nullptr;
}

void view_open(view *v, const image_input &in, image_sizes *out, unsigned most_reads)
{
    v->in = &in;
    v->out = out;
    v->most_reads = most_reads;
    v->stop = view_going;
    v->window_at = 0;
    v->window_n = 0;
}

const unsigned char *view_at(view *v, uint64_t offset, size_t n)
{
    if (n > view_window)
        return nullptr;
    // No file reaches this far, and no system takes such an offset.
    if (offset > (uint64_t)INT64_MAX - view_window) {
        v->stop = view_end;
        return nullptr;
    }
    uint64_t end = offset + n;
    if (end > v->out->reach)
        v->out->reach = end;
    if (end <= v->in->n)
        return v->in->page + offset;
    // The page is the whole file when it came up short.
    if (v->in->n < image_page) {
        v->stop = view_end;
        return nullptr;
    }
    if (offset >= v->window_at && end <= v->window_at + v->window_n)
        return v->window + (offset - v->window_at);
    // A read that failed is not tried again: the reader is on its way out.
    if (v->stop == view_failed)
        return nullptr;
    if (v->out->reads >= v->most_reads) {
        v->stop = view_bound;
        return nullptr;
    }
    v->out->reads++;
    long got = v->in->read_at(v->in->file, offset, v->window, view_window);
    if (got < 0) {
        v->window_n = 0;
        v->stop = view_failed;
        return nullptr;
    }
    v->window_at = offset;
    v->window_n = (size_t)got;
    if ((size_t)got < n) {
        v->stop = view_end;
        return nullptr;
    }
    return v->window;
}

const char *view_why(const view *v, const char *bound, const char *cut)
{
    if (v->stop == view_failed)
        return image_read_failed;
    return v->stop == view_bound ? bound : cut;
}

bool found(image_sizes *out, uint32_t width, uint32_t height)
{
    if (out->count == image_most)
        return false;
    out->at[out->count++] = {width, height};
    return true;
}

const char *named(image_sizes *out, const char *format, const char *text)
{
    size_t f = strlen(format), t = strlen(text);
    if (f + 1 + t >= sizeof out->why)
        t = sizeof out->why - f - 2;
    memcpy(out->why, format, f);
    out->why[f] = ' ';
    memcpy(out->why + f + 1, text, t);
    out->why[f + 1 + t] = '\0';
    return out->why;
}

void shown(image_sizes *out, uint32_t width, uint32_t height)
{
    if (out->count == 0 || (out->at[0].width == width && out->at[0].height == height))
        return;
    out->stored = out->at[0];
    out->at[0] = {width, height};
}

void orient(image_sizes *out, unsigned orientation)
{
    // 5 to 8 turn the image a quarter, either way, with or without a mirror.
    if (orientation >= 5 && orientation <= 8 && out->count > 0)
        shown(out, out->at[0].height, out->at[0].width);
}
