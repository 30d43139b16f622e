#ifndef DIMGATE_TESTS_FORMATS_H
#define DIMGATE_TESTS_FORMATS_H

// What the format tables share: bytes built from numbers and boxes, a row
// of the table, and the check that each row is put through.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/formats.h"

using namespace std::string_literals;
using str = std::string;

// Numbers as bytes, in either order.
inline str num(bool le, uint64_t v, size_t size)
{
    str s;
    for (size_t k = 0; k < size; k++)
        s += char(v >> 8 * (le ? k : size - 1 - k));
    return s;
}
inline str le16(uint32_t v) { return num(true, v, 2); }
inline str le32(uint32_t v) { return num(true, v, 4); }
inline str be16(uint32_t v) { return num(false, v, 2); }
inline str be32(uint32_t v) { return num(false, v, 4); }
inline str zeros(size_t n) { return str(n, '\0'); }
inline str patch(str s, size_t at, const str &bytes) { return s.replace(at, bytes.size(), bytes); }
inline str times(size_t n, const str &s)
{
    str all;
    while (n-- > 0)
        all += s;
    return all;
}

inline str png(uint32_t w, uint32_t h, const char *type = "IHDR", uint32_t length = 13)
{
    return "\x89PNG\r\n\x1a\n"s + be32(length) + type + be32(w) + be32(h) + "\x08\x06\0\0\0"s + be32(0);
}

// Boxes, as HEIF, AVIF, JPEG XL and JPEG 2000 nest them.
inline str box(const char *type, const str &body) { return be32(uint32_t(8 + body.size())) + type + body; }
inline str box64(const char *type, const str &body) { return be32(1) + type + num(false, 16 + body.size(), 8) + body; }
inline str fullbox(const char *type, int version, uint32_t flags, const str &body)
{
    return box(type, char(version) + num(false, flags, 3) + body);
}
inline str ftyp(const char *major, const str &compatible) { return box("ftyp", major + be32(0) + compatible); }

// A row: the bytes of a file, what it is, and what a reader must find.
struct Row {
    const char *name;
    const char *format;   // nullptr: no format takes the bytes
    str bytes;
    const char *found;    // the sizes found ("WxH ..."), or why there are none
    uint64_t reach = 0;   // how far a reader of no fixed bound may look; 0: the file's size
    unsigned reads = 0;   // how many reads past the page it may make
    const char *file = "f";  // its name, which one format needs
};
inline void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }

// Reads the row's bytes as a file of which the first page is at hand and
// the rest is read at offsets, and checks what the readers found, with
// the displayed size asked for or not: a size shown otherwise than stored
// is written "WxH (stored WxH)".
void check_row(const Row &row, bool displayed = false);

// A row read both ways: what a reader finds with the displayed size asked
// for, and without.
struct Turned {
    const char *name;
    const char *format;
    str bytes;
    const char *shown, *stored;
    unsigned reads = 0;
    uint64_t reach = 0;
};
inline void PrintTo(const Turned &row, std::ostream *os) { *os << row.name; }
void check_turned(const Turned &row);

#endif
