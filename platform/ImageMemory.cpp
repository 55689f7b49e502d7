#include "platform/ImageMemory.h"

#include <new>

namespace platform {

namespace {

QImage made(const QImage& source, QImage result)
{
    if (result.isNull() && !source.isNull())
        throw std::bad_alloc();
    return result;
}

}  // namespace

QImage newImage(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    if (image.isNull())
        throw std::bad_alloc();
    return image;
}

QImage converted(const QImage& image, QImage::Format format, Qt::ImageConversionFlags flags)
{
    return made(image, image.convertToFormat(format, flags));
}

QImage converted(const QImage& image, QImage::Format format, const QList<QRgb>& colorTable,
                 Qt::ImageConversionFlags flags)
{
    return made(image, image.convertToFormat(format, colorTable, flags));
}

QImage smoothlyScaled(const QImage& image, int width, int height)
{
    return made(image, image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

}  // namespace platform
