// Feeds arbitrary bytes to the probe and holds its answer against a model
// that reads the same bytes by index, and the facts it finds in a stream
// against those it finds in the same bytes in memory. A crash, a sanitizer
// report, a read past the first chunk's head, or any other result, message
// or fact stops the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dimgate.h"

static char printed[256];

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // glibc lets stdout be reassigned: the probe's messages land in printed.
    stdout = fmemopen(printed, sizeof printed, "w");
    return stdout == nullptr;
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
    return 0;
}
