#include "rules.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "../dimgate.h"
#include "match.h"
#include "walk.h"

#ifndef PATH_MAX
#define PATH_MAX 4096
#endif

struct rule {
    pattern match;
    limits lim;
    unsigned line;
};

const char *rules_file;

// The file, read whole; its lines' patterns and values point into it.
static char text[rules_most_bytes + 1];
static rule rules[rules_most];
static size_t count;

// The directory the patterns start from, resolved, with no / at its end
// but for the root.
static char dir[PATH_MAX];
static size_t dir_n;

// The directory of the last file matched, and the last rule that matches
// it or a directory above it: the files of a folder come one after
// another, and a folder is matched once.
static char cached[2 * PATH_MAX + 2];
static size_t cached_n = SIZE_MAX;
static int cached_rule;

// The words of the line being read: its pattern, then its options.
static char *words[rules_line_most / 2 + 2];

static int file_error(const char *name, const char *what, int err)
{
    fputs("error: ", stderr);
    put_escaped(stderr, name);
    fprintf(stderr, ": %s: %s\n", what, strerror(err));
    return 2;
}

int rules_read(const char *file)
{
    // A FIFO's writer is waited for, as for a path named: the rules may
    // come from a pipe.
    int fd = open(file, O_RDONLY | O_NOCTTY);
    if (fd < 0)
        return file_error(file, "cannot be opened", errno);
    ssize_t n = read_bytes(fd, (unsigned char *)text, rules_most_bytes + 1);
    int err = errno;
    close(fd);
    if (n < 0)
        return file_error(file, "cannot be read", err);
    if ((size_t)n > rules_most_bytes) {
        fputs("error: ", stderr);
        put_escaped(stderr, file);
        fprintf(stderr, ": more than %zu bytes, the most a rules file may hold\n", rules_most_bytes);
        return 2;
    }

    // The patterns start from the folder the file's name is in, wherever
    // that is reached from.
    char folder[PATH_MAX];
    size_t slash = strlen(file);
    while (slash > 0 && file[slash - 1] != '/')
        slash--;
    if (slash == 0) {
        strcpy(folder, ".");
    } else if (slash >= sizeof folder) {
        return file_error(file, "cannot be examined", ENAMETOOLONG);
    } else {
        memcpy(folder, file, slash);
        folder[slash] = '\0';
    }
    if (realpath(folder, dir) == nullptr)
        return file_error(file, "cannot be examined", errno);
    dir_n = strlen(dir);
    if (dir_n > 1 && dir[dir_n - 1] == '/')
        dir[--dir_n] = '\0';
    return rules_parse(file, text, (size_t)n);
}

// A line that cannot be read: what is wrong, then the word at fault in
// quotes, then why, after "FILE:LINE: ".
static int line_error(const option_source *from, const char *what, const char *word, const char *why)
{
    usage_error_start(from);
    fputs(what, stderr);
    if (word != nullptr) {
        fputc('"', stderr);
        put_escaped(stderr, word);
        fputc('"', stderr);
        if (why[0] != ',')
            fputc(' ', stderr);
    }
    fputs(why, stderr);
    fputc('\n', stderr);
    return 2;
}

static bool blank(char c) { return c == ' ' || c == '\t'; }

// Splits the line at blanks into words; a blank after a \ in the pattern
// is its own, as in .gitignore. Returns how many.
static int split(char *line)
{
    int n = 0;
    char *c = line;
    for (;;) {
        while (blank(*c))
            c++;
        if (*c == '\0')
            return n;
        words[n++] = c;
        while (*c != '\0' && !blank(*c)) {
            if (n == 1 && *c == '\\' && c[1] != '\0')
                c++;
            c++;
        }
        if (*c == '\0')
            return n;
        *c++ = '\0';
    }
}

// Reads one line, whose newline (and a carriage return before it) is a
// zero now.
static int parse_line(const option_source *at, char *line)
{
    option_source from = *at;
    from.argc = split(line);
    from.argv = words;
    if (from.argc == 0 || words[0][0] == '#')
        return 0;
    if (words[0][0] == '-')
        return line_error(&from, "the line begins with an option, ", words[0],
                          ", where its pattern goes (a pattern that begins with - is written \\-)");
    if (count == rules_most)
        return line_error(&from, "more rules than 1024, the most a rules file may hold", nullptr, "");
    rule &r = rules[count];
    const char *why = pattern_read(&r.match, words[0], strlen(words[0]));
    if (why != nullptr)
        return line_error(&from, "pattern ", words[0], why);
    r.lim = limits{};
    r.line = from.line;
    from.at = 1;
    for (;;) {
        const char *value;
        switch (read_option(&from, &r.lim, &value)) {
        case option_limit:
            continue;
        case option_done:
            // A # after the options begins a comment.
            if (from.at < from.argc && from.argv[from.at][0] != '#')
                return line_error(&from, "", from.argv[from.at], "is not an option");
            count++;
            return 0;
        default:
            return 2;
        }
    }
}

int rules_parse(const char *name, char *text, size_t n)
{
    option_source from = {0, nullptr, 0, nullptr, name, 0};
    rules_file = name;
    count = 0;
    cached_n = SIZE_MAX;
    for (char *line = text, *end = text + n; line < end;) {
        from.line++;
        char *newline = (char *)memchr(line, '\n', (size_t)(end - line));
        size_t length = (size_t)((newline != nullptr ? newline : end) - line);
        if (length > rules_line_most)
            return line_error(&from, "longer than 4096 bytes, the most a line may hold", nullptr, "");
        if (memchr(line, '\0', length) != nullptr)
            return line_error(&from, "holds a NUL byte", nullptr, "");
        if (length > 0 && line[length - 1] == '\r')
            length--;
        line[length] = '\0';
        if (parse_line(&from, line) != 0)
            return 2;
        if (newline == nullptr)
            break;
        line = newline + 1;
    }
    return 0;
}

const char *rules_relative(const char *abs)
{
    if (dir_n == 1)
        return abs + 1;
    if (strncmp(abs, dir, dir_n) == 0 && abs[dir_n] == '/')
        return abs + dir_n + 1;
    return nullptr;
}

int rules_find(const char *path, size_t n)
{
    // The file's own name, and before it, less the /, its folder.
    size_t name = n;
    while (name > 0 && path[name - 1] != '/')
        name--;
    size_t d = name > 0 ? name - 1 : 0;
    if (d != cached_n || d >= sizeof cached || memcmp(path, cached, d) != 0) {
        cached_rule = -1;
        for (size_t k = count; d > 0 && k-- > 0;) {
            if (pattern_matches_dirs(rules[k].match, path, d)) {
                cached_rule = (int)k;
                break;
            }
        }
        cached_n = d < sizeof cached ? d : SIZE_MAX;
        if (d < sizeof cached)
            memcpy(cached, path, d);
    }
    for (size_t k = count; k-- > (size_t)(cached_rule + 1);)
        if (pattern_matches_file(rules[k].match, path, n, name))
            return (int)k;
    return cached_rule;
}

const limits &rules_limits(int rule) { return rules[rule].lim; }

unsigned rules_line(int rule) { return rules[rule].line; }
