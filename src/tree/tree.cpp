#include <stdio.h>
#include <string.h>

#include "../dimgate.h"
#include "limits.h"
#include "lines.h"
#include "rules.h"
#include "walk.h"

static const char version[] = "0.8 (16 June 2011)";

static const char help[] =
    "Checks that every image in the paths given is within the limits given.\n"
    "Usage: dimgate-tree [-123456hot] [-p pixels] [-s WxH] [-m WxH] [-e WxH] [-a W:H]\n"
    "                    [-f formats] [-b bytes] [-c rules] [--] path...\n"
    "\n"
    "Options:\n"
    "   -1                   1024 pixels limit\n"
    "   -2                   2048 pixels limit\n"
    "   -3                   3072 pixels limit\n"
    "   -4                   4096 pixels limit\n"
    "   -5                   5120 pixels limit\n"
    "   -6                   6144 pixels limit\n"
    "   -p, --max-pixels N   width times height at most N\n"
    "   -s, --max-size WxH   width at most W and height at most H\n"
    "   -m, --min-size WxH   width at least W and height at least H\n"
    "   -e, --size WxH       width exactly W and height exactly H: -m WxH -s WxH\n"
    "   -a, --aspect W:H     width to height exactly W to H, as 1:1 or 16:9\n"
    "   -f, --formats LIST   one of the formats listed, as png,jpeg\n"
    "   -b, --max-bytes N    the file's size at most N bytes\n"
    "   -c, --rules FILE     the limits of each file from the rules in FILE\n"
    "   -o, --displayed      hold images to the size shown, with their Exif\n"
    "                        orientation and HEIF crop and rotation applied\n"
    "   -h, --help           print this help\n"
    "   -t                   end each name with a tab, not \": \", for scripts\n"
    "\n"
    "Every limit given applies; with none, the limit is 4096 pixels. Of -1 to -6\n"
    "and -p, the last wins; of the others, the last of each. A number is decimal,\n"
    "at least 1, with no suffix; Wx or xH bounds one side. A value follows its\n"
    "option in the same argument or the next, or after = (--max-size=512x512).\n"
    "\n"
    "Each line of a rules file is a pattern, as .gitignore's, then limit options:\n"
    "a file takes those of the last line that matches its path from the rules\n"
    "file's folder, or none when that line has none. A file that no line matches\n"
    "is held to the command line's limits, if any are given.\n"
    "\n"
    "Images are known by their content, and -f names their formats so:\n"
    "  png, jpeg (jpg), gif, webp, avif, heif, bmp, ico, tiff (tif), svg,\n"
    "  jpegxl (jxl), icns, ktx (ktx2), psd (psb), dds, tga (by name and header),\n"
    "  netpbm (pbm, pgm, ppm, pnm, pam, pfm), jpeg2000 (jp2, j2k, jpx), qoi,\n"
    "  hdr, openexr (exr).\n"
    "An icon breaks a limit when any of its images does; a texture's size is its\n"
    "base level's, an EXR's its data window; an SVG's is in CSS pixels, 96 to the\n"
    "inch, from its width and height, or its viewBox where they are not given.\n"
    "A directory is walked, without following symbolic links, for the files\n"
    "named as images of these formats are, in any case (*.png, *.jpg, *.svg,\n"
    "*.exr and the like); any other path is checked whatever its name. Each file\n"
    "that breaks a limit or cannot be judged gets one line: NAME: WHY.\n"
    "Exit status: 0 if every file is within the limits, 1 if not, 2 on a usage error.\n";

static void usage(FILE *stream)
{
    fprintf(stream, "dimgate-tree, version %s by Quorvane\n", version);
    fputs(help, stream);
    fflush(stream);
}

// Ends a usage error, whose line is written, with the help after it.
static int usage_end()
{
    fputc('\n', stderr);
    usage(stderr);
    return 2;
}

int main(int argc, char **argv)
{
    limits given = {};
    const char *rules = nullptr;
    option_source from = {argc, argv, 1, nullptr, nullptr, 0};

    for (option_read r = option_limit; r != option_done;) {
        const char *value = nullptr;
        switch (r = read_option(&from, &given, &value)) {
        case option_help:
            usage(stdout);
            return 0;
        case option_tab:
            separator = "\t";
            break;
        case option_displayed:
            displayed = true;
            break;
        case option_rules:
            rules = value;
            break;
        case option_bad:
            return usage_end();
        default:
            break;
        }
    }
    if (from.at == argc) {
        usage_error_start(nullptr);
        fputs("no path given\n", stderr);
        return usage_end();
    }
    if (rules != nullptr && rules_read(rules) != 0)
        return usage_end();
    // With rules, a file that no line matches is held to the limits given
    // alone: to none when none are.
    const limits *held = &given;
    if (limits_none(given)) {
        if (rules != nullptr)
            held = nullptr;
        else
            given.pixels = default_pixel_limit;
    }

    for (int i = from.at; i < argc; i++)
        check_path(argv[i], held);
    fflush(stdout);
    return failures > 0 ? 1 : 0;
}
