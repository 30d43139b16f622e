#ifndef DIMGATE_TREE_MATCH_H
#define DIMGATE_TREE_MATCH_H

// Patterns of paths, as .gitignore writes them: * and ? within a name,
// [...] classes, \ escapes, **/ for any directories, /** for all below,
// and a pattern with no / but at its end matching a name at any depth.

#include <stddef.h>
#include <stdint.h>

// No pattern is longer than a rules line.
const size_t pattern_most = 4096;

struct pattern {
    const char *text;   // without its leading and trailing /
    size_t n;
    size_t head, tail;  // how many plain bytes it begins and ends with
    size_t inner, inner_n;  // the longest run of plain bytes between them
    size_t ones, ones_n;    // where the tokens of a byte each that end it begin, and how many
    size_t star;        // its one * when it is its head, a * and those; n
                        // when it is those alone; else SIZE_MAX
    bool anchored;      // matched from the rules' directory, not at any depth
    bool dir_only;      // it ended in /: it matches directories alone
};

// Reads the n bytes at text as a pattern into p, which points into text;
// returns nullptr, or why they are not one.
const char *pattern_read(pattern *p, const char *text, size_t n);

// Whether p matches the file whose path, relative to the rules'
// directory, is the n bytes at path, its own name from path[name]; not
// counting its directories.
bool pattern_matches_file(const pattern &p, const char *path, size_t n, size_t name);

// Whether p matches the directory whose path is the n bytes at dir, or
// a directory above it, and so every file below it.
bool pattern_matches_dirs(const pattern &p, const char *dir, size_t n);

#endif
