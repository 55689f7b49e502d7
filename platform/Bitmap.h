#pragma once
// The toolkit bitmap: a QImage that keeps the toolkit's pixel format beside
// it. QImage has no 4-bit format, and the formats differ in what writers
// emit, so the declared format is the one that counts:
//   Device   QImage::Format_RGB32 (what the screen holds; no alpha)
//   Bits1    Format_Indexed8 with 2 colours (black, white)
//   Bits4    Format_Indexed8 with up to 16 colours (standard 16 by default)
//   Bits8    Format_Indexed8 with up to 256 colours (colour cube and greys by default)
//   Bits24   Format_BGR888 (bytes blue, green, red, as in a DIB)
//   Bits32   Format_ARGB32 (alpha kept)
// Pixels a bitmap gains when it is sized are opaque white.

#include <QImage>
#include <QList>
#include <QPainter>

namespace platform {

enum class PixelFormat { Device, Bits1, Bits4, Bits8, Bits24, Bits32 };

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height, PixelFormat format = PixelFormat::Device);
    // Takes a picture over in the given format; indexed pictures keep their
    // colour table when it fits the format.
    static Bitmap fromImage(const QImage& image, PixelFormat format);

    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    bool isEmpty() const { return image_.isNull(); }
    void setSize(int width, int height);  // keeps the pixels that stay inside
    void setWidth(int width) { setSize(width, height()); }
    void setHeight(int height) { setSize(width(), height); }

    PixelFormat pixelFormat() const { return format_; }
    // Converts the pixels held (to the nearest palette colour for indexed formats).
    void setPixelFormat(PixelFormat format);
    // Back to an empty device bitmap.
    void clear();

    // Bits per pixel of the declared format; the device format counts as 32.
    int bitsPerPixel() const { return bitsPerPixel(format_); }
    static int bitsPerPixel(PixelFormat format);

    const QImage& image() const { return image_; }
    // Direct pixel access. Paint through BitmapPainter, which also serves
    // the indexed formats QPainter cannot paint on.
    QImage& image() { return image_; }

    static QImage::Format imageFormat(PixelFormat format);
    static QList<QRgb> standardPalette(PixelFormat format);

private:
    QImage image_;
    PixelFormat format_ = PixelFormat::Device;
};

// A painter on a bitmap. Indexed bitmaps are painted in full colour and
// mapped back to their palette when the painter goes.
class BitmapPainter : public QPainter {
public:
    explicit BitmapPainter(Bitmap& bitmap);
    ~BitmapPainter();
    BitmapPainter(const BitmapPainter&) = delete;
    BitmapPainter& operator=(const BitmapPainter&) = delete;

private:
    Bitmap& bitmap_;
    QImage work_;
    bool indexed_ = false;
};

}  // namespace platform
