#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats.h"

// The bytes that a reader of these formats may look at, whatever the file.
static uint64_t fixed_bound(const str &format)
{
    return format == "PNG" ? 144 : format == "GIF" ? 10 : format == "WebP" ? 30 : format == "BMP" ? 26
         : format == "SVG" ? 65536 : 0;
}

// The file past the page, read from memory; every read fails once fail is set.
struct File { const str *bytes; bool fail; unsigned calls; };
static long read_at(void *file, uint64_t offset, unsigned char *to, size_t n)
{
    File *f = static_cast<File *>(file);
    f->calls++;
    if (f->fail) {
        errno = EIO;
        return -1;
    }
    if (offset >= f->bytes->size())
        return 0;
    n = std::min<uint64_t>(n, f->bytes->size() - offset);
    memcpy(to, f->bytes->data() + offset, n);
    return long(n);
}

// Each row is read once, and once more with its reads past the page
// failing if it made any: then nothing but the failure may be answered.
void check_row(const Row &row, bool displayed)
{
    // Poison lies past the page, for a reader that looks there without a read.
    size_t n = std::min(row.bytes.size(), image_page);
    std::vector<unsigned char> page(row.bytes.begin(), row.bytes.begin() + n);
    page.resize(n + 64, 0xee);
    File file = {&row.bytes, false, 0};
    image_input in = {page.data(), n, read_at, &file, row.file, displayed};
    // Static for its 256 sizes; filled with junk that a reader must not rely on.
    static image_sizes out;
    memset(&out, 0xa5, sizeof out);
    const char *why = nullptr;

    const char *format = read_image(in, &out, &why);
    EXPECT_STREQ(format, row.format);
    if (format == nullptr || row.format == nullptr)
        return;
    str found = why != nullptr ? why : "";
    for (size_t k = 0; why == nullptr && k < out.count && k < image_most; k++)
        found += (k > 0 ? " " : "") + std::to_string(out.at[k].width) + "x" + std::to_string(out.at[k].height);
    if (why == nullptr && out.stored.width != 0)
        found += " (stored " + std::to_string(out.stored.width) + "x" + std::to_string(out.stored.height) + ")";
    EXPECT_EQ(found, row.found);
    // Metadata may lie anywhere: the orientation reaches past the bound
    // of the size alone.
    uint64_t fixed = displayed ? 0 : fixed_bound(format);
    uint64_t bound = fixed ? fixed : row.reach ? row.reach : row.bytes.size();
    EXPECT_LE(out.reach, bound);
    EXPECT_LE(out.reads, row.reads);
    EXPECT_EQ(out.reads, file.calls);

    if (out.reads == 0)
        return;
    file = {&row.bytes, true, 0};
    errno = 0;
    EXPECT_STREQ(read_image(in, &out, &why), row.format);
    EXPECT_STREQ(why, image_read_failed) << "when the reads past the page fail";
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(out.reads, file.calls);
}


void check_turned(const Turned &row)
{
    Row r = {row.name, row.format, row.bytes, row.shown, row.reach, row.reads};
    {
        SCOPED_TRACE("with the displayed size");
        check_row(r, true);
    }
    r.found = row.stored;
    SCOPED_TRACE("with the stored size");
    check_row(r, false);
}
