#include "platform/OctreeQuantizer.h"

#include <QSet>

#include <gtest/gtest.h>

using platform::quantizeOctree;

namespace {

QImage noise(int w, int h, uint32_t seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y, 0xFF000000u | (seed >> 8));
        }
    return image;
}

}  // namespace

TEST(OctreeQuantizer, KeepsUpTo256ColoursExactly)
{
    for (int colours : {1, 2, 255, 256}) {
        // The colours sit close together, so a lossy tree would merge them.
        QImage image(64, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const int i = (x + 64 * y) % colours;
                image.setPixel(x, y, qRgb(100 + (i & 7), 100 + ((i >> 3) & 7), 100 + (i >> 6)));
            }
        const auto q = quantizeOctree(image);
        EXPECT_TRUE(q.exact) << colours;
        ASSERT_EQ(q.palette.size(), colours);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(q.palette[q.indices[size_t(y * 64 + x)]], image.pixel(x, y)) << colours;
    }
}

TEST(OctreeQuantizer, ReducesManyColoursToTheLimit)
{
    for (int limit : {256, 16}) {
        const QImage image = noise(128, 128, 7);
        const auto q = quantizeOctree(image, limit);
        EXPECT_FALSE(q.exact);
        EXPECT_LE(q.palette.size(), limit);
        EXPECT_GE(q.palette.size(), limit * 3 / 4);
        EXPECT_EQ(QSet<QRgb>(q.palette.begin(), q.palette.end()).size(), q.palette.size());
        // Dithering keeps the mean colour.
        double mean[3] = {0, 0, 0};
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const QRgb got = q.palette[q.indices[size_t(y * 128 + x)]];
                const QRgb src = image.pixel(x, y);
                mean[0] += qRed(got) - qRed(src);
                mean[1] += qGreen(got) - qGreen(src);
                mean[2] += qBlue(got) - qBlue(src);
            }
        for (double m : mean)
            EXPECT_LT(std::abs(m) / (128 * 128), 1.5) << limit;
    }
}

TEST(OctreeQuantizer, IgnoresAlphaAndHandlesEmptyPictures)
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(10, 20, 30, 0));
    image.setPixel(1, 0, qRgba(10, 20, 30, 255));
    const auto q = quantizeOctree(image);
    ASSERT_EQ(q.palette.size(), 1);
    EXPECT_EQ(q.palette[0], qRgb(10, 20, 30));
    EXPECT_TRUE(quantizeOctree(QImage()).indices.empty());
}
