#ifndef DIMGATE_H
#define DIMGATE_H

#include <stdint.h>
#include <stdio.h>

// What dimgate() returns for a file it cannot judge.
const int32_t error_level = 5;

// The first read that came up short, if any.
enum png_fault { png_whole, png_not_png, png_cut_type, png_cut_data };

// What the first bytes of a file say.
struct png_head {
    bool length_cut;          // the 4 length bytes ran out; length is then 0
    int64_t length;           // the first chunk's declared length
    char type[5];             // its 4 type bytes, then a zero
    uint32_t width, height;   // the first 8 data bytes; a byte not read is 0
};

// Reads the PNG signature and the head of the first chunk from stream,
// at most 144 bytes, into head, and prints nothing. The stream is left
// open.
png_fault read_head(FILE *stream, png_head *head);

// Reads the head as read_head() does from the n bytes a file begins with.
png_fault read_head_bytes(const unsigned char *bytes, size_t n, png_head *head);

// Reads the head as read_head() does and returns width times height
// (capped at 32768), 0 when the first chunk is not IHDR, or error_level
// after printing why the file cannot be judged.
int32_t dimgate(FILE *stream, const char *file_name);

// Writes text to stream with each control byte (below 0x20, and 0x7f) as
// \xNN and every other byte as it stands. For file names and option
// characters, which come from whoever made the files or the command line.
void put_escaped(FILE *stream, const char *text);

// Writes the n bytes of a chunk type with every byte outside printable
// ASCII as \xNN.
void put_type(FILE *stream, const char *type, size_t n);

#endif
