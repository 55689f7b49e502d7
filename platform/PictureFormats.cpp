#include "platform/PictureFormats.h"

#include "platform/MulDiv.h"

#include <cstdint>
#include <cstring>

namespace platform {

namespace {

void put16(QByteArray& out, uint32_t v)
{
    const char b[2] = {char(v & 0xFF), char((v >> 8) & 0xFF)};
    out.append(b, 2);
}

void put32(QByteArray& out, uint32_t v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    out.append(b, 4);
}

void putRect(QByteArray& out, int left, int top, int right, int bottom)
{
    put32(out, uint32_t(left));
    put32(out, uint32_t(top));
    put32(out, uint32_t(right));
    put32(out, uint32_t(bottom));
}

void set32(QByteArray& out, qsizetype at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = char((v >> (8 * i)) & 0xFF);
}

}  // namespace

Dib packDib(const Bitmap& bitmap)
{
    const int w = bitmap.width();
    const int h = bitmap.height();
    const int bpp = bitmap.bitsPerPixel();
    const QImage& image = bitmap.image();
    const qsizetype stride = ((qsizetype(w) * bpp + 31) / 32) * 4;
    const bool indexed = bpp <= 8;
    const int capacity = indexed ? 1 << bpp : 0;
    const QList<QRgb> table = indexed ? image.colorTable().mid(0, capacity) : QList<QRgb>();
    const int colors = static_cast<int>(table.size());

    Dib dib;
    QByteArray& info = dib.info;
    put32(info, 40);
    put32(info, uint32_t(w));
    put32(info, uint32_t(h));  // positive: rows bottom-up
    put16(info, 1);
    put16(info, uint32_t(bpp));
    put32(info, 0);  // BI_RGB
    put32(info, uint32_t(stride * h));
    put32(info, 0);
    put32(info, 0);
    put32(info, indexed && colors < capacity ? uint32_t(colors) : 0);
    put32(info, 0);
    for (QRgb c : table) {
        const char quad[4] = {char(qBlue(c)), char(qGreen(c)), char(qRed(c)), 0};
        info.append(quad, 4);
    }

    dib.bits = QByteArray(stride * h, '\0');
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<uint8_t*>(dib.bits.data()) + stride * (h - 1 - y);
        const uint8_t* in = image.constScanLine(y);
        switch (bpp) {
        case 1:
        case 4:
        case 8:
            for (int x = 0; x < w; ++x) {
                const uint8_t index = in[x] < colors ? in[x] : 0;
                if (bpp == 8)
                    out[x] = index;
                else if (bpp == 4)
                    out[x / 2] |= uint8_t(x % 2 ? index : index << 4);
                else if (index)
                    out[x / 8] |= uint8_t(0x80 >> (x % 8));
            }
            break;
        case 24:
            std::memcpy(out, in, size_t(w) * 3);  // BGR888 holds the DIB byte order
            break;
        default: {
            const auto* px = reinterpret_cast<const QRgb*>(in);
            const bool alpha = bitmap.pixelFormat() == PixelFormat::Bits32;
            for (int x = 0; x < w; ++x) {
                out[4 * x] = uint8_t(qBlue(px[x]));
                out[4 * x + 1] = uint8_t(qGreen(px[x]));
                out[4 * x + 2] = uint8_t(qRed(px[x]));
                out[4 * x + 3] = alpha ? uint8_t(qAlpha(px[x])) : 0;
            }
        }
        }
    }
    return dib;
}

QByteArray encodeBmp(const Bitmap& bitmap)
{
    const Dib dib = packDib(bitmap);
    QByteArray out;
    const uint32_t offBits = 14 + uint32_t(dib.info.size());
    out.reserve(offBits + dib.bits.size());
    out.append("BM", 2);
    put32(out, offBits + uint32_t(dib.bits.size()));
    put32(out, 0);
    put32(out, offBits);
    out.append(dib.info);
    out.append(dib.bits);
    return out;
}

QByteArray encodeEmf(const Bitmap& bitmap)
{
    constexpr uint32_t EMR_HEADER = 1, EMR_EOF = 14, EMR_STRETCHDIBITS = 81;
    constexpr uint32_t kHeaderSize = 108;  // with both header extensions
    const int w = bitmap.width();
    const int h = bitmap.height();
    const bool drawn = w > 0 && h > 0;
    // Micrometres of the reference screen: exact at 96 dpi.
    const int umX = mulDiv(kEmfDeviceWidth, 25400, kEmfPixelsPerInch);
    const int umY = mulDiv(kEmfDeviceHeight, 25400, kEmfPixelsPerInch);

    QByteArray out;
    // Header; sizes and counts are filled in at the end.
    put32(out, EMR_HEADER);
    put32(out, kHeaderSize);
    // Bounds in device pixels and frame in 0.01 mm, both inclusive; an empty
    // drawing has the empty rectangle.
    if (drawn) {
        putRect(out, 0, 0, w - 1, h - 1);
        putRect(out, 0, 0, mulDiv(w, umX, kEmfDeviceWidth * 10) - 1, mulDiv(h, umY, kEmfDeviceHeight * 10) - 1);
    } else {
        putRect(out, 0, 0, -1, -1);
        putRect(out, 0, 0, -1, -1);
    }
    put32(out, 0x464D4520);  // " EMF"
    put32(out, 0x00010000);
    put32(out, 0);           // nBytes
    put32(out, 0);           // nRecords
    put16(out, 1);           // nHandles: the reserved index 0
    put16(out, 0);
    put32(out, 0);           // nDescription
    put32(out, 0);           // offDescription
    put32(out, 0);           // nPalEntries
    put32(out, kEmfDeviceWidth);
    put32(out, kEmfDeviceHeight);
    put32(out, uint32_t(mulDiv(umX, 1, 1000)));
    put32(out, uint32_t(mulDiv(umY, 1, 1000)));
    put32(out, 0);           // cbPixelFormat
    put32(out, 0);           // offPixelFormat
    put32(out, 0);           // bOpenGL
    put32(out, uint32_t(umX));
    put32(out, uint32_t(umY));
    uint32_t records = 1;

    if (drawn) {
        const Dib dib = packDib(bitmap);
        constexpr uint32_t kFixed = 80;
        const qsizetype start = out.size();
        put32(out, EMR_STRETCHDIBITS);
        put32(out, kFixed + uint32_t(dib.info.size() + dib.bits.size()));
        putRect(out, 0, 0, w - 1, h - 1);
        put32(out, 0);  // xDest
        put32(out, 0);  // yDest
        put32(out, 0);  // xSrc
        put32(out, 0);  // ySrc
        put32(out, uint32_t(w));
        put32(out, uint32_t(h));
        put32(out, kFixed);
        put32(out, uint32_t(dib.info.size()));
        put32(out, kFixed + uint32_t(dib.info.size()));
        put32(out, uint32_t(dib.bits.size()));
        put32(out, 0);           // DIB_RGB_COLORS
        put32(out, 0x00CC0020);  // SRCCOPY
        put32(out, uint32_t(w));
        put32(out, uint32_t(h));
        Q_ASSERT(out.size() - start == kFixed);
        out.append(dib.info);
        out.append(dib.bits);
        ++records;
    }

    put32(out, EMR_EOF);
    put32(out, 20);
    put32(out, 0);   // nPalEntries
    put32(out, 16);  // offPalEntries
    put32(out, 20);  // nSizeLast
    ++records;

    set32(out, 48, uint32_t(out.size()));
    set32(out, 52, records);
    return out;
}

}  // namespace platform

