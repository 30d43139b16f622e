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

#include "dimgate.h"

// File contents.
static std::string be(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
static const std::string sig("\x89PNG\r\n\x1a\n", 8);
static std::string head(uint32_t length, const std::string &type, const std::string &data)
{
    return sig + be(length) + type + data;
}
static std::string png(uint32_t w, uint32_t h)
{
    return head(13, "IHDR", be(w) + be(h) + std::string("\x08\x02\0\0\0", 5)) + be(0);
}
static std::string bytes(size_t n) { return std::string(n, '\x7f'); }
static std::string le16(uint32_t v) { return {char(v), char(v >> 8)}; }
static std::string le32(uint32_t v) { return le16(v) + le16(v >> 16); }

// A baseline JPEG of w by h whose frame header follows an APP1 segment of
// pad bytes.
static std::string jpeg(uint32_t w, uint32_t h, size_t pad)
{
    std::string app1 = "\xff\xe1" + be(uint32_t(pad + 2)).substr(2) + std::string(pad, '\0');
    return "\xff\xd8" + app1 + "\xff\xc0" + be(17).substr(2) + "\x08" + be(h).substr(2) +
           be(w).substr(2) + std::string(10, '\1');
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

static std::string slurp(std::FILE *f)
{
    std::string s;
    std::rewind(f);
    for (int c; (c = std::getc(f)) != EOF;)
        s += char(c);
    std::fclose(f);
    return s;
}

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

// Command-line cases run the built tool in a folder that holds the files
// the arguments name: "WxH.png" is an image of that size, "*.txt" is text.
// A row of another kind makes its last argument, or the tool's standard
// output, hostile.
enum class Made { files, fifo, sparse, unreadable, closed_stdout, full_stdout };
static const std::string help =
    "dimgate, version 0.8 (16 June 2011) by Quorvane\n"
    "Checks if a PNG file is less than x1024 pixels square.\n"
    "Usage: dimgate [-123456] file.png\n\nOptions:\n"
    "   -1  1024 pixels limit\n   -2  2048 pixels limit\n   -3  3072 pixels limit\n"
    "   -4  4096 pixels limit\n   -5  5120 pixels limit\n   -6  6144 pixels limit\n";

static std::string unknown(const std::string &shown)
{
    return "error: unknown option " + shown + "\n\n" + help;
}

struct CliCase {
    const char *name;
    std::vector<std::string> args;
    std::string out, err;
    int status;
    Made made = Made::files;
    int errnum = 0;  // when set, stderr ends with the C library's text for it
};

// The text for an error, with its newline, in the words of the C library
// that the tool was linked with, which differ between libraries.
static std::string library_text(int errnum)
{
    std::string text;
    std::FILE *p = popen(("'" DIMGATE_STRERROR "' " + std::to_string(errnum)).c_str(), "r");
    for (int c; p != nullptr && (c = std::getc(p)) != EOF;)
        text += char(c);
    if (p == nullptr || pclose(p) != 0 || text.empty())
        return "(no text for error " + std::to_string(errnum) + ")";
    return text;
}

#ifndef PATH_MAX
#define PATH_MAX 1024
#endif
static const std::string long_name(4000, 'n');
// Nearly as long as a path may be here, less room for the test's folder,
// in components of 200 characters, none of them too long.
static const std::string long_path = [] {
    const size_t size = PATH_MAX - 96;
    std::string p;
    while (size - p.size() > 250)
        p += std::string(200, 'd') + "/";
    return p + std::string(size - p.size() - 4, 'f') + ".txt";
}();
static const std::vector<std::string> two_hundred_args = [] {
    std::vector<std::string> v(198, "-1");
    v.push_back("-2");
    v.push_back("3x683.png");
    return v;
}();

static const CliCase cli_cases[] = {
    // name                 arguments                        stdout     stderr         status  kind  errno
    // the option walk
    {"NoArguments",         {},                              help,      "",            0},
    {"Help",                {"-h"},                          help,      "",            0},
    {"HelpEndsTheWalk",     {"-3h", "65x64.png"},            help,      "",            0},
    {"HelpBeforeUnknown",   {"-hx", "65x64.png"},            help,      "",            0},
    {"UnknownOption",       {"-\a", "65x64.png"},            "",        unknown("\\x07"), 2},
    {"UnknownAfterLimit",   {"-1x", "65x64.png"},            "",        unknown("x"),  2},
    {"DoubleDash",          {"--", "64x64.png"},             "",        unknown("-"),  2},
    {"LoneDashSkipped",     {"-", "65x64.png"},              "",        "",            1},
    {"LoneDashAlone",       {"-"},                           help,      "",            0},
    {"OnlyClusters",        {"-1", "-2"},                    help,      "",            0},
    {"LastClusterWins",     {"-1", "-6", "78x78.png"},       "",        "",            0},
    {"OptionAfterFile",     {"65x64.png", "-1"},             help,      "",            0},
    {"TwoFiles",            {"64x64.png", "65x64.png"},      help,      "",            0},
    // files that cannot be judged exit 0 after saying why
    {"Missing",             {"x\ny"},                        "",        "x\\x0ay: ", 0, Made::files, ENOENT},
    {"EmptyName",           {""},                            "",        "",            0, Made::files, ENOENT},
    {"NameIsNotAFormat",    {"%s%n.txt"},                    "%s%n.txt is not a PNG file\n", "", 0},
    {"NameEscapeBounds",    {"\x1f ~\x7f\xc3\xa9\\.txt"},     "\\x1f ~\\x7f\xc3\xa9\\.txt is not a PNG file\n", "", 0},
    {"NameAfterOptions",    {"-1", "x.txt"},                 "x.txt is not a PNG file\n", "", 0},
    {"MissingAfterOptions", {"-1", "missing.png"},           "",        "missing.png: ", 0, Made::files, ENOENT},
    // each limit: a measure equal to it passes, one more fails
    {"DefaultEqual",        {"128x32.png"},                  "",        "",            0},
    {"DefaultOver",         {"17x241.png"},                  "",        "",            1},
    {"Limit1Equal",         {"-1", "64x16.png"},             "",        "",            0},
    {"Limit1Over",          {"-1", "25x41.png"},             "",        "",            1},
    {"Limit2Equal",         {"-2", "64x32.png"},             "",        "",            0},
    {"Limit2Over",          {"-2", "3x683.png"},             "",        "",            1},
    {"Limit3Equal",         {"-3", "64x48.png"},             "",        "",            0},
    {"Limit3Over",          {"-3", "7x439.png"},             "",        "",            1},
    {"Limit4Equal",         {"-54", "128x32.png"},           "",        "",            0},
    {"Limit4Over",          {"-64", "17x241.png"},           "",        "",            1},
    {"Limit5Equal",         {"-5", "80x64.png"},             "",        "",            0},
    {"Limit5Over",          {"-5", "3x1707.png"},            "",        "",            1},
    {"Limit6Equal",         {"-6", "96x64.png"},             "",        "",            0},
    {"Limit6Over",          {"-6", "5x1229.png"},            "",        "",            1},
    {"CappedIsOver",        {"-6", "4294967295x4294967295.png"}, "",    "",            1},
    // the shipped samples
    {"SampleWithin",        {DIMGATE_DATA "/within.png"},    "",        "",            0},
    {"SampleOver",          {DIMGATE_DATA "/over.png"},      "",        "",            1},
    // hostile inputs                                                                  kind
    {"Directory",           {"."},                           ". is not a PNG file\n", "", 0},
    {"DevNull",             {"/dev/null"},                   "/dev/null is not a PNG file\n", "", 0},
    {"DevZero",             {"/dev/zero"},                   "/dev/zero is not a PNG file\n", "", 0},
    {"DevUrandom",          {"/dev/urandom"},                "/dev/urandom is not a PNG file\n", "", 0},
    {"FifoOfThreeBytes",    {"fifo"},                        "fifo is not a PNG file\n", "", 0, Made::fifo},
    {"Sparse1GiB",          {"sparse.png"},                  "",        "",            1, Made::sparse},
    {"Unreadable",          {"locked.png"},                  "",        "locked.png: ", 0, Made::unreadable, EACCES},
    {"NameTooLong",         {long_name},                     "",        long_name + ": ", 0, Made::files, ENAMETOOLONG},
    {"LongPath",            {long_path},                     long_path + " is not a PNG file\n", "", 0},
    {"HugeCluster",         {"-" + std::string(99998, '1') + "6", "65x64.png"}, "", "", 0},
    {"TwoHundredArgs",      two_hundred_args,                "",        "",            1},
    // output faults: nothing crashes, and the status stands
    {"StdoutClosed",        {"x.txt"},                       "",        "",            0, Made::closed_stdout},
    {"StdoutFullHelp",      {"-h"},                          "",        "",            0, Made::full_stdout},
    {"StdoutFullMessage",   {"x.txt"},                       "",        "",            0, Made::full_stdout},
};

static void PrintTo(const CliCase &row, std::ostream *os) { *os << row.name; }

// The suite's folder, which another user may pass through, so that only a
// file's own mode keeps it out.
static std::string dir;
class Folder : public testing::Environment {
    void SetUp() override
    {
        char tmpl[] = "/tmp/dimgate-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        chmod(tmpl, 0711);
        dir = tmpl;
    }
    // rm must remove a tree of any depth, and the tree rows make one.
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }
};
static testing::Environment *const folder = testing::AddGlobalTestEnvironment(new Folder);

static void write(const std::string &name, const std::string &content)
{
    std::filesystem::create_directories(std::filesystem::path(dir + "/" + name).parent_path());
    std::FILE *f = std::fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

// Root reads every file, so as root a locked file is tried as nobody,
// with a copy of the tool that nobody can reach wherever the build folder
// is. Returns nullptr when there is no nobody; *tool becomes the copy.
static const passwd *as_nobody(std::string *tool)
{
    const passwd *nobody = getpwnam("nobody");
    if (nobody != nullptr) {
        std::string copy = dir + "/" + std::filesystem::path(*tool).filename().string();
        std::filesystem::copy_file(*tool, copy, std::filesystem::copy_options::overwrite_existing);
        chmod(copy.c_str(), 0755);
        *tool = copy;
    }
    return nobody;
}

// Runs tool with args in the folder cwd, as the user as when set, and
// returns its exit status, or -1 when it did not exit (a hang ends at an
// alarm), or 126 when as may not run it. Standard output goes to out, or
// to /dev/full, or is closed, as made says.
static int run(const std::string &tool, const std::vector<std::string> &args, const std::string &cwd,
               Made made, const passwd *as, std::string *out, std::string *err)
{
    std::vector<char *> argv{const_cast<char *>(tool.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    std::FILE *o = std::tmpfile(), *e = std::tmpfile();
    pid_t pid = fork();
    if (pid == 0) {
        int to = made == Made::full_stdout ? open("/dev/full", O_WRONLY) : fileno(o);
        if (chdir(cwd.c_str()) != 0 || dup2(to, 1) != 1 || dup2(fileno(e), 2) != 2)
            _exit(127);
        if (made == Made::closed_stdout)
            close(1);
        if (as != nullptr &&
            (setgroups(0, nullptr) != 0 || setgid(as->pw_gid) != 0 || setuid(as->pw_uid) != 0))
            _exit(127);
        // A leak of a file per check shows within a few thousand files.
        const rlimit files{64, 64};
        alarm(30);
        if (setrlimit(RLIMIT_NOFILE, &files) != 0)
            _exit(127);
        execv(tool.c_str(), argv.data());
        _exit(errno == EACCES ? 126 : 127);
    }
    int status;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    *out = slurp(o);
    *err = slurp(e);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A FIFO at path whose writer, once the reader opens it, writes content
// in two parts a moment apart. Returns the writer, or -1 when there is no
// content to write.
static pid_t fifo(const std::string &path, const std::string &content)
{
    unlink(path.c_str());
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    if (content.empty())
        return -1;
    pid_t writer = fork();
    if (writer == 0) {
        int fd = open(path.c_str(), O_WRONLY);
        size_t half = content.size() / 2;
        bool ok = fd >= 0 && ::write(fd, content.data(), half) == ssize_t(half);
        usleep(100000);
        _exit(ok && ::write(fd, content.data() + half, content.size() - half) >= 0 ? 0 : 1);
    }
    return writer;
}

static void reap(pid_t writer)
{
    if (writer > 0) {
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
    }
}

class Cli : public testing::TestWithParam<CliCase> {};

TEST_P(Cli, OutputAndStatus)
{
    const CliCase &row = GetParam();
    for (const std::string &a : row.args) {
        unsigned long w, h;
        if (std::sscanf(a.c_str(), "%lux%lu", &w, &h) == 2)
            write(a, png(uint32_t(w), uint32_t(h)));
        else if (a.size() > 4 && a.compare(a.size() - 4, 4, ".txt") == 0)
            write(a, "not a picture\n");
    }

    std::string made = row.args.empty() ? dir : dir + "/" + row.args.back();
    std::string tool = DIMGATE_BIN;
    const passwd *nobody = nullptr;
    pid_t writer = -1;
    switch (row.made) {
    case Made::fifo:
        writer = fifo(made, "abc");
        break;
    case Made::sparse:
        write(row.args.back(), png(65, 64));
        ASSERT_EQ(truncate(made.c_str(), off_t(1) << 30), 0);
        break;
    case Made::unreadable:
        write(row.args.back(), png(65, 64));
        chmod(made.c_str(), 0);
        if (geteuid() == 0 && (nobody = as_nobody(&tool)) == nullptr)
            GTEST_SKIP() << "there is no user nobody to try the file as";
        break;
    case Made::full_stdout:
        if (access("/dev/full", W_OK) != 0)
            GTEST_SKIP() << "this system has no /dev/full";
        break;
    default:
        break;
    }

    std::string out, err;
    int status = run(tool, row.args, dir, row.made, nobody, &out, &err);
    reap(writer);
    if (nobody != nullptr && status == 126)
        GTEST_SKIP() << "the user nobody may not run " << tool << " (is " << dir << " mounted noexec?)";
    EXPECT_EQ(out, row.out);
    EXPECT_EQ(err, row.errnum ? row.err + library_text(row.errnum) : row.err);
    EXPECT_EQ(status, row.status);
}

INSTANTIATE_TEST_SUITE_P(, Cli, testing::ValuesIn(cli_cases),
                         [](const auto &row) { return std::string(row.param.name); });

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
static const std::string no_format = "not a PNG, JPEG, GIF, WebP, AVIF, HEIF, BMP, ICO or TIFF file\n";

static const std::string over = ": 65 x 64 = 4160 pixels, over the limit of 4096\n";

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
                        {"t/q.tif", "65x64"}, {"t/r.TIFF", "65x64"}, {"t/s.svg", "65x64"}, {"t/jpg", "65x64"}},
                       {"t"},  "t/a.png" + over + "t/b.APNG" + over + "t/c.jpg" + over + "t/d.jpeg" + over +
                               "t/e.jpe" + over + "t/f.jfif" + over + "t/g.gif" + over + "t/h.webp" + over +
                               "t/i.avif" + over + "t/j.heic" + over + "t/k.heif" + over + "t/l.hif" + over +
                               "t/m.bmp" + over + "t/n.dib" + over + "t/o.ico" + over + "t/p.cur" + over +
                               "t/q.tif" + over + "t/r.TIFF" + over, 1},
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
    if (size_t at = want.find("%m"); at != std::string::npos) {
        std::string text = library_text(row.errnum);
        want.replace(at, 2, text.substr(0, text.size() - 1));
    }
    EXPECT_EQ(sorted(out), sorted(want));
    std::string help, none;
    if (!row.err.empty())
        run(tool, {"-h"}, root, Made::files, nullptr, &help, &none);
    EXPECT_EQ(err, row.err + help);
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
