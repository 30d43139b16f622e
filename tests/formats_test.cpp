#include "formats.h"

// JPEG: the segments between the start and the image data.
static str segment(int code, const str &body) { return "\xff"s + char(code) + be16(uint32_t(body.size() + 2)) + body; }
static str sof(int code, uint32_t w, uint32_t h) { return segment(code, "\x08"s + be16(h) + be16(w) + "\1"); }
static str jpeg(const str &segments) { return "\xff\xd8"s + segments + segment(0xda, "\1\1\0\0\x3f\0"s) + "\xff\xd9"; }
static const str jfif = segment(0xe0, "JFIF\0\1\1\0\0\1\0\1\0\0"s), frame = sof(0xc0, 123, 45);
static const str app1_20k = segment(0xe1, str(20000, 'x')), jpeg_20k = "\xff\xd8"s + jfif + app1_20k + frame;
// The thumbnail in Exif's APP1 is a whole JPEG, with a frame header of its own.
static str exif(const str &thumbnail) { return segment(0xe1, "Exif\0\0MM\0*"s + be32(8) + thumbnail); }

static str gif(const char *version, uint32_t w, uint32_t h) { return version + le16(w) + le16(h) + "\xf7\0\0"s; }

static str riff(const str &chunk) { return "RIFF" + le32(uint32_t(4 + chunk.size())) + "WEBP" + chunk; }
static str vp8(uint32_t w, uint32_t h) { return riff("VP8 " + le32(10) + "\x50\2\0\x9d\1\x2a"s + le16(w) + le16(h)); }
static str vp8l(uint32_t bits) { return riff("VP8L" + le32(10) + "\x2f" + le32(bits) + zeros(5)); }
// A lossless file of 28 bytes: its header ends at 25.
static const str vp8l_28 = "RIFF"s + le32(20) + "WEBPVP8L" + le32(8) + "\x2f\x63\xc0\x18\x10\x88\x88\x08"s;
static str vp8x(uint32_t w, uint32_t h)
{
    return riff("VP8X" + le32(10) + le32(0) + num(true, w - 1, 3) + num(true, h - 1, 3));
}

// AVIF and HEIF boxes.
static str ispe(uint32_t w, uint32_t h) { return fullbox("ispe", 0, 0, be32(w) + be32(h)); }
static str pitm(uint32_t item) { return fullbox("pitm", 0, 0, be16(item)); }
// Version 0, flags 0: each entry is an item, a count, then that many 1-byte indexes.
static str ipma(uint32_t count, const str &entries) { return fullbox("ipma", 0, 0, be32(count) + entries); }
// Flags 1: indexes of 16 bits.
static str ipma16(uint32_t count, const str &entries) { return fullbox("ipma", 0, 1, be32(count) + entries); }
static str iprp(const str &ipco, const str &ipma) { return box("iprp", box("ipco", ipco) + ipma); }
static str meta(const str &children)
{
    return fullbox("meta", 0, 0, fullbox("hdlr", 0, 0, zeros(4) + "pict" + zeros(13)) + children);
}
// Item 1 is primary, and its one property, essential, is the first.
static str one_item(const str &ipco) { return pitm(1) + iprp(ipco, ipma(1, be16(1) + "\1\x81"s)); }
static const str avif = ftyp("avif", "mif1miafavif"), item = meta(one_item(ispe(123, 45)));
// The compact form: the brand in the minor version, then a mini box whose
// bits hold version 0, flags (full range, 4:2:0), the orientation less 1,
// a flag set for sides of 7 bits and clear for 15, and each side less 1.
static str mini(bool small, uint32_t w, uint32_t h, unsigned orientation = 1)
{
    uint64_t sides = small ? 1ull << 31 | uint64_t(w - 1) << 24 | (h - 1) << 17 : uint64_t(w - 1) << 16 | (h - 1) << 1;
    return box("mini", num(false, uint64_t(0x0808 | (orientation - 1)) << 32 | sides, 6) + zeros(10));
}
// An image sequence: a movie's boxes and no meta.
static const str sequence = ftyp("msf1", "msf1hevc") + box("moov", box("mvhd", zeros(100))) + box("mdat", str(100, 'm'));
// A box past a read's window (512 bytes) from the one before it.
static const str far = box("free", zeros(512));

static str bmp(uint32_t header, uint32_t w, uint32_t h)
{
    str dib = le32(header) + (header == 12 ? le16(w) + le16(h) : le32(w) + le32(h)) + le16(1) + le16(24);
    dib.resize(header, '\0');
    return "BM" + le32(14 + header) + le32(0) + le32(14 + header) + dib;
}

// ICO: a DIB's height counts its mask too. The directory says 0 for each
// side, as it does for 256 or more, so that only the images can tell.
static str dib(uint32_t w, uint32_t h) { return le32(40) + le32(w) + le32(h) + le16(1) + le16(32) + zeros(24); }
static str ico(const std::vector<str> &images, int type = 1, size_t gap = 0)
{
    str directory = "\0\0"s + char(type) + "\0"s + le16(uint32_t(images.size())), data;
    for (const str &image : images) {
        data += zeros(gap);
        uint32_t at = uint32_t(6 + 16 * images.size() + data.size());
        directory += zeros(4) + le16(1) + le16(32) + le32(uint32_t(image.size())) + le32(at);
        data += image;
    }
    return directory + data;
}
// The most images an icon holds, 600 bytes apart: 255 of 16 x 16, the
// last 48 x 48.
static str icon256()
{
    std::vector<str> images(255, dib(16, 33));
    images.push_back(dib(48, 96));
    return ico(images, 1, 600);
}
static const str icon256_sizes = times(255, "16x16 ") + "48x48";

// TIFF: the first IFD, after pad bytes, claims count entries (-1: those given).
struct Entry { uint16_t tag, type; uint64_t value; uint32_t n = 1; };
enum : uint16_t { WIDTH = 256, HEIGHT = 257, OTHER = 254, SHORT = 3, LONG = 4, LONG8 = 16 };
static str tiff(bool le, bool big, const std::vector<Entry> &entries, size_t pad = 0, long count = -1)
{
    size_t word = big ? 8 : 4;
    str s = le ? "II" : "MM";
    if (big)
        s += num(le, 43, 2) + num(le, 8, 2) + num(le, 0, 2) + num(le, 16 + pad, 8);
    else
        s += num(le, 42, 2) + num(le, 8 + pad, 4);
    s += zeros(pad) + num(le, count < 0 ? entries.size() : uint64_t(count), big ? 8 : 2);
    for (const Entry &e : entries) {
        size_t size = std::min<size_t>(e.type == SHORT ? 2 : e.type == LONG8 ? 8 : 4, word);
        s += num(le, e.tag, 2) + num(le, e.type, 2) + num(le, e.n, word);
        s += num(le, e.value, size) + zeros(word - size);
    }
    return s;
}
static const std::vector<Entry> sides = {{OTHER, LONG, 0}, {WIDTH, SHORT, 123}, {HEIGHT, LONG, 45}};
static const std::vector<Entry> longs = {{WIDTH, LONG, 123}, {HEIGHT, LONG, 45}};
static std::vector<Entry> others_then(size_t n, const std::vector<Entry> &last)
{
    std::vector<Entry> all(n, Entry{OTHER, LONG, 0});
    all.insert(all.end(), last.begin(), last.end());
    return all;
}

// SVG: a root start tag with these attributes, after what comes before it.
static str svg(const str &attributes, const str &before = "") { return before + "<svg " + attributes + "/>"; }
static const char svg_bound[] = "SVG has no whole root start tag within its first 64 KiB";
static const str svg_long_width = "SVG width is not a length: \"" + str(62, '7') + "...\"";

static const char jpeg_bound[] = "JPEG has no frame header within its first 1024 segments or 16 MiB";
// A JPEG's start and segments that end before bytes below 16 MiB.
static str to_16mib(uint32_t before)
{
    str s = "\xff\xd8"s + times(255, segment(0xe2, str(65533, 'i')));
    return s + segment(0xe2, str((16 << 20) - s.size() - 4 - before, 'i'));
}

static const Row rows[] = {
    // name, format, bytes, then the sizes found or the reason, and the bounds if not the usual
    // PNG: the probe's head
    {"PngFirstChunkNotIhdr", "PNG", png(1, 1, "\1HDR"), "first chunk is \\x01HDR, not IHDR"},
    {"PngShortIhdr", "PNG", png(1, 1, "IHDR", 4), "IHDR is 4 bytes, too short for the width and height"},
    {"PngLongIhdr", "PNG", png(123, 45, "IHDR", 1000) + zeros(1000), "123x45"},
    {"PngCutInData", "PNG", png(1, 1).substr(0, 20), "ends within the first chunk's data"},
    {"PngCutInLength", "PNG", png(1, 1).substr(0, 10), "ends within the first chunk's length"},
    {"PngCutInType", "PNG", png(1, 1).substr(0, 14), "ends within the first chunk's type"},
    // every byte of the type counts, and DEL is no letter
    {"PngFirstChunkIhdDel", "PNG", png(1, 1, "IHD\x7f"), "first chunk is IHD\\x7f, not IHDR"},
    {"PngTypeAtPrintableEnds", "PNG", png(1, 1, "\x1f ~A"), "first chunk is \\x1f ~A, not IHDR"},
    {"PngIhdr7", "PNG", png(1, 1, "IHDR", 7), "IHDR is 7 bytes, too short for the width and height"},
    {"PngIhdr8", "PNG", png(123, 45, "IHDR", 8), "123x45"},
    // JPEG: the first frame header met walking the segments
    {"ExifThumbnailPassedOver", "JPEG", jpeg(exif(jpeg(sof(0xc0, 160, 120))) + sof(0xc2, 1234, 567)), "1234x567"},
    {"FillBytes", "JPEG", jpeg(jfif + "\xff\xff"s + frame), "123x45"},
    {"JunkBetweenSegments", "JPEG", jpeg(jfif + "junk\xc0\0\x12"s + frame), "123x45"},
    {"MarkersWithoutLength", "JPEG", jpeg(jfif + "\xff\0\xff\1\xff\xd0\xff\xd8"s + frame), "123x45"},
    {"LosslessC3", "JPEG", jpeg(jfif + sof(0xc3, 123, 45)), "123x45"},
    {"ArithmeticCF", "JPEG", jpeg(jfif + sof(0xcf, 123, 45)), "123x45"},
    {"DhtJpgDacAreNoFrames", "JPEG", jpeg(sof(0xc4, 9, 9) + sof(0xc8, 9, 9) + sof(0xcc, 9, 9) + sof(0xc1, 123, 45)),
        "123x45"},
    // BF is no frame header; a segment's last byte FF is no fill byte, so the D9 after it is junk
    {"BfAndFfEndingASegment", "JPEG", jpeg(sof(0xbf, 9, 9) + segment(0xfe, "\xff"s) + "\xd9"s + frame), "123x45"},
    {"JpegHeight0", "JPEG", jpeg(jfif + sof(0xc0, 123, 0)), "JPEG height is 0, to be given after the image data"},
    {"SegmentLength1", "JPEG", jpeg(jfif + "\xff\xe1\0\1"s + frame), "JPEG has a segment whose length is below 2"},
    {"FrameHeaderLength7", "JPEG", jpeg(jfif + "\xff\xc0\0\7\x08"s + be16(45) + be16(123)),
        "JPEG frame header is too short for the width and height"},
    {"ScanBeforeFrame", "JPEG", "\xff\xd8"s + jfif + segment(0xda, "\1\1\0\0\x3f\0"s) + frame,
        "JPEG has no frame header before its image data"},
    {"EndBeforeFrame", "JPEG", "\xff\xd8"s + jfif + "\xff\xd9"s + frame,
        "JPEG has no frame header before its image data"},
    {"CutInSegments", "JPEG", ("\xff\xd8"s + jfif).substr(0, 12), "JPEG ends before its frame header", 22},
    {"CutInFrameHeader", "JPEG", "\xff\xd8"s + jfif + frame.substr(0, 9), "JPEG ends before its frame header", 30},
    // the first read past the page is across its end, at APP1's header
    {"FramePast20KB", "JPEG", jpeg(segment(0xe0, str(4088, 'j')) + app1_20k + frame), "123x45", 0, 2},
    {"CutPastThePage", "JPEG", jpeg_20k.substr(0, jpeg_20k.size() - 7), "JPEG ends before its frame header", 20034, 2},
    {"EndlessSmallSegments", "JPEG", jpeg(times(2000, segment(0xfe, "")) + frame), jpeg_bound, 4200, 1},
    // the bound is 1024 segments and 1024 reads, the last of each allowed
    // (fill bytes to the page's end: the first segment costs two reads)
    {"FrameIs1024thSegment", "JPEG",
        "\xff\xd8"s + str(4093, '\xff') + times(1022, segment(0xe2, str(600, 'i'))) + segment(0xfe, "") + frame,
        "123x45", 0, 1024},
    {"FrameIs1025thSegment", "JPEG", jpeg(times(1024, segment(0xfe, "")) + frame), jpeg_bound, 4200, 1},
    {"SegmentsPast16MiB", "JPEG", jpeg(times(260, segment(0xe2, str(65533, 'i'))) + frame), jpeg_bound,
        (16 << 20) + 65536, 256},
    {"EndlessJunk", "JPEG", jpeg(jfif + zeros(1 << 20) + frame), jpeg_bound, 0, 1024},
    // a frame header that begins just below 16 MiB, and one at 16 MiB
    {"FrameBelow16MiB", "JPEG", to_16mib(1) + frame, "123x45", 0, 257},
    {"FrameAt16MiB", "JPEG", to_16mib(0) + frame, jpeg_bound, 0, 257},
    // junk and fill bytes are not read on past 16 MiB
    {"JunkAcross16MiB", "JPEG", to_16mib(100) + zeros(100000) + frame, jpeg_bound, 0, 257},
    {"FillAcross16MiB", "JPEG", to_16mib(100) + str(100000, '\xff') + frame, jpeg_bound, 0, 257},
    // GIF: the logical screen
    {"Gif89a", "GIF", gif("GIF89a", 1234, 567), "1234x567"},
    {"Gif87aCut", "GIF", gif("GIF87a", 123, 45).substr(0, 9), "GIF ends within its logical screen's size"},
    {"GifSignatureOnly", "GIF", "GIF89a", "GIF ends within its logical screen's size"},
    // WebP: the first chunk
    {"Vp8UpscaleBitsMasked", "WebP", vp8(0x4000 | 123, 0xc000 | 45), "123x45"},
    {"Vp8NoStartCode", "WebP", patch(vp8(123, 45), 24, "\2"), "WebP lossy frame has no start code"},
    {"Vp8StartCode23", "WebP", patch(vp8(123, 45), 23, "\x9c"), "WebP lossy frame has no start code"},
    {"Vp8StartCode25", "WebP", patch(vp8(123, 45), 25, "\x2b"), "WebP lossy frame has no start code"},
    {"Vp8Largest", "WebP", vp8(0x3fff, 0x3fff), "16383x16383"},
    {"Vp8lPlusOne", "WebP", vp8l(122 | 44 << 14), "123x45"},
    {"Vp8lNo2f", "WebP", patch(vp8l(122 | 44 << 14), 20, "\x2e"), "WebP lossless header is not version 0"},
    {"Vp8lVersion1", "WebP", vp8l(122 | 44 << 14 | 1u << 29), "WebP lossless header is not version 0"},
    {"Vp8x24BitSides", "WebP", vp8x(70000, 45), "70000x45"},
    {"Vp8xLargest", "WebP", vp8x(1 << 24, 1 << 24), "16777216x16777216"},
    {"Vp8xLowerCase", "WebP", riff("VP8x" + le32(10) + zeros(10)), "WebP first chunk is not VP8, VP8L or VP8X"},
    {"UnknownChunk", "WebP", riff("ALPH" + le32(10) + zeros(10)), "WebP first chunk is not VP8, VP8L or VP8X"},
    {"WebpCut", "WebP", vp8(123, 45).substr(0, 29), "WebP ends within its first chunk's header"},
    {"WebpCutInTag", "WebP", riff("VP8"), "WebP ends within its first chunk's header", 16},
    {"Vp8lOf28Bytes", "WebP", vp8l_28, "100x100"},
    {"Vp8lCut", "WebP", vp8l_28.substr(0, 24), "WebP ends within its first chunk's header"},
    {"Vp8lLargestOf25Bytes", "WebP", vp8l(0x3fff | 0x3fff << 14).substr(0, 25), "16384x16384"},
    {"RiffOfAnotherKind", nullptr, "RIFF" + le32(4) + "AVI LIST" + zeros(20), ""},
    // AVIF and HEIF: the brands, then the primary item's ispe
    {"AvifBrandWinsOverMif1", "AVIF", ftyp("mif1", "mif1avif") + item, "123x45"},
    {"Heic", "HEIF", ftyp("heic", "") + item, "123x45"},
    {"MinorVersionIsNoBrand", "HEIF", box("ftyp", "isomavifmif1") + item, "123x45"},
    {"IsomOnly", nullptr, ftyp("isom", "isomiso2") + item, ""},
    {"AvifSequence", "AVIF", ftyp("avis", "avismsf1mif1") + item, "123x45"},
    // brands only within ftyp, and only within the page whatever its size
    {"BrandAfterFtyp16BitIndexes", "HEIF",
        ftyp("heic", "") + box("free", "avif") +
            meta(pitm(1) + iprp(ispe(123, 45), ipma16(1, be16(1) + "\2"s + be16(0) + be16(0x8001)))),
        "123x45"},
    {"FtypPastTheFile", nullptr, be32(0xffffffff) + "ftypisom" + zeros(20), ""},
    // the compact form, its sides in 7 bits or 15
    {"MiniAvif", "AVIF", box("ftyp", "mif3avif") + mini(true, 100, 128), "100x128"},
    {"MiniHeicLarge", "HEIF", box("ftyp", "mif3heic") + mini(false, 32768, 4000), "32768x4000"},
    {"MiniNotVersion0", "HEIF", box("ftyp", "mif3heic") + patch(mini(true, 1, 1), 8, "\x40"), "HEIF mini box is not version 0"},
    {"MiniTooShort", "HEIF", box("ftyp", "mif3heic") + box("mini", "\0\0\x80\0\0"s), "HEIF mini box is too short for the width and height"},
    // a codec brand of neither list; a flag beside the version; the sides' 6 bytes and no more
    {"MiniOf6Bytes", "HEIF",
        box("ftyp", "mif3hvc1") + patch(box("mini", mini(true, 100, 128).substr(8, 6)), 8, "\x28"), "100x128"},
    {"SequenceWithoutMeta", "HEIF", sequence, "HEIF has no meta box", sequence.size() + 1},
    // a thumbnail's ispe first, the primary's among others, a larger one after
    {"PrimaryAmongSeveralIspe", "AVIF",
        avif + meta(pitm(2) + iprp(ispe(160, 120) + box("hvcC", "") + ispe(1600, 3232) + ispe(4032, 3024),
                                   ipma(3, be16(1) + "\2\x81\2"s + be16(2) + "\2\x82\x83"s + be16(3) + "\1\4"s))),
        "1600x3232"},
    // item IDs of 32 bits, property indexes of 16
    {"Version1Ids16BitIndexes", "AVIF",
        avif + meta(fullbox("pitm", 1, 0, be32(0x10002)) +
                    iprp(ispe(160, 120) + ispe(123, 45),
                         fullbox("ipma", 1, 1, be32(2) + be32(2) + "\1\x80\1"s + be32(0x10002) + "\1\0\2"s))),
        "123x45"},
    {"MetaAfterMdat", "AVIF", avif + box("mdat", str(10000, 'm')) + item, "123x45", 0, 1},
    {"Meta64BitSize", "AVIF", avif + box64("meta", item.substr(8)), "123x45"},
    {"MetaSize0ToTheEnd", "AVIF", avif + patch(item, 0, be32(0)), "123x45"},
    {"BoxSmallerThanHeader", "AVIF", avif + be32(1) + "free" + num(false, 12, 8) + item,
        "AVIF box is smaller than its header"},
    {"PrimaryHasNoEntry", "AVIF", avif + meta(pitm(2) + iprp(ispe(123, 45), ipma(1, be16(1) + "\1\x81"s))),
        "AVIF primary item has no properties"},
    {"NoPitm", "AVIF", avif + meta(iprp(ispe(123, 45), ipma(1, be16(1) + "\1\x81"s))),
        "AVIF has no primary item (pitm)"},
    {"PrimaryHasNoIspe", "AVIF", avif + meta(one_item(box("hvcC", "") + ispe(123, 45))),
        "AVIF primary item has no size (ispe)"},
    {"IndexPastIpco", "AVIF", avif + meta(pitm(1) + iprp(ispe(123, 45), ipma(1, be16(1) + "\1\2"s))),
        "AVIF property index is past the end of its properties"},
    // ipma before ipco, so that an overrun reads ipco's bytes
    {"IpmaCountOverruns", "AVIF", avif + meta(pitm(2) + box("iprp", ipma(2, be16(1) + "\1\1"s) + box("ipco", ispe(1, 1)))),
        "AVIF ipma entries overrun their box"},
    {"IspeRunsPastIpco", "AVIF", avif + meta(one_item(patch(ispe(123, 45), 0, be32(40))) + zeros(40)),
        "AVIF box runs past its parent"},
    {"IspeTooShort", "AVIF", avif + meta(one_item(fullbox("ispe", 0, 0, be32(123)))),
        "AVIF ispe box is too short for the width and height"},
    // each of these with a brand of its own, so that every brand is tried
    {"IspeOneByteShort", "HEIF", ftyp("heix", "") + meta(one_item(fullbox("ispe", 0, 0, be32(123) + "\0\0\0"s))),
        "HEIF ispe box is too short for the width and height"},
    {"BoxPastMetaBeforePitm", "HEIF", ftyp("heim", "") + meta(be32(1000) + "free" + one_item(ispe(123, 45))),
        "HEIF box runs past its parent"},
    {"BoxPastMetaBeforeIprp", "HEIF",
        ftyp("heis", "") + meta(pitm(1) + be32(1000) + "free" + iprp(ispe(123, 45), ipma(1, be16(1) + "\1\x81"s))),
        "HEIF box runs past its parent"},
    {"PitmOneByteShort", "HEIF",
        ftyp("hevc", "") + meta(fullbox("pitm", 0, 0, "\1"s) + iprp(ispe(123, 45), ipma(1, be16(1) + "\1\x81"s))),
        "HEIF pitm box is too short for the primary item"},
    // ipma before ipco, as in IpmaCountOverruns
    {"IpmaOf7Bytes", "HEIF",
        ftyp("hevx", "") + meta(pitm(1) + box("iprp", fullbox("ipma", 0, 0, "\0\0\0"s) + box("ipco", ispe(123, 45)))),
        "HEIF ipma box is too short for its count"},
    // two 16-bit indexes in room for one
    {"Ipma16BitIndexesOverrun", "HEIF",
        ftyp("msf1", "") +
            meta(pitm(1) + box("iprp", ipma16(1, be16(1) + "\2"s + be16(0)) + box("ipco", ispe(123, 45)))),
        "HEIF ipma entries overrun their box"},
    // an index's top bit is the flag, the 7 or 15 below it the index; an item of 128 indexes passed over
    {"PropertyIndex65", "AVIF",
        avif + meta(pitm(1) + iprp(ispe(1, 1) + times(63, box("free", "")) + ispe(123, 45),
                                   ipma(2, be16(2) + "\x80"s + str(128, '\1') + be16(1) + "\1\xc1"s))),
        "123x45"},
    {"PropertyIndex16385", "AVIF",
        avif + meta(pitm(1) + iprp(ispe(123, 45), ipma16(1, be16(1) + "\1"s + be16(0x4001)))),
        "AVIF property index is past the end of its properties"},
    {"EndlessEmptyBoxes", "AVIF", avif + times(5000, box("free", "")) + item,
        "AVIF has no size within its first 4096 boxes", 0, 64},
    // the 4096th box and the primary's entry 64 KiB into ipma are within the bounds, and the reads past
    // the page that the boxes and ipma cost; one box more, or one byte, is past them
    {"AtEveryBound", "AVIF",
        avif + times(900, far) + times(3185, box("free", "")) +
            meta(pitm(1) + iprp(ispe(123, 45), ipma(16383, times(16382, be16(2) + "\1\1"s) + be16(1) + "\1\x81"s))),
        "123x45", 0, 1152},
    {"Past4096Boxes", "AVIF", avif + times(4086, box("free", "")) + item,
        "AVIF has no size within its first 4096 boxes", 0, 64},
    {"PrimaryPast64KiBOfIpmaByOne", "AVIF",
        avif + meta(pitm(1) + iprp(ispe(123, 45), ipma(21844, times(21843, be16(2) + "\0"s) + be16(1) + "\1\x81"s))),
        "AVIF has no primary item in the first 64 KiB of its ipma box", 0, 128},
    // a box that ends past 2^63, where no file reaches and no read may go
    {"BoxPast2To63", "AVIF", avif + be32(1) + "free" + num(false, 1ull << 63, 8) + zeros(4096), "AVIF has no meta box"},
    {"PrimaryPast64KiBOfIpma", "AVIF",
        avif + meta(pitm(1) + iprp(ispe(123, 45), ipma(30001, times(30000, be16(2) + "\0"s) + be16(1) + "\1\x81"s))),
        "AVIF has no primary item in the first 64 KiB of its ipma box", 0, 128},
    // BMP: by the DIB header's size
    {"Os2Header12", "BMP", bmp(12, 123, 45), "123x45"},
    {"Os2Header64Unsigned", "BMP", bmp(64, 123, 3000000000u), "123x3000000000"},
    {"Windows108", "BMP", bmp(108, 123, 45), "123x45"},
    {"TopDown", "BMP", bmp(40, 123, uint32_t(-45)), "123x45"},
    {"NegativeWidth", "BMP", bmp(40, uint32_t(-123), 45), "BMP width is negative"},
    {"HeightMinus2To31", "BMP", bmp(40, 123, 0x80000000u),
        "BMP height is -2147483648, which has no positive counterpart"},
    {"BmpHeight0", "BMP", bmp(124, 123, 0), "BMP image has a height of 0"},
    {"UnknownHeader", "BMP", bmp(20, 123, 45), "BMP header size is none of 12, 16, 40, 52, 56, 64, 108 or 124"},
    {"BmpCut", "BMP", bmp(40, 123, 45).substr(0, 25), "BMP ends within its header"},
    {"Os2Header16Unsigned", "BMP", bmp(16, 123, 3000000000u), "123x3000000000"},
    // the largest sides, the height either way up
    {"Windows52Largest", "BMP", bmp(52, 0x7fffffff, 0x80000001u), "2147483647x2147483647"},
    {"Windows56Tallest", "BMP", bmp(56, 123, 0x7fffffff), "123x2147483647"},
    {"WidthMinus2To31", "BMP", bmp(40, 0x80000000u, 45), "BMP width is negative"},
    {"BmpCutInHeaderSize", "BMP", bmp(40, 123, 45).substr(0, 17), "BMP ends within its header"},
    {"Os2CutInHeight", "BMP", bmp(12, 123, 45).substr(0, 21), "BMP ends within its header"},
    // ICO and CUR: every entry, from its own image
    {"PngOver256HalvedDib", "ICO", ico({dib(48, 64), png(300, 257)}), "48x32 300x257"},
    {"Cursor", "ICO", ico({dib(32, 64)}, 2), "32x32"},
    {"Count0", nullptr, ico({}), ""},
    {"Count257", "ICO", patch(ico({dib(16, 32)}), 4, le16(257)), "ICO holds more than 256 images"},
    {"ImagePastTheEnd", "ICO", patch(ico({dib(16, 32)}), 18, le32(100)), "ICO ends within an image's header", 124},
    {"ImageInTheDirectory", "ICO", patch(ico({dib(16, 32), dib(16, 32)}), 18, le32(30)),
        "ICO image lies within the directory"},
    {"NegativeDibHeight", "ICO", ico({dib(16, uint32_t(-32))}), "ICO image has a negative side"},
    {"NeitherPngNorDib", "ICO", ico({le32(12) + le16(16) + le16(32) + zeros(20)}),
        "ICO image header is neither PNG nor a DIB"},
    {"PngWithoutIhdr", "ICO", ico({png(16, 16, "iCCP")}), "ICO PNG image does not begin with IHDR"},
    {"PngIhdDel", "ICO", ico({png(16, 16, "IHD\x7f")}), "ICO PNG image does not begin with IHDR"},
    {"SecondImageWidth0", "ICO", ico({dib(16, 32), dib(0, 32)}), "ICO image has a width of 0"},
    {"ImagesPastThePage", "ICO", ico({dib(48, 64), dib(32, 64), dib(16, 32)}, 1, 5000), "48x32 32x32 16x16", 0, 3},
    // each image a read past the page; an odd DIB height rounds down
    {"Icon256Images", "ICO", icon256(), icon256_sizes.c_str(), 0, 257},
    {"IcoCutInCount", "ICO", "\0\0\1\0\1"s, "ICO ends within its count of images", 6},
    {"IcoCutInDirectory", "ICO", ico({dib(16, 32)}).substr(0, 21), "ICO ends within its directory", 22},
    {"ImageOnTheDirectorysLastByte", "ICO", patch(ico({dib(16, 32)}), 18, le32(21)),
        "ICO image lies within the directory"},
    {"PngImageCut", "ICO", ico({png(300, 257)}).substr(0, 45), "ICO ends within an image's header", 46},
    {"DibWidthMinus2To31", "ICO", ico({dib(0x80000000u, 32)}), "ICO image has a negative side"},
    // TIFF: the first IFD's tags 256 and 257
    {"LittleEndian", "TIFF", tiff(true, false, sides), "123x45"},
    {"BigEndian", "TIFF", tiff(false, false, sides), "123x45"},
    {"BigTiffLong8", "TIFF", tiff(true, true, {{WIDTH, LONG8, 123}, {HEIGHT, SHORT, 45}}), "123x45"},
    {"BigTiffBigEndian", "TIFF", tiff(false, true, {{WIDTH, LONG, 123}, {HEIGHT, LONG8, 45}}), "123x45"},
    {"IfdAtTheEnd", "TIFF", tiff(false, false, longs, 20000), "123x45", 0, 1},
    {"IfdInTheHeader", "TIFF", patch(tiff(false, false, sides), 4, be32(4)), "TIFF first IFD lies within the header"},
    {"EntriesPastTheEnd", "TIFF", tiff(false, false, {{WIDTH, SHORT, 123}}, 0, 5),
        "TIFF ends within its first IFD", 34},
    {"StopsOnceBothAreRead", "TIFF", tiff(false, false, longs, 0, 50), "123x45"},
    {"NoHeight", "TIFF", tiff(false, false, {{WIDTH, SHORT, 123}}), "TIFF first IFD has no height"},
    {"Long8InClassicTiff", "TIFF", tiff(false, false, {{WIDTH, LONG8, 123}, {HEIGHT, SHORT, 45}}),
        "TIFF width or height is not of type SHORT or LONG"},
    {"TwoWidths", "TIFF", tiff(false, false, {{WIDTH, SHORT, 123, 2}, {HEIGHT, SHORT, 45}}),
        "TIFF width or height is not a single number"},
    {"Long8Past32Bits", "TIFF", tiff(false, true, {{WIDTH, LONG8, 1ull << 32}, {HEIGHT, SHORT, 45}}),
        "TIFF width or height is larger than 4294967295"},
    {"BigTiffOffsetsOf4", "TIFF", patch(tiff(true, true, sides), 4, le16(4)),
        "TIFF BigTIFF header gives offsets of other than 8 bytes"},
    {"Past4096Entries", "TIFF", tiff(false, false, std::vector<Entry>(5000, Entry{OTHER, LONG, 0})),
        "TIFF has no width and height within its IFD's first 4096 entries", 0, 96},
    // the 4096th entry read, and the 4097th not
    {"BigTiffHeightIs4096thEntry", "TIFF",
        tiff(true, true, others_then(4094, {{WIDTH, LONG, 4294967295u}, {HEIGHT, SHORT, 45}})),
        "4294967295x45", 0, 171},
    {"HeightIs4097thEntry", "TIFF", tiff(false, false, others_then(4095, longs)),
        "TIFF has no width and height within its IFD's first 4096 entries", 0, 96},
    {"TiffCutInHeader", "TIFF", tiff(true, false, sides).substr(0, 7), "TIFF ends within its header", 8},
    {"BigTiffCutInOffset", "TIFF", tiff(true, true, sides).substr(0, 15), "TIFF ends within its header", 16},
    {"IfdAt7", "TIFF", patch(tiff(false, false, sides), 4, be32(7)), "TIFF first IFD lies within the header"},
    {"BigTiffIfdAt15", "TIFF", patch(tiff(true, true, sides), 8, num(true, 15, 8)),
        "TIFF first IFD lies within the header"},
    {"BigTiffSecondWordNot0", "TIFF", patch(tiff(true, true, sides), 6, le16(1)),
        "TIFF BigTIFF header gives offsets of other than 8 bytes"},
    {"WidthCount0", "TIFF", tiff(false, false, {{WIDTH, SHORT, 123, 0}, {HEIGHT, SHORT, 45}}),
        "TIFF width or height is not a single number"},
    // an IFD of no entries, whose count is the last bytes of the file
    {"EmptyIfdAtTheEnd", "TIFF", tiff(false, false, {}, 5000), "TIFF first IFD has no width", 0, 1},
    // SVG: the root's own width and height in each unit, to 1/1000 then up
    {"SvgPxQuotes", "SVG", svg("width=\"80px\" height='60'"), "80x60"},
    {"SvgInCm", "SVG", svg("width='1in' height='2.54cm'"), "96x96"},
    {"SvgMmQ", "SVG", svg("width='25.4mm' height='101.6Q'"), "96x96"},
    {"SvgPtPc", "SVG", svg("width='72pt' height='6PC'"), "96x96"},
    {"SvgEmEx", "SVG", svg("width='6em' height='12ex'"), "96x96"},
    {"SvgRounding", "SVG", svg("width='135.4666mm' height='511.9996'"), "512x512"},
    {"SvgRoundingUp", "SVG", svg("width='512.3' height='10.0006'"), "513x11"},
    {"SvgExponentBlanks", "SVG", svg("width = '+5.12E2' height=' 24px '"), "512x24"},
    // one side from the viewBox's ratio, or both; % and auto are no size
    {"SvgWidthAndViewBox", "SVG", svg("width='48' viewBox='0 0 24 12'"), "48x24"},
    {"SvgHeightAndViewBox", "SVG", svg("height='10' viewBox='0,0,30,20'"), "15x10"},
    {"SvgViewBoxAlone", "SVG", svg("viewBox=' -5 -5, 24.5\n24 '"), "25x24"},
    {"SvgPercentAuto", "SVG", svg("width='100%' height='auto' viewBox='0 0 3 4'"), "3x4"},
    {"SvgNeither", "SVG", "<svg>", "SVG has no width, height or viewBox"},
    {"SvgViewBoxOfZero", "SVG", svg("width='10' viewBox='0 0 0 5'"), "SVG has a width but no height or viewBox"},
    {"SvgHeightAndViewBoxOfHeight0", "SVG", svg("height='5' viewBox='0 0 5 0'"),
        "SVG has a height but no width or viewBox"},
    {"SvgViewBoxOfFive", "SVG", svg("width='10' viewBox='0 0 5 5 5'"), "SVG has a width but no height or viewBox"},
    {"SvgViewBoxLeadingComma", "SVG", svg("width='10' viewBox=',0 0 5 5'"), "SVG has a width but no height or viewBox"},
    {"SvgViewBoxTwoCommas", "SVG", svg("width='10' viewBox='0,,0 5 5'"), "SVG has a width but no height or viewBox"},
    // exponents with a sign, a number ending in its point, a width of 10.00055 that is 11
    {"SvgExponentsAndDot", "SVG", svg("width='1.000055e+1' viewBox='0 0 2e-1 10.'"), "11x501"},
    // what comes before the root, names that end in width, nested elements
    {"SvgTraps", "SVG",
        "\xef\xbb\xbf<?xml version='1.0'?>\r\n<!-- <svg width='1' height='1'> -->\r\n<!DOCTYPE svg PUBLIC \"-//W3C\" "
        "\"x\" [ <!ENTITY w \"width='2']>\"> <!-- ] > --> ]>\r\n<svg:svg xlink:width='5' stroke-width='5' "
        "title='a> width=\"7\" height=\"7\"' data-width='5'\r\n width='30' height='20' width='9'><svg width='1' "
        "height='1'/><image width='2'/>",
        "30x20"},
    {"HtmlIsNoSvg", nullptr, "<!DOCTYPE html><html><svg width='1' height='1'/>", ""},
    {"SvgzIsNoSvg", nullptr, "\x1f\x8b\x08\0\0\0\0\0", ""},
    // values that are no size
    {"SvgNotALength", "SVG", svg("width='12furlongs' height='1'"), "SVG width is not a length: \"12furlongs\""},
    {"SvgEscapedValue", "SVG", svg("width='1' height='1 2\x1b[2J'"), "SVG height is not a length: \"1 2\\x1b[2J\""},
    {"SvgNotAbove0", "SVG", svg("width='-5' height='5'"), "SVG width is not above 0: \"-5\""},
    {"SvgWidth0", "SVG", svg("width='0' height='5'"), "SVG width is not above 0: \"0\""},
    // a width above 0, though it rounds to 0, and a height that is 0
    {"SvgTinyWidthHeight0", "SVG", svg("width='1e-50' height='0'"), "SVG height is not above 0: \"0\""},
    {"SvgDotIsNoNumber", "SVG", svg("width='.' height='5'"), "SVG width is not a length: \".\""},
    {"SvgPast32Bits", "SVG", svg("width='5e9' height='1'"), "SVG is too large: a side past 4294967295 pixels"},
    // the largest side, to 1/1000, and the first that rounds past it
    {"SvgLargestSide", "SVG", svg("width='4294967295.0004' height='1'"), "4294967295x1"},
    {"SvgRoundsPast32Bits", "SVG", svg("width='4294967295.0006' height='1'"), "SVG is too large: a side past 4294967295 pixels"},
    // hostile: read past the page a page at a time, to 64 KiB
    {"SvgRootAfterLongComment", "SVG", svg("width='5' height='6'", "<!--" + str(20000, '-') + "-->"), "5x6", 0, 16},
    {"SvgValueOf60KiB", "SVG", svg("title='" + str(60000, 'x') + "' width='5' height='6'"), "5x6", 0, 16},
    {"SvgSizeBeforeLongSource", "SVG", svg("width='5' height='6' content='" + str(70000, 'x') + "'"), "5x6"},
    {"SvgWidthOf60KiB", "SVG", svg("width='" + str(60000, '7') + "'"),
        svg_long_width.c_str(), 0, 16},
    // a word tried across a window's edge and taken back, where the file ends
    {"SvgTakenBackAcrossReads", "SVG", svg("width='3' height='4'", "<!DOCTYPE svg [" + str(8175, ' ') + "<!ENTITY a 'b'>]>"),
        "3x4", 0, 2},
    {"SvgPast64KiBOfBlanks", "SVG", str(65536, ' ') + svg("width='5' height='6'"), svg_bound, 0, 16},
    {"SvgDoctypeNeverEnds", "SVG", "<!DOCTYPE svg [" + str(70000, '<'), svg_bound, 0, 16},
    {"SvgCommentNeverEnds", nullptr, "<!-- " + str(10000, '-'), "", 0, 16},
    {"SvgStartTagCut", "SVG", "<svg width='80' hei", "SVG ends within its root start tag"},
};

class Formats : public testing::TestWithParam<Row> {};

TEST_P(Formats, SizeOrReason) { check_row(GetParam()); }

INSTANTIATE_TEST_SUITE_P(, Formats, testing::ValuesIn(rows),
                         [](const auto &row) { return str(row.param.name); });

// The displayed size: Exif orientation, as JPEG, PNG, WebP and TIFF hold
// it, and HEIF's crop and rotation.
enum : uint16_t { ORIENTATION = 274, ASCII = 2 };
static Entry turn(uint32_t orientation) { return {ORIENTATION, SHORT, orientation}; }
static str app1_exif(bool le, const std::vector<Entry> &entries) { return segment(0xe1, "Exif\0\0"s + tiff(le, false, entries)); }
static str chunk(const char *type, const str &data) { return be32(uint32_t(data.size())) + type + data + be32(0); }
static const str idat = chunk("IDAT", "x"), turned_exif = tiff(false, false, {turn(6)});
static str webp_chunk(const char *type, const str &data)
{
    return type + le32(uint32_t(data.size())) + data + (data.size() % 2 ? "\0"s : "");
}
// An extended WebP of 123 x 45 with these flags, then its chunks.
static str webp_x(int flags, const str &chunks)
{
    return riff("VP8X" + le32(10) + char(flags) + zeros(3) + num(true, 122, 3) + num(true, 44, 3) + chunks);
}
static const str vp8_frame = webp_chunk("VP8 ", "\x50\2\0\x9d\1\x2a"s + le16(123) + le16(45));
// AVIF and HEIF: the primary item's properties, associated in this order.
static str clap(uint32_t wn, uint32_t wd, uint32_t hn, uint32_t hd) { return box("clap", be32(wn) + be32(wd) + be32(hn) + be32(hd) + zeros(16)); }
static str irot(int angle) { return box("irot", str(1, char(angle))); }
static str props(const str &ipco, const str &order) { return avif + meta(pitm(1) + iprp(ipco, ipma(1, be16(1) + char(order.size()) + order))); }
static const str crop_turn = ispe(300, 200) + clap(150, 1, 100, 1) + irot(1);

static std::vector<Turned> turned_rows()
{
    // Each orientation, and one past them, in each byte order: 5 to 8 turn.
    static std::vector<str> names;
    names.reserve(18);
    std::vector<Turned> rows;
    for (bool le : {true, false})
        for (uint32_t o = 1; o <= 9; o++) {
            names.push_back(str(le ? "JpegLe" : "JpegBe") + std::to_string(o));
            rows.push_back({names.back().c_str(), "JPEG", jpeg(jfif + app1_exif(le, {turn(o)}) + frame),
                            o >= 5 && o <= 8 ? "45x123 (stored 123x45)" : "123x45", "123x45"});
        }
    const str xmp = segment(0xe1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>"s);
    // The sides, then entries below the orientation up to the 4096th, then it.
    std::vector<Entry> many = {{WIDTH, SHORT, 123}, {HEIGHT, SHORT, 45}};
    many.insert(many.end(), 4094, Entry{260, SHORT, 0});
    many.push_back(turn(6));
    std::vector<Turned> more = {
        // JPEG: after XMP's APP1; the first Exif counts; one without its marker
        // is none; the tag of another type or count, or after a larger tag
        {"JpegExifAfterXmp", "JPEG", jpeg(xmp + app1_exif(true, {turn(8)}) + frame), "45x123 (stored 123x45)", "123x45"},
        {"JpegSecondExifIgnored", "JPEG", jpeg(app1_exif(true, {turn(1)}) + app1_exif(true, {turn(6)}) + frame), "123x45", "123x45"},
        {"JpegExifWithoutMarker", "JPEG", jpeg(segment(0xe1, turned_exif) + frame), "123x45", "123x45"},
        {"JpegOrientationLong", "JPEG", jpeg(app1_exif(true, {{ORIENTATION, LONG, 6}}) + frame), "123x45", "123x45"},
        {"JpegOrientationTwice", "JPEG", jpeg(app1_exif(true, {{ORIENTATION, SHORT, 6, 2}}) + frame), "123x45", "123x45"},
        {"JpegOrientationAfterLarger", "JPEG", jpeg(app1_exif(true, {{282, SHORT, 1}, turn(6)}) + frame), "123x45", "123x45"},
        {"JpegOrientationAfterOthers", "JPEG", jpeg(app1_exif(false, {{271, ASCII, 0x41626300, 4}, {273, LONG, 9}, turn(7)}) + frame),
            "45x123 (stored 123x45)", "123x45"},
        // hostile Exif: IFD0 past the end, within the header, pointing at
        // itself, a count that runs into the next segment's look-alike entry
        {"JpegIfdPastTheEnd", "JPEG", jpeg(segment(0xe1, "Exif\0\0MM\0*"s + be32(0xfffffff0)) + frame), "123x45", "123x45"},
        {"JpegIfdInTheHeader", "JPEG", jpeg(segment(0xe1, "Exif\0\0MM\0*"s + be32(6) + be16(ORIENTATION) + be16(SHORT) + be32(1) + be32(6u << 16)) + frame),
            "123x45", "123x45"},
        {"JpegExifNoByteOrder", "JPEG", jpeg(segment(0xe1, "Exif\0\0MX\0*"s + turned_exif.substr(4)) + frame), "123x45", "123x45"},
        {"JpegIfdPointsToItself", "JPEG", jpeg(segment(0xe1, "Exif\0\0MM\0*"s + be32(8) + be16(1) + be16(271) + be16(2) + be32(0) + be32(0) + be32(8)) + frame),
            "123x45", "123x45"},
        // each of the 1000 segments after 4096 entries of Exif costs a read: the Exif's are its own
        {"JpegExifThen1000Segments", "JPEG", jpeg(segment(0xe1, "Exif\0\0"s + tiff(true, false, std::vector<Entry>(5000, Entry{271, SHORT, 0}))) +
                                                  times(1000, segment(0xe2, zeros(600))) + frame),
            "123x45", "123x45", 1024 + 104},
        // 5000 entries, none the orientation, past the page: the first 4096 are read, 45 a read
        {"JpegExifOfManyEntries", "JPEG", jpeg(segment(0xe1, "Exif\0\0"s + tiff(true, false, std::vector<Entry>(5000, Entry{271, SHORT, 0}))) + frame),
            "123x45", "123x45", 91},

        // PNG: eXIf before IDAT, with or without Exif's marker, past the page; not after IDAT
        {"PngExif", "PNG", png(123, 45) + chunk("eXIf", turned_exif) + idat, "45x123 (stored 123x45)", "123x45"},
        {"PngExifMarked", "PNG", png(123, 45) + chunk("eXIf", "Exif\0\0"s + turned_exif) + idat, "45x123 (stored 123x45)", "123x45"},
        {"PngExifPastThePage", "PNG", png(123, 45) + chunk("iTXt", str(5000, 't')) + chunk("eXIf", turned_exif) + idat,
            "45x123 (stored 123x45)", "123x45", 1},
        {"PngExifAfterIdat", "PNG", png(123, 45) + idat + chunk("eXIf", turned_exif), "123x45", "123x45"},
        {"PngChunkPastTheEnd", "PNG", png(123, 45) + be32(0x00f00000) + "tEXt", "123x45", "123x45", 0, 1ull << 33},

        // WebP: the EXIF chunk after the image's or an animation's, marked
        // or not; odd chunks padded; only when the flag says Exif is there
        {"WebpExif", "WebP", webp_x(0x08, vp8_frame + webp_chunk("EXIF", turned_exif)), "45x123 (stored 123x45)", "123x45"},
        {"WebpExifAfterAnimation", "WebP",
            webp_x(0x0a, webp_chunk("ANIM", zeros(6)) + webp_chunk("ANMF", zeros(16) + vp8_frame) + webp_chunk("ANMF", zeros(17)) +
                             webp_chunk("EXIF", "Exif\0\0"s + turned_exif)),
            "45x123 (stored 123x45)", "123x45"},
        {"WebpExifUnmarkedAfterAnimation", "WebP",
            webp_x(0x0a, webp_chunk("ANIM", zeros(6)) + webp_chunk("ANMF", zeros(17)) + webp_chunk("EXIF", turned_exif)),
            "45x123 (stored 123x45)", "123x45"},
        {"WebpExifNotFlagged", "WebP", webp_x(0x00, vp8_frame + webp_chunk("EXIF", turned_exif)), "123x45", "123x45"},
        {"WebpExifPastThePage", "WebP", webp_x(0x08, webp_chunk("VP8 ", str(5001, 'v')) + webp_chunk("EXIF", turned_exif)),
            "45x123 (stored 123x45)", "123x45", 1},
        // a count that overruns its chunk into the next, made to look like the orientation's entry
        {"WebpExifCountOverruns", "WebP", webp_x(0x08, webp_chunk("EXIF", tiff(true, false, {{271, SHORT, 0}}, 0, 2)) +
                                                           "\x12\x01\x03\0"s + le32(1) + "\x06\0"s),
            "123x45", "123x45"},
        {"WebpChunkPastTheEnd", "WebP", webp_x(0x08, "ICCP" + le32(0x00f00000)), "123x45", "123x45", 0, 1ull << 33},

        // TIFF: read on to the orientation, in either order and BigTIFF;
        // not past a larger tag; an IFD that ends or runs on leaves the size
        {"TiffTurned", "TIFF", tiff(true, false, {{WIDTH, SHORT, 123}, {HEIGHT, SHORT, 45}, {259, SHORT, 1}, turn(6)}), "45x123 (stored 123x45)", "123x45"},
        {"TiffTurnedBig", "TIFF", tiff(false, true, {{WIDTH, LONG, 123}, {HEIGHT, LONG8, 45}, turn(8)}), "45x123 (stored 123x45)", "123x45"},
        {"TiffOrientationFirst", "TIFF", tiff(false, false, {turn(5), {WIDTH, SHORT, 123}, {HEIGHT, SHORT, 45}}), "45x123 (stored 123x45)", "123x45"},
        {"TiffOrientationLong", "TIFF", tiff(true, false, {{WIDTH, SHORT, 123}, {HEIGHT, SHORT, 45}, {ORIENTATION, LONG, 6}}), "123x45", "123x45"},
        {"TiffOrientationTwice", "TIFF", tiff(true, false, {{WIDTH, SHORT, 123}, {HEIGHT, SHORT, 45}, {ORIENTATION, SHORT, 6, 2}}), "123x45", "123x45"},
        {"TiffOrientationAfterLarger", "TIFF", tiff(true, false, {{WIDTH, SHORT, 123}, {HEIGHT, SHORT, 45}, {282, SHORT, 1}, turn(6)}), "123x45", "123x45"},
        {"TiffIfdEndsBeforeOrientation", "TIFF", tiff(true, false, {{WIDTH, SHORT, 123}, {HEIGHT, SHORT, 45}}, 0, 3), "123x45", "123x45", 0, 1000},
        {"TiffOrientationPast4096", "TIFF", tiff(true, false, many),
            "123x45", "123x45", 171},

        // HEIF and AVIF: crop then turn, turn then crop; each crop that
        // cannot be judged; a turn of half a circle; the compact form
        {"ClapThenIrot", "AVIF", props(crop_turn, "\1\2\3"), "100x150 (stored 300x200)", "300x200"},
        {"IrotThenClap", "AVIF", props(crop_turn, "\1\3\2"), "150x100 (stored 300x200)", "300x200"},
        {"ClapRoundsDown", "AVIF", props(ispe(300, 200) + clap(301, 2, 399, 2), "\1\2"), "150x199 (stored 300x200)", "300x200"},
        {"ClapDenominator0", "AVIF", props(ispe(300, 200) + clap(150, 0, 100, 1), "\1\2"), "AVIF clap box has a denominator of 0", "300x200"},
        {"ClapHeightDenominator0", "AVIF", props(ispe(300, 200) + clap(150, 1, 100, 0), "\1\2"), "AVIF clap box has a denominator of 0", "300x200"},
        {"ClapToNothing", "AVIF", props(ispe(300, 200) + clap(150, 1, 1, 2), "\1\2"), "AVIF clap box crops to a width or height of 0", "300x200"},
        {"ClapPastTheImage", "AVIF", props(ispe(300, 200) + clap(301, 1, 100, 1), "\1\2"), "AVIF clap box crops to more than the image", "300x200"},
        {"ClapTallerThanTheImage", "AVIF", props(ispe(300, 200) + clap(300, 1, 201, 1), "\1\2"), "AVIF clap box crops to more than the image", "300x200"},
        {"ClapTooShort", "AVIF", props(ispe(300, 200) + box("clap", zeros(12)), "\1\2"), "AVIF clap box is too short for the width and height", "300x200"},
        // a turn listed before the size; one past the page, whose read may fail
        {"IrotBeforeIspe", "AVIF", props(ispe(300, 200) + irot(1), "\2\1"), "200x300 (stored 300x200)", "300x200"},
        {"IrotPastThePage", "AVIF", avif + meta(pitm(1) + box("iprp", ipma(1, be16(1) + "\2\1\3"s) +
                                                                   box("ipco", ispe(300, 200) + box("colr", zeros(5000)) + irot(1)))),
            "200x300 (stored 300x200)", "300x200", 1},
        {"IrotHalfTurn", "AVIF", props(ispe(300, 200) + irot(2), "\1\2"), "300x200", "300x200"},
        {"IrotThreeQuarters", "AVIF", props(ispe(300, 200) + irot(3), "\1\x82"), "200x300 (stored 300x200)", "300x200"},
        // a turn of another item's; a property past ipco's end, or empty, changes nothing
        {"IrotOfAnotherItem", "AVIF", avif + meta(pitm(1) + iprp(ispe(300, 200) + irot(1), ipma(2, be16(1) + "\1\1"s + be16(2) + "\1\2"s))),
            "300x200", "300x200"},
        {"PropertyPastIpco", "AVIF", props(ispe(300, 200) + irot(1), "\1\x09\2"), "200x300 (stored 300x200)", "300x200"},
        // an empty irot, before the header of image data of 16 MiB, whose first byte is odd
        {"IrotEmpty", "HEIF", ftyp("heic", "mif1heic") + meta(pitm(1) + box("iprp", ipma(1, be16(1) + "\2\1\2"s) +
                                                                            box("ipco", ispe(300, 200) + box("irot", "")))) +
                                  be32(0x01000008) + "mdat",
            "300x200", "300x200"},
        {"MiniTurned", "HEIF", box("ftyp", "mif3heic") + mini(true, 100, 128, 5), "128x100 (stored 100x128)", "100x128"},
        {"MiniMirrored", "HEIF", box("ftyp", "mif3heic") + mini(false, 1000, 128, 4), "1000x128", "1000x128"},
    };
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

class FormatsTurned : public testing::TestWithParam<Turned> {};
TEST_P(FormatsTurned, ShownAndStored) { check_turned(GetParam()); }
INSTANTIATE_TEST_SUITE_P(, FormatsTurned, testing::ValuesIn(turned_rows()), [](const auto &row) { return str(row.param.name); });
