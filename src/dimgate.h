#ifndef DIMGATE_H
#define DIMGATE_H

#include <stdint.h>
#include <stdio.h>

// What dimgate() returns for a file it cannot judge.
const int32_t error_level = 5;

// Reads the PNG signature and the head of the first chunk from stream and
// returns width times height (capped at 32768), 0 when the first chunk is
// not IHDR, or error_level after printing why the file cannot be judged.
// The stream is left open.
int32_t dimgate(FILE *stream, const char *file_name);

// Writes text to stream with each control byte (below 0x20, and 0x7f) as
// \xNN and every other byte as it stands. For file names and option
// characters, which come from whoever made the files or the command line.
void put_escaped(FILE *stream, const char *text);

#endif
