#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tree/match.h"

// Whether pattern matches the file at path: itself, or a directory above it.
static bool matches(const std::string &text, const std::string &path)
{
    pattern p;
    EXPECT_EQ(pattern_read(&p, text.data(), text.size()), nullptr) << text;
    size_t slash = path.rfind('/');
    return pattern_matches_file(p, path.data(), path.size(), slash + 1) ||
           (slash != std::string::npos && pattern_matches_dirs(p, path.data(), slash));
}

TEST(Patterns, MatchOrNot)
{
    static const struct {
        const char *pattern, *path;
        bool match;
    } rows[] = {
        // pattern        path                   matches
        // no / but at the end: a name at any depth, a file's or a directory's
        {"*.png",         "a/b/x.png",           true},
        {"*.png",         "a/x.png.txt",         false},
        {"logo.png",      "logo.png",            true},
        {"logo.png",      "a/logo.png",          true},
        {"logo.png",      "a/xlogo.png",         false},
        {"docs",          "docs/a/x.png",        true},
        {"docs",          "a/docs/x.png",        true},
        {"docs/",         "a/docs/x.png",        true},
        {"docs/",         "docs",                false},
        {"x.png/",        "x.png",               false},
        // a / at the start or within: from the rules' folder
        {"/x.png",        "x.png",               true},
        {"/x.png",        "a/x.png",             false},
        {"a/x.png",       "b/a/x.png",           false},
        {"/docs/",        "docs/hero/x.png",     true},
        {"/docs/",        "a/docs/x.png",        false},
        {"docs/*.png",    "docs/x.png",          true},
        {"docs/*.png",    "docs/a/x.png",        false},
        {"docs/*",        "docs/a/x.png",        true},
        // **
        {"**/x.png",      "x.png",               true},
        {"**/x.png",      "a/b/x.png",           true},
        {"a/**/b",        "a/b",                 true},
        {"a/**/b",        "a/x/y/b",             true},
        {"a/**/b",        "a/xb",                false},
        {"a/**",          "a/x/y.png",           true},
        {"a/**",          "a",                   false},
        {"a**b",          "a/b",                 false},
        {"**",            "a/b/c",               true},
        // ? and classes never match a /
        {"x/a?b",         "x/a/b",               false},
        {"a?b",           "acb",                 true},
        {"[ab]*.png",     "b1.png",              true},
        {"[!ab]*.png",    "b1.png",              false},
        {"[^ab]*.png",    "c1.png",              true},
        {"[a-c]x",        "bx",                  true},
        {"[a-c]x",        "dx",                  false},
        {"[]]x",          "]x",                  true},
        {"[a-]x",         "-x",                  true},
        {"[x-f]",         "x",                   true},
        {"*.[pP][nN][gG]", "a/x.PnG",            true},
        {"*.[pP][nN][gG]", "x.jpg",              false},
        {"x?.png",        "xxb.png",             false},
        {"[[:digit:]]x",  "7x",                  true},
        {"[[:upper:]]x",  "ax",                  false},
        {"a[/]b",         "a/b",                 false},
        // escapes, and bytes that are not special
        {"\\*.png",       "*.png",               true},
        {"\\*.png",       "x.png",               false},
        {"a\\ b.png",     "a b.png",             true},
        {"\xc3\xa9.png",  "\xc3\xa9.png",        true},
        // case counts
        {"*.PNG",         "x.png",               false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.pattern) + " against " + row.path);
        EXPECT_EQ(matches(row.pattern, row.path), row.match);
    }
}

TEST(Patterns, NotPatterns)
{
    static const struct {
        const char *pattern, *why;
    } rows[] = {
        {"a[bc",         "has [ without ]"},
        {"a[\\]",        "has [ without ]"},
        {"a\\",          "ends in \\"},
        {"/",            "names no file"},
        {"[[:word:]]",   "names a class [:NAME:] that none is"},
        {"!x.png",       "begins with !, which makes no exception here: a later line with no options does"},
    };
    for (const auto &row : rows) {
        pattern p;
        EXPECT_STREQ(pattern_read(&p, row.pattern, strlen(row.pattern)), row.why) << row.pattern;
    }
}

// Patterns made of pieces at random, matched against paths by the
// matcher and by git's own ignore rules, which mean the same: a pattern
// ignores a path when it matches the path or a directory above it.
TEST(Patterns, AsGitIgnores)
{
    if (std::system("git --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "there is no git to compare with";
    static const char *const pieces[] = {"a", "b", "*", "**", "?", "/", ".png", "[ab]", "[!a]", "[a-c]",
                                         "\\*", "***", "[]a]", "**/", "/**", "[[:alpha:]]", "x"};
    static const char *const names[] = {"a", "b", "ab", "x.png", "a.png", "b.x", "[a]", "*", "c"};
    char tmpl[] = "/tmp/dimgate-git-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string repo = tmpl, paths;
    ASSERT_EQ(std::system(("git init -q '" + repo + "'").c_str()), 0);
    // Paths of one to three names, every file a leaf: no path is both.
    std::set<std::string> files;
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) { return ((seed = seed * 1103515245 + 12345) >> 16 & 0x7fff) % n; };
    for (int k = 0; k < 40; k++) {
        std::string path;
        for (uint32_t depth = next(3); depth-- > 0;)
            path += "d" + std::string(names[next(9)]) + "/";
        path += names[next(9)];
        files.insert(path);
    }
    for (const std::string &f : files) {
        std::string full = repo + "/" + f;
        ASSERT_EQ(std::system(("mkdir -p \"$(dirname '" + full + "')\" && : >'" + full + "'").c_str()), 0);
        paths += f + "\n";
    }
    std::ofstream(repo + "/paths") << paths;
    int compared = 0;
    for (int k = 0; k < 300; k++) {
        std::string text;
        for (uint32_t n = 1 + next(5); n-- > 0;)
            text += pieces[next(sizeof pieces / sizeof *pieces)];
        pattern p;
        // git takes a run of stars glued to plain bytes before it as **
        // when those bytes have no wildcard, against its own rules.
        size_t glued = text.find("**");
        if (pattern_read(&p, text.data(), text.size()) != nullptr ||
            (glued != std::string::npos && glued > 0 && text[glued - 1] != '/'))
            continue;
        std::ofstream(repo + "/.gitignore") << text << "\n";
        std::FILE *git =
            popen(("git -C '" + repo + "' check-ignore --no-index --stdin <'" + repo + "/paths'").c_str(), "r");
        std::set<std::string> ignored;
        char line[512];
        while (std::fgets(line, sizeof line, git) != nullptr)
            ignored.insert(std::string(line, strcspn(line, "\n")));
        pclose(git);
        for (const std::string &f : files)
            EXPECT_EQ(matches(text, f), ignored.count(f) == 1) << text << " against " << f;
        compared++;
    }
    EXPECT_GT(compared, 150);
    std::system(("rm -rf '" + repo + "'").c_str());
}
