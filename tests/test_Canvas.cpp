#include "platform/Canvas.h"

#include "platform/Icon.h"

#include "TestApplication.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace platform;

namespace {

QImage whiteImage(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

}  // namespace

TEST(Canvas, FillRectLeavesRightAndBottomEdges)
{
    QImage image = whiteImage(5, 5);
    {
        QPainter painter(&image);
        Canvas canvas(painter);
        canvas.brush().color = Qt::red;
        canvas.fillRect({1, 1, 3, 3});
        canvas.fillRect({4, 4, 4, 5});  // empty
        canvas.brush().style = BrushStyle::Clear;
        canvas.fillRect({0, 0, 5, 5});
    }
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
            EXPECT_EQ(at(image, x, y), inside ? 0xFF0000u : 0xFFFFFFu) << x << "," << y;
        }
}

TEST(Canvas, FocusRectInvertsEveryOtherFramePixel)
{
    QImage image = whiteImage(7, 6);
    image.setPixel(2, 2, qRgb(0, 128, 0));
    const QImage before = image;
    {
        QPainter painter(&image);
        Canvas canvas(painter);
        canvas.drawFocusRect({0, 0, 6, 5});
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool frame = x < 6 && y < 5 && (x == 0 || x == 5 || y == 0 || y == 4);
            const QRgb expected = frame && (x + y) % 2 == 0 ? 0x000000u : at(before, x, y);
            EXPECT_EQ(at(image, x, y), expected) << x << "," << y;
        }
    {
        QPainter painter(&image);
        Canvas canvas(painter);
        canvas.drawFocusRect({0, 0, 6, 5});
        canvas.drawFocusRect({3, 3, 3, 4});  // empty
    }
    EXPECT_EQ(image, before);

    // A one-pixel-high frame inverts each pixel once.
    QImage line = whiteImage(4, 1);
    {
        QPainter painter(&line);
        Canvas canvas(painter);
        canvas.drawFocusRect({0, 0, 4, 1});
    }
    EXPECT_EQ(at(line, 0, 0), 0u);
    EXPECT_EQ(at(line, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(at(line, 2, 0), 0u);
}

TEST(Canvas, TextMeasuresAndPaintsInItsBox)
{
    TestApplication();

    QImage image = whiteImage(200, 60);
    int width = 0;
    int height = 0;
    {
        QPainter painter(&image);
        Canvas canvas(painter);
        canvas.font().setPixelSize(20);
        canvas.font().setBold(true);
        canvas.fontColor() = QColor(192, 192, 192);
        width = canvas.textWidth(QStringLiteral("Icons"));
        height = canvas.textHeight(QStringLiteral("Icons"));
        EXPECT_GT(canvas.textWidth(QStringLiteral("Icons and more")), width);
        canvas.textOut(10, 10, QStringLiteral("Icons"));
    }
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    bool painted = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (at(image, x, y) != 0xFFFFFFu) {
                painted = true;
                EXPECT_TRUE(x >= 9 && x <= 11 + width && y >= 10 && y < 10 + height) << x << "," << y;
            }
    EXPECT_TRUE(painted);
}

TEST(Canvas, DrawsAnIconAtItsSize)
{
    QImage pixels(2, 2, QImage::Format_ARGB32);
    pixels.fill(QColor(255, 0, 0));
    const Icon icon = Icon::fromImage(pixels);
    QImage image = whiteImage(6, 6);
    {
        QPainter painter(&image);
        Canvas canvas(painter);
        canvas.draw(3, 3, icon);
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 3 && x < 5 && y >= 3 && y < 5;
            EXPECT_EQ(at(image, x, y), inside ? 0xFF0000u : 0xFFFFFFu) << x << "," << y;
        }
}
