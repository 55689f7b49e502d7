#include "kxCommon/kxGraphicUtils.h"

#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/ImageMemory.h"
#include "platform/MulDiv.h"
#include "platform/PictureFormats.h"
#include "platform/Printer.h"
#include "platform/Screen.h"

#include <QIODevice>

#include <stdexcept>

using platform::Bitmap;
using platform::Color;
using platform::PixelFormat;

uint8_t grayLevel(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<uint8_t>((77u * red + 151u * green + 28u * blue) >> 8);
}

void CheckGridPictureSize(int Count, int64_t Width, int64_t Height, const QString& Action)
{
    if (Width > kMaxPictureSide || Height > kMaxPictureSide)
        throw platform::Error(QStringLiteral("A picture of all %1 icons would be %2 x %3 pixels, larger than "
                                             "%4 pixels on a side; it is not %5.")
                                  .arg(Count)
                                  .arg(Width)
                                  .arg(Height)
                                  .arg(kMaxPictureSide)
                                  .arg(Action));
}

void GrayscaleBitmap(Bitmap& Bitmap)
{
    if (Bitmap.pixelFormat() != PixelFormat::Bits24 || Bitmap.isEmpty())
        return;
    QImage& image = Bitmap.image();
    for (int y = 0; y < image.height(); ++y) {
        uchar* p = image.scanLine(y);  // blue, green, red
        for (int x = 0; x < image.width(); ++x, p += 3) {
            const uint8_t v = grayLevel(p[2], p[1], p[0]);
            p[0] = p[1] = p[2] = v;
        }
    }
}

namespace {

template <typename Shade> Color shadeChannels(Color color, Shade shade)
{
    const Color c = platform::colorToRgb(color);
    return platform::rgb(shade(platform::redOf(c)), shade(platform::greenOf(c)), shade(platform::blueOf(c)));
}

}  // namespace

Color DarkenColor(Color Value, uint8_t Amount)
{
    return shadeChannels(Value, [Amount](int c) -> uint8_t {
        if (c <= Amount)
            return 0;
        const int v = c - Amount - c / 100;
        return static_cast<uint8_t>(v < 0 ? 0 : v);
    });
}

Color LightenColor(Color Value, uint8_t Amount)
{
    return shadeChannels(Value, [Amount](int c) -> uint8_t {
        return c < 255 - Amount ? static_cast<uint8_t>(c + Amount) : 255;
    });
}

QByteArray encodeBitmap(const Bitmap& Bitmap, int Format)
{
    switch (Format) {
    case kImageFormatJpeg: return platform::encodeJpeg(Bitmap);
    case kImageFormatEmf: return platform::encodeEmf(Bitmap);
    case kImageFormatGif: return platform::encodeGif(Bitmap);
    case kImageFormatPng: return platform::encodePng(Bitmap);
    default: return platform::encodeBmp(Bitmap);
    }
}

void SaveBitmapToFile(const Bitmap& Bitmap, const QString& FileName, int Format)
{
    platform::replaceWholeFile(FileName, encodeBitmap(Bitmap, Format));
}

void SaveBitmapToStream(const Bitmap& Bitmap, QIODevice& Stream, int Format)
{
    const QByteArray bytes = encodeBitmap(Bitmap, Format);
    if (Stream.write(bytes) != bytes.size())
        throw std::runtime_error(
            QStringLiteral("Stream write error. %1").arg(Stream.errorString()).toStdString());
}

int GetScreenBitsPerPixel() { return platform::screenBitsPerPixel(); }

QSize printTargetSize(int width, int height, int Mode, const PrintMetrics& m)
{
    using platform::mulDiv;
    if (width <= 0 || height <= 0)
        return {};
    switch (Mode) {
    case kPrintActualSize:
        return {mulDiv(width, m.printerPixelsPerInchX, m.screenPixelsPerInch),
                mulDiv(height, m.printerPixelsPerInchY, m.screenPixelsPerInch)};
    case kPrintFitPage: {
        const int w = mulDiv(width, m.pageHeight, height);
        if (w < m.pageWidth)
            return {w, m.pageHeight};
        return {m.pageWidth, mulDiv(height, m.pageWidth, width)};
    }
    default: return {width, height};
    }
}

void PrintBitmap(const Bitmap& Bitmap, int Mode, platform::Printer& Printer)
{
    if (Bitmap.isEmpty())
        return;
    PrintMetrics metrics;
    metrics.printerPixelsPerInchX = Printer.pixelsPerInchX();
    metrics.printerPixelsPerInchY = Printer.pixelsPerInchY();
    metrics.screenPixelsPerInch = platform::screenPixelsPerInch();
    metrics.pageWidth = Printer.pageWidth();
    metrics.pageHeight = Printer.pageHeight();
    const QSize target = printTargetSize(Bitmap.width(), Bitmap.height(), Mode, metrics);
    if (target.isEmpty())
        return;
    if (!Printer.printing())
        throw std::runtime_error("Printer is not currently printing");
    // A straight copy of the pixels: alpha is not blended, as a raster copy ignores it.
    QImage pixels = Bitmap.image();
    if (pixels.hasAlphaChannel())
        pixels = platform::converted(pixels, QImage::Format_RGB32);
    QPainter& canvas = Printer.canvas();
    canvas.save();
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(QRect(QPoint(0, 0), target), pixels, pixels.rect());
    canvas.restore();
}
