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

// The chunk type comes from the file, so anything a terminal could take as
// a control sequence is written as \xNN; a real type is four letters and
// prints unchanged. Like any C string, it ends at its first zero byte.
static void escape_type(const char *type, char *out)
{
    static const char hex[] = "0123456789abcdef";

    for (; *type != '\0'; type++) {
        unsigned char c = (unsigned char)*type;
        if (c >= 0x20 && c <= 0x7e) {
            *out++ = (char)c;
        } else {
            *out++ = '\\';
            *out++ = 'x';
            *out++ = hex[c >> 4];
            *out++ = hex[c & 0xf];
        }
    }
    *out = '\0';
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
        printf("%s is not a PNG file\n", file_name);
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
        // At most four type bytes, each shown in at most four characters.
        char shown[4 * 4 + 1];
        escape_type(type, shown);
        printf("EOF while reading %s data\n", shown);
        raise_error();
        return global_error;
    }

    if (strcmp(type, "IHDR") != 0)
        return 0;

    // Both sides are 32-bit, so their product fits in 64 bits.
    uint64_t measure = (uint64_t)be32(buffer) * be32(buffer + 4);
    return measure > measure_cap ? (int32_t)measure_cap : (int32_t)measure;
}
