#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "dimgate.h"

static const char version[] = "0.8 (16 June 2011)";

static const char help[] =
    "Checks if a PNG file is less than x1024 pixels square.\n"
    "Usage: dimgate [-123456] file.png\n"
    "\n"
    "Options:\n"
    "   -1  1024 pixels limit\n"
    "   -2  2048 pixels limit\n"
    "   -3  3072 pixels limit\n"
    "   -4  4096 pixels limit\n"
    "   -5  5120 pixels limit\n"
    "   -6  6144 pixels limit\n";

static int32_t pass = 4096;

static void usage(FILE *stream)
{
    fprintf(stream, "dimgate, version %s by Quorvane\n", version);
    fputs(help, stream);
    fflush(stream);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        usage(stdout);
        return 0;
    }

    // The options are walked by hand: a cluster's end uses up its argument,
    // and running out of arguments there asks for help.
    int remaining = argc - 1;
    char **arg = argv + 1;
    while ((*arg)[0] == '-') {
        for (const char *c = *arg + 1; *c != '\0'; c++) {
            switch (*c) {
            case '1': pass = 1024; break;
            case '2': pass = 2048; break;
            case '3': pass = 3072; break;
            case '4': pass = 4096; break;
            case '5': pass = 5120; break;
            case '6': pass = 6144; break;
            case 'h':
                usage(stdout);
                return 0;
            default: {
                const char option[2] = {*c, '\0'};
                fputs("error: unknown option ", stderr);
                put_escaped(stderr, option);
                fputs("\n\n", stderr);
                usage(stderr);
                return 2;
            }
            }
        }
        if (--remaining == 0) {
            usage(stdout);
            return 0;
        }
        arg++;
    }

    // Exactly one file name, and nothing after it.
    if (remaining != 1) {
        usage(stdout);
        return 0;
    }

    // A file that cannot be opened, or that the probe cannot judge, yields
    // error_level, which is below every limit: the status says "over" only
    // when the size is known, and the message has already said why.
    int32_t result;
    FILE *stream = fopen(*arg, "rb");
    if (stream == nullptr) {
        // The line perror would write, with the name escaped.
        int err = errno;
        if (**arg != '\0') {
            put_escaped(stderr, *arg);
            fputs(": ", stderr);
        }
        fprintf(stderr, "%s\n", strerror(err));
        result = error_level;
    } else {
        result = dimgate(stream, *arg);
        fclose(stream);
    }
    return result > pass ? 1 : 0;
}
