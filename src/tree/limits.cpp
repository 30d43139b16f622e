#include "limits.h"

#include <stdio.h>
#include <string.h>

#include "../dimgate.h"
#include "../formats/formats.h"

enum value_kind { value_none, value_count, value_sides, value_ratio, value_formats, value_file };

// Every option but -1 to -6, which are short only and take no value.
static const struct option_row {
    char letter;
    const char *name;   // nullptr: short only
    value_kind value;
    bool limit;         // a rules line may give it
} options[] = {
    {'p', "max-pixels", value_count, true},
    {'s', "max-size", value_sides, true},
    {'m', "min-size", value_sides, true},
    {'e', "size", value_sides, true},
    {'a', "aspect", value_ratio, true},
    {'f', "formats", value_formats, true},
    {'b', "max-bytes", value_count, true},
    {'c', "rules", value_file, false},
    {'o', "displayed", value_none, false},
    {'h', "help", value_none, false},
    {'t', nullptr, value_none, false},
};

static const option_row preset = {'1', nullptr, value_none, true};

// Names for formats besides the table's own, as files of them are named.
static const struct {
    const char *name, *format;
} aliases[] = {
    {"jpg", "JPEG"}, {"tif", "TIFF"},     {"jxl", "JPEG XL"},   {"ktx2", "KTX"},      {"psb", "PSD"},
    {"pbm", "Netpbm"}, {"pgm", "Netpbm"}, {"ppm", "Netpbm"},    {"pnm", "Netpbm"},    {"pam", "Netpbm"},
    {"pfm", "Netpbm"}, {"jp2", "JPEG 2000"}, {"j2k", "JPEG 2000"}, {"jpx", "JPEG 2000"}, {"exr", "OpenEXR"},
};

// Whether the n bytes at item are the format's name as -f takes it: in
// any case, and without its blanks (jpegxl, jpeg2000).
static bool names(const char *item, size_t n, const char *format)
{
    size_t k = 0;
    for (const char *c = format; *c != '\0'; c++) {
        if (*c == ' ')
            continue;
        if (k == n)
            return false;
        char a = item[k] >= 'A' && item[k] <= 'Z' ? (char)(item[k] - 'A' + 'a') : item[k];
        char b = *c >= 'A' && *c <= 'Z' ? (char)(*c - 'A' + 'a') : *c;
        if (a != b)
            return false;
        k++;
    }
    return k == n;
}

bool limits_none(const limits &lim)
{
    return lim.pixels == 0 && lim.width == 0 && lim.height == 0 && lim.min_width == 0 &&
           lim.min_height == 0 && lim.aspect_width == 0 && lim.bytes == 0 && lim.formats == 0;
}

void usage_error_start(const option_source *from)
{
    fputs("error: ", stderr);
    if (from != nullptr && from->file != nullptr) {
        put_escaped(stderr, from->file);
        fprintf(stderr, ":%u: ", from->line);
    }
}

// The option as the user wrote it: "-x" or "--name".
static void put_option(const option_row &o, bool long_name)
{
    if (long_name) {
        fputs("--", stderr);
        fputs(o.name, stderr);
    } else {
        fputc('-', stderr);
        fputc(o.letter, stderr);
    }
}

// A value that cannot be taken: missing when value is null. A list of
// formats' names follows a bad list.
static option_read value_error(const option_source *from, const option_row &o, bool long_name,
                               const char *value, const char *why)
{
    usage_error_start(from);
    fputs("option ", stderr);
    put_option(o, long_name);
    if (value == nullptr) {
        fputs(why, stderr);
    } else {
        fputs(": \"", stderr);
        put_escaped(stderr, value);
        fputs("\" ", stderr);
        fputs(why, stderr);
    }
    if (o.value == value_formats && value != nullptr)
        put_formats(stderr, ~(uint64_t)0);
    fputc('\n', stderr);
    return option_bad;
}

enum count_fault { count_ok, count_bad, count_too_large };

// Reads the n bytes at text as a decimal number of at least 1: digits
// alone, with no sign, blank or suffix, that 64 bits hold.
static count_fault read_count(const char *text, size_t n, uint64_t *count)
{
    uint64_t v = 0;
    bool too_large = false;

    if (n == 0)
        return count_bad;
    for (size_t k = 0; k < n; k++) {
        if (text[k] < '0' || text[k] > '9')
            return count_bad;
        unsigned digit = (unsigned)(text[k] - '0');
        if (v > (UINT64_MAX - digit) / 10)
            too_large = true;
        else
            v = v * 10 + digit;
    }
    if (too_large)
        return count_too_large;
    if (v == 0)
        return count_bad;
    *count = v;
    return count_ok;
}

// Reads "A<sep>B" into a and b; with sides, either may be left out (0).
static count_fault read_pair(const char *text, char sep, bool sides, uint64_t *a, uint64_t *b)
{
    const char *at = strchr(text, sep);
    *a = *b = 0;
    if (at == nullptr || (at == text && at[1] == '\0'))
        return count_bad;
    size_t n = (size_t)(at - text), m = strlen(at + 1);
    if (!sides && (n == 0 || m == 0))
        return count_bad;
    count_fault fault = n == 0 ? count_ok : read_count(text, n, a);
    if (fault != count_ok)
        return fault;
    return m == 0 ? count_ok : read_count(at + 1, m, b);
}

static uint64_t gcd(uint64_t a, uint64_t b)
{
    while (b != 0) {
        uint64_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// Reads a comma-separated list of format names, in any case, into a set.
static bool read_formats(const char *text, uint64_t *set)
{
    *set = 0;
    for (const char *item = text;; item++) {
        const char *end = strchr(item, ',');
        size_t n = end != nullptr ? (size_t)(end - item) : strlen(item);
        const char *format = nullptr;
        for (size_t k = 0; format == nullptr && image_format_name(k) != nullptr; k++)
            if (names(item, n, image_format_name(k)))
                format = image_format_name(k);
        for (const auto &a : aliases)
            if (format == nullptr && names(item, n, a.name))
                format = a.format;
        if (format == nullptr)
            return false;
        *set |= (uint64_t)1 << image_format_index(format);
        if (end == nullptr)
            return true;
        item = end;
    }
}

void put_formats(FILE *stream, uint64_t set)
{
    const char *sep = "";
    const char *name;
    for (size_t k = 0; (name = image_format_name(k)) != nullptr; k++) {
        if ((set >> k & 1) == 0)
            continue;
        fputs(sep, stream);
        for (const char *c = name; *c != '\0'; c++)
            if (*c != ' ')
                fputc(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c, stream);
        sep = ", ";
    }
}

// Sets the limit o names from its value.
static option_read set_limit(const option_source *from, const option_row &o, bool long_name,
                             const char *value, limits *lim)
{
    uint64_t a = 0, b = 0;
    count_fault fault;
    const char *form;

    switch (o.value) {
    case value_sides:
        fault = read_pair(value, 'x', true, &a, &b);
        form = "is not WIDTHxHEIGHT, WIDTHx or xHEIGHT, with sides of at least 1";
        break;
    case value_ratio:
        fault = read_pair(value, ':', false, &a, &b);
        form = "is not WIDTH:HEIGHT, with sides of at least 1";
        break;
    case value_formats:
        if (!read_formats(value, &a))
            return value_error(from, o, long_name, value, "is not a list of ");
        fault = count_ok;
        form = "";
        break;
    default:
        fault = read_count(value, strlen(value), &a);
        form = "is not a number of at least 1";
    }
    if (fault == count_bad)
        return value_error(from, o, long_name, value, form);
    if (fault == count_too_large)
        return value_error(from, o, long_name, value, "is too large; the most is 18446744073709551615");
    switch (o.letter) {
    case 'p': lim->pixels = a; break;
    case 'b': lim->bytes = a; break;
    case 'f': lim->formats = a; break;
    case 's':
        lim->width = a;
        lim->height = b;
        break;
    case 'm':
        lim->min_width = a;
        lim->min_height = b;
        break;
    case 'e':
        lim->width = lim->min_width = a;
        lim->height = lim->min_height = b;
        break;
    case 'a': {
        uint64_t g = gcd(a, b);
        lim->aspect_width = a;
        lim->aspect_height = b;
        lim->ratio_width = a / g;
        lim->ratio_height = b / g;
        break;
    }
    }
    return option_limit;
}

// Acts on option o, whose value, if it takes one, is value (nullptr when
// missing).
static option_read take(option_source *from, const option_row &o, bool long_name, const char *value,
                        limits *lim, const char **out)
{
    if (from->file != nullptr && !o.limit) {
        usage_error_start(from);
        fputs("option ", stderr);
        put_option(o, long_name);
        fputs(" is not a limit\n", stderr);
        return option_bad;
    }
    if (o.value != value_none && value == nullptr)
        return value_error(from, o, long_name, nullptr, " needs a value");
    switch (o.letter) {
    case 'h': return option_help;
    case 't': return option_tab;
    case 'o': return option_displayed;
    case 'c':
        *out = value;
        return option_rules;
    }
    return set_limit(from, o, long_name, value, lim);
}

static option_read unknown(const option_source *from, const char *shown)
{
    usage_error_start(from);
    fputs("unknown option ", stderr);
    put_escaped(stderr, shown);
    fputc('\n', stderr);
    return option_bad;
}

static option_read read_long(option_source *from, limits *lim, const char **out)
{
    char *arg = from->argv[from->at++];
    char *equals = strchr(arg, '=');
    size_t n = (equals != nullptr ? (size_t)(equals - arg) : strlen(arg)) - 2;
    for (const option_row &o : options) {
        if (o.name == nullptr || strlen(o.name) != n || strncmp(arg + 2, o.name, n) != 0)
            continue;
        if (o.value == value_none && equals != nullptr) {
            usage_error_start(from);
            fputs("option --", stderr);
            fputs(o.name, stderr);
            fputs(" takes no value\n", stderr);
            return option_bad;
        }
        const char *value = nullptr;
        if (o.value != value_none)
            value = equals != nullptr ? equals + 1 : from->at < from->argc ? from->argv[from->at++] : nullptr;
        return take(from, o, true, value, lim, out);
    }
    // Only the name is shown: the value may be long, and is not the fault.
    if (equals != nullptr)
        *equals = '\0';
    option_read r = unknown(from, arg);
    if (equals != nullptr)
        *equals = '=';
    return r;
}

option_read read_option(option_source *from, limits *lim, const char **out)
{
    if (from->next == nullptr) {
        if (from->at >= from->argc)
            return option_done;
        const char *arg = from->argv[from->at];
        if (arg[0] != '-' || arg[1] == '\0')
            return option_done;
        if (arg[1] == '-') {
            // On the command line, -- ends the options; a rules line has
            // no paths to tell from them.
            if (arg[2] == '\0' && from->file == nullptr) {
                from->at++;
                return option_done;
            }
            return read_long(from, lim, out);
        }
        from->next = arg + 1;
    }
    char c = *from->next++;
    const option_row *o = nullptr;
    if (c >= '1' && c <= '6') {
        o = &preset;
    } else {
        for (const option_row &row : options)
            if (row.letter == c)
                o = &row;
    }
    if (o == nullptr) {
        const char shown[2] = {c, '\0'};
        return unknown(from, shown);
    }
    const char *value = nullptr;
    if (o->value != value_none) {
        // The value is the rest of the argument, or the next one whatever
        // it holds, as getopt takes it; either way it ends the cluster.
        if (*from->next != '\0')
            value = from->next;
        else if (from->at + 1 < from->argc)
            value = from->argv[++from->at];
        from->next = "";
    }
    if (*from->next == '\0') {
        from->next = nullptr;
        from->at++;
    }
    if (o == &preset) {
        lim->pixels = 1024 * (uint64_t)(c - '0');
        return option_limit;
    }
    return take(from, *o, false, value, lim, out);
}
