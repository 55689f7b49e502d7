#pragma once
// An icon loaded at one size: what the program keeps of each icon it shows.
// A value type; copies share their pixels and moving is free. A
// default-constructed icon is the null icon (no image).

#include "platform/IconImage.h"

#include <QImage>

class QPainter;

namespace platform {

class Icon {
public:
    Icon() = default;
    // The image at its own size, or scaled to width x height: masks and
    // images without alpha pixel by pixel, alpha images smoothly.
    explicit Icon(IconImage image);
    Icon(IconImage image, int width, int height);
    // An icon from a picture with alpha (the file-type icons): 32 bits.
    static Icon fromImage(const QImage& image);

    bool isNull() const { return m_image.mask.isNull(); }
    explicit operator bool() const { return !isNull(); }

    int width() const { return isNull() ? 0 : m_image.width(); }
    int height() const { return isNull() ? 0 : m_image.height(); }
    // Bits per pixel of the image the icon was made from (PNG counts as 32).
    int bitDepth() const { return m_image.bits; }
    bool hasAlpha() const { return m_image.hasAlpha; }
    // No colour bitmap: the mask carries the AND bits over the XOR bits.
    bool isMonochrome() const { return m_image.isMonochrome(); }

    // The colour bitmap: Format_ARGB32, top-down, one 32-bit word per pixel
    // (blue in the low byte, then green, red, alpha). Alpha is 0 throughout
    // for icons without alpha. Null for a monochrome icon.
    const QImage& colorBitmap() const { return m_image.color; }
    // The AND mask: Format_Mono (most significant bit first, rows padded to
    // 32 bits), top-down, bit 1 = the background shows through. A monochrome
    // icon's mask is twice as high: the AND bits, then the XOR bits.
    const QImage& maskBitmap() const { return m_image.mask; }

    // The icon's pixels as Format_ARGB32_Premultiplied: alpha icons by their
    // alpha; others opaque where the mask is clear and transparent where it
    // is set. Pixels that would invert the background are given as drawn on
    // black. Null for the null icon.
    QImage toImage() const;

    // Draws as the mask and then the colour bits would, at the icon's size
    // or stretched to w x h. Alpha icons are blended; on raster devices the
    // inverting pixels of other icons invert what is below them.
    void draw(QPainter& painter, int x, int y) const;
    void draw(QPainter& painter, int x, int y, int w, int h) const;

    void reset() { *this = Icon(); }

private:
    QImage composed(bool invertingAsColor) const;
    QImage invertingPixels() const;
    // One row of pixels: its AND bits, and its XOR bits or colour words.
    struct PixelRow {
        const uchar* andBits;
        const uchar* xorBits;   // monochrome icons
        const uint32_t* words;  // the others
        static bool bit(const uchar* bits, int x) { return (bits[x / 8] >> (7 - x % 8)) & 1; }
        bool andBit(int x) const { return bit(andBits, x); }
        uint32_t colour(int x) const
        {
            return xorBits ? (bit(xorBits, x) ? 0xFFFFFFu : 0) : words[x] & 0xFFFFFFu;
        }
    };
    PixelRow pixelRow(int y) const;

    IconImage m_image;
};

}  // namespace platform
