#include "formats.h"

// KTX: the header in the byte order its mark at 12 gives, up to the base
// level's width and height; KTX 2: always little-endian.
static str ktx(bool le, uint32_t w, uint32_t h)
{
    return "\xabKTX 11\xbb\r\n\x1a\n"s + num(le, 0x04030201, 4) + num(le, 0x1401, 4) + num(le, 1, 4) +
           num(le, 0x1908, 4) + num(le, 0x8058, 4) + num(le, 0x1908, 4) + num(le, w, 4) + num(le, h, 4) +
           zeros(8) + num(le, 1, 4) + num(le, 1, 4) + zeros(4);
}
static str ktx2(uint32_t w, uint32_t h)
{
    return "\xabKTX 20\xbb\r\n\x1a\n"s + le32(37) + le32(1) + le32(w) + le32(h) + zeros(20);
}
static const uint64_t ktx_bound = 44, ktx2_bound = 28;

// DDS: height before width.
static str dds(uint32_t w, uint32_t h, uint32_t header = 124)
{
    return "DDS " + le32(header) + le32(0x100f) + le32(h) + le32(w) + zeros(header - 12);
}
static const uint64_t dds_bound = 20;

// TGA: an image ID of id bytes, a colour map or not, the image's type and
// depth; rows from the top.
static str tga(int type, int depth, uint32_t w, uint32_t h, int map = 0, size_t id = 0)
{
    str colours = map == 1 ? le16(0) + le16(256) + "\x18"s : zeros(5);
    return char(id) + str(1, char(map)) + char(type) + colours + le16(0) + le16(0) + le16(w) + le16(h) +
           char(depth) + "\x20"s + str(id, 'P') + zeros(64);
}
static const uint64_t tga_bound = 18;

static const Row rows[] = {
    // name, format, bytes, then the sizes found or the reason, the bounds, and the file's name
    // KTX: the byte order its mark says, or none
    {"KtxLittleEndian", "KTX", ktx(true, 123, 45), "123x45", ktx_bound},
    {"KtxBigEndian", "KTX", ktx(false, 4000000000u, 45), "4000000000x45", ktx_bound},
    {"KtxByteOrderUnknown", "KTX", patch(ktx(true, 123, 45), 12, "\1\2\4\3"),
        "KTX byte order is neither 01 02 03 04 nor 04 03 02 01", ktx_bound},
    {"KtxHeight0IsOneRow", "KTX", ktx(false, 123, 0), "123x1", ktx_bound},
    {"KtxWidth0", "KTX", ktx(true, 0, 45), "KTX image has a width of 0", ktx_bound},
    {"KtxCut", "KTX", ktx(true, 123, 45).substr(0, 43), "KTX ends within its header", ktx_bound},
    // KTX 2: no byte order mark, the size at 20
    {"Ktx2", "KTX", ktx2(1234, 567), "1234x567", ktx2_bound},
    {"Ktx2Cut", "KTX", ktx2(1234, 567).substr(0, 27), "KTX ends within its header", ktx2_bound},
    // DDS: height first, after a header size of 124
    {"Dds", "DDS", dds(123, 45), "123x45", dds_bound},
    {"DdsHeaderSize128", "DDS", dds(123, 45, 128), "DDS header size is not 124", dds_bound},
    {"DdsCut", "DDS", dds(123, 45).substr(0, 19), "DDS ends within its header", dds_bound},
    // TGA: a name that says so, and each type and depth a header may hold
    {"TgaBeginsLikeCursorCount0", "TGA", tga(2, 24, 123, 45), "123x45", tga_bound, 0, "x.tga"},
    {"CursorCount0NotNamedTga", nullptr, tga(2, 24, 123, 45), ""},
    {"TgaNoName", nullptr, tga(2, 24, 123, 45), "", 0, 0, nullptr},
    {"TgaColourMapped", "TGA", tga(1, 8, 123, 45, 1), "123x45", tga_bound, 0, "dir/X.TGA"},
    {"TgaGrey", "TGA", tga(3, 16, 123, 45), "123x45", tga_bound, 0, "a.Icb"},
    {"TgaRleColourMapped", "TGA", tga(9, 8, 123, 45, 1), "123x45", tga_bound, 0, "a.vda"},
    {"TgaRleTrueColour", "TGA", tga(10, 32, 65535, 45), "65535x45", tga_bound, 0, "a.VST"},
    {"TgaRleGrey", "TGA", tga(11, 15, 123, 45), "123x45", tga_bound, 0, "x.tga"},
    // an image ID of 80 bytes begins it with P, as Netpbm begins
    {"TgaIdLikeNetpbm", "TGA", tga(2, 24, 123, 45, 0, 80), "123x45", tga_bound, 0, "x.tga"},
    {"TgaHoldingPng", "PNG", png(123, 45), "123x45", 0, 0, "x.tga"},
    {"TgaIsNotTheEnd", nullptr, tga(2, 24, 123, 45), "", 0, 0, "x.tga.png"},
    {"TgaWithoutDot", nullptr, tga(2, 24, 123, 45), "", 0, 0, "xtga"},
    // implausible headers, and one too short, are of no format
    {"TgaColourMapType2", nullptr, tga(2, 24, 123, 45, 2), "", 0, 0, "x.tga"},
    {"TgaType0", nullptr, tga(0, 24, 123, 45), "", 0, 0, "x.tga"},
    {"TgaType4", nullptr, tga(4, 24, 123, 45), "", 0, 0, "x.tga"},
    {"TgaDepth12", nullptr, tga(2, 12, 123, 45), "", 0, 0, "x.tga"},
    {"TgaUnder18Bytes", nullptr, tga(2, 24, 123, 45).substr(0, 17), "", 0, 0, "x.tga"},
};

class FormatsTextures : public testing::TestWithParam<Row> {};

TEST_P(FormatsTextures, SizeOrReason) { check_row(GetParam()); }

INSTANTIATE_TEST_SUITE_P(, FormatsTextures, testing::ValuesIn(rows),
                         [](const auto &row) { return str(row.param.name); });
