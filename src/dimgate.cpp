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

static int64_t getlong(FILE *stream, const char *label)
{
    unsigned char bytes[4];

    for (unsigned char &b : bytes) {
        int c = getc(stream);
        if (c == EOF) {
            printf("EOF while reading %s\n", label);
            raise_error();
            return 0;
        }
        b = (unsigned char)c;
    }
    return be32(bytes);
}

// Writes text with each byte from 0x20 to last_plain as it stands, except
// 0x7f, and every other byte as \xNN, so that bytes from a file or a
// command line cannot act on the terminal that shows them. Plain runs go
// out whole, since standard error is unbuffered.
static void put_shown(FILE *stream, const char *text, unsigned char last_plain)
{
    const char *run = text;

    for (; *text != '\0'; text++) {
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
    put_shown(stream, text, 0xff);
}

int32_t dimgate(FILE *stream, const char *file_name)
{
    unsigned char magic[8];
    char type[5] = {0};

    global_error = 0;
    // Bytes that the data read does not fill must read as zero, also when
    // the probe runs more than once in a process.
    memset(buffer, 0, sizeof buffer);

    if (fread(magic, 1, sizeof magic, stream) != sizeof magic || check_magic(magic)) {
        put_escaped(stdout, file_name);
        fputs(" is not a PNG file\n", stdout);
        raise_error();
        return global_error;
    }

    // A short file leaves the length 0; the type read below then fails at
    // the same end of file and says so.
    int64_t length = getlong(stream, "chunk length");

    if (fread(type, 1, 4, stream) != 4) {
        puts("EOF while reading chunk type");
        raise_error();
        return global_error;
    }

    // The data is read whatever the type, so a cut-short chunk of any type
    // is reported.
    size_t n = length < (int64_t)sizeof buffer ? (size_t)length : sizeof buffer;
    if (fread(buffer, 1, n, stream) != n) {
        // A real type is four ASCII letters, so any other byte is shown as
        // \xNN. Like any C string, the type ends at its first zero byte.
        fputs("EOF while reading ", stdout);
        put_shown(stdout, type, 0x7e);
        fputs(" data\n", stdout);
        raise_error();
        return global_error;
    }

    if (strcmp(type, "IHDR") != 0)
        return 0;

    // Both sides are 32-bit, so their product fits in 64 bits.
    uint64_t measure = (uint64_t)be32(buffer) * be32(buffer + 4);
    return measure > measure_cap ? (int32_t)measure_cap : (int32_t)measure;
}
