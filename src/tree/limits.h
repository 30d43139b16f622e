#ifndef DIMGATE_TREE_LIMITS_H
#define DIMGATE_TREE_LIMITS_H

// A set of limits, and the options that fill one: the command line's and
// a rules line's go through the same reader.

#include <stdint.h>
#include <stdio.h>

// What a file is held to. A limit of 0 is not set: a value given is at
// least 1.
struct limits {
    uint64_t pixels;                        // width times height at most
    uint64_t width, height;                 // each side at most
    uint64_t min_width, min_height;         // each side at least
    uint64_t aspect_width, aspect_height;   // width to height, as given
    uint64_t ratio_width, ratio_height;     // the same in lowest terms
    uint64_t bytes;                         // the file's size at most
    uint64_t formats;                       // a bit per format allowed
};

bool limits_none(const limits &lim);

// The pixel limit when no limit is given at all.
const uint64_t default_pixel_limit = 4096;

// Where options come from: the command line, or a rules file's line
// (file set), whose errors begin with "FILE:LINE: " and which takes
// limits alone.
struct option_source {
    int argc;
    char **argv;
    int at;            // the argument being read
    const char *next;  // the next letter of a cluster, or nullptr
    const char *file;
    unsigned line;
};

enum option_read {
    option_limit,   // a limit, set in the limits given
    option_help,
    option_tab,
    option_displayed,
    option_rules,   // the rules file, in *value
    option_bad,     // a usage error, told on standard error but for the help
    option_done,    // no option left: argv[at] is the first argument that is none
};

// Reads the next option of from, with its value, into lim.
option_read read_option(option_source *from, limits *lim, const char **value);

// Starts a usage error's line on standard error: "error: ", and the
// rules file's name and line when from is one.
void usage_error_start(const option_source *from);

// Writes the names of the formats in set, in lower case and without
// blanks, as -f takes them, joined by ", ".
void put_formats(FILE *stream, uint64_t set);

#endif
