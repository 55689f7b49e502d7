// One icon to a one-image .ico file, and the colour-depth class.
#include "kxCommon/kxIconUtils.h"

#include "HangGuard.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QImage filled(int w, int h, QRgb colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(w, h, format);
    image.fill(colour);
    return image;
}

QImage maskOf(int w, int h, bool transparent = false)
{
    QImage mask(w, h, QImage::Format_Mono);
    mask.fill(transparent ? 1 : 0);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return mask;
}

IconBitmaps iconOf(const QImage& colour)
{
    return IconBitmaps {colour, maskOf(colour.width(), colour.height())};
}

uint32_t at32(const QByteArray& b, int at)
{
    return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8)
        | (static_cast<uint8_t>(b[at + 2]) << 16)
        | (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}
int at16(const QByteArray& b, int at)
{
    return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8);
}

QByteArray encode(const IconBitmaps& icon)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    SaveIconToStream(buffer, &icon);
    return bytes;
}

}  // namespace

TEST(ClassifyIconColours, Classes)
{
    QImage bw = filled(8, 8, qRgb(0, 0, 0));
    bw.setPixel(3, 3, qRgb(255, 255, 255));
    QImage vga = bw.copy();
    vga.setPixel(1, 1, qRgb(255, 0, 0));
    QImage withStatic = vga.copy();
    withStatic.setPixel(2, 2, qRgb(192, 220, 192));
    QImage alphaLate = withStatic.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            alphaLate.setPixel(x, y, alphaLate.pixel(x, y) & 0x00FFFFFF);
    alphaLate.setPixel(7, 0, qRgba(10, 20, 30, 1));  // the top row is walked last

    auto distinct = [](int count) {
        QImage image(count, 1, QImage::Format_RGB32);
        for (int i = 0; i < count; ++i)
            image.setPixel(i, 0, qRgb(1, 3, i + 10));
        return image;
    };
    const struct {
        const char* what;
        QImage image;
        TBitCount expected;
    } cases[] = {
        {"black and white", bw, bit1},
        {"a VGA colour", vga, bit4},
        {"a static colour", withStatic, bit8},
        {"alpha after other colours", alphaLate, bit32},
        {"236 free colours", distinct(236), bit8},
        {"237 free colours", distinct(237), bit24},
        {"nothing to examine", QImage(), bit4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ClassifyIconColours(c.image), c.expected);
    }
}

TEST(SaveIconToFile, LayoutOfTheWorkedExamples)
{
    // 16 x 16 of black, white and red: a 4-bit image, 318 bytes.
    QImage image = filled(16, 16, qRgb(0, 0, 0));
    image.setPixel(1, 0, qRgb(255, 255, 255));
    image.setPixel(2, 0, qRgb(255, 0, 0));
    QByteArray file = encode(iconOf(image));
    ASSERT_EQ(file.size(), 318);
    EXPECT_EQ(file.left(6), QByteArray("\0\0\1\0\1\0", 6));
    EXPECT_EQ(QByteArray(file.mid(6, 4)), QByteArray("\x10\x10\x10\0", 4));
    EXPECT_EQ(at16(file, 10), 1);
    EXPECT_EQ(at16(file, 12), 4);
    EXPECT_EQ(at32(file, 14), 296u);
    EXPECT_EQ(at32(file, 18), 22u);
    EXPECT_EQ(at32(file, 22 + 8), 32u);    // header height: colour and mask
    EXPECT_EQ(at32(file, 22 + 20), 128u);  // image size field: the colour bits
    EXPECT_EQ(at32(file, 22 + 32), 16u);

    // 32 x 32 black and white: 1 bit, header block 48, 128 + 128 bytes of bits.
    QImage bw = filled(32, 32, qRgb(255, 255, 255));
    bw.setPixel(0, 0, qRgb(0, 0, 0));
    file = encode(iconOf(bw));
    EXPECT_EQ(file.size(), 22 + 48 + 128 + 128);
    EXPECT_EQ(at16(file, 12), 1);
    EXPECT_EQ(static_cast<uint8_t>(file[8]), 2);

    // 256 x 256 at 32 bits: width and height bytes 0, header height 512.
    QImage big = filled(256, 256, qRgba(1, 2, 3, 200), QImage::Format_ARGB32);
    file = encode(iconOf(big));
    EXPECT_EQ(static_cast<uint8_t>(file[6]), 0);
    EXPECT_EQ(static_cast<uint8_t>(file[7]), 0);
    EXPECT_EQ(at16(file, 12), 32);
    EXPECT_EQ(at32(file, 22 + 8), 512u);
    EXPECT_EQ(file.size(), 22 + 40 + 256 * 256 * 4 + 32 * 256);

    // Above 255 a byte cannot say the size: 0, never the low 8 bits.
    file = encode(iconOf(filled(194, 313, qRgba(1, 2, 3, 200), QImage::Format_ARGB32)));
    EXPECT_EQ(static_cast<uint8_t>(file[6]), 194);
    EXPECT_EQ(static_cast<uint8_t>(file[7]), 0);
    EXPECT_EQ(at32(file, 22 + 4), 194u);
    EXPECT_EQ(at32(file, 22 + 8), 626u);
}

TEST(SaveIconToFile, MonochromeIconsSplitTheirMask)
{
    // No colour bitmap: AND mask above, XOR bits below, 32 x 64.
    QImage mask(32, 64, QImage::Format_Mono);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mask.fill(0);
    for (int x = 0; x < 32; ++x)
        mask.setPixel(x, 40, 1);
    const IconBitmaps mono {std::nullopt, mask};
    EXPECT_EQ(GetIconDimensions(&mono), QPoint(32, 32));
    const QByteArray file = encode(mono);
    ASSERT_EQ(file.size(), 22 + 48 + 128 + 128);
    EXPECT_EQ(static_cast<uint8_t>(file[6]), 32);
    EXPECT_EQ(static_cast<uint8_t>(file[7]), 32);
    EXPECT_EQ(at16(file, 12), 1);
    // Row 40 of the mask is row 8 of the XOR half, stored bottom-up as row 23.
    EXPECT_EQ(at32(file, 22 + 48 + 23 * 4), 0xFFFFFFFFu);
    EXPECT_EQ(at32(file, 22 + 48 + 22 * 4), 0u);
}

TEST(SaveIconToFile, FailuresAndFileAndStreamAgree)
{
    QTemporaryDir dir;
    const IconBitmaps icon = iconOf(filled(16, 16, qRgb(12, 34, 56)));
    EXPECT_EQ(SaveIconToFile(dir.filePath("a.i").right(3), &icon), iwBadFileName);
    EXPECT_EQ(SaveIconToFile(dir.filePath("x.ico"), nullptr), iwNoIconInfo);
    const IconBitmaps none {std::nullopt, std::nullopt};
    EXPECT_EQ(SaveIconToFile(dir.filePath("x.ico"), &none), iwNoBitmap);
    const IconBitmaps empty {QImage(), maskOf(16, 16)};
    EXPECT_EQ(SaveIconToFile(dir.filePath("x.ico"), &empty), iwBitsUnreadable);
    EXPECT_EQ(SaveIconToFile(dir.filePath("no/such/x.ico"), &icon), iwNotCreated);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    const int size = SaveIconToFile(dir.filePath("x.ico"), &icon);
    QFile f(dir.filePath("x.ico"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray written = f.readAll();
    EXPECT_EQ(size, written.size());
    EXPECT_EQ(encode(icon), written);
    EXPECT_EQ(encode(none), QByteArray());
}

// Every colour survives: the 8-bit palette is this bitmap's own, and real
// readers decode what we write to the colours we were given.
TEST(SaveIconToFile, RealReadersSeeTheColours)
{
    QTemporaryDir dir;
    QImage image(15, 15, QImage::Format_RGB32);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x)
            image.setPixel(x, y, qRgb(x * 16 + 1, y * 16 + 2, 77));  // 225 free colours: 8 bits
    QImage alpha = image.convertToFormat(QImage::Format_ARGB32);
    alpha.setPixel(0, 0, qRgba(9, 8, 7, 128));
    QImage rgb(20, 20, QImage::Format_RGB32);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            rgb.setPixel(x, y, qRgb(x * 12, y * 12, (x * y) % 256));  // 400 colours: 24 bits
    const struct {
        const char* name;
        QImage image;
        int bits;
    } cases[] = {{"eight.ico", image, 8}, {"alpha.ico", alpha, 32}, {"rgb.ico", rgb, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        const IconBitmaps icon = iconOf(c.image);
        ASSERT_GT(SaveIconToFile(path, &icon), 0);
        QProcess icotool;
        icotool.start("icotool", {"-l", path});
        icotool.waitForFinished(kHangGuard);
        EXPECT_EQ(icotool.exitCode(), 0);
        const QString listing = icotool.readAllStandardOutput();
        EXPECT_TRUE(listing.contains(QString("--bit-depth=%1").arg(c.bits))) << listing.toStdString();

        QImage back(path, "ICO");
        ASSERT_FALSE(back.isNull());
        back = back.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < c.image.height(); ++y)
            for (int x = 0; x < c.image.width(); ++x) {
                const QRgb want = c.image.pixel(x, y);
                const QRgb got = back.pixel(x, y);
                if (c.bits == 32) {
                    ASSERT_EQ(qAlpha(got), qAlpha(want)) << x << "," << y;
                }
                if (qAlpha(want) == 255 || c.bits != 32) {
                    ASSERT_EQ(got & 0xFFFFFF, want & 0xFFFFFF) << x << "," << y;
                }
            }
    }
}
