#include "formats.h"

// Netpbm and HDR: a header of text, then the pixels.
static const str pixels(100, '\x80');
static str hdr(const str &resolution) { return "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n" + resolution + pixels; }
static const char netpbm_bound[] = "Netpbm has no width and height within its first 4096 bytes";
static const char hdr_form[] = "HDR resolution line is not of the form -Y H +X W";

// OpenEXR: the magic and version, then attributes, then the header's end.
static str attr(const str &name, const str &type, const str &value)
{
    return name + '\0' + type + '\0' + le32(uint32_t(value.size())) + value;
}
static str box2i(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    return le32(uint32_t(x0)) + le32(uint32_t(y0)) + le32(uint32_t(x1)) + le32(uint32_t(y1));
}
static str window(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { return attr("dataWindow", "box2i", box2i(x0, y0, x1, y1)); }
static str exr(const str &attributes, uint32_t version = 2) { return "v/1\x01"s + le32(version) + attributes + '\0'; }
static const str channels = attr("channels", "chlist", "R\0"s + le32(1) + zeros(8) + le32(1) + le32(1) + '\0');
static const str window123 = window(0, 0, 122, 44);

static const Row rows[] = {
    // name, format, bytes, then the size found or the reason, and the bounds if not the usual
    // Netpbm: the magic, a blank or a comment, then the width and height
    {"Ppm", "Netpbm", "P6\n123 45\n255\n" + pixels, "123x45"},
    // every blank; a comment after the magic, and one right after the width that a CR ends
    {"PbmCommentsAndBlanks", "Netpbm", "P1#c\n\t\v\f123# w\r 45\r\n1 0", "123x45"},
    {"PfmColour", "Netpbm", "PF\n123 45\n-1.0\n" + pixels, "123x45"},
    {"PfmGrey", "Netpbm", "Pf 123 45 -1.0\n" + pixels, "123x45"},
    {"P0IsNoNetpbm", nullptr, "P0\n1 1\n", ""},
    {"P8IsNoNetpbm", nullptr, "P8\n1 1\n", ""},
    {"NoBlankAfterMagic", nullptr, "P6x 1 1\n", ""},
    {"NetpbmMostDigits", "Netpbm", "P5 0004294967295 1\n", "4294967295x1"},
    {"NetpbmHeightPast32Bits", "Netpbm", "P5 1 4294967296\n", "Netpbm height is larger than 4294967295"},
    {"NetpbmWidthOf30Digits", "Netpbm", "P5 " + str(30, '9') + " 1\n", "Netpbm width is larger than 4294967295"},
    {"NetpbmSignedWidth", "Netpbm", "P5 +1 1\n", "Netpbm width is not a decimal number"},
    {"NetpbmLetterAfterHeight", "Netpbm", "P5 1 1x\n", "Netpbm height is not a decimal number"},
    {"NetpbmCutInHeight", "Netpbm", "P5 123 4", "Netpbm ends within its header", 9},
    {"NetpbmCommentPastThePage", "Netpbm", "P5 #" + str(5000, 'c'), netpbm_bound},
    {"NetpbmHeightAtThePageEnd", "Netpbm", "P5 123" + str(4088, ' ') + "456\n", netpbm_bound},
    // PAM: the first WIDTH and HEIGHT that begin a line, before ENDHDR
    {"Pam", "Netpbm", "P7\nWIDTH 123\nHEIGHT 45\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n" + pixels, "123x45"},
    {"PamTraps", "Netpbm",
        "P7 332\n# WIDTH 1\nTUPLTYPE WIDTH 2\n\n  HEIGHT\t45\nHEIGHT 5\nWIDTHS 3\nwidth 4\nWIDTH 123\r\nENDHDR\n", "123x45"},
    {"PamEndsWithoutHeight", "Netpbm", "P7\nWIDTH 123\nENDHDR\nHEIGHT 45\n" + pixels,
        "Netpbm PAM header ends without a WIDTH and a HEIGHT"},
    {"PamWidthOnTheNextLine", "Netpbm", "P7\nWIDTH\n123\nHEIGHT 45\nENDHDR\n", "Netpbm width is not a decimal number"},
    {"PamCut", "Netpbm", "P7\nWIDTH 123\nHEI", "Netpbm ends within its header", 24},
    {"PamCutAfterWidth", "Netpbm", "P7\nWIDTH ", "Netpbm ends within its header", 10},
    // a CR ends neither a PAM line nor a comment in it
    {"PamCrWithinALine", "Netpbm", "P7\n#\rWIDTH 1\nWIDTH 123\nHEIGHT 45\nENDHDR\n", "123x45"},
    // ENDHDR's line ends on the page's last byte
    {"PamEndhdrAtThePageEnd", "Netpbm", "P7 " + str(4085, ' ') + "\nENDHDR\n" + pixels,
        "Netpbm PAM header ends without a WIDTH and a HEIGHT"},
    // HDR: header lines to an empty one, then the resolution line, X's number the width
    {"Hdr", "HDR", hdr("-Y 45 +X 123\n"), "123x45"},
    {"HdrRgbeWidthFirst", "HDR", "#?RGBE\n-Y 9 +X 9\n\n+X  123\t-Y 45 \n" + pixels, "123x45"},
    {"HdrOtherProgram", nullptr, "#?RGB\n\n-Y 45 +X 123\n", ""},
    {"HdrRadiancIsNoHdr", nullptr, "#?RADIANC\n\n-Y 45 +X 123\n", ""},
    // only LF ends a header line
    {"HdrCrBeforeLineEnds", "HDR", "#?RADIANCE\r\nFORMAT=32-bit_rle_rgbe\r\n\n-Y 45 +X 123\n" + pixels, "123x45"},
    {"HdrLeadingZeroAndNine", "HDR", hdr("-Y 045 +X 9123\n"), "9123x45"},
    {"HdrSameAxisTwice", "HDR", hdr("-Y 45 +Y 123\n"), hdr_form},
    {"HdrLowerCaseAxis", "HDR", hdr("-y 45 +x 123\n"), hdr_form},
    {"HdrNoSign", "HDR", hdr("*Y 45 +X 123\n"), hdr_form},
    {"HdrNoBlankBeforeSize", "HDR", hdr("-Y45 +X 123\n"), hdr_form},
    {"HdrNoBlankBetweenPairs", "HDR", hdr("-Y 45+X 123\n"), hdr_form},
    {"HdrNoDigits", "HDR", hdr("-Y +X 123\n"), hdr_form},
    {"HdrMoreAfter", "HDR", hdr("-Y 45 +X 123 7\n"), hdr_form},
    {"HdrMostDigits", "HDR", hdr("-Y 4294967295 +X 1\n"), "1x4294967295"},
    {"HdrWidthPast32Bits", "HDR", hdr("-Y 1 +X 4294967296\n"), "HDR width is larger than 4294967295"},
    {"HdrHeightPast32Bits", "HDR", hdr("+X 1 -Y 4294967296\n"), "HDR height is larger than 4294967295"},
    {"HdrCut", "HDR", "#?RADIANCE\n\n-Y 45 +X 12", "HDR ends within its header", 26},
    {"HdrNoEmptyLine", "HDR", "#?RADIANCE\n" + times(500, "EXPOSURE=1\n") + "\n-Y 1 +X 1\n",
        "HDR has no resolution line within its first 4096 bytes"},
    // OpenEXR: attributes from 8 to dataWindow, whose box counts both ends
    {"Exr", "OpenEXR",
        exr(channels + attr("displayWindow", "box2i", box2i(0, 0, 1919, 1079)) + attr("dataWindo", "box2i", zeros(16)) +
            window(-10, -5, 112, 39) + window(0, 0, 9, 9)),
        "123x45"},
    {"ExrPreviewPastThePage", "OpenEXR", exr(attr("preview", "preview", le32(100) + le32(50) + str(20000, 'p')) + window123),
        "123x45", 0, 1},
    {"ExrMultipartFirstPart", "OpenEXR", exr(window123 + '\0' + window(0, 0, 9, 9), 0x1002), "123x45"},
    {"ExrName31Bytes", "OpenEXR", exr(attr(str(31, 'n'), str(31, 't'), "") + window123), "123x45"},
    {"ExrName32Bytes", "OpenEXR", exr(attr(str(32, 'n'), "int", le32(0)) + window123),
        "OpenEXR attribute name or type is longer than 31 bytes"},
    {"ExrLongNames255Bytes", "OpenEXR", exr(attr(str(255, 'n'), str(255, 't'), "") + window123, 0x402), "123x45"},
    {"ExrLongNames256Bytes", "OpenEXR", exr(attr("n", str(256, 't'), "") + window123, 0x402),
        "OpenEXR attribute name or type is longer than 255 bytes"},
    {"ExrNoDataWindow", "OpenEXR", exr(channels), "OpenEXR header has no dataWindow"},
    {"ExrWindowOfBox2f", "OpenEXR", exr(attr("dataWindow", "box2", box2i(0, 0, 122, 44))),
        "OpenEXR dataWindow is not a box2i of 16 bytes"},
    {"ExrWindowOf20Bytes", "OpenEXR", exr(attr("dataWindow", "box2i", box2i(0, 0, 122, 44) + le32(0))),
        "OpenEXR dataWindow is not a box2i of 16 bytes"},
    {"ExrMaxBelowMin", "OpenEXR", exr(window(5, 5, 4, 5)), "OpenEXR dataWindow has a maximum below its minimum"},
    {"ExrYMaxBelowYMin", "OpenEXR", exr(window(5, 5, 5, 4)), "OpenEXR dataWindow has a maximum below its minimum"},
    {"ExrWidestWindow", "OpenEXR", exr(window(INT32_MIN + 1, -1, INT32_MAX, -1)), "4294967295x1"},
    {"ExrTallestWindow", "OpenEXR", exr(window(-1, INT32_MIN + 1, -1, INT32_MAX)), "1x4294967295"},
    {"ExrWidthPast32Bits", "OpenEXR", exr(window(INT32_MIN, 0, INT32_MAX, 0)),
        "OpenEXR dataWindow is larger than 4294967295 on a side"},
    {"ExrWidthOf2To32", "OpenEXR", exr(window(0, INT32_MIN, 0, INT32_MAX)),
        "OpenEXR dataWindow is larger than 4294967295 on a side"},
    {"ExrVersion1", "OpenEXR", exr(window123, 1), "OpenEXR version is not 2"},
    {"ExrVersion130", "OpenEXR", exr(window123, 0x82), "OpenEXR version is not 2"},
    {"ExrCutInVersion", "OpenEXR", "v/1\x01\x02\0\0"s, "OpenEXR ends within its version", 8},
    {"ExrSizePastTheEnd", "OpenEXR", exr(patch(attr("comments", "string", ""), 16, le32(~0u)) + window123),
        "OpenEXR ends within its header", 1ull << 33},
    {"ExrCutInAName", "OpenEXR", exr(window123).substr(0, 14), "OpenEXR ends within its header", 15},
    {"ExrCutInSize", "OpenEXR", exr(window123).substr(0, 28), "OpenEXR ends within its header", 29},
    {"ExrCutInDataWindow", "OpenEXR", exr(window123).substr(0, 44), "OpenEXR ends within its header", 45},
    // the first read past the page for the size, then for the box: when it fails, it says so
    {"ExrSizeAcrossThePage", "OpenEXR", exr(attr("comments", "string", str(4049, 'c')) + window123), "123x45", 0, 1},
    {"ExrWindowAcrossThePage", "OpenEXR", exr(attr("comments", "string", str(4041, 'c')) + window123), "123x45", 0, 1},
    {"Exr1024thAttribute", "OpenEXR", exr(times(1023, attr("a", "int", le32(0))) + window123), "123x45", 0, 64},
    {"Exr1025Attributes", "OpenEXR", exr(times(1024, attr("a", "int", le32(0))) + window123),
        "OpenEXR has no dataWindow within its first 1024 attributes", 0, 64},
};

class FormatsText : public testing::TestWithParam<Row> {};

TEST_P(FormatsText, SizeOrReason) { check_row(GetParam()); }

INSTANTIATE_TEST_SUITE_P(, FormatsText, testing::ValuesIn(rows), [](const auto &row) { return str(row.param.name); });
