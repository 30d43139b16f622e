#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
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

class Cli : public testing::TestWithParam<CliCase> {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/dimgate-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        // Another user may pass through, so that only a file's own mode
        // keeps it out.
        chmod(tmpl, 0711);
        dir = tmpl;
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir); }

    static void write(const std::string &name, const std::string &content)
    {
        std::filesystem::create_directories(std::filesystem::path(dir + "/" + name).parent_path());
        std::FILE *f = std::fopen((dir + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }

    static std::string dir;
};
std::string Cli::dir;

TEST_P(Cli, OutputAndStatus)
{
    const CliCase &row = GetParam();
    std::vector<char *> argv{const_cast<char *>(DIMGATE_BIN)};
    for (const std::string &a : row.args) {
        unsigned long w, h;
        if (std::sscanf(a.c_str(), "%lux%lu", &w, &h) == 2)
            write(a, png(uint32_t(w), uint32_t(h)));
        else if (a.size() > 4 && a.compare(a.size() - 4, 4, ".txt") == 0)
            write(a, "not a picture\n");
        argv.push_back(const_cast<char *>(a.c_str()));
    }
    argv.push_back(nullptr);

    std::string made = row.args.empty() ? dir : dir + "/" + row.args.back();
    std::string tool = DIMGATE_BIN;
    const passwd *nobody = nullptr;
    pid_t writer = -1;
    switch (row.made) {
    case Made::fifo:
        unlink(made.c_str());
        ASSERT_EQ(mkfifo(made.c_str(), 0600), 0);
        // Blocks until the tool opens the other end.
        if ((writer = fork()) == 0) {
            int fd = open(made.c_str(), O_WRONLY);
            _exit(fd >= 0 && ::write(fd, "abc", 3) == 3 ? 0 : 1);
        }
        break;
    case Made::sparse:
        write(row.args.back(), png(65, 64));
        ASSERT_EQ(truncate(made.c_str(), off_t(1) << 30), 0);
        break;
    case Made::unreadable:
        write(row.args.back(), png(65, 64));
        chmod(made.c_str(), 0);
        // Root reads every file, so the locked file is tried as nobody,
        // with a copy of the tool that nobody can reach wherever the build
        // folder is.
        if (geteuid() == 0) {
            if ((nobody = getpwnam("nobody")) == nullptr)
                GTEST_SKIP() << "there is no user nobody to try the file as";
            tool = dir + "/dimgate";
            std::filesystem::copy_file(DIMGATE_BIN, tool,
                                       std::filesystem::copy_options::overwrite_existing);
            chmod(tool.c_str(), 0755);
        }
        break;
    case Made::full_stdout:
        if (access("/dev/full", W_OK) != 0)
            GTEST_SKIP() << "this system has no /dev/full";
        break;
    default:
        break;
    }
    argv[0] = const_cast<char *>(tool.c_str());

    std::FILE *out = std::tmpfile(), *err = std::tmpfile();
    pid_t pid = fork();
    if (pid == 0) {
        int to = row.made == Made::full_stdout ? open("/dev/full", O_WRONLY) : fileno(out);
        if (chdir(dir.c_str()) != 0 || dup2(to, 1) != 1 || dup2(fileno(err), 2) != 2)
            _exit(127);
        if (row.made == Made::closed_stdout)
            close(1);
        if (nobody != nullptr &&
            (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0))
            _exit(127);
        execv(tool.c_str(), argv.data());
        _exit(errno == EACCES ? 126 : 127);
    }
    int status;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (writer > 0) {
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
    }
    ASSERT_TRUE(WIFEXITED(status));
    if (nobody != nullptr && WEXITSTATUS(status) == 126)
        GTEST_SKIP() << "the user nobody may not run " << tool << " (is " << dir << " mounted noexec?)";
    EXPECT_EQ(slurp(out), row.out);
    EXPECT_EQ(slurp(err), row.errnum ? row.err + library_text(row.errnum) : row.err);
    EXPECT_EQ(WEXITSTATUS(status), row.status);
}

INSTANTIATE_TEST_SUITE_P(, Cli, testing::ValuesIn(cli_cases),
                         [](const auto &row) { return std::string(row.param.name); });
