#include "platform/Bitmap.h"

#include "platform/ImageMemory.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

bool isIndexed(PixelFormat format)
{
    return format == PixelFormat::Bits1 || format == PixelFormat::Bits4 || format == PixelFormat::Bits8;
}

int paletteCapacity(PixelFormat format) { return 1 << Bitmap::bitsPerPixel(format); }

int whiteIndex(const QList<QRgb>& table)
{
    const int at = static_cast<int>(table.indexOf(qRgb(255, 255, 255)));
    return at >= 0 ? at : static_cast<int>(table.size()) - 1;
}

QImage blank(int width, int height, PixelFormat format, const QList<QRgb>& table)
{
    QImage image(width, height, Bitmap::imageFormat(format));
    if (image.isNull())
        throw std::bad_alloc();
    if (isIndexed(format)) {
        image.setColorTable(table);
        image.fill(static_cast<uint>(whiteIndex(table)));
    } else {
        image.fill(QColor(255, 255, 255));
    }
    return image;
}

QImage convert(const QImage& source, PixelFormat format)
{
    if (!isIndexed(format))
        return converted(source, Bitmap::imageFormat(format));
    if (source.format() == QImage::Format_Indexed8 || source.format() == QImage::Format_Mono
        || source.format() == QImage::Format_MonoLSB) {
        if (source.colorCount() > 0 && source.colorCount() <= paletteCapacity(format))
            return converted(source, QImage::Format_Indexed8);
    }
    // Nearest colour of the standard palette, no dithering, as a device
    // conversion does it.
    return converted(converted(source, QImage::Format_ARGB32), QImage::Format_Indexed8,
                     Bitmap::standardPalette(format), Qt::AvoidDither);
}

}  // namespace

Bitmap::Bitmap(int width, int height, PixelFormat format) : format_(format) { setSize(width, height); }

Bitmap Bitmap::fromImage(const QImage& image, PixelFormat format)
{
    Bitmap bitmap;
    bitmap.format_ = format;
    if (!image.isNull())
        bitmap.image_ = convert(image, format);
    return bitmap;
}

int Bitmap::bitsPerPixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Bits1: return 1;
    case PixelFormat::Bits4: return 4;
    case PixelFormat::Bits8: return 8;
    case PixelFormat::Bits24: return 24;
    case PixelFormat::Bits32:
    case PixelFormat::Device: return 32;
    }
    return 32;
}

QImage::Format Bitmap::imageFormat(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Device: return QImage::Format_RGB32;
    case PixelFormat::Bits1:
    case PixelFormat::Bits4:
    case PixelFormat::Bits8: return QImage::Format_Indexed8;
    case PixelFormat::Bits24: return QImage::Format_BGR888;
    case PixelFormat::Bits32: return QImage::Format_ARGB32;
    }
    return QImage::Format_RGB32;
}

QList<QRgb> Bitmap::standardPalette(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Bits1: return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    case PixelFormat::Bits4:
        return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
                qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
                qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
                qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    case PixelFormat::Bits8: {
        QList<QRgb> table;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    table << qRgb(r * 51, g * 51, b * 51);
        // 40 greys between the cube's own greys.
        for (int i = 1; i <= 40; ++i) {
            const int v = (i * 255 + 20) / 41;
            table << qRgb(v, v, v);
        }
        return table;
    }
    default: return {};
    }
}

void Bitmap::setSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == this->width() && height == this->height())
        return;
    if (width == 0 || height == 0) {
        image_ = QImage();
        return;
    }
    const QList<QRgb> table
        = isIndexed(format_) && !image_.isNull() ? image_.colorTable() : standardPalette(format_);
    QImage sized = blank(width, height, format_, table);
    if (!image_.isNull()) {
        const int rows = std::min(height, image_.height());
        const size_t bytes = static_cast<size_t>(std::min(width, image_.width())) * (image_.depth() / 8);
        for (int y = 0; y < rows; ++y)
            std::memcpy(sized.scanLine(y), image_.constScanLine(y), bytes);
    }
    image_ = sized;
}

void Bitmap::setPixelFormat(PixelFormat format)
{
    if (format == format_)
        return;
    format_ = format;
    if (!image_.isNull())
        image_ = convert(image_, format);
}

void Bitmap::clear()
{
    image_ = QImage();
    format_ = PixelFormat::Device;
}

BitmapPainter::BitmapPainter(Bitmap& bitmap) : bitmap_(bitmap)
{
    if (bitmap.isEmpty())
        return;
    indexed_ = bitmap.image().format() == QImage::Format_Indexed8;
    if (indexed_) {
        work_ = converted(bitmap.image(), QImage::Format_RGB32);
        begin(&work_);
    } else {
        begin(&bitmap.image());
    }
}

BitmapPainter::~BitmapPainter()
{
    if (isActive())
        end();
    if (indexed_)
        bitmap_.image()
            = converted(work_, QImage::Format_Indexed8, bitmap_.image().colorTable(), Qt::AvoidDither);
}

}  // namespace platform
