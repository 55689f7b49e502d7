#include "platform/Bitmap.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace platform;

namespace {

const PixelFormat kAll[] = {PixelFormat::Device, PixelFormat::Bits1,  PixelFormat::Bits4,
                            PixelFormat::Bits8,  PixelFormat::Bits24, PixelFormat::Bits32};

}  // namespace

TEST(Bitmap, NewPixelsAreWhiteInEveryFormat)
{
    for (PixelFormat format : kAll) {
        Bitmap bmp(3, 2, format);
        EXPECT_EQ(bmp.pixelFormat(), format);
        EXPECT_EQ(bmp.image().format(), Bitmap::imageFormat(format));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(bmp.image().pixel(x, y), qRgb(255, 255, 255)) << int(format);
    }
    EXPECT_EQ(Bitmap(1, 1, PixelFormat::Bits1).image().colorCount(), 2);
    EXPECT_EQ(Bitmap(1, 1, PixelFormat::Bits4).image().colorCount(), 16);
    EXPECT_EQ(Bitmap(1, 1, PixelFormat::Bits8).image().colorCount(), 256);
    const QList<QRgb> eight = Bitmap::standardPalette(PixelFormat::Bits8);
    EXPECT_EQ(QSet<QRgb>(eight.begin(), eight.end()).size(), 256);
}

TEST(Bitmap, ResizingKeepsThePixelsThatStay)
{
    for (PixelFormat format : {PixelFormat::Bits4, PixelFormat::Bits24, PixelFormat::Bits32}) {
        Bitmap bmp(4, 4, format);
        BitmapPainter(bmp).fillRect(0, 0, 4, 4, QColor(0, 0, 0));
        bmp.setSize(6, 3);
        EXPECT_EQ(bmp.width(), 6);
        EXPECT_EQ(bmp.height(), 3);
        EXPECT_EQ(bmp.image().pixel(3, 2), qRgb(0, 0, 0)) << int(format);
        EXPECT_EQ(bmp.image().pixel(4, 0), qRgb(255, 255, 255)) << int(format);
        bmp.setWidth(0);
        EXPECT_TRUE(bmp.isEmpty());
        EXPECT_EQ(bmp.pixelFormat(), format);
    }
}

TEST(Bitmap, FormatChangesConvertThePixels)
{
    Bitmap bmp(2, 1, PixelFormat::Bits24);
    bmp.image().setPixel(0, 0, qRgb(250, 5, 5));
    bmp.image().setPixel(1, 0, qRgb(200, 200, 200));
    const uchar* bytes = bmp.image().constScanLine(0);
    EXPECT_EQ(bytes[0], 5);  // blue, green, red in memory
    EXPECT_EQ(bytes[2], 250);

    Bitmap four = bmp;
    four.setPixelFormat(PixelFormat::Bits4);
    EXPECT_EQ(four.image().pixelIndex(0, 0), 9);  // red of the standard 16
    EXPECT_EQ(four.image().pixelIndex(1, 0), 7);  // silver
    Bitmap one = bmp;
    one.setPixelFormat(PixelFormat::Bits1);
    EXPECT_EQ(one.image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(one.image().pixel(1, 0), qRgb(255, 255, 255));
    Bitmap device = four;
    device.setPixelFormat(PixelFormat::Device);
    EXPECT_EQ(device.image().format(), QImage::Format_RGB32);
    EXPECT_EQ(device.image().pixel(0, 0), qRgb(255, 0, 0));

    device.clear();
    EXPECT_TRUE(device.isEmpty());
    EXPECT_EQ(device.pixelFormat(), PixelFormat::Device);
    Bitmap empty;
    empty.setPixelFormat(PixelFormat::Bits24);  // before sizing, as callers do
    empty.setSize(2, 2);
    EXPECT_EQ(empty.image().format(), QImage::Format_BGR888);
}

TEST(Bitmap, IndexedPicturesKeepAFittingPalette)
{
    QImage source(2, 2, QImage::Format_Indexed8);
    source.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9)});
    source.fill(2);
    const Bitmap kept = Bitmap::fromImage(source, PixelFormat::Bits4);
    EXPECT_EQ(kept.image().colorTable(), source.colorTable());
    EXPECT_EQ(kept.image().pixelIndex(1, 1), 2);
    const Bitmap mapped = Bitmap::fromImage(source, PixelFormat::Bits1);
    EXPECT_EQ(mapped.image().colorTable(), Bitmap::standardPalette(PixelFormat::Bits1));
    EXPECT_EQ(mapped.image().pixelIndex(0, 0), 0);
}

TEST(Bitmap, PainterServesIndexedFormats)
{
    Bitmap bmp(4, 4, PixelFormat::Bits4);
    {
        BitmapPainter painter(bmp);
        ASSERT_TRUE(painter.isActive());
        painter.fillRect(0, 0, 2, 4, QColor(0, 0, 255));
    }
    EXPECT_EQ(bmp.image().format(), QImage::Format_Indexed8);
    EXPECT_EQ(bmp.image().colorCount(), 16);
    EXPECT_EQ(bmp.image().pixelIndex(1, 3), 12);  // blue
    EXPECT_EQ(bmp.image().pixelIndex(2, 0), 15);  // white
    Bitmap empty;
    BitmapPainter idle(empty);
    EXPECT_FALSE(idle.isActive());
}
