#include "IcoBuilder.h"

#include <QBuffer>
#include <QImage>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fixture {

void put16(ByteVec& b, size_t at, uint32_t v)
{
    b.at(at) = static_cast<uint8_t>(v);
    b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}

void put32(ByteVec& b, size_t at, uint32_t v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

namespace {

void append16(ByteVec& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void append32(ByteVec& b, uint32_t v)
{
    append16(b, v & 0xFFFF);
    append16(b, v >> 16);
}

uint32_t paletteColor(int index, uint32_t seed)
{
    const uint32_t v = static_cast<uint32_t>(index) * 2654435761u + seed * 40503u;
    return 0xFF000000u | (v & 0x00FFFFFFu);
}

bool masked(int x, int y) { return (x + 2 * y) % 7 == 0; }

}  // namespace

uint32_t patternColor(int x, int y, int bits, uint32_t seed)
{
    if (bits <= 8) {
        const int colours = 1 << bits;
        return paletteColor((x + y * 3 + static_cast<int>(seed)) % colours, seed);
    }
    const uint32_t r = static_cast<uint32_t>(x * 255 / 31 + seed) & 0xFF;
    const uint32_t g = static_cast<uint32_t>(y * 255 / 31) & 0xFF;
    const uint32_t bl = static_cast<uint32_t>((x ^ y) * 8 + seed * 3) & 0xFF;
    uint32_t c = (r << 16) | (g << 8) | bl;
    if (bits == 16)  // 5-5-5: keep only what survives the packing
        c &= 0x00F8F8F8u;
    const uint32_t a = bits == 32 ? static_cast<uint32_t>((x * 37 + y * 11) % 256) : 0xFF;
    return (a << 24) | c;
}

IcoImage dibImage(int width, int height, int bits, uint32_t seed)
{
    const int colours = bits <= 8 ? 1 << bits : 0;
    const int stride = ((width * bits + 31) / 32) * 4;
    const int maskStride = ((width + 31) / 32) * 4;
    const uint32_t imageSize = static_cast<uint32_t>((stride + maskStride) * height);
    ByteVec b;
    append32(b, 40);
    append32(b, static_cast<uint32_t>(width));
    append32(b, static_cast<uint32_t>(height * 2));
    append16(b, 1);
    append16(b, static_cast<uint32_t>(bits));
    append32(b, 0);          // BI_RGB
    append32(b, imageSize);  // image size, left in place as many tools do
    append32(b, 0);
    append32(b, 0);
    append32(b, 0);
    append32(b, 0);
    for (int i = 0; i < colours; ++i)
        append32(b, paletteColor(i, seed) & 0x00FFFFFFu);
    for (int y = height - 1; y >= 0; --y) {  // bottom-up rows
        ByteVec row(static_cast<size_t>(stride), 0);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = patternColor(x, y, bits, seed);
            if (bits <= 8) {
                const int index = (x + y * 3 + static_cast<int>(seed)) % colours;
                const int bit = x * bits;
                row[bit / 8] |= static_cast<uint8_t>(index << (8 - bits - bit % 8));
            } else if (bits == 16) {
                const uint32_t v = (((c >> 19) & 31) << 10) | (((c >> 11) & 31) << 5) | ((c >> 3) & 31);
                row[x * 2] = static_cast<uint8_t>(v);
                row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
            } else {
                const int n = bits / 8;
                row[x * n] = static_cast<uint8_t>(c);
                row[x * n + 1] = static_cast<uint8_t>(c >> 8);
                row[x * n + 2] = static_cast<uint8_t>(c >> 16);
                if (n == 4)
                    row[x * n + 3] = static_cast<uint8_t>(c >> 24);
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    for (int y = height - 1; y >= 0; --y) {
        ByteVec row(static_cast<size_t>(maskStride), 0);
        for (int x = 0; x < width; ++x)
            if (masked(x, y))
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        b.insert(b.end(), row.begin(), row.end());
    }
    return IcoImage {b, width, height, 1, bits};
}

IcoImage dibBitfieldsImage(int width, int height, int bits, uint32_t seed)
{
    if (bits != 16 && bits != 32)
        throw std::invalid_argument("bit fields need 16 or 32 bits");
    const int stride = ((width * bits + 31) / 32) * 4;
    const int maskStride = ((width + 31) / 32) * 4;
    ByteVec b;
    append32(b, 40);
    append32(b, static_cast<uint32_t>(width));
    append32(b, static_cast<uint32_t>(height * 2));
    append16(b, 1);
    append16(b, static_cast<uint32_t>(bits));
    append32(b, 3);  // BI_BITFIELDS
    append32(b, static_cast<uint32_t>((stride + maskStride) * height));
    for (int i = 0; i < 4; ++i)
        append32(b, 0);
    if (bits == 16) {
        append32(b, 0xF800);
        append32(b, 0x07E0);
        append32(b, 0x001F);
    } else {
        append32(b, 0x000000FF);
        append32(b, 0x0000FF00);
        append32(b, 0x00FF0000);
    }
    for (int y = height - 1; y >= 0; --y) {
        ByteVec row(static_cast<size_t>(stride), 0);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = patternColor(x, y, bits == 16 ? 24 : 32, seed);
            const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, bl = c & 0xFF;
            if (bits == 16) {
                const uint32_t v = ((r >> 3) << 11) | ((g >> 2) << 5) | (bl >> 3);
                row[x * 2] = static_cast<uint8_t>(v);
                row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
            } else {
                row[x * 4] = static_cast<uint8_t>(r);
                row[x * 4 + 1] = static_cast<uint8_t>(g);
                row[x * 4 + 2] = static_cast<uint8_t>(bl);
                row[x * 4 + 3] = static_cast<uint8_t>(c >> 24);
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    for (int y = height - 1; y >= 0; --y) {
        ByteVec row(static_cast<size_t>(maskStride), 0);
        for (int x = 0; x < width; ++x)
            if (masked(x, y))
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        b.insert(b.end(), row.begin(), row.end());
    }
    return IcoImage {b, width, height, 1, bits};
}

IcoImage pngImage(int width, int height, uint32_t seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, patternColor(x % 32, y % 32, 32, seed));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw std::runtime_error("PNG encoding failed");
    return IcoImage {ByteVec(png.begin(), png.end()), width, height, 1, 32};
}

IcoImage pngWithLyingChunk(int width, int height, uint32_t seed)
{
    IcoImage image = pngImage(width, height, seed);
    const ByteVec text = {0x7F, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't', 'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
    // Signature (8) and IHDR (25) come first.
    image.data.insert(image.data.begin() + 33, text.begin(), text.end());
    return image;
}

ByteVec icoFile(const std::vector<IcoImage>& images)
{
    ByteVec b;
    append16(b, 0);
    append16(b, 1);
    append16(b, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const IcoImage& im : images) {
        b.push_back(static_cast<uint8_t>(im.width));
        b.push_back(static_cast<uint8_t>(im.height));
        const int product = im.planes * im.bits;
        b.push_back(static_cast<uint8_t>(product < 8 ? 1 << product : 0));
        b.push_back(0);
        append16(b, static_cast<uint32_t>(im.planes));
        append16(b, static_cast<uint32_t>(im.bits));
        append32(b, static_cast<uint32_t>(im.data.size()));
        append32(b, offset);
        offset += static_cast<uint32_t>(im.data.size());
    }
    for (const IcoImage& im : images)
        b.insert(b.end(), im.data.begin(), im.data.end());
    return b;
}

void writeFile(const std::string& path, const ByteVec& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

ByteVec readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return ByteVec(std::istreambuf_iterator<char>(in), {});
}

}  // namespace fixture
