#include "platform/IconImage.h"

#include "platform/ByteReader.h"
#include "platform/ImageMemory.h"
#include "platform/PictureFormats.h"

#include <array>
#include <bit>

namespace platform {

namespace {

using Span = std::span<const uint8_t>;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

bool dimensionOk(int64_t v) { return v >= 1 && v <= kMaxIconDimension; }

// One colour channel of a bit-field pixel, widened or narrowed to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int width = 0;

    explicit Channel(uint32_t m = 0) : mask(m)
    {
        if (m == 0)
            return;
        shift = std::countr_zero(m);
        width = std::bit_width(m >> shift);
    }
    uint32_t operator()(uint32_t pixel) const
    {
        if (width == 0)
            return 0;
        const uint32_t v = (pixel & mask) >> shift;
        return width >= 8 ? v >> (width - 8) : v << (8 - width);
    }
};

QImage monoImage(int width, int height)
{
    QImage image = newImage(width, height, QImage::Format_Mono);
    image.setColorTable({0xFF000000u, 0xFFFFFFFFu});
    image.fill(0);
    return image;
}

struct DibLayout {
    int64_t width = 0;
    int64_t height = 0;  // of the colour bitmap: half the stored height
    int bits = 0;
    uint32_t compression = kBiRgb;
    std::array<uint32_t, 4> masks {};  // red, green, blue, alpha
    uint64_t paletteAt = 0;
    uint64_t paletteEntries = 0;
    int paletteEntrySize = 4;
    uint64_t pixelsAt = 0;
    uint64_t stride = 0;
    uint64_t maskStride = 0;
};

std::optional<DibLayout> readDibLayout(Span b)
{
    if (!fits(b, 0, 4))
        return std::nullopt;
    const uint32_t headerSize = le32(b, 0);
    DibLayout d;
    int64_t storedHeight = 0;
    uint64_t clrUsed = 0;
    uint64_t afterHeader = headerSize;
    if (headerSize == 12) {  // BITMAPCOREHEADER
        if (!fits(b, 0, 12))
            return std::nullopt;
        d.width = le16(b, 4);
        storedHeight = le16(b, 6);
        d.bits = le16(b, 10);
        d.paletteEntrySize = 3;
    } else {
        if (headerSize < 40 || !fits(b, 0, headerSize))
            return std::nullopt;
        d.width = le32s(b, 4);
        storedHeight = le32s(b, 8);
        d.bits = le16(b, 14);
        d.compression = le32(b, 16);
        clrUsed = le32(b, 32);
    }
    // The stored height counts the colour bitmap and the mask; icons are
    // always bottom-up, so a negative height is a broken image.
    d.height = storedHeight / 2;
    if (!dimensionOk(d.width) || !dimensionOk(d.height))
        return std::nullopt;
    switch (d.bits) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return std::nullopt;
    }
    if (d.compression == kBiBitfields) {
        if (d.bits != 16 && d.bits != 32)
            return std::nullopt;
        uint64_t masksAt = 40;
        if (headerSize < 52) {
            masksAt = headerSize;
            afterHeader = headerSize + 12;
        }
        if (!fits(b, masksAt, 12))
            return std::nullopt;
        d.masks = {le32(b, masksAt), le32(b, masksAt + 4), le32(b, masksAt + 8), 0};
        if (headerSize >= 56)
            d.masks[3] = le32(b, 52);
        else if (d.bits == 32 && ((d.masks[0] | d.masks[1] | d.masks[2]) & 0xFF000000u) == 0)
            d.masks[3] = 0xFF000000u;
    } else if (d.compression != kBiRgb) {
        return std::nullopt;
    } else if (d.bits == 16) {
        d.masks = {0x7C00u, 0x03E0u, 0x001Fu, 0};
    } else if (d.bits == 32) {
        d.masks = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
    }
    if (d.bits <= 8) {
        if (clrUsed > 256)
            return std::nullopt;
        d.paletteEntries = clrUsed != 0 ? clrUsed : uint64_t {1} << d.bits;
    } else {
        // Deeper images may carry a palette for display on palette devices;
        // it is skipped.
        d.paletteEntries = clrUsed;
    }
    d.paletteAt = afterHeader;
    d.pixelsAt = afterHeader + d.paletteEntries * static_cast<uint64_t>(d.paletteEntrySize);
    d.stride = ((static_cast<uint64_t>(d.width) * static_cast<uint64_t>(d.bits) + 31) / 32) * 4;
    d.maskStride = ((static_cast<uint64_t>(d.width) + 31) / 32) * 4;
    const uint64_t h = static_cast<uint64_t>(d.height);
    if (!fits(b, d.pixelsAt, d.stride * h + d.maskStride * h))
        return std::nullopt;
    return d;
}

std::optional<IconImage> decodeDib(Span b)
{
    const auto layout = readDibLayout(b);
    if (!layout)
        return std::nullopt;
    const DibLayout& d = *layout;
    const int w = static_cast<int>(d.width);
    const int h = static_cast<int>(d.height);

    std::array<uint32_t, 256> palette {};
    const uint64_t usable = std::min<uint64_t>(d.paletteEntries, d.bits <= 8 ? 256 : 0);
    for (uint64_t i = 0; i < usable; ++i) {
        const uint64_t at = d.paletteAt + i * static_cast<uint64_t>(d.paletteEntrySize);
        palette[i] = uint32_t {b[at]} | (uint32_t {b[at + 1]} << 8) | (uint32_t {b[at + 2]} << 16);
    }
    const uint64_t maskAt = d.pixelsAt + d.stride * static_cast<uint64_t>(h);
    auto rowAt = [&](uint64_t base, uint64_t stride, int y) {
        return b.subspan(base + stride * static_cast<uint64_t>(h - 1 - y), stride);
    };

    IconImage out;
    out.bits = d.bits;

    // A 1-bit image in black and white is a monochrome icon; one with other
    // colours keeps them in a colour bitmap.
    const bool blackWhite = d.bits == 1 && (palette[0] == 0 || palette[0] == 0xFFFFFF)
        && (palette[1] == 0 || palette[1] == 0xFFFFFF);
    if (blackWhite) {
        out.mask = monoImage(w, h * 2);
        const bool invert = palette[0] != 0;
        for (int y = 0; y < h; ++y) {
            const Span andRow = rowAt(maskAt, d.maskStride, y);
            const Span xorRow = rowAt(d.pixelsAt, d.stride, y);
            uint8_t* andLine = out.mask.scanLine(y);
            uint8_t* xorLine = out.mask.scanLine(y + h);
            for (uint64_t i = 0; i < d.maskStride; ++i) {
                andLine[i] = andRow[i];
                xorLine[i] = invert ? static_cast<uint8_t>(~xorRow[i]) : xorRow[i];
            }
        }
        return out;
    }

    out.color = newImage(w, h, QImage::Format_ARGB32);
    out.mask = monoImage(w, h);
    const Channel red(d.masks[0]), green(d.masks[1]), blue(d.masks[2]), alpha(d.masks[3]);
    const bool plain32 = d.bits == 32 && d.masks[0] == 0x00FF0000u && d.masks[1] == 0x0000FF00u
        && d.masks[2] == 0x000000FFu && d.masks[3] == 0xFF000000u;
    bool anyAlpha = false;
    for (int y = 0; y < h; ++y) {
        const Span row = rowAt(d.pixelsAt, d.stride, y);
        auto* line = reinterpret_cast<uint32_t*>(out.color.scanLine(y));
        for (int x = 0; x < w; ++x) {
            uint32_t c = 0;
            switch (d.bits) {
            case 1:
            case 4:
            case 8: {
                const uint64_t bit = static_cast<uint64_t>(x) * static_cast<uint64_t>(d.bits);
                const int shift = 8 - d.bits - static_cast<int>(bit % 8);
                const uint32_t index = (row[bit / 8] >> shift) & ((1u << d.bits) - 1);
                c = index < usable ? palette[index] : 0;
                break;
            }
            case 16: {
                const uint32_t v = le16(row, static_cast<uint64_t>(x) * 2);
                c = (red(v) << 16) | (green(v) << 8) | blue(v);
                break;
            }
            case 24: {
                const uint64_t at = static_cast<uint64_t>(x) * 3;
                c = uint32_t {row[at]} | (uint32_t {row[at + 1]} << 8) | (uint32_t {row[at + 2]} << 16);
                break;
            }
            case 32: {
                const uint32_t v = le32(row, static_cast<uint64_t>(x) * 4);
                c = plain32 ? v : (alpha(v) << 24) | (red(v) << 16) | (green(v) << 8) | blue(v);
                anyAlpha = anyAlpha || (c >> 24) != 0;
                break;
            }
            }
            line[x] = c;
        }
        const Span andRow = rowAt(maskAt, d.maskStride, y);
        std::copy(andRow.begin(), andRow.end(), out.mask.scanLine(y));
    }
    out.hasAlpha = anyAlpha;
    return out;
}

// Every chunk up to IEND lies inside the bytes. The decoder takes a
// chunk's length on trust and allocates it before it finds the data
// missing, so a lying length costs gigabytes and seconds unless it is
// refused here.
bool pngChunksFit(Span b)
{
    uint64_t at = 8;
    while (fits(b, at, 8)) {
        const uint64_t length = be32(b, at);
        if (length > 0x7FFFFFFFu || !fits(b, at + 8, length + 4))
            return false;
        const bool end = b[at + 4] == 'I' && b[at + 5] == 'E' && b[at + 6] == 'N' && b[at + 7] == 'D';
        at += 12 + length;
        if (end)
            return true;
    }
    return false;
}

std::optional<IconImage> decodePngImage(Span b)
{
    // The size is checked before the decoder allocates anything.
    if (!fits(b, 0, 24) || be32(b, 8) != 13 || b[12] != 'I' || b[13] != 'H' || b[14] != 'D' || b[15] != 'R')
        return std::nullopt;
    if (!pngChunksFit(b))
        return std::nullopt;
    const uint32_t width = be32(b, 16);
    const uint32_t height = be32(b, 20);
    if (!dimensionOk(width) || !dimensionOk(height))
        return std::nullopt;

    auto decoded = decodePng(b, static_cast<int>(width), static_cast<int>(height));
    if (!decoded)
        return std::nullopt;

    IconImage out;
    out.bits = 32;
    out.isPng = true;
    out.hasAlpha = true;
    out.color = std::move(*decoded);
    out.mask = monoImage(out.color.width(), out.color.height());
    // The mask follows the alpha channel, so mask-only drawing still shows
    // the shape.
    for (int y = 0; y < out.color.height(); ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(out.color.constScanLine(y));
        uint8_t* maskLine = out.mask.scanLine(y);
        for (int x = 0; x < out.color.width(); ++x)
            if ((line[x] >> 24) == 0)
                maskLine[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    return out;
}

}  // namespace

bool isPngImage(std::span<const uint8_t> bytes)
{
    return fits(bytes, 0, 8) && std::equal(kPngSignature, kPngSignature + 8, bytes.begin());
}

std::optional<IconImage> decodeIconImage(std::span<const uint8_t> bytes)
{
    return isPngImage(bytes) ? decodePngImage(bytes) : decodeDib(bytes);
}

}  // namespace platform
