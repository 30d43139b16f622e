#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "common.h"

// A baseline JPEG of w by h whose frame header follows an APP1 segment of
// pad bytes.
static std::string jpeg(uint32_t w, uint32_t h, size_t pad)
{
    std::string app1 = "\xff\xe1" + be(uint32_t(pad + 2)).substr(2) + std::string(pad, '\0');
    return "\xff\xd8" + app1 + "\xff\xc0" + be(17).substr(2) + "\x08" + be(h).substr(2) +
           be(w).substr(2) + std::string(10, '\1');
}

// A JPEG of w by h whose Exif, in the APP1 segment, gives the orientation.
static std::string turned_jpeg(uint32_t w, uint32_t h, uint16_t orientation)
{
    using namespace std::string_literals;
    std::string exif = "Exif\0\0MM\0*"s + be(8) + "\0\1\1\x12\0\3"s + be(1) + be(orientation).substr(2) + "\0\0"s;
    std::string frame = jpeg(w, h, 0).substr(6);
    return "\xff\xd8\xff\xe1" + be(uint32_t(exif.size() + 2)).substr(2) + exif + frame;
}

// An icon of a PNG image for each {w, h}.
static std::string ico(const std::vector<std::pair<uint32_t, uint32_t>> &sides)
{
    std::string entries, images;
    size_t at = 6 + 16 * sides.size();
    for (auto [w, h] : sides) {
        std::string image = png(w, h);
        entries += std::string{char(w < 256 ? w : 0), char(h < 256 ? h : 0), 0, 0} + le16(1) + le16(32) +
                   le32(uint32_t(image.size())) + le32(uint32_t(at + images.size()));
        images += image;
    }
    return le16(0) + le16(1) + le16(uint16_t(sides.size())) + entries + images;
}

// Tree cases run the built dimgate-tree in a folder of their own, made of
// {path, what} entries: what is "WxH" for an image of that size, "/" for a
// folder, "/0" for a folder nobody may read, "->target" for a link, "|" for
// a FIFO and "|WxH" for one whose writer sends that image; else the
// file's content.
using Tree = std::vector<std::pair<std::string, std::string>>;

struct TreeCase {
    const char *name;
    Tree tree;
    std::vector<std::string> args;
    std::string out;  // its lines in any order; %m is the C library's text for errnum
    int status;
    int errnum = 0;
    std::string err = "";  // a usage error's line, which the help follows
};

using namespace std::string_literals;

// A folder nested past PATH_MAX, in 200-byte names, with an image below.
static const std::string too_deep = [] {
    std::string p = "deep";
    while (p.size() <= PATH_MAX)
        p += "/" + std::string(200, 'd');
    return p + "/x.png";
}();

static const Tree two_thousand_within = [] {
    Tree t{{"t/over.png", "65x64"}};
    for (int i = 0; i < 2000; i++)
        t.push_back({"t/" + std::to_string(i) + ".png", "64x64"});
    return t;
}();

// A file that no format reads.
static const std::string no_format = "not a PNG, JPEG, GIF, WebP, AVIF, HEIF, BMP, ICO, TIFF, SVG, JPEG XL, ICNS, "
                                      "KTX, PSD, DDS, TGA, Netpbm, JPEG 2000, QOI, HDR or OpenEXR file\n";

static const std::string over = ": 65 x 64 = 4160 pixels, over the limit of 4096\n";

// The smallest heads of the other formats, 80 x 60.
static const std::string gif80 = "GIF89a" + le16(80) + le16(60),
    webp80 = "RIFF" + le32(22) + "WEBPVP8X" + le32(10) + le32(0) + le32(79).substr(0, 3) + le32(59).substr(0, 3),
    bmp80 = "BM" + le32(54) + le32(0) + le32(54) + le32(40) + le32(80) + le32(60) + le16(1) + le16(24) +
            std::string(24, '\0'),
    tiff80 = "II*\0"s + le32(8) + le16(2) + le16(256) + le16(3) + le32(1) + le32(80) + le16(257) + le16(3) +
             le32(1) + le32(60) + le32(0);

// 256 images over the limit: a count of failures that wraps would pass.
static const Tree many_over = [] {
    Tree t;
    for (int i = 0; i < 256; i++)
        t.push_back({"t/" + std::to_string(i) + ".png", "65x64"});
    return t;
}();
static const std::string many_over_lines = [] {
    std::string lines;
    for (int i = 0; i < 256; i++)
        lines += "t/" + std::to_string(i) + ".png" + over;
    return lines;
}();

// A path of 1400 folders, and a pattern of 800 **/ that cannot match
// it: following one way at a time would take forever.
static const std::string deep_path = [] {
    std::string p;
    for (int i = 0; i < 1400; i++)
        p += "a/";
    return p + "b.png";
}();
static const std::string backtracking = [] {
    std::string p;
    for (int i = 0; i < 800; i++)
        p += "**/a/";
    return p + "c/**/b.png\n";
}();

// Rules files that cannot be read.
static const std::string long_line = "*.png -p " + std::string(5000, '1') + "\n";
static const std::string too_many_rules = [] {
    std::string r;
    for (int i = 0; i < 1025; i++)
        r += "x" + std::to_string(i) + ".png -p 1\n";
    return r;
}();
static const std::string ten_thousand_lines = std::string(10000, '\n') + "*.png -p 1\n";

static const TreeCase tree_cases[] = {
    // name            tree                                   arguments       stdout      status
    {"Samples",        {},  {DIMGATE_DATA "/within.png", DIMGATE_DATA "/over.png"},
                       DIMGATE_DATA "/over.png: 80 x 60 = 4800 pixels, over the limit of 4096\n", 1},
    {"AllWithin",      {{"t/a.png", "64x64"}, {"t/b.png", "1x1"}, {"t/c", "/"}}, {"t"}, "", 0},
    {"LastLimitWins",  {{"t/a.png", "64x32"}, {"t/b.png", "200x200"}}, {"-6", "-12", "t"},
                       "t/b.png: 200 x 200 = 40000 pixels, over the limit of 2048\n", 1},
    {"WhatIsChecked",  {{"t/a.PnG", "65x64"}, {"t/b.txt", "65x64"}, {"t/c.png.txt", "65x64"},
                        {"t/x.png/d.png", "65x64"}, {"named.txt", "65x64"}},
                       {"t", "named.txt"},  "named.txt" + over + "t/a.PnG" + over + "t/x.png/d.png" + over, 1},
    {"Unjudged",       {{"t/a.png", "hi"}, {"t/b.png", sig + "\0\0"s}, {"t/c.png", sig + be(13) + "IH"},
                        {"t/d.png", head(13, "IHDR", "\1\2")}, {"t/e.png", head(1, "\x1b\0Ab"s, "x")},
                        {"t/f.png", head(4, "IHDR", be(1000))}, {"t/g.png", ""}},
                       {"t"},  "t/a.png: " + no_format +
                               "t/b.png: ends within the first chunk's length\n"
                               "t/c.png: ends within the first chunk's type\n"
                               "t/d.png: ends within the first chunk's data\n"
                               "t/e.png: first chunk is \\x1b\\x00Ab, not IHDR\n"
                               "t/f.png: IHDR is 4 bytes, too short for the width and height\n"
                               "t/g.png: " + no_format, 1},
    // formats: known by content, walked by name; read past the first page
    {"EveryImageName", {{"t/a.png", "65x64"}, {"t/b.APNG", "65x64"}, {"t/c.jpg", "65x64"}, {"t/d.jpeg", "65x64"},
                        {"t/e.jpe", "65x64"}, {"t/f.jfif", "65x64"}, {"t/g.gif", "65x64"}, {"t/h.webp", "65x64"},
                        {"t/i.avif", "65x64"}, {"t/j.heic", "65x64"}, {"t/k.heif", "65x64"}, {"t/l.hif", "65x64"},
                        {"t/m.bmp", "65x64"}, {"t/n.dib", "65x64"}, {"t/o.ico", "65x64"}, {"t/p.cur", "65x64"},
                        {"t/q.tif", "65x64"}, {"t/r.TIFF", "65x64"}, {"t/s.SVG", "65x64"}, {"t/t.svgz", "65x64"},
                        {"t/jpg", "65x64"}, {"t/u.tifft", "65x64"},
                        {"t/va.jxl", "65x64"}, {"t/vb.ICNS", "65x64"}, {"t/vc.ktx", "65x64"},
                        {"t/vd.ktx2", "65x64"}, {"t/ve.psd", "65x64"}, {"t/vf.psb", "65x64"},
                        {"t/vg.dds", "65x64"}, {"t/vh.Tga", "65x64"}, {"t/vi.icb", "65x64"},
                        {"t/vj.vda", "65x64"}, {"t/vk.vst", "65x64"}, {"t/vl.pbm", "65x64"},
                        {"t/vm.pgm", "65x64"}, {"t/vn.ppm", "65x64"}, {"t/vo.pnm", "65x64"},
                        {"t/vp.pam", "65x64"}, {"t/vq.pfm", "65x64"}, {"t/vr.jp2", "65x64"},
                        {"t/vs.jpx", "65x64"}, {"t/vt.jpf", "65x64"}, {"t/vu.j2k", "65x64"},
                        {"t/vv.j2c", "65x64"}, {"t/vw.jpc", "65x64"}, {"t/vx.qoi", "65x64"},
                        {"t/vy.hdr", "65x64"}, {"t/vz.EXR", "65x64"}},
                       {"t"},  "t/a.png" + over + "t/b.APNG" + over + "t/c.jpg" + over + "t/d.jpeg" + over +
                               "t/e.jpe" + over + "t/f.jfif" + over + "t/g.gif" + over + "t/h.webp" + over +
                               "t/i.avif" + over + "t/j.heic" + over + "t/k.heif" + over + "t/l.hif" + over +
                               "t/m.bmp" + over + "t/n.dib" + over + "t/o.ico" + over + "t/p.cur" + over +
                               "t/q.tif" + over + "t/r.TIFF" + over + "t/s.SVG" + over + "t/va.jxl" + over +
                               "t/vb.ICNS" + over + "t/vc.ktx" + over + "t/vd.ktx2" + over +
                               "t/ve.psd" + over + "t/vf.psb" + over + "t/vg.dds" + over + "t/vh.Tga" + over +
                               "t/vi.icb" + over + "t/vj.vda" + over + "t/vk.vst" + over + "t/vl.pbm" + over +
                               "t/vm.pgm" + over + "t/vn.ppm" + over + "t/vo.pnm" + over + "t/vp.pam" + over +
                               "t/vq.pfm" + over + "t/vr.jp2" + over + "t/vs.jpx" + over + "t/vt.jpf" + over +
                               "t/vu.j2k" + over + "t/vv.j2c" + over + "t/vw.jpc" + over + "t/vx.qoi" + over +
                               "t/vy.hdr" + over + "t/vz.EXR" + over, 1},
    {"ContentDecides", {{"t/a.png", jpeg(65, 64, 20)}, {"gif.txt", "GIF89a" + le16(65) + le16(64)}},
                       {"t", "gif.txt"},  "t/a.png" + over + "gif.txt" + over, 1},
    {"PastThePage",    {{"t/a.jpg", jpeg(65, 64, 20000)}, {"b", jpeg(65, 64, 20000)}},
                       {"t", "b"},  "t/a.jpg" + over + "b" + over, 1},
    {"IconLargestOver", {{"t/a.ico", ico({{200, 7}, {300, 5}, {90, 90}, {150, 2}})}}, {"-s", "100x", "t"},
                       "t/a.ico: 300 x 5, over the width limit of 100\n", 1},
    // links: passed over in a walk, followed where named
    {"LinksInAWalk",   {{"t/loop", "->loop"}, {"t/up", "->.."}, {"t/l.png", "->../big.png"},
                        {"big.png", "65x64"}},                {"t"},          "",         0},
    {"LinkNamed",      {{"t/a.png", "65x64"}, {"l", "->t"}, {"m.png", "->t/a.png"}},
                       {"l", "l/", "m.png"},  "l/a.png" + over + "l/a.png" + over + "m.png" + over, 1},
    // hostile trees
    {"FifoInAWalk",    {{"t/x.png", "|"}},                    {"t"},          "t/x.png: not a regular file\n", 1},
    {"FifoNamed",      {{"f", "|65x64"}},                     {"f"},          "f" + over, 1},
    {"UnreadableDir",  {{"t/locked", "/0"}, {"t/b.png", "65x64"}}, {"t"},
                       "t/b.png" + over + "t/locked: directory cannot be read: %m\n", 1, EACCES},
    {"TooDeep",        {{"a/b.png", "65x64"}, {too_deep, "65x64"}, {"c/d.png", "65x64"}}, {"a", "deep", "c"},
                       "a/b.png" + over + "c/d.png" + over + "deep: walk stopped: %m\n", 1, ENAMETOOLONG},
    {"HostileNames",   {{"t/a\nb.png", "65x64"}, {"t/\x1b[2J.png", "65x64"}, {"t/\xc3\xa9.png", "65x64"}},
                       {"t"},  "t/\\x1b[2J.png" + over + "t/a\\x0ab.png" + over + "t/\xc3\xa9.png" + over, 1},
    {"MissingAmongGood", {{"a.png", "64x64"}, {"b.png", "65x64"}}, {"a.png", "missing.png", "b.png"},
                       "b.png" + over + "missing.png: cannot be opened: %m\n", 1, ENOENT},
    {"OneOverIn2000",  two_thousand_within,                   {"t"},          "t/over.png" + over, 1},
    // limits: at each one passes, one over fails; each limit given applies,
    // and the pixel limit of 4096 only when none is given
    {"Sides",          {{"t/a.png", "512x512"}, {"t/b.png", "513x512"}, {"t/c.png", "512x513"}},
                       {"-s", "512x512", "t"},  "t/b.png: 513 x 512, over the width limit of 512\n"
                                                "t/c.png: 512 x 513, over the height limit of 512\n", 1},
    {"WidthAlone",     {{"t/a.png", "600x9999"}, {"t/b.png", "601x1"}}, {"-s600x", "t"},
                       "t/b.png: 601 x 1, over the width limit of 600\n", 1},
    {"AnyPixelCount",  {{"t/a.png", "2500x2000"}, {"t/b.png", "5000001x1"}}, {"-2", "-tp", "5000000", "t"},
                       "t/b.png\t5000001 x 1 = 5000001 pixels, over the limit of 5000000\n", 1},
    {"LastPixelWins",  {{"t/a.png", "65x64"}},              {"-p", "100", "-2", "t"},
                       "t/a.png: 65 x 64 = 4160 pixels, over the limit of 2048\n", 1},
    {"Bytes",          {{"t/a.png", "65x64"}, {"t/b.png", png(1, 1) + "x"}, {"named", png(1, 1) + "x"},
                        {"f", "|1x1"}},                     {"-b", "33", "t", "named", "f"},
                       "t/b.png: 1 x 1, 34 bytes, over the byte limit of 33\n"
                       "named: 1 x 1, 34 bytes, over the byte limit of 33\n"
                       "f: not a regular file, so its size is unknown\n", 1},
    {"TwoBroken",      {{"t/a.png", png(65, 64) + "x"}},    {"-b33", "-4", "t"},
                       "t/a.png: 65 x 64 = 4160 pixels, 34 bytes, over the limit of 4096 and the byte limit of 33\n", 1},
    // usage
    {"UnknownOption",  {},                                    {"-1x", "t"},   "",         2, 0,
                       "error: unknown option x\n\n"},
    {"NoPath",         {},                                    {"-2"},         "",         2, 0,
                       "error: no path given\n\n"},
    {"DoubleDash",     {{"-h.png", "65x64"}},                 {"--", "-h.png"}, "-h.png" + over, 1},
    {"Tabs",           {{"t/a: b.png", "65x64"}},             {"-t", "t", "no"},
                       "t/a: b.png\t65 x 64 = 4160 pixels, over the limit of 4096\nno\tcannot be opened: %m\n", 1, ENOENT},
    {"ManyFailures",   many_over,                             {"t"},          many_over_lines, 1},
    // every limit, old and new: each broken alone at its boundary, then
    // all at once in one line, walked and named, the bytes past the page
    {"EveryLimit",     {{"t/a.png", png(600, 20) + bytes(5000)}},
                       {"-p", "4096", "--max-size=512x512", "-m", "x80", "--aspect", "1:1", "-b5000", "-f", "png", "t",
                        "t/a.png"},
                       "t/a.png: 600 x 20 = 12000 pixels, 5033 bytes, over the limit of 4096, the width limit of 512, "
                       "the byte limit of 5000, under the height minimum of 80 and not the aspect 1:1\n"
                       "t/a.png: 600 x 20 = 12000 pixels, 5033 bytes, over the limit of 4096, the width limit of 512, "
                       "the byte limit of 5000, under the height minimum of 80 and not the aspect 1:1\n", 1},
    {"Minimum",        {{"t/a.png", "80x60"}, {"t/b.png", "79x60"}, {"t/c.png", "80x59"}}, {"--min-size", "80x60", "t"},
                       "t/b.png: 79 x 60, under the width minimum of 80\n"
                       "t/c.png: 80 x 59, under the height minimum of 60\n", 1},
    {"ExactSize",      {{"t/a.png", "80x60"}, {"t/b.png", "81x60"}, {"t/c.png", "80x59"}, {"t/d.png", "81x59"}},
                       {"-e80x60", "-p", "5000", "t"},
                       "t/b.png: 81 x 60, over the width limit of 80\n"
                       "t/c.png: 80 x 59, under the height minimum of 60\n"
                       "t/d.png: 81 x 59, over the width limit of 80 and under the height minimum of 60\n", 1},
    {"Aspect",         {{"t/a.png", "3200x960"}, {"t/b.png", "3201x960"}, {"t/c.png", "4294967295x4294967295"},
                        {"t/d.png", "30x9"}},
                       {"-a", "20:6", "t"},
                       "t/b.png: 3201 x 960, not the aspect 20:6\n"
                       "t/c.png: 4294967295 x 4294967295, not the aspect 20:6\n", 1},
    {"AspectSquare",   {{"t/a.png", "4294967295x4294967295"}, {"t/b.png", "4294967295x4294967294"}}, {"-a1:1", "t"},
                       "t/b.png: 4294967295 x 4294967294, not the aspect 1:1\n", 1},
    // 274177 times 67280421310721 is 2^64 + 1: in 64 bits, 1 x 1
    {"AspectNoOverflow", {{"c", "1x274177"}},             {"-a", "67280421310721:1", "c"},
                       "c: 1 x 274177, not the aspect 67280421310721:1\n", 1},
    {"Formats",        {{"t/a.png", "80x60"}, {"t/b.jpg", jpeg(80, 60, 10)}, {"t/c.gif", gif80}, {"t/d.webp", webp80},
                        {"t/e.bmp", bmp80}, {"t/f.ico", ico({{80, 60}})}, {"t/g.tif", tiff80}},
                       {"-p1", "--formats", "PNG,gif,Avif,bmp,tif", "t"},
                       "t/a.png: 80 x 60 = 4800 pixels, over the limit of 1\n"
                       "t/b.jpg: JPEG, not one of the formats png, gif, avif, bmp, tiff\n"
                       "t/c.gif: 80 x 60 = 4800 pixels, over the limit of 1\n"
                       "t/d.webp: WebP, not one of the formats png, gif, avif, bmp, tiff\n"
                       "t/e.bmp: 80 x 60 = 4800 pixels, over the limit of 1\n"
                       "t/f.ico: ICO, not one of the formats png, gif, avif, bmp, tiff\n"
                       "t/g.tif: 80 x 60 = 4800 pixels, over the limit of 1\n", 1},
    {"FormatsAlone",   {{"t/a.png", "80x60"}, {"t/b.jpg", jpeg(80, 60, 10)}}, {"-f", "jpeg", "t"},
                       "t/a.png: PNG, not one of the formats jpeg\n", 1},
    {"IconMostPixels", {{"t/a.ico", ico({{300, 5}, {200, 20}, {50, 50}})}}, {"-s", "100x", "-p", "3000", "t"},
                       "t/a.ico: 200 x 20 = 4000 pixels, over the limit of 3000 and the width limit of 100\n", 1},
    // the size shown: every limit held to it, walked and named, the stored
    // one after it in the line; without the option, the stored one
    {"Displayed",      {{"t/a.jpg", turned_jpeg(4032, 3024, 6)}, {"t/b.jpg", turned_jpeg(4032, 3024, 1)},
                        {"t/c.jpg", turned_jpeg(4032, 3024, 8)}},
                       {"-o", "--max-size=3100x", "--displayed", "-m", "x4000", "-p", "12000000", "-b", "50", "t/a.jpg", "t"},
                       "t/b.jpg: 4032 x 3024 = 12192768 pixels, 53 bytes, over the limit of 12000000, the width "
                       "limit of 3100, the byte limit of 50 and under the height minimum of 4000\n"
                       "t/a.jpg: 3024 x 4032 (stored 4032 x 3024) = 12192768 pixels, 53 bytes, over the limit of "
                       "12000000 and the byte limit of 50\n"
                       "t/a.jpg: 3024 x 4032 (stored 4032 x 3024) = 12192768 pixels, 53 bytes, over the limit of "
                       "12000000 and the byte limit of 50\n"
                       "t/c.jpg: 3024 x 4032 (stored 4032 x 3024) = 12192768 pixels, 53 bytes, over the limit of "
                       "12000000 and the byte limit of 50\n", 1},
    {"Stored",         {{"t/a.jpg", turned_jpeg(4032, 3024, 6)}}, {"-s", "3100x", "t"},
                       "t/a.jpg: 4032 x 3024, over the width limit of 3100\n", 1},
    {"RulesDisplayed", {{"r", "*.jpg -o\n"}}, {"-c", "r", "."}, "", 2, 0, "error: r:1: option -o is not a limit\n\n"},
    // rules: the last line that matches a file gives its limits; a line
    // with none exempts it, unopened
    {"Rules",          {{"r", "# the site's images\n\n*.png -s 70x # at most\n/t/big/ --max-pixels=100\nt/big/ok*.png\n"
                              "**/sq/*  -a 1:1\t-m 10x10\r\n\\-x\\ y.png -p 1\n"},
                        {"t/a.png", "80x60"}, {"t/big/b.png", "80x60"}, {"t/big/ok.png", "80x60"},
                        {"t/big/sq/c.png", "20x10"}, {"t/d.png", "60x60"}, {"t/u.gif", gif80},
                        {"t/-x y.png", "2x1"}, {"t/f.png", "|"}, {"t/big/okf.png", "|"}},
                       {"-c", "r", "t", "t/big/okf.png"},
                       "t/-x y.png: 2 x 1 = 2 pixels, over the limit of 1 (r:7)\n"
                       "t/a.png: 80 x 60, over the width limit of 70 (r:3)\n"
                       "t/big/b.png: 80 x 60 = 4800 pixels, over the limit of 100 (r:4)\n"
                       "t/big/sq/c.png: 20 x 10, not the aspect 1:1 (r:6)\n"
                       "t/f.png: not a regular file (r:3)\n", 1},
    {"RulesAndLimits", {{"r", "*.png -s 70x\nt/a.png\n"}, {"t/a.png", "80x60"}, {"t/u.gif", gif80}},
                       {"-tc", "r", "-p", "1000", "t"},  "t/u.gif\t80 x 60 = 4800 pixels, over the limit of 1000\n", 1},
    // paths from the rules file's folder, wherever it is run; one outside
    // matches no line
    {"RulesElsewhere", {{"sub/r", "# from sub\n/x.png -p 1\na/ -p 2\n"}, {"sub/x.png", "2x2"}, {"sub/deep/x.png", "2x2"},
                        {"x.png", "2x2"}, {"subqx.png", "2x2"}, {"sub/a/y.png", "2x2"}, {"l", "->sub/a"}},
                       {"-c", "sub/r", "sub", "x.png", "subqx.png", "sub/deep/../x.png", "l/y.png", "."},
                       "sub/x.png: 2 x 2 = 4 pixels, over the limit of 1 (sub/r:2)\n"
                       "sub/deep/../x.png: 2 x 2 = 4 pixels, over the limit of 1 (sub/r:2)\n"
                       "sub/a/y.png: 2 x 2 = 4 pixels, over the limit of 2 (sub/r:3)\n"
                       "l/y.png: 2 x 2 = 4 pixels, over the limit of 2 (sub/r:3)\n"
                       "./sub/x.png: 2 x 2 = 4 pixels, over the limit of 1 (sub/r:2)\n"
                       "./sub/a/y.png: 2 x 2 = 4 pixels, over the limit of 2 (sub/r:3)\n", 1},
    // hostile rules: within the alarm, or a usage error
    {"RulesBacktracking", {{"r", backtracking}, {deep_path, "2x1"}}, {"-c", "r", "-p1", deep_path},
                       deep_path + ": 2 x 1 = 2 pixels, over the limit of 1\n", 1},
    {"RulesManyLines", {{"r", ten_thousand_lines}, {"a.png", "2x1"}}, {"-c", "r", "a.png"},
                       "a.png: 2 x 1 = 2 pixels, over the limit of 1 (r:10001)\n", 1},
    {"RulesUnknown",   {{"r", "*.png --nope 1\n"}}, {"-c", "r", "."}, "", 2, 0, "error: r:1: unknown option --nope\n\n"},
    {"RulesBadValue",  {{"r", "# sizes\n*.png -s 51x5x\n"}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:2: option -s: \"51x5x\" is not WIDTHxHEIGHT, WIDTHx or xHEIGHT, with sides of at least 1\n\n"},
    {"RulesOnlyOptions", {{"r", "-s 512x512\n"}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:1: the line begins with an option, \"-s\", where its pattern goes "
                       "(a pattern that begins with - is written \\-)\n\n"},
    {"RulesNotOption", {{"r", "*.png -t\n*.png 512x512\n"}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:1: option -t is not a limit\n\n"},
    {"RulesNotOption2", {{"r", "*.png --max-size 5x5 512x512\n"}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:1: \"512x512\" is not an option\n\n"},
    {"RulesPattern",   {{"r", "a[b -p 1\n"}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:1: pattern \"a[b\" has [ without ]\n\n"},
    {"RulesNul",       {{"r", "*.png -p 1\n*.png\0 -p 1\n"s}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:2: holds a NUL byte\n\n"},
    {"RulesLongLine",  {{"r", long_line}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:1: longer than 4096 bytes, the most a line may hold\n\n"},
    {"RulesTooMany",   {{"r", too_many_rules}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r:1025: more rules than 1024, the most a rules file may hold\n\n"},
    {"RulesTooLarge",  {{"r", std::string(1 << 20, '#')}}, {"-c", "r", "."}, "", 2, 0,
                       "error: r: more than 65536 bytes, the most a rules file may hold\n\n"},
    {"RulesMissing",   {}, {"-c", "r", "."}, "", 2, ENOENT, "error: r: cannot be opened: %m\n\n"},
};

static void PrintTo(const TreeCase &row, std::ostream *os) { *os << row.name; }

static std::string sorted(const std::string &lines)
{
    std::istringstream in(lines);
    std::vector<std::string> v;
    for (std::string line; std::getline(in, line);)
        v.push_back(line + "\n");
    std::sort(v.begin(), v.end());
    return std::accumulate(v.begin(), v.end(), std::string());
}

// Makes path below root one name at a time, since a path past PATH_MAX
// cannot be made whole. Returns a FIFO's writer, or -1.
static pid_t make(const std::string &root, const std::string &path, const std::string &what)
{
    int at = open(root.c_str(), O_RDONLY);
    size_t from = 0;
    for (size_t slash; (slash = path.find('/', from)) != std::string::npos; from = slash + 1) {
        std::string name = path.substr(from, slash - from);
        mkdirat(at, name.c_str(), 0755);
        int next = openat(at, name.c_str(), O_RDONLY);
        close(at);
        at = next;
    }
    const char *name = path.c_str() + from;
    bool pipe = what[0] == '|';
    unsigned long w, h;
    std::string content = what.substr(pipe);
    if (std::sscanf(content.c_str(), "%lux%lu", &w, &h) == 2)
        content = png(uint32_t(w), uint32_t(h));
    pid_t writer = -1;
    if (pipe) {
        writer = fifo(root + "/" + path, content);
    } else if (what.rfind("->", 0) == 0) {
        EXPECT_EQ(symlinkat(what.c_str() + 2, at, name), 0) << path;
    } else if (what[0] == '/') {
        EXPECT_EQ(mkdirat(at, name, what == "/0" ? 0 : 0755), 0) << path;
    } else {
        int fd = openat(at, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(::write(fd, content.data(), content.size()), ssize_t(content.size())) << path;
        close(fd);
    }
    close(at);
    return writer;
}

class TreeGate : public testing::TestWithParam<TreeCase> {};

TEST_P(TreeGate, OutputAndStatus)
{
    const TreeCase &row = GetParam();
    std::string root = dir + "/" + row.name, tool = DIMGATE_TREE_BIN;
    const passwd *nobody = nullptr;
    std::vector<pid_t> writers;
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    for (const auto &[path, what] : row.tree) {
        writers.push_back(make(root, path, what));
        if (what == "/0" && geteuid() == 0 && (nobody = as_nobody(&tool)) == nullptr)
            GTEST_SKIP() << "there is no user nobody to try the folder as";
    }

    std::string out, err, want = row.out;
    int status = run(tool, row.args, root, Made::files, nobody, &out, &err);
    for (pid_t writer : writers)
        reap(writer);
    if (nobody != nullptr && status == 126)
        GTEST_SKIP() << "the user nobody may not run " << tool << " (is " << dir << " mounted noexec?)";
    std::string want_err = row.err;
    for (std::string *w : {&want, &want_err}) {
        if (size_t at = w->find("%m"); at != std::string::npos) {
            std::string text = library_text(row.errnum);
            w->replace(at, 2, text.substr(0, text.size() - 1));
        }
    }
    EXPECT_EQ(sorted(out), sorted(want));
    std::string help, none;
    if (!row.err.empty())
        run(tool, {"-h"}, root, Made::files, nullptr, &help, &none);
    EXPECT_EQ(err, want_err + help);
    EXPECT_EQ(status, row.status);
}

INSTANTIATE_TEST_SUITE_P(, TreeGate, testing::ValuesIn(tree_cases),
                         [](const auto &row) { return std::string(row.param.name); });

// A limit's value that cannot be taken is a usage error that names it,
// and no file is checked.
TEST(TreeGateUsage, BadLimitValues)
{
    const std::string not_number = "\" is not a number of at least 1";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"-p"},                                    "option -p needs a value"},
        {{"-b", "0", "over.png"},                   "option -b: \"0" + not_number},
        {{"-p", "-5", "over.png"},                  "option -p: \"-5" + not_number},
        {{"-b12abc", "over.png"},                   "option -b: \"12abc" + not_number},
        {{"-s", "x", "over.png"},                   "option -s: \"x\" is not WIDTHxHEIGHT, WIDTHx or "
                                                    "xHEIGHT, with sides of at least 1"},
        {{"-s", "x99999999999999999999999", "over.png"},
         "option -s: \"x99999999999999999999999\" is too large; the most is 18446744073709551615"},
        {{"-p", "18446744073709551616", "over.png"},
         "option -p: \"18446744073709551616\" is too large; the most is 18446744073709551615"},
        // long options, named as written; a value after = or apart
        {{"--max-size=51x5x", "over.png"},         "option --max-size: \"51x5x\" is not WIDTHxHEIGHT, WIDTHx or "
                                                    "xHEIGHT, with sides of at least 1"},
        {{"-tm", "0x5", "over.png"},                "option -m: \"0x5\" is not WIDTHxHEIGHT, WIDTHx or xHEIGHT, "
                                                    "with sides of at least 1"},
        {{"--min-size"},                            "option --min-size needs a value"},
        {{"--help=1", "over.png"},                  "option --help takes no value"},
        {{"--displayed=yes", "over.png"},           "option --displayed takes no value"},
        {{"--max=5", "over.png"},                   "unknown option --max"},
        {{"-a", "16:", "over.png"},                 "option -a: \"16:\" is not WIDTH:HEIGHT, with sides of at least 1"},
        {{"--formats", "png,,gif", "over.png"},     "option --formats: \"png,,gif\" is not a list of png, jpeg, "
                                                    "gif, webp, avif, heif, bmp, ico, tiff, jpegxl, icns, ktx, psd, dds, netpbm, jpeg2000, qoi, hdr, openexr, tga, svg"},
    };
    std::string help, none;
    run(DIMGATE_TREE_BIN, {"-h"}, DIMGATE_DATA, Made::files, nullptr, &help, &none);
    for (const auto &[args, line] : rows) {
        SCOPED_TRACE(args[0]);
        std::string out, err;
        EXPECT_EQ(run(DIMGATE_TREE_BIN, args, DIMGATE_DATA, Made::files, nullptr, &out, &err), 2);
        EXPECT_EQ(out, "");
        EXPECT_EQ(err, "error: " + line + "\n\n" + help);
    }
}
