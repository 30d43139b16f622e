// Feeds arbitrary bytes to the probe and holds its answer against a model
// that reads the same bytes by index, and the facts it finds in a stream
// against those it finds in the same bytes in memory. A crash, a sanitizer
// report, a read past the first chunk's head, or any other result, message
// or fact stops the run.
//
// Then the same bytes, behind a signature that the first byte chooses, go
// to the format readers twice: whole in memory, and as a file of which one
// page is read and the rest at offsets. Both must give the same answer,
// within the format's bound. SVG and TGA have no signature: the start of
// an SVG's text stands for one, and TGA's common first bytes with its name.
//
// An input that begins with R is a rules file, to read or refuse. One that
// begins with M is a rules file up to its first NUL, then paths between
// NULs: the matches of its patterns and the rules found are held against a
// plain recursive model of .gitignore's patterns.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dimgate.h"
#include "formats/exif.h"
#include "formats/formats.h"
#include "tree/match.h"
#include "tree/rules.h"

static char printed[256];
static std::FILE *file, *quiet;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // glibc lets stdout be reassigned: the probe's messages land in printed.
    stdout = fmemopen(printed, sizeof printed, "w");
    file = std::tmpfile();
    quiet = std::fopen("/dev/null", "w");
    return stdout == nullptr || file == nullptr || quiet == nullptr;
}

// Each format's signature, with a brand where the signature is not all of
// what tells it, and how far its reader may look into the file and how
// many reads past the page it may make; 0 where the walk of its
// structures decides how far, or where a header of text is read a byte at
// a time to the page's end (those may make no read past it). SVG has two rows: a root start tag open on
// its attributes, and a byte order mark, an XML declaration and a DOCTYPE
// open on its internal subset, long enough that the bytes after it reach
// past the second page.
static const struct {
    std::string signature;
    const char *name;
    uint64_t reach;
    unsigned reads;
    const char *file = "f";   // the file's name, which one format needs
} formats[] = {
    {"\x89PNG\r\n\x1a\n", "PNG", 144, 0},
    {"\xff\xd8\xff", "JPEG", (16 << 20) + 10, 1024},
    {"GIF89a", "GIF", 10, 0},
    {"RIFF\0\0\0\0WEBPVP8", "WebP", 30, 0},
    {std::string("\0\0\0\x14" "ftypavif\0\0\0\0mif1", 20), "AVIF", 0, 1152},
    {std::string("\0\0\0\x10" "ftypheic\0\0\0\0", 16), "HEIF", 0, 1152},
    {"BM", "BMP", 26, 0},
    {std::string("\0\0\1\0", 4), "ICO", 0, 512},
    {std::string("II*\0", 4), "TIFF", 0, 171},
    {std::string("MM\0+\0\x08\0\0", 8), "TIFF", 0, 171},
    {"<svg ", "SVG", 65536, 16},
    {"\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
     "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\" [",
     "SVG", 65536, 16},
    {"\xff\x0a", "JPEG XL", 0, 1024},
    {std::string("\0\0\0\x0cJXL \r\n\x87\n\0\0\0\x14" "ftypjxl \0\0\0\0jxl ", 32), "JPEG XL", 0, 1024},
    {"icns", "ICNS", 0, 512},
    {"\xabKTX 11\xbb\r\n\x1a\n", "KTX", 44, 0},
    {"\xabKTX 20\xbb\r\n\x1a\n", "KTX", 28, 0},
    {"8BPS", "PSD", 22, 0},
    {"DDS ", "DDS", 20, 0},
    {"P6 ", "Netpbm", 0, 0},
    {"P7\n", "Netpbm", 0, 0},
    {std::string("\0\0\0\x0cjP  \r\n\x87\n\0\0\0\x14" "ftypjp2 \0\0\0\0jp2 ", 32), "JPEG 2000", 0, 1024},
    {"\xff\x4f\xff\x51", "JPEG 2000", 0, 1024},
    {"qoif", "QOI", 12, 0},
    {"#?RADIANCE\n", "HDR", 0, 0},
    {std::string("v/1\x01\x02\0\0\0", 8), "OpenEXR", 0, 2048},
    {std::string("\0\0\x02\0\0\0", 6), "TGA", 18, 0, "f.tga"},
};

struct memory {
    const std::string *bytes;
};

static long from_memory(void *at, uint64_t offset, unsigned char *to, size_t n)
{
    const std::string &s = *((memory *)at)->bytes;
    if (offset >= s.size())
        return 0;
    size_t k = s.size() - offset < n ? size_t(s.size() - offset) : n;
    std::memcpy(to, s.data() + offset, k);
    return long(k);
}

static long from_file(void *, uint64_t offset, unsigned char *to, size_t n)
{
    return long(pread(fileno(file), to, n, off_t(offset)));
}

static image_sizes whole, paged;

// What the readers say of the file behind its signature.
static void read_formats(const uint8_t *data, size_t size)
{
    const size_t count = sizeof formats / sizeof *formats;
    const auto &f = formats[data[0] % count];
    // The next bit of the first byte asks for the displayed size: Exif is
    // hopped to past the size, within its segment, chunk or IFD.
    bool displayed = data[0] / count % 2 != 0;
    uint64_t reach = f.reach;
    unsigned reads = f.reads;
    if (displayed && (std::strcmp(f.name, "PNG") == 0 || std::strcmp(f.name, "WebP") == 0)) {
        reach = 0;
        reads += exif_most_chunks + exif_most_reads;
    } else if (displayed && std::strcmp(f.name, "JPEG") == 0) {
        reach += 65536;
        reads += exif_most_reads;
    }
    std::string bytes = f.signature + std::string((const char *)data + 1, size - 1);
    memory m = {&bytes};
    // In memory, all of it is the page: a read at an offset finds nothing.
    image_input in = {(const unsigned char *)bytes.data(), bytes.size(), from_memory, &m, f.file, displayed};
    const char *why_whole = nullptr, *why_paged = nullptr;
    const char *name = read_image(in, &whole, &why_whole);

    if (ftruncate(fileno(file), 0) != 0 || pwrite(fileno(file), bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()))
        std::abort();
    in = {(const unsigned char *)bytes.data(), bytes.size() < image_page ? bytes.size() : image_page, from_file,
          nullptr, f.file, displayed};
    const char *paged_name = read_image(in, &paged, &why_paged);

    std::string said = why_whole ? why_whole : "", said_paged = why_paged ? why_paged : "";
    bool same = name == paged_name && said == said_paged && whole.count == paged.count &&
                std::memcmp(whole.at, paged.at, whole.count * sizeof *whole.at) == 0 &&
                whole.stored.width == paged.stored.width && whole.stored.height == paged.stored.height;
    if (!same) {
        std::fprintf(stderr, "%s: whole \"%s\", %zu sizes; paged \"%s\", %zu sizes\n", f.name, said.c_str(),
                     whole.count, said_paged.c_str(), paged.count);
        std::abort();
    }
    if (!displayed && (whole.stored.width != 0 || paged.stored.width != 0)) {
        std::fprintf(stderr, "%s: a size shown otherwise than stored, without the option\n", f.name);
        std::abort();
    }
    if (name != nullptr && ((reach != 0 && paged.reach > reach) || paged.reads > reads)) {
        std::fprintf(stderr, "%s looked %llu bytes in, with %u reads\n", name, (unsigned long long)paged.reach,
                     paged.reads);
        std::abort();
    }
}

// Reads the n bytes at s as a rules file, its errors put away, into text:
// one byte longer, for the reader writes there, and kept, for the rules
// point into it.
static int read_rules(std::vector<char> *text, const uint8_t *s, size_t n)
{
    *text = std::vector<char>(n + 1);
    std::copy(s, s + n, text->begin());
    std::FILE *was = stderr;
    stderr = quiet;
    int status = rules_parse("f", text->data(), n);
    stderr = was;
    return status;
}

// Past this many steps in an input the model gives up: plain recursion
// takes exponential time on some patterns.
static long budget;

// Whether c is in the class that opens at p[i], read as git reads one,
// with in *end where it ends: 0 when it does not, or names no class there
// is.
static bool in_class(const std::string &p, size_t i, unsigned char c, size_t *end)
{
    static const char *const names[] = {"alnum", "alpha", "blank", "cntrl", "digit", "graph",
                                        "lower", "print", "punct", "space", "upper", "xdigit"};
    static int (*const named[])(int) = {isalnum, isalpha, isblank, iscntrl, isdigit, isgraph,
                                        islower, isprint, ispunct, isspace, isupper, isxdigit};
    size_t n = p.size(), first = i + 1 + (i + 1 < n && (p[i + 1] == '!' || p[i + 1] == '^')), j = first, k;
    bool in = false;
    auto member = [&](unsigned char *b) {
        *b = (unsigned char)p[j++];
        return *b != '\\' || (j < n && (*b = (unsigned char)p[j++], true));
    };
    for (*end = 0; j < n && (j == first || p[j] != ']');) {
        size_t close = p.compare(j, 2, "[:") == 0 ? p.find(']', j + 2) : std::string::npos;
        if (close != std::string::npos && close >= j + 3 && p[close - 1] == ':') {
            for (k = 0; k < 12 && p.compare(j + 2, close - j - 3, names[k]) != 0;)
                k++;
            if (k == 12)
                return false;
            in |= named[k](c) != 0;
            j = close + 1;
            continue;
        }
        unsigned char low, high;
        if (!member(&low) || (high = low, j + 1 < n && p[j] == '-' && p[j + 1] != ']' && (++j, !member(&high))))
            return false;
        in |= c == low || (c >= low && c <= high);
    }
    *end = j < n ? j + 1 : 0;
    return j < n && in != (first > i + 1);
}

// Whether the pattern p from i matches the n bytes at s from k.
static bool model_run(const std::string &p, size_t i, const char *s, size_t n, size_t k)
{
    if (--budget < 0)
        return false;
    if (i == p.size())
        return k == n;
    if (p[i] == '*') {
        size_t r = std::min(p.find_first_not_of('*', i), p.size());
        bool all = r - i >= 2 && (i == 0 || p[i - 1] == '/');
        if (all && r == p.size())
            return true;
        // **/ is any whole names, each with its /; * any bytes of a name.
        for (size_t j = k; all && p[r] == '/' && j <= n; j++)
            if ((j == k || s[j - 1] == '/') && model_run(p, r + 1, s, n, j))
                return true;
        for (size_t j = k; !all || p[r] != '/'; j++) {
            if (model_run(p, r, s, n, j))
                return true;
            if (j == n || s[j] == '/')
                return false;
        }
        return false;
    }
    if (k == n)
        return false;
    unsigned char c = (unsigned char)s[k];
    size_t end = i + 1;
    if (p[i] == '?' || p[i] == '[') {
        if (c == '/' || (p[i] == '[' && !in_class(p, i, c, &end)))
            return false;
    } else if ((unsigned char)p[p[i] == '\\' ? end++ : i] != c) {
        return false;
    }
    return model_run(p, end, s, n, k + 1);
}

// Whether the pattern p of a rules line matches the file at path, its
// directories' paths or with no / in p but at its end their names; a / at
// its end leaves the file out. -1 when the model gave up.
static int model_match(std::string p, const std::string &path)
{
    bool anchored = !p.empty() && p[0] == '/', dir_only = false, match = false;
    p.erase(0, anchored);
    for (size_t i = 0; i < p.size(); i += p[i] == '\\' ? 2 : 1)
        dir_only = p[i] == '/' && i + 1 == p.size();
    p.resize(p.size() - dir_only);
    anchored = anchored || p.find('/') != std::string::npos;
    for (size_t from = 0, to = 0; to <= path.size() && !match; to++) {
        if (to == path.size() || path[to] == '/') {
            size_t at = anchored ? 0 : from;
            match = (!dir_only || to < path.size()) && model_run(p, 0, path.data() + at, to - at, 0);
            from = to + 1;
        }
    }
    return budget < 0 ? -1 : match;
}

// Each line's pattern against each path, and the rule found for each path,
// in order and back again, so that the cache of a folder's rule is both
// used and passed over.
static void match_rules(const uint8_t *data, size_t size)
{
    size_t n = size_t(std::find(data, data + size, 0) - data);
    // Paths as the walk gives them, with no empty name, each in a buffer of
    // its own length.
    std::vector<std::vector<char>> paths;
    for (size_t at = n + 1, end; at < size && paths.size() < 8; at = end + 1) {
        end = size_t(std::find(data + at, data + size, 0) - data);
        std::string path((const char *)data + at, end - at);
        if (!path.empty() && path[0] != '/' && path.back() != '/' && path.find("//") == std::string::npos)
            paths.emplace_back(path.begin(), path.end());
    }
    std::vector<char> text;
    bool read = read_rules(&text, data, n) == 0;

    // Each line's first word, whose blanks after a \ are its own.
    const char *s = (const char *)data;
    auto blank = [&](size_t i) { return s[i] == ' ' || s[i] == '\t'; };
    std::vector<int> want(paths.size(), -1);
    budget = 1 << 20;
    for (size_t at = 0, eol, end, b, w, k = 0; at < n; at = eol + 1) {
        eol = size_t(std::find(s + at, s + n, '\n') - s);
        end = eol > at && s[eol - 1] == '\r' ? eol - 1 : eol;
        for (b = at; b < end && blank(b);)
            b++;
        for (w = b; w < end && !blank(w); w++)
            w += s[w] == '\\' && w + 1 < end;
        std::vector<char> word(s + b, s + w);
        pattern p;
        if (b == end || s[b] == '#' || pattern_read(&p, word.data(), word.size()) != nullptr)
            continue;
        for (size_t q = 0; q < paths.size(); q++) {
            const std::vector<char> &path = paths[q];
            int model = model_match(std::string(s + b, s + w), std::string(path.begin(), path.end()));
            size_t d = path.size();
            while (d > 0 && path[d - 1] != '/')
                d--;
            bool got = pattern_matches_file(p, path.data(), path.size(), d) ||
                       (d > 0 && pattern_matches_dirs(p, path.data(), d - 1));
            if (model >= 0 && got != bool(model)) {
                std::fprintf(stderr, "pattern \"%.*s\" %s \"%.*s\", the model not\n", int(w - b), s + b,
                             got ? "matches" : "does not match", int(path.size()), path.data());
                std::abort();
            }
            want[q] = want[q] == -2 || model < 0 ? -2 : model ? int(k) : want[q];
        }
        k++;
    }
    for (size_t r = 0; read && r < 2 * paths.size(); r++) {
        size_t q = r < paths.size() ? r : 2 * paths.size() - 1 - r;
        int got = rules_find(paths[q].data(), paths[q].size());
        if (want[q] != -2 && got != want[q]) {
            std::fprintf(stderr, "\"%.*s\": rule %d, want %d\n", int(paths[q].size()), paths[q].data(), got, want[q]);
            std::abort();
        }
    }
}

// What the probe must print for a file holding data, and in *result what
// it must return.
static std::string model(const uint8_t *data, size_t size, int32_t *result)
{
    *result = error_level;
    if (size < 8 || std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0)
        return "f is not a PNG file\n";
    if (size < 12)
        return "EOF while reading chunk length\nEOF while reading chunk type\n";
    if (size < 16)
        return "EOF while reading chunk type\n";

    uint64_t length = 0;
    for (size_t i = 8; i < 12; i++)
        length = length << 8 | data[i];
    size_t n = length < 128 ? length : 128;

    std::string type;
    for (size_t i = 12; i < 16 && data[i] != 0; i++) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", data[i]);
        type += data[i] >= ' ' && data[i] <= '~' ? std::string(1, char(data[i])) : hex;
    }
    if (size - 16 < n)
        return "EOF while reading " + type + " data\n";

    *result = 0;
    if (std::memcmp(data + 12, "IHDR", 4) != 0)
        return "";
    // Data bytes beyond the declared length count as zero.
    auto field = [&](size_t at) {
        uint64_t v = 0;
        for (size_t i = at; i < at + 4; i++)
            v = v << 8 | (i < n ? data[16 + i] : 0);
        return v;
    };
    uint64_t measure = field(0) * field(4);
    *result = measure > 32768 ? 32768 : int32_t(measure);
    return "";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static uint8_t none[1];
    std::FILE *in = fmemopen(size ? const_cast<uint8_t *>(data) : none, size, "rb");
    if (in == nullptr)
        std::abort();

    std::rewind(stdout);
    int32_t result = dimgate(in, "f");
    std::fflush(stdout);
    std::string said(printed, size_t(std::ftell(stdout)));
    long consumed = std::ftell(in);
    std::fclose(in);

    // The same bytes as a stream and in memory give the same facts; the
    // probe clears the whole of head, padding included.
    png_head from_stream, from_memory;
    in = fmemopen(size ? const_cast<uint8_t *>(data) : none, size, "rb");
    if (in == nullptr)
        std::abort();
    png_fault fault = read_head(in, &from_stream);
    std::fclose(in);
    if (fault != read_head_bytes(size ? data : none, size, &from_memory) ||
        std::memcmp(&from_stream, &from_memory, sizeof from_stream) != 0) {
        std::fprintf(stderr, "the facts differ between a stream and memory\n");
        std::abort();
    }

    int32_t want;
    std::string should = model(data, size, &want);
    if (result != want || said != should || consumed > 144) {
        std::fprintf(stderr, "returned %d, want %d; read %ld bytes; printed \"%s\", want \"%s\"\n",
                     int(result), int(want), consumed, said.c_str(), should.c_str());
        std::abort();
    }
    std::vector<char> text;
    if (size > 0 && data[0] == 'R')
        read_rules(&text, data + 1, size - 1);
    else if (size > 0 && data[0] == 'M')
        match_rules(data + 1, size - 1);
    else if (size > 0)
        read_formats(data, size);
    return 0;
}
