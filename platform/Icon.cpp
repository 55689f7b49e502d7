#include "platform/Icon.h"

#include "platform/ImageMemory.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

namespace platform {

namespace {

bool bitAt(const QImage& mono, int x, int y) { return (mono.constScanLine(y)[x / 8] >> (7 - x % 8)) & 1; }

// Nearest-neighbour scaling of rows [top, top + srcH) of a mono image.
void scaleMonoInto(const QImage& src, int top, int srcH, QImage& dst, int dstTop, int w, int h)
{
    for (int y = 0; y < h; ++y) {
        const int sy = top + static_cast<int>(int64_t {y} * srcH / h);
        uint8_t* line = dst.scanLine(dstTop + y);
        for (int x = 0; x < w; ++x) {
            const int sx = static_cast<int>(int64_t {x} * src.width() / w);
            if (bitAt(src, sx, sy))
                line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
}

QImage blankMono(int w, int h)
{
    QImage image = newImage(w, h, QImage::Format_Mono);
    image.setColorTable({0xFF000000u, 0xFFFFFFFFu});
    image.fill(0);
    return image;
}

// Word by word, so that colour kept under alpha 0 survives.
QImage scaleWords(const QImage& src, int w, int h)
{
    QImage dst = newImage(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(
            src.constScanLine(static_cast<int>(int64_t {y} * src.height() / h)));
        auto* out = reinterpret_cast<uint32_t*>(dst.scanLine(y));
        for (int x = 0; x < w; ++x)
            out[x] = in[static_cast<int>(int64_t {x} * src.width() / w)];
    }
    return dst;
}

}  // namespace

Icon::Icon(IconImage image) : m_image(std::move(image)) {}

Icon::Icon(IconImage image, int width, int height) : m_image(std::move(image))
{
    if (isNull() || width <= 0 || height <= 0 || width > kMaxIconDimension || height > kMaxIconDimension
        || (width == m_image.width() && height == m_image.height()))
        return;
    const int srcH = m_image.height();
    if (m_image.isMonochrome()) {
        QImage mask = blankMono(width, height * 2);
        scaleMonoInto(m_image.mask, 0, srcH, mask, 0, width, height);
        scaleMonoInto(m_image.mask, srcH, srcH, mask, height, width, height);
        m_image.mask = mask;
        return;
    }
    QImage mask = blankMono(width, height);
    scaleMonoInto(m_image.mask, 0, srcH, mask, 0, width, height);
    m_image.mask = mask;
    if (m_image.hasAlpha)
        m_image.color = converted(
            smoothlyScaled(converted(m_image.color, QImage::Format_ARGB32_Premultiplied), width, height),
            QImage::Format_ARGB32);
    else
        m_image.color = scaleWords(m_image.color, width, height);
}

Icon Icon::fromImage(const QImage& picture)
{
    if (picture.isNull() || picture.width() > kMaxIconDimension || picture.height() > kMaxIconDimension)
        return {};
    IconImage image;
    image.color = converted(picture, QImage::Format_ARGB32);
    image.mask = blankMono(image.color.width(), image.color.height());
    image.bits = 32;
    image.hasAlpha = true;
    for (int y = 0; y < image.color.height(); ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(image.color.constScanLine(y));
        uint8_t* maskLine = image.mask.scanLine(y);
        for (int x = 0; x < image.color.width(); ++x)
            if ((line[x] >> 24) == 0)
                maskLine[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    return Icon(std::move(image));
}

// Row y's scan lines, looked up once a row: a lookup a pixel costs more
// than the pixel does.
Icon::PixelRow Icon::pixelRow(int y) const
{
    if (m_image.isMonochrome())
        return {m_image.mask.constScanLine(y), m_image.mask.constScanLine(y + height()), nullptr};
    return {m_image.mask.constScanLine(y), nullptr,
            reinterpret_cast<const uint32_t*>(m_image.color.constScanLine(y))};
}

QImage Icon::composed(bool invertingAsColor) const
{
    if (isNull())
        return {};
    if (m_image.hasAlpha)
        return converted(m_image.color, QImage::Format_ARGB32_Premultiplied);
    const int w = width(), h = height();
    QImage out = newImage(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(out.scanLine(y));
        const PixelRow row = pixelRow(y);
        for (int x = 0; x < w; ++x) {
            const uint32_t c = row.colour(x);
            line[x] = !row.andBit(x) || (c != 0 && invertingAsColor) ? 0xFF000000u | c : 0;
        }
    }
    return out;
}

QImage Icon::toImage() const { return composed(true); }

// The colour of each pixel whose mask is set and whose colour is not black:
// those pixels invert the background. Null when there is none.
QImage Icon::invertingPixels() const
{
    if (isNull() || m_image.hasAlpha)
        return {};
    const int w = width(), h = height();
    QImage out;
    for (int y = 0; y < h; ++y) {
        const PixelRow row = pixelRow(y);
        for (int x = 0; x < w; ++x) {
            const uint32_t c = row.colour(x);
            if (c == 0 || !row.andBit(x))
                continue;
            if (out.isNull()) {
                out = newImage(w, h, QImage::Format_RGB32);
                out.fill(0);
            }
            reinterpret_cast<uint32_t*>(out.scanLine(y))[x] = c;
        }
    }
    return out;
}

void Icon::draw(QPainter& painter, int x, int y) const { draw(painter, x, y, width(), height()); }

void Icon::draw(QPainter& painter, int x, int y, int w, int h) const
{
    if (isNull() || w <= 0 || h <= 0)
        return;
    const QRect target(x, y, w, h);
    const QPaintEngine* engine = painter.paintEngine();
    const QImage inverting = engine && engine->type() == QPaintEngine::Raster ? invertingPixels() : QImage();
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_image.hasAlpha);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(target, composed(inverting.isNull()));
    if (!inverting.isNull()) {
        // XOR only where the icon inverts: elsewhere it would also make the
        // destination opaque.
        QRegion region;
        const int iw = width(), ih = height();
        for (int sy = 0; sy < ih; ++sy) {
            const auto* line = reinterpret_cast<const uint32_t*>(inverting.constScanLine(sy));
            const int top = y + static_cast<int>(int64_t {sy} * h / ih);
            const int bottom = y + static_cast<int>(int64_t {sy + 1} * h / ih);
            for (int sx = 0; sx < iw;) {
                if (line[sx] == 0) {
                    ++sx;
                    continue;
                }
                const int start = sx;
                while (sx < iw && line[sx] != 0)
                    ++sx;
                const int left = x + static_cast<int>(int64_t {start} * w / iw);
                const int right = x + static_cast<int>(int64_t {sx} * w / iw);
                if (right > left && bottom > top)
                    region += QRect(left, top, right - left, bottom - top);
            }
        }
        painter.setClipRegion(region, Qt::IntersectClip);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.drawImage(target, inverting);
    }
    painter.restore();
}

}  // namespace platform
