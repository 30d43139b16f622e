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

// Command-line cases run the built tool in a folder that holds the files
// the arguments name: "WxH.png" is an image of that size, "*.txt" is text.
// A row of another kind makes its last argument, or the tool's standard
// output, hostile.
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
