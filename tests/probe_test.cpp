#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common.h"
#include "dimgate.h"

// Probe cases run dimgate() on an in-memory file named "f".
struct ProbeCase {
    const char *name;
    std::string in;
    int32_t result;
    const char *out;
};

static const char *const not_png = "f is not a PNG file\n";
static const char *const cut_length = "EOF while reading chunk length\nEOF while reading chunk type\n";

static const ProbeCase probe_cases[] = {
    // name                  file                                          result  stdout
    // signature
    {"Empty",                "",                                           5,      not_png},
    {"SevenBytes",           sig.substr(0, 7),                             5,      not_png},
    {"LastByteDiffers",      sig.substr(0, 7) + "\x0b" + png(1, 1).substr(8), 5,   not_png},
    // length
    {"SignatureOnly",        sig,                                          5,      cut_length},
    {"TwoLengthBytes",       sig + be(13).substr(0, 2),                    5,      cut_length},
    // type
    {"TypeCut",              sig + be(13) + "IHD",                         5,      "EOF while reading chunk type\n"},
    // data, read up to 128 bytes whatever the type
    {"IhdrDataCut",          head(13, "IHDR", bytes(10)),                  5,      "EOF while reading IHDR data\n"},
    {"OtherDataCut",         head(20, "tEXt", "abc"),                      5,      "EOF while reading tEXt data\n"},
    {"Length128OneShort",    head(128, "IHDR", bytes(127)),                5,      "EOF while reading IHDR data\n"},
    {"Length1000Reads128",   head(1000, "IHDR", be(2) + be(3) + bytes(120)), 6,    ""},
    {"LengthTopBitReads128", head(0x80000000, "IHDR", be(2) + be(3) + bytes(120)), 6, ""},
    // first chunk of another type
    {"OtherType",            head(5, "tEXt", "hello"),                     0,      ""},
    {"TypeIsCaseSensitive",  head(13, "IHDr", be(99) + be(99) + bytes(5)), 0,      ""},
    {"TypeWithZeroCut",      head(13, std::string("IH\0R", 4), ""),        5,      "EOF while reading IH data\n"},
    // unprintable type bytes never reach the terminal raw
    {"TypeEscapesControl",   head(13, "\x1b[2J", ""),                      5,      "EOF while reading \\x1b[2J data\n"},
    {"TypeEscapesHighByte",  head(13, std::string("A\xff\0B", 4), ""),     5,      "EOF while reading A\\xff data\n"},
    {"TypeEscapeBounds",     head(13, " ~\x7f\x1f", ""),                  5,      "EOF while reading  ~\\x7f\\x1f data\n"},
    // measure
    {"Length0",              head(0, "IHDR", be(7) + be(7)),               0,      ""},
    {"Length6",              head(6, "IHDR", be(1) + std::string(2, '\0')) + "\0\5", 0, ""},
    {"W65H64",               png(65, 64),                                  4160,   ""},
    {"W256H16",              png(256, 16),                                 4096,   ""},
    {"W65536H16Capped",      png(65536, 16),                               32768,  ""},
    {"W16777216H1Capped",    png(16777216, 1),                             32768,  ""},
    {"W181H181",             png(181, 181),                                32761,  ""},
    {"W1H32769Capped",       png(1, 32769),                                32768,  ""},
    {"MaxByMaxCapped",       png(0xffffffff, 0xffffffff),                  32768,  ""},
};

// Returns what the probe printed; *result gets what it returned.
static std::string probe(const std::string &in, int32_t *result)
{
    // A real file, since not every C library opens a stream on 0 bytes of
    // memory.
    std::FILE *stream = std::tmpfile();
    std::FILE *out = std::tmpfile();
    EXPECT_TRUE(stream && out);
    std::fwrite(in.data(), 1, in.size(), stream);
    std::rewind(stream);
    std::fflush(stdout);
    int saved = dup(1);
    dup2(fileno(out), 1);
    *result = dimgate(stream, "f");
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    EXPECT_LE(std::ftell(stream), 144) << "read beyond the first chunk's head";
    std::fclose(stream);
    return slurp(out);
}

// Rows show as their names in test listings, not as dumps of their bytes.
static void PrintTo(const ProbeCase &row, std::ostream *os) { *os << row.name; }

class Probe : public testing::TestWithParam<ProbeCase> {};

TEST_P(Probe, ResultAndMessage)
{
    int32_t result;
    EXPECT_EQ(probe(GetParam().in, &result), GetParam().out);
    EXPECT_EQ(result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(, Probe, testing::ValuesIn(probe_cases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(ProbeTwice, UnreadDataIsZeroEachTime)
{
    int32_t result;
    probe(png(200, 200), &result);
    probe(head(4, "IHDR", be(7)), &result);
    EXPECT_EQ(result, 0);
}
