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

#endif
