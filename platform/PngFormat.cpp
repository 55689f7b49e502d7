// PNG through libpng, both ways. The library reports errors by longjmp, so
// the parts that call it hold no object with a destructor.

#include "platform/ImageMemory.h"
#include "platform/PictureFormats.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <png.h>

#include <QLoggingCategory>

namespace platform {

namespace {

constexpr int kMaxIdatChunk = 65535;
// The largest chunk the reader allocates; the image's own chunks (header,
// palette, transparency) need a few hundred bytes.
constexpr png_alloc_size_t kMaxReadChunk = 64 * 1024;

struct Output {
    unsigned char* data;
    size_t size;
    size_t capacity;
    char message[256];
};

void onWrite(png_structp png, png_bytep bytes, png_size_t length)
{
    auto* out = static_cast<Output*>(png_get_io_ptr(png));
    if (out->size + length > out->capacity) {
        size_t capacity = out->capacity ? out->capacity : 4096;
        while (capacity < out->size + length)
            capacity *= 2;
        auto* grown = static_cast<unsigned char*>(std::realloc(out->data, capacity));
        if (!grown)
            png_error(png, "out of memory");
        out->data = grown;
        out->capacity = capacity;
    }
    std::memcpy(out->data + out->size, bytes, length);
    out->size += length;
}

void onFlush(png_structp) {}

void onError(png_structp png, png_const_charp message)
{
    auto* out = static_cast<Output*>(png_get_error_ptr(png));
    std::snprintf(out->message, sizeof out->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// The writer and its zlib state take a few hundred kilobytes that are
// allocated, touched and given back for every picture; for small pictures
// that costs more than the compression. Freed blocks are kept per thread
// and handed out again for the same size. Only where the memory comes from
// changes, never what is written into it.
class BlockCache {
public:
    ~BlockCache()
    {
        for (const Block& b : m_blocks)
            std::free(b.memory);
    }
    void* take(size_t size)
    {
        for (size_t i = 0; i < m_blocks.size(); ++i)
            if (m_blocks[i].size == size) {
                void* memory = m_blocks[i].memory;
                m_blocks[i] = m_blocks.back();
                m_blocks.pop_back();
                return memory;
            }
        return nullptr;
    }
    bool keep(void* memory, size_t size)
    {
        if (size > kMaxBlock || m_blocks.size() >= kMaxBlocks)
            return false;
        m_blocks.push_back({memory, size});
        return true;
    }

private:
    static constexpr size_t kMaxBlock = 1 << 20;
    static constexpr size_t kMaxBlocks = 16;
    struct Block {
        void* memory;
        size_t size;
    };
    std::vector<Block> m_blocks;
};

thread_local BlockCache blockCache;

// Each block carries its size in front of it, aligned as malloc aligns.
constexpr size_t kBlockHeader = alignof(std::max_align_t);

png_voidp onMalloc(png_structp, png_alloc_size_t size)
{
    void* memory = blockCache.take(size);
    if (!memory)
        memory = std::malloc(size + kBlockHeader);
    if (!memory)
        return nullptr;
    std::memcpy(memory, &size, sizeof size);
    return static_cast<char*>(memory) + kBlockHeader;
}

void onFree(png_structp, png_voidp pointer)
{
    if (!pointer)
        return;
    void* memory = static_cast<char*>(pointer) - kBlockHeader;
    size_t size;
    std::memcpy(&size, memory, sizeof size);
    if (!blockCache.keep(memory, size))
        std::free(memory);
}

struct Layout {
    int width;
    int height;
    int bitDepth;
    int colorType;
    const png_color* palette;
    int paletteSize;
    png_bytep* rows;
};

bool compress(const Layout& layout, Output* out)
{
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, out, onError, onWarning, nullptr,
                                                onMalloc, onFree);
    if (!png) {
        std::snprintf(out->message, sizeof out->message, "cannot create the writer");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        if (!out->message[0])
            std::snprintf(out->message, sizeof out->message, "cannot create the writer");
        return false;
    }
    png_set_write_fn(png, out, onWrite, onFlush);
    png_set_compression_buffer_size(png, kMaxIdatChunk);  // one IDAT chunk per buffer
    png_set_compression_level(png, 7);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, png_uint_32(layout.width), png_uint_32(layout.height), layout.bitDepth,
                 layout.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (layout.palette)
        png_set_PLTE(png, info, layout.palette, layout.paletteSize);
    png_write_info(png, info);
    if (layout.bitDepth < 8)
        png_set_packing(png);  // rows hold one index a byte
    png_write_image(png, layout.rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at;
    char message[256];
};

void onRead(png_structp png, png_bytep bytes, png_size_t length)
{
    auto* in = static_cast<Input*>(png_get_io_ptr(png));
    if (length > in->size - in->at)
        png_error(png, "the stream ends early");
    std::memcpy(bytes, in->data + in->at, length);
    in->at += length;
}

// The library's own handlers would write to standard error; its messages
// go through the program's log instead, which keeps them to itself unless
// asked.
Q_LOGGING_CATEGORY(pngLog, "pictorium.png")

void onReadError(png_structp png, png_const_charp message)
{
    auto* in = static_cast<Input*>(png_get_error_ptr(png));
    std::snprintf(in->message, sizeof in->message, "%s", message);
    png_longjmp(png, 1);
}

void onReadWarning(png_structp, png_const_charp message) { qCWarning(pngLog, "libpng warning: %s", message); }

// Chunks other than the image's own are skipped unread, so that text and
// colour-profile chunks cannot inflate to gigabytes; the image data is
// inflated only as far as its rows need, and never past the last row.
bool inflate(Input* in, int width, int height, png_bytep* rows)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, in, onReadError, onReadWarning);
    if (!png) {
        std::snprintf(in->message, sizeof in->message, "cannot create the reader");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (!in->message[0])
            std::snprintf(in->message, sizeof in->message, "cannot create the reader");
        return false;
    }
    png_set_read_fn(png, in, onRead);
    // Damage the library would pass over with a warning (image data that
    // ends early among it) fails the image.
    png_set_benign_errors(png, 0);
    png_set_user_limits(png, png_uint_32(width), png_uint_32(height));
    png_set_chunk_cache_max(png, 16);
    png_set_chunk_malloc_max(png, kMaxReadChunk);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    if (png_get_image_width(png, info) != png_uint_32(width)
        || png_get_image_height(png, info) != png_uint_32(height))
        png_error(png, "the size differs from the header's");
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (bitDepth == 16)
        png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);  // the byte order of a 32-bit word on this machine
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4)
        png_error(png, "unexpected row layout");
    png_read_image(png, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

QByteArray encodePng(const Bitmap& bitmap)
{
    if (bitmap.isEmpty())
        throw std::runtime_error("Cannot write an empty picture as PNG");
    const int w = bitmap.width();
    const int h = bitmap.height();
    QImage pixels;
    std::vector<png_color> palette;
    Layout layout {w, h, 8, PNG_COLOR_TYPE_RGB, nullptr, 0, nullptr};
    switch (bitmap.pixelFormat()) {
    case PixelFormat::Bits1:
    case PixelFormat::Bits4:
    case PixelFormat::Bits8: {
        const int bits = bitmap.bitsPerPixel();
        const QList<QRgb> table = bitmap.image().colorTable().mid(0, 1 << bits);
        for (QRgb c : table)
            palette.push_back(png_color {png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c))});
        if (palette.empty())
            palette.push_back(png_color {0, 0, 0});
        pixels = bitmap.image().copy();
        // Indices past the palette would make an invalid file.
        for (int y = 0; y < h; ++y) {
            uchar* row = pixels.scanLine(y);
            for (int x = 0; x < w; ++x)
                if (row[x] >= palette.size())
                    row[x] = 0;
        }
        layout.bitDepth = bits;
        layout.colorType = PNG_COLOR_TYPE_PALETTE;
        layout.palette = palette.data();
        layout.paletteSize = static_cast<int>(palette.size());
        break;
    }
    case PixelFormat::Bits32:
        pixels = converted(bitmap.image(), QImage::Format_RGBA8888);
        layout.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        break;
    case PixelFormat::Device:
    case PixelFormat::Bits24: pixels = converted(bitmap.image(), QImage::Format_RGB888); break;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[size_t(y)] = pixels.scanLine(y);
    layout.rows = rows.data();

    Output out {};
    const bool ok = compress(layout, &out);
    QByteArray bytes;
    if (ok)
        bytes = QByteArray(reinterpret_cast<const char*>(out.data), qsizetype(out.size));
    std::free(out.data);
    if (!ok)
        throw std::runtime_error(std::string("PNG error: ") + out.message);
    return bytes;
}

std::optional<QImage> decodePng(std::span<const uint8_t> bytes, int width, int height, std::string* error)
{
    auto fail = [&](const char* message) -> std::optional<QImage> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (width <= 0 || height <= 0)
        return fail("no pixels");
    QImage image = newImage(width, height, QImage::Format_ARGB32);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[size_t(y)] = image.scanLine(y);
    Input in {bytes.data(), bytes.size(), 0, {}};
    if (!inflate(&in, width, height, rows.data())) {
        qCWarning(pngLog, "libpng error: %s", in.message);
        return fail(in.message);
    }
    return image;
}

}  // namespace platform
