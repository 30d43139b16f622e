#include "formats.h"

#include <initializer_list>
#include <utility>

// JPEG XL: a SizeHeader's fields, each a count of bits and a value,
// packed least significant bit first within each byte, after FF 0A.
using fields = std::vector<std::pair<unsigned, uint32_t>>;
static str jxl(const fields &fields)
{
    str s = "\xff\x0a";
    unsigned at = 0;
    for (auto field : fields)
        for (unsigned k = 0; k < field.first; k++, at++) {
            if (at % 8 == 0)
                s += '\0';
            s.back() = char(s.back() | (field.second >> k & 1) << at % 8);
        }
    return s;
}
// A height and the width as a ratio of it.
static str ratio(int selector, int bits, uint32_t h, uint32_t code)
{
    return jxl({{1, 0}, {2, uint32_t(selector)}, {unsigned(bits), h - 1}, {3, code}});
}
static const str jxl_sig = "\0\0\0\x0cJXL \r\n\x87\n"s, jxl_head = jxl_sig + ftyp("jxl ", "jxl ");
// 123x45, in 9 bits a side: 26 bits.
static const str cs = jxl({{1, 0}, {2, 0}, {9, 44}, {3, 0}, {2, 0}, {9, 122}});
static const uint64_t jxl_bare = 2 + 9;
static str jxlp(uint32_t index, const str &part) { return box("jxlp", be32(index) + part); }
static const str exif = box("Exif", be32(0) + "MM\0*"s + be32(8) + be16(0) + be32(0));
// A box past a read's window (512 bytes) from the one before it.
static const str far = box("free", zeros(512));

// JPEG 2000: a codestream's SIZ, its grid's size and the image's offset on
// it; a JP2's signature box and ftyp, then boxes; ihdr, height first.
static str j2k(uint32_t x, uint32_t y, uint32_t x0, uint32_t y0, uint32_t length = 41)
{
    return "\xff\x4f\xff\x51"s + be16(length) + be16(0) + be32(x) + be32(y) + be32(x0) + be32(y0) + zeros(20);
}
static const uint64_t siz_bound = 24;
static const str jp2_sig = "\0\0\0\x0cjP  \r\n\x87\n"s;
static str jp2(const str &boxes) { return jp2_sig + ftyp("jp2 ", "jp2 ") + boxes; }
static str ihdr(uint32_t w, uint32_t h) { return box("ihdr", be32(h) + be32(w) + be16(3) + "\x07\x07\0\0"s); }
static const str colr = box("colr", "\1\0\0\0\0\x10"s), jp2c = box("jp2c", j2k(999, 999, 0, 0));

// A file the reader reads to its end, and a byte past it to know it ends there.
static Row ends(const char *name, const char *format, const str &bytes, const char *found)
{
    return {name, format, bytes, found, bytes.size() + 1};
}

// A file cut short: the reader may look as far as its whole would go.
static Row cut(const char *name, const str &bytes, size_t n, const char *found)
{
    return {name, "JPEG 2000", bytes.substr(0, n), found, bytes.size()};
}

static const Row rows[] = {
    // name, format, bytes, then the sizes found or the reason, and the bounds
    // JPEG XL: the bits least significant first, each way of coding a side
    {"JxlFromItsEncoder", "JPEG XL", "\xff\x0a\xe8\x46\xfc\x24\x54\xee\xad\x22\x08\0"s, "333x222", jxl_bare},
    {"JxlDiv8", "JPEG XL", jxl({{1, 1}, {5, 31}, {3, 0}, {5, 5}}), "48x256", jxl_bare},
    {"JxlSelectors13And18", "JPEG XL", jxl({{1, 0}, {2, 1}, {13, 4999}, {3, 0}, {2, 2}, {18, 199999}}), "200000x5000",
        jxl_bare},
    {"JxlSelectors30Longest", "JPEG XL", jxl({{1, 0}, {2, 3}, {30, 99}, {3, 0}, {2, 3}, {30, (1u << 30) - 1}}),
        "1073741824x100", jxl_bare},
    // each ratio, rounded down, in 64 bits
    {"JxlRatio1", "JPEG XL", ratio(0, 9, 5, 1), "5x5", jxl_bare},
    {"JxlRatio12To10", "JPEG XL", ratio(0, 9, 333, 2), "399x333", jxl_bare},
    {"JxlRatio4To3", "JPEG XL", ratio(0, 9, 300, 3), "400x300", jxl_bare},
    {"JxlRatio16To9Past32Bits", "JPEG XL", ratio(3, 30, 1u << 30, 5), "1908874353x1073741824", jxl_bare},
    {"JxlRatio5To4", "JPEG XL", ratio(0, 9, 400, 6), "500x400", jxl_bare},
    {"JxlRatio2To1", "JPEG XL", ratio(1, 13, 8000, 7), "16000x8000", jxl_bare},
    // the header's last byte missing
    {"JxlCutInSizeHeader", "JPEG XL", cs.substr(0, 5), "JPEG XL ends within its size header", jxl_bare},
    // the container: other boxes first, sizes of 1 and 0
    {"Jxlc64BitSize", "JPEG XL", jxl_head + box64("jxlc", cs), "123x45"},
    ends("JxlcSize0ToTheEnd", "JPEG XL", jxl_head + patch(box("jxlc", cs), 0, be32(0)), "123x45"),
    {"JxlcAfterExifLevelPastThePage", "JPEG XL",
        jxl_head + exif + box("jxll", "\x0a") + box("free", zeros(5000)) + box("jxlc", cs), "123x45", 0, 1},
    // one that ends where the codestream's does, though a byte follows it
    {"JxlcCut", "JPEG XL", jxl_head + box("jxlc", "\xff") + "\x0a", "JPEG XL ends within its size header"},
    {"JxlcNotFF0A", "JPEG XL", jxl_head + box("jxlc", patch(cs, 1, "\x0b")),
        "JPEG XL codestream does not begin with FF 0A"},
    {"JxlBrandNotJxl", "JPEG XL", jxl_sig + ftyp("jxlx", "jxl ") + box("jxlc", cs),
        "JPEG XL has no ftyp box of brand jxl after its signature"},
    {"JxlNoFtyp", "JPEG XL", jxl_sig + box("free", "jxl "s + be32(0)) + box("jxlc", cs),
        "JPEG XL has no ftyp box of brand jxl after its signature"},
    {"JxlFtypOfNoBrand", "JPEG XL", jxl_sig + box("ftyp", "") + "jxl jxlc" + cs,
        "JPEG XL has no ftyp box of brand jxl after its signature"},
    // jxlp parts, split within FF 0A and within the SizeHeader, boxes between
    {"JxlpSplit", "JPEG XL", jxl_head + jxlp(0, cs.substr(0, 1)) + exif + jxlp(1, cs.substr(1, 2)) + jxlp(2, "") + far +
        jxlp(0x80000003, cs.substr(3)), "123x45"},
    {"JxlpLastPartCut", "JPEG XL", jxl_head + jxlp(0x80000000, cs.substr(0, 3)) + jxlp(0x80000001, cs.substr(3)),
        "JPEG XL ends within its size header"},
    ends("JxlpThenJxlc", "JPEG XL", jxl_head + jxlp(0, cs.substr(0, 3)) + box("jxlc", cs),
         "JPEG XL ends within its size header"),
    {"JxlpNoIndex", "JPEG XL", jxl_head + box("jxlp", "\0\0\0"s) + "\xff\x0a",
        "JPEG XL jxlp box is too short for its index"},
    // the index read whole, past the file's end
    {"JxlpCutInIndex", "JPEG XL", jxl_head + be32(20) + "jxlp\0\0"s, "JPEG XL ends within its size header",
        jxl_head.size() + 12},
    // hostile: boxes too small or wrapping past 2^64, and endless ones
    {"Jxl64BitSizeSmallerThanHeader", "JPEG XL", jxl_head + be32(1) + "free" + num(false, 15, 8) + box("jxlc", cs),
        "JPEG XL box is smaller than its header"},
    ends("JxlCutInBoxHeader", "JPEG XL", jxl_head + box("jxlc", cs).substr(0, 7), "JPEG XL ends within a box header"),
    ends("JxlCutIn64BitSize", "JPEG XL", jxl_head + be32(1) + "jxlc" + zeros(7), "JPEG XL ends within a box header"),
    {"JxlSizeThatWraps", "JPEG XL", jxl_head + be32(1) + "free" + num(false, 0 - 32ull, 8) + box("jxlc", cs),
        "JPEG XL box runs past its parent"},
    {"JxlEndlessEmptyBoxes", "JPEG XL", jxl_head + times(5000, box("free", "")) + box("jxlc", cs),
        "JPEG XL has no size within its first 4096 boxes", 0, 64},
    {"JxlReadsRunOut", "JPEG XL", jxl_head + times(1100, far) + box("jxlc", cs),
        "JPEG XL has no size within its first 4096 boxes", 0, 1024},

    // JPEG 2000: a J2K's grid less the image's offset on it
    {"J2kOffset", "JPEG 2000", j2k(1000123, 50, 1000000, 5), "123x45", siz_bound},
    {"J2kOffsetAtTheWidth", "JPEG 2000", j2k(123, 45, 123, 0),
        "JPEG 2000 image offset is not within its reference grid"},
    {"J2kOffsetPastTheHeight", "JPEG 2000", j2k(123, 45, 0, 46),
        "JPEG 2000 image offset is not within its reference grid"},
    {"J2kSizOf40", "JPEG 2000", j2k(123, 45, 0, 0, 40), "JPEG 2000 SIZ segment is too short to hold an image"},
    {"J2kCut", "JPEG 2000", j2k(123, 45, 0, 0).substr(0, 23), "JPEG 2000 ends within its SIZ segment", siz_bound},
    // JP2: ihdr in jp2h, past boxes that hold its bytes; sizes of 1 and 0
    {"Jp2hAfterXmlAndUuid", "JPEG 2000",
        jp2(box("xml ", "<x ihdr='" + be32(7) + be32(7) + "'/>") + box("uuid", zeros(20)) + box("jp2h", ihdr(123, 45))),
        "123x45"},
    {"Jp2hPastThePage", "JPEG 2000", jp2(box("uuid", zeros(5000)) + box("jp2h", ihdr(123, 45) + colr)), "123x45", 0, 1},
    {"Jp2hSize0", "JPEG 2000", jp2(patch(box("jp2h", colr + ihdr(123, 45)), 0, be32(0))), "123x45"},
    {"Jp2Ihdr64BitSize", "JPEG 2000", jp2(box("jp2h", box64("ihdr", ihdr(123, 45).substr(8)))), "123x45"},
    {"Jp2NoFtyp", "JPEG 2000", jp2_sig + box("jp2h", ihdr(123, 45)), "JPEG 2000 has no ftyp box after its signature"},
    ends("Jp2NoJp2h", "JPEG 2000", jp2(box("xml ", "<x/>") + jp2c), "JPEG 2000 has no header box (jp2h)"),
    {"Jp2IhdrOf7Bytes", "JPEG 2000", jp2(box("jp2h", box("ihdr", be32(45) + "\0\0\0"s) + zeros(8))),
        "JPEG 2000 ihdr box is too short for the width and height"},
    cut("Jp2CutInIhdr", jp2(box("jp2h", ihdr(123, 45))), 52, "JPEG 2000 ends within its ihdr box"),
    {"Jp2IhdrPastJp2h", "JPEG 2000", jp2(patch(box("jp2h", ihdr(123, 45)), 0, be32(20))),
        "JPEG 2000 box runs past its parent"},
    cut("Jp2CutInJp2h", jp2(box("jp2h", colr + ihdr(123, 45))), 50, "JPEG 2000 ends within a box header"),
    {"Jp2BoxSmallerThanHeader", "JPEG 2000", jp2(be32(1) + "xml " + num(false, 15, 8) + box("jp2h", ihdr(123, 45))),
        "JPEG 2000 box is smaller than its header"},
    {"Jp2EndlessEmptyBoxes", "JPEG 2000", jp2(times(5000, box("free", "")) + box("jp2h", ihdr(123, 45))),
        "JPEG 2000 has no size within its first 4096 boxes", 0, 64},
    {"Jp2ReadsRunOut", "JPEG 2000", jp2(times(1100, far) + box("jp2h", ihdr(123, 45))),
        "JPEG 2000 has no size within its first 4096 boxes", 0, 1024},
};

class FormatsBoxes : public testing::TestWithParam<Row> {};
TEST_P(FormatsBoxes, SizeOrReason) { check_row(GetParam()); }
INSTANTIATE_TEST_SUITE_P(, FormatsBoxes, testing::ValuesIn(rows), [](const auto &row) { return str(row.param.name); });

// JPEG XL's orientation: the image metadata after the SizeHeader, when it
// is not all default and has its extra fields.
static str jxl_turned(fields size, bool all_default, bool extra, uint32_t orientation)
{
    size.insert(size.end(), {{1, all_default}, {1, extra}, {3, orientation - 1}});
    return jxl(size);
}
static const fields small = {{1, 0}, {2, 0}, {9, 44}, {3, 0}, {2, 0}, {9, 122}};
static const fields longest = {{1, 0}, {2, 3}, {30, 99}, {3, 0}, {2, 3}, {30, 199}};

// The codestream's bytes that the size and the orientation take, and one
// more to know that a bare codestream ends.
static const uint64_t jxl_turned_bound = 2 + 10 + 1;
static const Turned turned[] = {
    {"JxlTurned", "JPEG XL", jxl_turned(small, false, true, 5), "45x123 (stored 123x45)", "123x45", 0, jxl_turned_bound},
    {"JxlTurnedInBoxes", "JPEG XL", jxl_head + box("jxlc", jxl_turned(small, false, true, 7)), "45x123 (stored 123x45)", "123x45"},
    {"JxlKeptUpright", "JPEG XL", jxl_turned(small, false, true, 4), "123x45", "123x45", 0, jxl_turned_bound},
    {"JxlAllDefault", "JPEG XL", jxl_turned(small, true, true, 6), "123x45", "123x45", 0, jxl_turned_bound},
    {"JxlNoExtraFields", "JPEG XL", jxl_turned(small, false, false, 6), "123x45", "123x45", 0, jxl_turned_bound},
    // the longest SizeHeader, 68 bits: the orientation ends in the 10th byte
    {"JxlLongestTurned", "JPEG XL", jxl_turned(longest, false, true, 8), "100x200 (stored 200x100)", "200x100", 0, jxl_turned_bound},
    {"JxlOrientationCut", "JPEG XL", jxl_turned(longest, false, true, 8).substr(0, 11), "200x100", "200x100", 0, jxl_turned_bound},
};
class FormatsBoxesTurned : public testing::TestWithParam<Turned> {};
TEST_P(FormatsBoxesTurned, ShownAndStored) { check_turned(GetParam()); }
INSTANTIATE_TEST_SUITE_P(, FormatsBoxesTurned, testing::ValuesIn(turned), [](const auto &row) { return str(row.param.name); });
