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

// File contents.
std::string be(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
const std::string sig("\x89PNG\r\n\x1a\n", 8);
std::string head(uint32_t length, const std::string &type, const std::string &data)
{
    return sig + be(length) + type + data;
}
std::string png(uint32_t w, uint32_t h)
{
    return head(13, "IHDR", be(w) + be(h) + std::string("\x08\x02\0\0\0", 5)) + be(0);
}
std::string bytes(size_t n) { return std::string(n, '\x7f'); }
std::string le16(uint32_t v) { return {char(v), char(v >> 8)}; }
std::string le32(uint32_t v) { return le16(v) + le16(v >> 16); }

std::string slurp(std::FILE *f)
{
    std::string s;
    std::rewind(f);
    for (int c; (c = std::getc(f)) != EOF;)
        s += char(c);
    std::fclose(f);
    return s;
}

// The text for an error, with its newline, in the words of the C library
// that the tool was linked with, which differ between libraries.
std::string library_text(int errnum)
{
    std::string text;
    std::FILE *p = popen(("'" DIMGATE_STRERROR "' " + std::to_string(errnum)).c_str(), "r");
    for (int c; p != nullptr && (c = std::getc(p)) != EOF;)
        text += char(c);
    if (p == nullptr || pclose(p) != 0 || text.empty())
        return "(no text for error " + std::to_string(errnum) + ")";
    return text;
}

// The suite's folder, which another user may pass through, so that only a
// file's own mode keeps it out.
std::string dir;
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

void write(const std::string &name, const std::string &content)
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
const passwd *as_nobody(std::string *tool)
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
int run(const std::string &tool, const std::vector<std::string> &args, const std::string &cwd,
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
pid_t fifo(const std::string &path, const std::string &content)
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

void reap(pid_t writer)
{
    if (writer > 0) {
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
    }
}
