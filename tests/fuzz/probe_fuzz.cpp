// Feeds arbitrary bytes to the probe and holds its answer against a model
// that reads the same bytes by index, and the facts it finds in a stream
// against those it finds in the same bytes in memory. A crash, a sanitizer
// report, a read past the first chunk's head, or any other result, message
// or fact stops the run.
//
// Then the same bytes, behind a signature that the first byte chooses, go
// to the format readers twice: whole in memory, and as a file of which one
// page is read and the rest at offsets. Both must give the same answer,
// within the format's bound.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dimgate.h"
#include "formats/formats.h"

static char printed[256];
static std::FILE *file;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // glibc lets stdout be reassigned: the probe's messages land in printed.
    stdout = fmemopen(printed, sizeof printed, "w");
    file = std::tmpfile();
    return stdout == nullptr || file == nullptr;
}

// Each format's signature, with a brand where the signature is not all of
// what tells it, and how far its reader may look into the file and how
// many reads past the page it may make; 0 where the walk of its
// structures decides how far.
static const struct {
    std::string signature;
    const char *name;
    uint64_t reach;
    unsigned reads;
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
    const auto &f = formats[data[0] % (sizeof formats / sizeof *formats)];
    std::string bytes = f.signature + std::string((const char *)data + 1, size - 1);
    memory m = {&bytes};
    // In memory, all of it is the page: a read at an offset finds nothing.
    image_input in = {(const unsigned char *)bytes.data(), bytes.size(), from_memory, &m};
    const char *why_whole = nullptr, *why_paged = nullptr;
    const char *name = read_image(in, &whole, &why_whole);

    if (ftruncate(fileno(file), 0) != 0 || pwrite(fileno(file), bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()))
        std::abort();
    in = {(const unsigned char *)bytes.data(), bytes.size() < image_page ? bytes.size() : image_page, from_file,
          nullptr};
    const char *paged_name = read_image(in, &paged, &why_paged);

    std::string said = why_whole ? why_whole : "", said_paged = why_paged ? why_paged : "";
    bool same = name == paged_name && said == said_paged && whole.count == paged.count &&
                std::memcmp(whole.at, paged.at, whole.count * sizeof *whole.at) == 0;
    if (!same) {
        std::fprintf(stderr, "%s: whole \"%s\", %zu sizes; paged \"%s\", %zu sizes\n", f.name, said.c_str(),
                     whole.count, said_paged.c_str(), paged.count);
        std::abort();
    }
    if (name != nullptr && ((f.reach != 0 && paged.reach > f.reach) || paged.reads > f.reads)) {
        std::fprintf(stderr, "%s looked %llu bytes in, with %u reads\n", name, (unsigned long long)paged.reach,
                     paged.reads);
        std::abort();
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
    if (size > 0)
        read_formats(data, size);
    return 0;
}
