#include "formats.h"

// ICNS: entries of a type, a length that counts their 8-byte header, data.
static str entry(const str &type, const str &data) { return type + be32(uint32_t(8 + data.size())) + data; }
static str icns(const str &entries) { return "icns" + be32(uint32_t(8 + entries.size())) + entries; }
// JPEG 2000: a codestream's SIZ, its grid's size and the image's offset on
// it; a JP2's signature box and ftyp, then boxes; ihdr, height first.
static str j2k(uint32_t x, uint32_t y, uint32_t x0, uint32_t y0)
{
    return "\xff\x4f\xff\x51"s + be16(41) + be16(0) + be32(x) + be32(y) + be32(x0) + be32(y0) + zeros(20);
}
static str jp2(const str &boxes) { return "\0\0\0\x0cjP  \r\n\x87\n"s + ftyp("jp2 ", "jp2 ") + boxes; }
static str ihdr(uint32_t w, uint32_t h) { return box("ihdr", be32(h) + be32(w) + be16(3) + "\x07\x07\0\0"s); }
static str jp2h(uint32_t w, uint32_t h) { return box("jp2h", ihdr(w, h) + box("colr", "\1\0\0\0\0\x10"s)); }
// Every type that stands for a size, each with a few bytes of no image.
static str every_type()
{
    str types = "icm#icm4icm8ics#ics4ics8is32s8mkicp4ic04icsbsb24ICONICN#icl4icl8il32l8mkicp5ic05ic11icsBich#ich4"
                "ich8ih32h8mkSB24icp6ic12it32t8mkic07ic08ic13ic09ic14ic10", entries;
    for (size_t k = 0; k < types.size(); k += 4)
        entries += entry(types.substr(k, 4), zeros(4));
    return icns(entries);
}
static const char every_size[] = "16x12 16x12 16x12 16x16 16x16 16x16 16x16 16x16 16x16 16x16 18x18 24x24 32x32 "
    "32x32 32x32 32x32 32x32 32x32 32x32 32x32 32x32 36x36 48x48 48x48 48x48 48x48 48x48 48x48 64x64 64x64 "
    "128x128 128x128 128x128 256x256 256x256 512x512 512x512 1024x1024";
static const str two = entry("il32", zeros(10)) + entry("ic08", png(300, 257)), after = entry("is32", zeros(40));
// A box past a read's window (512 bytes) from the one before it.
static const str far = box("free", zeros(512));
static const char cut[] = "ICNS entry runs past the end of the file";
static const char box_size[] = "ICNS JPEG 2000 box size is below its header or past its parent";
// An icon is read to its end, and a byte past it to know the file ends
// there; a cut one as far as its last entry claims bytes.
static Row icon(const char *name, const str &bytes, const char *found, unsigned reads = 0, uint64_t reach = 0)
{
    return {name, "ICNS", bytes, found, reach ? reach : bytes.size() + 1, reads};
}

// PSD and PSB: the version, channels, then height before width.
static str psd(int version, uint32_t w, uint32_t h)
{
    return "8BPS"s + be16(version) + zeros(6) + be16(3) + be32(h) + be32(w);
}
static str qoi(uint32_t w, uint32_t h) { return "qoif" + be32(w) + be32(h) + "\4\0"s; }

static const Row rows[] = {
    // name, format, bytes, then the sizes found or the reason, and the bounds
    // ICNS: each type's size, or the size of the PNG or JPEG 2000 image in it
    icon("IcnsEveryType", every_type(), every_size),
    icon("IcnsImagesOwnHeaders", icns(two + entry("ic09", j2k(1000, 600, 10, 20)) +
                                      entry("ic10", jp2(box("jp2i", ihdr(9, 9)) + jp2h(123, 45)))),
         "32x32 300x257 990x580 123x45"),
    icon("IcnsUnlistedPassedOver", icns(entry("TOC ", "is32" + be32(16)) + entry("info", png(2000, 2000)) +
                                        entry("\xfd\xd9\x2f\xa8", icns(entry("ic10", png(2048, 2048)))) +
                                        entry("is32", "")), "16x16"),
    icon("IcnsNoImage", icns(entry("TOC ", "")), "ICNS holds no image"),
    icon("IcnsCutInHeader", "icns\0\0\0"s, "ICNS ends within its header"),
    // the total length is no guide: the entries are, to the file's end
    icon("IcnsTotalTooSmall", patch(icns(two), 4, be32(8)), "32x32 300x257"),
    icon("IcnsLengthBelow8", icns(patch(entry("is32", str(30, 'x')), 4, be32(7))), "ICNS entry length is below 8"),
    icon("IcnsLastEntryPastTheEnd", icns(two + entry("TOC ", zeros(40))).substr(0, 80),
         cut, 0, 115),
    icon("IcnsPngPastTheEnd", icns(two).substr(0, 50), cut, 0, 58),
    icon("IcnsCutInEntryHeader", icns(two + "is32"), "ICNS ends within an entry's header", 0, 75),
    // an image's header within its entry, not the next one's
    icon("IcnsPngCutByItsEntry", icns(entry("ic08", png(300, 257).substr(0, 20)) + after),
         "ICNS entry is too short for its image's header"),
    icon("IcnsPngWithoutIhdr", icns(entry("ic08", png(300, 257, "iCCP"))), "ICNS PNG image does not begin with IHDR"),
    icon("IcnsJ2kOffsetPastSize", icns(entry("ic09", j2k(1000, 600, 10, 700))),
         "ICNS JPEG 2000 image offset is not below its size"),
    icon("IcnsJp2Box64Size0", icns(entry("ic10", jp2(box64("xml ", "") + patch(jp2h(123, 45), 0, be32(0))))), "123x45"),
    icon("IcnsJp2IhdrOutsideJp2h", icns(entry("ic10", jp2(box("jp2h", "") + ihdr(123, 45)))),
         "ICNS JPEG 2000 image has no ihdr box"),
    icon("IcnsJp2BoxPastItsEntry", icns(entry("ic10", jp2(patch(jp2h(123, 45), 0, be32(60)))) + after), box_size),
    icon("IcnsJp2BoxBelowHeader", icns(entry("ic10", jp2(be32(4) + be32(8) + "xxxx" + jp2h(123, 45)))), box_size),
    icon("IcnsJp2CutInBox64", icns(entry("ic10", jp2(box64("xml ", "")))).substr(0, 60), cut, 0, 64),
    icon("IcnsJp2CutInIhdr", icns(entry("ic10", jp2(jp2h(123, 45)))).substr(0, 66), cut, 0, 72),
    icon("IcnsJp2IhdrShort", icns(entry("ic10", jp2(box("jp2h", box("ihdr", be32(45)) + ihdr(1, 1))))),
         "ICNS JPEG 2000 ihdr box is too short for the width and height"),
    // hostile: boxes, entries and reads each to their bound
    icon("IcnsJp2Box16", icns(entry("ic10", jp2(times(13, box("free", "")) + jp2h(123, 45)))), "123x45"),
    icon("IcnsJp2Box17", icns(entry("ic10", jp2(times(14, box("free", "")) + jp2h(123, 45)))),
         "ICNS JPEG 2000 image has no ihdr within its first 16 boxes"),
    icon("Icns256Entries", icns(times(255, entry("TOC ", "")) + entry("is32", "")), "16x16"),
    icon("Icns257Entries", icns(times(256, entry("TOC ", "")) + entry("is32", "")), "ICNS holds more than 256 entries"),
    icon("IcnsEndsWithThePage", icns(entry("it32", zeros(4096 - 16))), "128x128", 1),
    icon("IcnsEntriesPastThePage", icns(entry("il32", zeros(5000)) + two + entry("it32", zeros(5000)) + after),
         "32x32 32x32 300x257 128x128 16x16", 3),
    icon("IcnsReadsBound", icns(times(200, entry("ic10", jp2(far + far + far + jp2h(1, 1))))),
         "ICNS entries take more than 512 reads", 512),
    // PSD and PSB: height before width; QOI: width first
    {"PsdHeightFirst", "PSD", psd(1, 123, 45), "123x45", 22},
    {"Psb", "PSD", psd(2, 300000, 45), "300000x45", 22},
    {"PsdVersion3", "PSD", psd(3, 123, 45), "PSD version is not 1 or 2", 22},
    {"PsdCut", "PSD", psd(1, 123, 45).substr(0, 21), "PSD ends within its header", 22},
    {"QoiWidthFirst", "QOI", qoi(123, 45), "123x45", 12},
    {"QoiCut", "QOI", qoi(123, 45).substr(0, 11), "QOI ends within its header", 12},
};

class FormatsApps : public testing::TestWithParam<Row> {};

TEST_P(FormatsApps, SizeOrReason) { check_row(GetParam()); }

INSTANTIATE_TEST_SUITE_P(, FormatsApps, testing::ValuesIn(rows), [](const auto &row) { return str(row.param.name); });
