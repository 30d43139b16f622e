#include "dimgate.h"

#include <string.h>

static const unsigned char good_PNG_magic[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// The measure stops at 32768: every limit is far below it, and a cap keeps
// the result a small signed number whatever the header claims.
static const uint64_t measure_cap = 0x8000;

static int32_t global_error;

// The first chunk's data goes here. No more than this is ever read, so a
// declared length of gigabytes costs the same as one of 13.
static unsigned char buffer[128];

static void raise_error()
{
    if (global_error < error_level)
        global_error = error_level;
}

static int check_magic(const unsigned char *magic)
{
    return memcmp(magic, good_PNG_magic, sizeof good_PNG_magic) != 0;
}

// Widen before shifting: a byte promotes to int, and 0x80 << 24 overflows it.
static uint32_t be32(const unsigned char *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// Where the probe's bytes come from: a stream, or bytes already read.
struct source {
    FILE *stream;
    const unsigned char *next;
    size_t left;
};

// Reads up to n bytes into to, and returns how many came.
static size_t take(source *from, void *to, size_t n)
{
    if (from->stream != nullptr)
        return fread(to, 1, n, from->stream);
    if (n > from->left)
        n = from->left;
    memcpy(to, from->next, n);
    from->next += n;
    from->left -= n;
    return n;
}

static int take_byte(source *from)
{
    if (from->stream != nullptr)
        return getc(from->stream);
    if (from->left == 0)
        return EOF;
    from->left--;
    return *from->next++;
}

// Returns the next 4 bytes as a big-endian number, or -1 when the source
// ends first. Bytes read before the end stay read.
static int64_t getlong(source *from)
{
    unsigned char bytes[4];

    for (unsigned char &b : bytes) {
        int c = take_byte(from);
        if (c == EOF)
            return -1;
        b = (unsigned char)c;
    }
    return be32(bytes);
}

// Writes the n bytes of text with each byte from 0x20 to last_plain as it
// stands, except 0x7f, and every other byte as \xNN, so that bytes from a
// file or a command line cannot act on the terminal that shows them.
// Plain runs go out whole, since standard error is unbuffered.
static void put_shown(FILE *stream, const char *text, size_t n, unsigned char last_plain)
{
    const char *run = text, *end = text + n;

    for (; text != end; text++) {
        unsigned char c = (unsigned char)*text;
        if (c < 0x20 || c == 0x7f || c > last_plain) {
            fwrite(run, 1, (size_t)(text - run), stream);
            fprintf(stream, "\\x%02x", c);
            run = text + 1;
        }
    }
    fwrite(run, 1, (size_t)(text - run), stream);
}

// Bytes from 0x80 up pass, so that a UTF-8 name prints as it was typed.
void put_escaped(FILE *stream, const char *text)
{
    put_shown(stream, text, strlen(text), 0xff);
}

// A real type is four ASCII letters, so any other byte is shown as \xNN.
void put_type(FILE *stream, const char *type, size_t n)
{
    put_shown(stream, type, n, 0x7e);
}

static png_fault scan(source *from, png_head *head)
{
    unsigned char magic[8];

    memset(head, 0, sizeof *head);
    // Bytes that the data read does not fill must read as zero, also when
    // the probe runs more than once in a process.
    memset(buffer, 0, sizeof buffer);

    if (take(from, magic, sizeof magic) != sizeof magic || check_magic(magic))
        return png_not_png;

    // A short file leaves the length 0; the type read below then fails at
    // the same end of file.
    head->length = getlong(from);
    head->length_cut = head->length < 0;
    if (head->length_cut)
        head->length = 0;

    if (take(from, head->type, 4) != 4)
        return png_cut_type;

    // The data is read whatever the type, so a cut-short chunk of any type
    // is reported.
    size_t n = head->length < (int64_t)sizeof buffer ? (size_t)head->length : sizeof buffer;
    if (take(from, buffer, n) != n)
        return png_cut_data;

    head->width = be32(buffer);
    head->height = be32(buffer + 4);
    return png_whole;
}

png_fault read_head(FILE *stream, png_head *head)
{
    source from = {stream, nullptr, 0};
    return scan(&from, head);
}

png_fault read_head_bytes(const unsigned char *bytes, size_t n, png_head *head)
{
    source from = {nullptr, bytes, n};
    return scan(&from, head);
}

int32_t dimgate(FILE *stream, const char *file_name)
{
    png_head head;

    global_error = 0;
    png_fault fault = read_head(stream, &head);

    if (fault == png_not_png) {
        put_escaped(stdout, file_name);
        fputs(" is not a PNG file\n", stdout);
        raise_error();
        return global_error;
    }
    if (head.length_cut) {
        puts("EOF while reading chunk length");
        raise_error();
    }
    if (fault == png_cut_type) {
        puts("EOF while reading chunk type");
        raise_error();
        return global_error;
    }
    if (fault == png_cut_data) {
        // Like any C string, the type ends at its first zero byte.
        fputs("EOF while reading ", stdout);
        put_type(stdout, head.type, strlen(head.type));
        fputs(" data\n", stdout);
        raise_error();
        return global_error;
    }

    if (strcmp(head.type, "IHDR") != 0)
        return 0;

    // Both sides are 32-bit, so their product fits in 64 bits.
    uint64_t measure = (uint64_t)head.width * head.height;
    return measure > measure_cap ? (int32_t)measure_cap : (int32_t)measure;
}
