#ifndef DIMGATE_TREE_RULES_H
#define DIMGATE_TREE_RULES_H

// A rules file: lines of a pattern and the limits of the files it
// matches, read once at the start; the last line that matches a file
// gives its limits.

#include <stddef.h>

#include "limits.h"

// What a rules file may hold: a rule per image folder of a large
// repository and more, while each file checked costs at most a match
// against every line.
const size_t rules_most_bytes = 65536;
const size_t rules_line_most = 4096;
const size_t rules_most = 1024;

// The rules file as given, or nullptr when none was read.
extern const char *rules_file;

// Reads the rules file named file, and the directory its patterns start
// from. Returns 0, or 2 after a usage error's line on standard error.
int rules_read(const char *file);

// Reads the n bytes at text as the lines of the rules file named name,
// writing into them; text has room for a byte more. Returns as
// rules_read() does.
int rules_parse(const char *name, char *text, size_t n);

// The path of the resolved path abs relative to the rules' directory, or
// nullptr when it lies outside that.
const char *rules_relative(const char *abs);

// The rule of the last line that matches the file at path (n bytes,
// relative to the rules' directory), or -1 when none does.
int rules_find(const char *path, size_t n);

// A rule's limits, none for a line that exempts its files, and its line.
const limits &rules_limits(int rule);
unsigned rules_line(int rule);

#endif
