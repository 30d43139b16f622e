#ifndef DIMGATE_TESTS_COMMON_H
#define DIMGATE_TESTS_COMMON_H

// What the test tables share: file contents, and running a built program
// in a folder made for it.

#include <limits.h>
#include <pwd.h>
#include <stdint.h>
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef PATH_MAX
#define PATH_MAX 1024
#endif

// A PNG file's contents: a big-endian number, the signature, the head of
// the first chunk, and a whole image of w by h.
std::string be(uint32_t v);
extern const std::string sig;
std::string head(uint32_t length, const std::string &type, const std::string &data);
std::string png(uint32_t w, uint32_t h);
std::string bytes(size_t n);
std::string le16(uint32_t v);
std::string le32(uint32_t v);

// Reads what was written to f from its start, and closes it.
std::string slurp(std::FILE *f);

// How a row makes its last argument, or the program's standard output,
// hostile.
enum class Made { files, fifo, sparse, unreadable, closed_stdout, full_stdout };

// The text for an error, with its newline, in the words of the C library
// that the programs were linked with.
std::string library_text(int errnum);

// The suite's folder, made afresh for each run.
extern std::string dir;

void write(const std::string &name, const std::string &content);
const passwd *as_nobody(std::string *tool);
int run(const std::string &tool, const std::vector<std::string> &args, const std::string &cwd, Made made,
        const passwd *as, std::string *out, std::string *err);
pid_t fifo(const std::string &path, const std::string &content);
void reap(pid_t writer);

#endif
