#ifndef DIMGATE_TREE_WALK_H
#define DIMGATE_TREE_WALK_H

// The paths given: each file read and judged, each directory walked.

#include <stddef.h>
#include <sys/types.h>

#include "limits.h"

// Checks path, walking it when it is a directory. A file is held to the
// limits of the last rules line that matches it when a rules file was
// read, else to lim; it is not opened when that is an exempting line, or
// when lim is nullptr.
void check_path(const char *path, const limits *lim);

// Whether files are held to the size they are shown at, as their
// orientation and crop make it, rather than the size stored.
extern bool displayed;

// Reads from fd into to until want bytes or the end of the file have
// come, and returns how many came, or -1 after a read error.
ssize_t read_bytes(int fd, unsigned char *to, size_t want);

#endif
