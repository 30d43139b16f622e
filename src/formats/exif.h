#ifndef DIMGATE_EXIF_H
#define DIMGATE_EXIF_H

// Exif, as JPEG, PNG and WebP files carry it: a TIFF header and its first
// IFD, of which the displayed size needs the orientation tag alone.

#include "view.h"

// The reads past the page that the orientation may cost, on top of what
// its reader allows itself for the size: an IFD's first 4096 entries, 42
// to a read.
const unsigned exif_most_reads = 104;

// PNG and WebP chunks are hopped to the Exif up to the 1024th or the
// first 16 MiB: an animation's frames or text chunks may come first.
const unsigned exif_most_chunks = 1024;
const uint64_t exif_most_offset = 16 << 20;

// The orientation tag's number, which TIFF files hold too.
const unsigned exif_orientation_tag = 274;

// The orientation (1 to 8, or any other number the tag holds) in the
// Exif that begins at offset at, with or without "Exif\0\0" in front, and
// ends by end; 0 when it holds none or cannot be read.
unsigned exif_orientation(view *v, uint64_t at, uint64_t end);

#endif
