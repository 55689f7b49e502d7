#pragma once
// Images made under a memory limit. The toolkit hands back an empty image
// when it is refused the memory for one; these throw std::bad_alloc
// instead, so that a refused allocation ends the work as an error, never as
// an empty picture taken for the right one.

#include <QImage>
#include <QList>

namespace platform {

// A new image of a size known to be valid.
QImage newImage(int width, int height, QImage::Format format);

QImage converted(const QImage& image, QImage::Format format, Qt::ImageConversionFlags flags = Qt::AutoColor);
QImage converted(const QImage& image, QImage::Format format, const QList<QRgb>& colorTable,
                 Qt::ImageConversionFlags flags = Qt::AutoColor);

QImage smoothlyScaled(const QImage& image, int width, int height);

}  // namespace platform
