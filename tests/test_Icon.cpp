#include "platform/Icon.h"

#include "IcoBuilder.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace platform;
using namespace fixture;

namespace {

IconImage decoded(const IcoImage& image)
{
    auto d = decodeIconImage(image.data);
    if (!d)
        throw std::runtime_error("fixture image does not decode");
    return *d;
}

bool maskBit(const QImage& mono, int x, int y) { return (mono.constScanLine(y)[x / 8] >> (7 - x % 8)) & 1; }

uint32_t word(const QImage& image, int x, int y)
{
    return reinterpret_cast<const uint32_t*>(image.constScanLine(y))[x];
}

// A 4 x 1 icon without alpha: opaque red, transparent, inverting blue,
// opaque black.
Icon fourPixelIcon()
{
    IconImage image;
    image.bits = 24;
    image.color = QImage(4, 1, QImage::Format_ARGB32);
    auto* c = reinterpret_cast<uint32_t*>(image.color.scanLine(0));
    c[0] = 0xFF0000;
    c[1] = 0;
    c[2] = 0x0000FF;
    c[3] = 0;
    image.mask = QImage(4, 1, QImage::Format_Mono);
    image.mask.setColorTable({0xFF000000u, 0xFFFFFFFFu});
    image.mask.scanLine(0)[0] = 0x60;  // pixels 1 and 2 keep the background
    return Icon(image);
}

}  // namespace

TEST(Icon, NullIcon)
{
    Icon icon;
    EXPECT_TRUE(icon.isNull());
    EXPECT_FALSE(icon);
    EXPECT_EQ(icon.width(), 0);
    EXPECT_TRUE(icon.toImage().isNull());
    QImage canvas(8, 8, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(0xFF336699);
    QPainter p(&canvas);
    icon.draw(p, 0, 0);
    p.end();
    EXPECT_EQ(canvas.pixel(3, 3), 0xFF336699u);
}

TEST(Icon, ScalesWithNearestPixelsOrSmoothlyForAlpha)
{
    const Icon down(decoded(dibImage(48, 48, 8, 3)), 32, 32);
    ASSERT_EQ(down.width(), 32);
    ASSERT_EQ(down.height(), 32);
    EXPECT_EQ(down.bitDepth(), 8);
    EXPECT_EQ(down.colorBitmap().size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int sx = x * 48 / 32, sy = y * 48 / 32;
            ASSERT_EQ(word(down.colorBitmap(), x, y), patternColor(sx, sy, 8, 3) & 0xFFFFFFu);
            ASSERT_EQ(maskBit(down.maskBitmap(), x, y), (sx + 2 * sy) % 7 == 0);
        }

    const Icon up(decoded(pngImage(16, 16, 2)), 32, 32);
    EXPECT_EQ(up.width(), 32);
    EXPECT_TRUE(up.hasAlpha());
    EXPECT_EQ(up.colorBitmap().format(), QImage::Format_ARGB32);
}

TEST(Icon, MonochromeIconHasNoColourBitmap)
{
    IcoImage dib = dibImage(16, 16, 1, 0);
    put32(dib.data, 40, 0);
    put32(dib.data, 44, 0xFFFFFF);
    const Icon icon(decoded(dib), 32, 32);
    EXPECT_TRUE(icon.isMonochrome());
    EXPECT_TRUE(icon.colorBitmap().isNull());
    EXPECT_EQ(icon.maskBitmap().size(), QSize(32, 64));
    EXPECT_EQ(icon.width(), 32);
    EXPECT_EQ(icon.height(), 32);
    const QImage pixels = icon.toImage();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool andBit = ((x / 2) + 2 * (y / 2)) % 7 == 0;
            const bool white = ((x / 2) + (y / 2) * 3) % 2 != 0;
            const uint32_t expected
                = !andBit ? (white ? 0xFFFFFFFFu : 0xFF000000u) : (white ? 0xFFFFFFFFu : 0u);
            ASSERT_EQ(word(pixels, x, y), expected) << x << "," << y;
        }
}

TEST(Icon, ComposesAndDrawsMaskThenColour)
{
    const Icon icon = fourPixelIcon();
    const QImage pixels = icon.toImage();
    EXPECT_EQ(pixels.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(word(pixels, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(word(pixels, 1, 0), 0u);           // background shows through
    EXPECT_EQ(word(pixels, 2, 0), 0xFF0000FFu);  // inverting, as on black
    EXPECT_EQ(word(pixels, 3, 0), 0xFF000000u);

    QImage canvas(4, 1, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(0xFF808000);
    QPainter p(&canvas);
    icon.draw(p, 0, 0);
    p.end();
    EXPECT_EQ(canvas.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(canvas.pixel(1, 0), 0xFF808000u);
    EXPECT_EQ(canvas.pixel(2, 0), 0xFF8080FFu);  // background XOR blue
    EXPECT_EQ(canvas.pixel(3, 0), 0xFF000000u);

    // Stretched: every source pixel covers two target pixels.
    QImage wide(8, 2, QImage::Format_ARGB32_Premultiplied);
    wide.fill(0xFFFFFFFF);
    QPainter q(&wide);
    icon.draw(q, 0, 0, 8, 2);
    q.end();
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(wide.pixel(1, y), 0xFFFF0000u);
        EXPECT_EQ(wide.pixel(3, y), 0xFFFFFFFFu);
        EXPECT_EQ(wide.pixel(4, y), 0xFFFFFF00u);
        EXPECT_EQ(wide.pixel(5, y), 0xFFFFFF00u);
        EXPECT_EQ(wide.pixel(7, y), 0xFF000000u);
    }
}

TEST(Icon, AlphaIconsBlendAndIgnoreTheMask)
{
    const Icon icon(decoded(dibImage(32, 32, 32, 1)));
    ASSERT_TRUE(icon.hasAlpha());
    QImage canvas(32, 32, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(0xFFFFFFFF);
    QPainter p(&canvas);
    icon.draw(p, 0, 0);
    p.end();
    const QImage pixels = icon.toImage();
    for (int y = 0; y < 32; y += 5)
        for (int x = 0; x < 32; x += 3) {
            const uint32_t c = patternColor(x, y, 32, 1);
            const int a = static_cast<int>(c >> 24);
            const int red = static_cast<int>((c >> 16) & 0xFF);
            EXPECT_NEAR(qAlpha(word(pixels, x, y)), a, 0);
            EXPECT_NEAR(qRed(canvas.pixel(x, y)), (red * a + 255 * (255 - a)) / 255, 2) << x << "," << y;
        }
}
