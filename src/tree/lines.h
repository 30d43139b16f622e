#ifndef DIMGATE_TREE_LINES_H
#define DIMGATE_TREE_LINES_H

// A line per file that fails: the name, then why, then the rule that
// applied; and the count of them, which the exit status comes from.

#include <sys/types.h>

#include "../formats/formats.h"
#include "limits.h"

// Who a line is about: the path as given, the rest of the path that a
// walk found, and the rules line it was held to (0 for none).
struct subject {
    const char *given;
    const char *rest;
    unsigned rule;
};

// What comes between a name and why it fails: ": ", or a tab with -t.
extern const char *separator;

// Files that fail, and walks cut short.
extern unsigned long long failures;

// A line that says why: what, then the C library's text for err.
void fail_with(const subject &who, const char *what, int err);
void fail_says(const subject &who, const char *why);

// Judges an image against lim: its format (nullptr when none took it),
// what its reader said (nullptr, or why it has no size; image_read_failed
// with err), its sizes, and the file's size in bytes (-1 when unknown).
void judge(const subject &who, const limits &lim, const char *format, const char *why, int err,
           const image_sizes &sizes, off_t size);

#endif
