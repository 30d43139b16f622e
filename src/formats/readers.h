#ifndef DIMGATE_READERS_H
#define DIMGATE_READERS_H

// The readers of the formats' table, one to a file.

#include "formats.h"

const char *read_png(const image_input &in, image_sizes *out);
const char *read_jpeg(const image_input &in, image_sizes *out);
const char *read_gif(const image_input &in, image_sizes *out);
const char *read_webp(const image_input &in, image_sizes *out);
const char *read_avif(const image_input &in, image_sizes *out);
const char *read_heif(const image_input &in, image_sizes *out);
const char *read_bmp(const image_input &in, image_sizes *out);
const char *read_ico(const image_input &in, image_sizes *out);
const char *read_tiff(const image_input &in, image_sizes *out);
const char *read_svg(const image_input &in, image_sizes *out);
const char *read_jxl(const image_input &in, image_sizes *out);
const char *read_icns(const image_input &in, image_sizes *out);
const char *read_ktx(const image_input &in, image_sizes *out);
const char *read_psd(const image_input &in, image_sizes *out);
const char *read_dds(const image_input &in, image_sizes *out);
const char *read_tga(const image_input &in, image_sizes *out);
const char *read_netpbm(const image_input &in, image_sizes *out);
const char *read_jp2(const image_input &in, image_sizes *out);
const char *read_qoi(const image_input &in, image_sizes *out);
const char *read_hdr(const image_input &in, image_sizes *out);
const char *read_exr(const image_input &in, image_sizes *out);

#endif
