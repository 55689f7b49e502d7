#include "platform/PictureFormats.h"

#include "platform/ByteWriter.h"
#include "platform/MulDiv.h"

#include <cstdint>
#include <cstring>

namespace platform {

namespace {

void putRect(QByteArray& out, int left, int top, int right, int bottom)
{
    appendLe32(out, uint32_t(left));
    appendLe32(out, uint32_t(top));
    appendLe32(out, uint32_t(right));
    appendLe32(out, uint32_t(bottom));
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
    appendLe32(info, 40);
    appendLe32(info, uint32_t(w));
    appendLe32(info, uint32_t(h));  // positive: rows bottom-up
    appendLe16(info, 1);
    appendLe16(info, uint32_t(bpp));
    appendLe32(info, 0);  // BI_RGB
    appendLe32(info, uint32_t(stride * h));
    appendLe32(info, 0);
    appendLe32(info, 0);
    appendLe32(info, indexed && colors < capacity ? uint32_t(colors) : 0);
    appendLe32(info, 0);
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
    appendLe32(out, offBits + uint32_t(dib.bits.size()));
    appendLe32(out, 0);
    appendLe32(out, offBits);
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
    appendLe32(out, EMR_HEADER);
    appendLe32(out, kHeaderSize);
    // Bounds in device pixels and frame in 0.01 mm, both inclusive; an empty
    // drawing has the empty rectangle.
    if (drawn) {
        putRect(out, 0, 0, w - 1, h - 1);
        putRect(out, 0, 0, mulDiv(w, umX, kEmfDeviceWidth * 10) - 1,
                mulDiv(h, umY, kEmfDeviceHeight * 10) - 1);
    } else {
        putRect(out, 0, 0, -1, -1);
        putRect(out, 0, 0, -1, -1);
    }
    appendLe32(out, 0x464D4520);  // " EMF"
    appendLe32(out, 0x00010000);
    appendLe32(out, 0);  // nBytes
    appendLe32(out, 0);  // nRecords
    appendLe16(out, 1);  // nHandles: the reserved index 0
    appendLe16(out, 0);
    appendLe32(out, 0);  // nDescription
    appendLe32(out, 0);  // offDescription
    appendLe32(out, 0);  // nPalEntries
    appendLe32(out, kEmfDeviceWidth);
    appendLe32(out, kEmfDeviceHeight);
    appendLe32(out, uint32_t(mulDiv(umX, 1, 1000)));
    appendLe32(out, uint32_t(mulDiv(umY, 1, 1000)));
    appendLe32(out, 0);  // cbPixelFormat
    appendLe32(out, 0);  // offPixelFormat
    appendLe32(out, 0);  // bOpenGL
    appendLe32(out, uint32_t(umX));
    appendLe32(out, uint32_t(umY));
    uint32_t records = 1;

    if (drawn) {
        const Dib dib = packDib(bitmap);
        constexpr uint32_t kFixed = 80;
        const qsizetype start = out.size();
        appendLe32(out, EMR_STRETCHDIBITS);
        appendLe32(out, kFixed + uint32_t(dib.info.size() + dib.bits.size()));
        putRect(out, 0, 0, w - 1, h - 1);
        appendLe32(out, 0);  // xDest
        appendLe32(out, 0);  // yDest
        appendLe32(out, 0);  // xSrc
        appendLe32(out, 0);  // ySrc
        appendLe32(out, uint32_t(w));
        appendLe32(out, uint32_t(h));
        appendLe32(out, kFixed);
        appendLe32(out, uint32_t(dib.info.size()));
        appendLe32(out, kFixed + uint32_t(dib.info.size()));
        appendLe32(out, uint32_t(dib.bits.size()));
        appendLe32(out, 0);           // DIB_RGB_COLORS
        appendLe32(out, 0x00CC0020);  // SRCCOPY
        appendLe32(out, uint32_t(w));
        appendLe32(out, uint32_t(h));
        Q_ASSERT(out.size() - start == kFixed);
        out.append(dib.info);
        out.append(dib.bits);
        ++records;
    }

    appendLe32(out, EMR_EOF);
    appendLe32(out, 20);
    appendLe32(out, 0);   // nPalEntries
    appendLe32(out, 16);  // offPalEntries
    appendLe32(out, 20);  // nSizeLast
    ++records;

    putLe32(out.data() + 48, uint32_t(out.size()));
    putLe32(out.data() + 52, records);
    return out;
}

}  // namespace platform
