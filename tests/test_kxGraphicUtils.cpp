#include "kxCommon/kxGraphicUtils.h"

#include "platform/PictureFormats.h"
#include "platform/Printer.h"
#include "platform/Screen.h"

#include "TestApplication.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPalette>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>

#include "RunTool.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;

using fixture::runTool;
using fixture::ToolResult;

namespace {

void ensureApp() { TestApplication(); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

uint32_t le32(const QByteArray& b, qsizetype at)
{
    return uint8_t(b[at]) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16
        | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t le16(const QByteArray& b, qsizetype at)
{
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

QRgb patternRgb(int x, int y)
{
    return qRgb((x * 37 + y * 11) & 0xFF, (x * 5 + y * 67) & 0xFF, (x * y * 3 + 40) & 0xFF);
}

// A picture with distinct colours in every format: indexed formats get
// indices that cycle through their palette.
Bitmap pattern(PixelFormat format, int w, int h)
{
    Bitmap bmp(w, h, format);
    QImage& img = bmp.image();
    const int colours = img.colorCount();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (colours > 0)
                img.setPixel(x, y, uint((x + 3 * y) % colours));
            else if (format == PixelFormat::Bits32)
                img.setPixel(x, y, (patternRgb(x, y) & 0xFFFFFF) | (uint((x * 40 + y) & 0xFF) << 24));
            else
                img.setPixel(x, y, patternRgb(x, y));
        }
    return bmp;
}

// The colour a reader should show for pixel (x, y) of a bitmap.
QRgb expected(const Bitmap& bmp, int x, int y)
{
    const QRgb c = bmp.image().pixel(x, y);
    return bmp.pixelFormat() == PixelFormat::Bits32 ? c : (c | 0xFF000000u);
}

const char* formatName(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Device: return "Device";
    case PixelFormat::Bits1: return "Bits1";
    case PixelFormat::Bits4: return "Bits4";
    case PixelFormat::Bits8: return "Bits8";
    case PixelFormat::Bits24: return "Bits24";
    case PixelFormat::Bits32: return "Bits32";
    }
    return "Unknown";
}

QImage load(const QByteArray& bytes, const char* format)
{
    QImage image;
    image.loadFromData(bytes, format);
    return image;
}

}  // namespace

// ---- grey scale and colour shading -------------------------------------

TEST(GraphicUtils, GrayLevelWeightsRedGreenBlue)
{
    EXPECT_EQ(grayLevel(255, 0, 0), 76);
    EXPECT_EQ(grayLevel(0, 0, 255), 27);
    EXPECT_EQ(grayLevel(0, 255, 0), 150);
    EXPECT_EQ(grayLevel(255, 255, 255), 255);
    EXPECT_EQ(grayLevel(0, 0, 0), 0);
}

TEST(GraphicUtils, GrayscaleBitmapChangesOnly24BitBitmaps)
{
    Bitmap bmp(3, 2, PixelFormat::Bits24);
    bmp.image().setPixel(0, 0, qRgb(255, 0, 0));
    bmp.image().setPixel(1, 0, qRgb(0, 0, 255));
    bmp.image().setPixel(2, 0, qRgb(255, 255, 255));
    bmp.image().setPixel(0, 1, qRgb(10, 200, 90));
    GrayscaleBitmap(bmp);
    const uchar* row = bmp.image().constScanLine(0);
    const int want[] = {76, 27, 255};
    for (int x = 0; x < 3; ++x)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(row[3 * x + k], want[x]) << "pixel " << x << " byte " << k;
    EXPECT_EQ(bmp.image().pixel(0, 1), qRgb(130, 130, 130));  // (77*10+151*200+28*90)>>8

    for (PixelFormat format :
         {PixelFormat::Bits32, PixelFormat::Bits8, PixelFormat::Device, PixelFormat::Bits4}) {
        Bitmap other = pattern(format, 5, 4);
        const QImage before = other.image().copy();
        GrayscaleBitmap(other);
        EXPECT_EQ(other.image(), before) << int(format);
    }
    Bitmap empty(0, 0, PixelFormat::Bits24);
    GrayscaleBitmap(empty);
    EXPECT_TRUE(empty.isEmpty());
}

TEST(GraphicUtils, DarkenAndLightenEachChannel)
{
    struct Case {
        Color in;
        uint8_t amount;
        Color darker;
        Color lighter;
    };
    const Case cases[] = {
        {rgb(200, 100, 50), 40, rgb(158, 59, 10), rgb(240, 140, 90)},
        {rgb(200, 100, 50), 60, rgb(138, 39, 0), rgb(255, 160, 110)},
        {rgb(40, 39, 41), 40, rgb(0, 0, 1), rgb(80, 79, 81)},
        {rgb(200, 0, 0), 199, rgb(0, 0, 0), rgb(255, 199, 199)},
        {rgb(255, 255, 255), 0, rgb(253, 253, 253), rgb(255, 255, 255)},
        {rgb(0, 0, 0), 255, rgb(0, 0, 0), rgb(255, 255, 255)},
        {0x02336699u, 10, rgb(0x99 - 10 - 1, 0x66 - 10 - 1, 0x33 - 10), rgb(0x99 + 10, 0x66 + 10, 0x33 + 10)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DarkenColor(c.in, c.amount), c.darker) << std::hex << c.in << " " << int(c.amount);
        EXPECT_EQ(LightenColor(c.in, c.amount), c.lighter) << std::hex << c.in << " " << int(c.amount);
    }
}

TEST(GraphicUtils, ShadingResolvesSystemColours)
{
    ensureApp();
    const Color face = systemColor(SystemColor::ButtonFace);
    const QColor q = QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
    const Color resolved = rgb(uint8_t(q.red()), uint8_t(q.green()), uint8_t(q.blue()));
    EXPECT_EQ(colorToRgb(face), resolved);
    EXPECT_EQ(LightenColor(face, 0), resolved);  // 0 in the top byte
    EXPECT_EQ(DarkenColor(face, 255), 0u);
}

// ---- picture formats -------------------------------------------------------

TEST(SaveBitmap, FormatCodesChooseTheWriter)
{
    const Bitmap bmp = pattern(PixelFormat::Bits24, 8, 8);
    struct Case {
        int code;
        QByteArray magic;
        qsizetype at;
    };
    const Case cases[] = {
        {0, "BM", 0},    {1, "BM", 0},   {6, "BM", 0},
        {-1, "BM", 0},   {11, "BM", 0},  {2, "\xFF\xD8\xFF", 0},
        {3, " EMF", 40}, {4, "GIF8", 0}, {5, "\x89PNG\r\n\x1a\n", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(encodeBitmap(bmp, c.code).mid(c.at, c.magic.size()), c.magic) << c.code;
}

TEST(SaveBitmap, FileAndStreamHoldTheSameBytes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Bitmap bmp = pattern(PixelFormat::Device, 13, 7);
    for (int code : {1, 2, 3, 4, 5}) {
        const QString path = dir.filePath(QString("pic%1").arg(code));
        SaveBitmapToFile(bmp, path, code);
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        buffer.write("prefix-and-more");
        buffer.seek(7);  // written at the position, over what follows it
        SaveBitmapToStream(bmp, buffer, code);
        const QByteArray file = readAll(path);
        ASSERT_FALSE(file.isEmpty()) << code;
        EXPECT_EQ(buffer.data().left(7), QByteArray("prefix-"));
        EXPECT_EQ(buffer.data().mid(7), file) << code;
        EXPECT_EQ(buffer.pos(), 7 + file.size());
    }
}

TEST(SaveBitmap, FailuresRaiseAndLeaveNoFile)
{
    QTemporaryDir dir;
    const Bitmap bmp = pattern(PixelFormat::Bits24, 4, 4);
    EXPECT_THROW(SaveBitmapToFile(bmp, dir.filePath("missing/dir/a.bmp"), 1), std::runtime_error);
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));

    // A picture the format cannot hold: the old file stays as it was.
    const QString existing = dir.filePath("old.png");
    SaveBitmapToFile(bmp, existing, 5);
    const QByteArray before = readAll(existing);
    for (int code : {2, 4, 5})
        EXPECT_THROW(SaveBitmapToFile(Bitmap(0, 0, PixelFormat::Bits24), existing, code), std::runtime_error)
            << code;
    EXPECT_EQ(readAll(existing), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"old.png"});

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_THROW(SaveBitmapToStream(bmp, readOnly, 1), std::runtime_error);
}

struct BmpCase {
    PixelFormat format;
};
void PrintTo(const BmpCase& c, std::ostream* os) { *os << formatName(c.format); }

class BmpFormats : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpFormats, QtReadsEveryPixelBack)
{
    const PixelFormat format = GetParam().format;
    for (QSize size : {QSize(5, 3), QSize(33, 17), QSize(1, 1)}) {
        const Bitmap bmp = pattern(format, size.width(), size.height());
        const QByteArray bytes = encodeBitmap(bmp, 1);
        const int bits = Bitmap::bitsPerPixel(format);
        ASSERT_EQ(le16(bytes, 28), bits);
        const qsizetype stride = (qsizetype(size.width()) * bits + 31) / 32 * 4;
        const qsizetype palette = bits <= 8 ? (qsizetype(4) << bits) : 0;
        EXPECT_EQ(le32(bytes, 10), uint32_t(54 + palette));
        EXPECT_EQ(le32(bytes, 2), uint32_t(bytes.size()));
        EXPECT_EQ(bytes.size(), 54 + palette + stride * size.height());
        const QImage back = load(bytes, "BMP");
        ASSERT_EQ(back.size(), size);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                QRgb want = expected(bmp, x, y);
                if (format == PixelFormat::Bits32 && back.format() == QImage::Format_RGB32)
                    want |= 0xFF000000u;  // a reader that ignores the alpha byte
                ASSERT_EQ(back.pixel(x, y), want) << x << "," << y;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, BmpFormats,
                         ::testing::Values(BmpCase {PixelFormat::Device}, BmpCase {PixelFormat::Bits1},
                                           BmpCase {PixelFormat::Bits4}, BmpCase {PixelFormat::Bits8},
                                           BmpCase {PixelFormat::Bits24}, BmpCase {PixelFormat::Bits32}),
                         [](const auto& p) { return std::string(formatName(p.param.format)); });

TEST(SaveBitmap, BmpOfAnEmptyBitmapIsHeaderOnly)
{
    const QByteArray bytes = encodeBitmap(Bitmap(), 1);
    EXPECT_EQ(bytes.size(), 54);
    EXPECT_EQ(le16(bytes, 28), 32);
}

struct PngCase {
    PixelFormat format;
    const char* colourType;  // as pngcheck names it
};

void PrintTo(const PngCase& c, std::ostream* os) { *os << formatName(c.format); }

class PngFormats : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngFormats, PngcheckAcceptsItAndQtReadsItBack)
{
    const PngCase c = GetParam();
    QTemporaryDir dir;
    const Bitmap bmp = pattern(c.format, 37, 21);
    const QString path = dir.filePath("a.png");
    SaveBitmapToFile(bmp, path, 5);
    const ToolResult check = runTool("pngcheck", {"-vv", path});
    ASSERT_EQ(check.exitCode, 0) << check.output.toStdString();
    EXPECT_TRUE(check.output.contains(c.colourType)) << check.output.toStdString();
    EXPECT_TRUE(check.output.contains("non-interlaced"));
    EXPECT_TRUE(check.output.contains("maximum compression"));  // zlib's class of levels 7-9
    // Every row is Sub-filtered.
    const QString filters = check.output.section("row filters", 1).section("chunk IEND", 0, 0);
    const QRegularExpression rowLine(QStringLiteral("^\\s+([0-9 ]+?)\\s*(\\(\\d+ out of \\d+\\))?$"),
                                     QRegularExpression::MultilineOption);
    QStringList seen;
    for (auto it = rowLine.globalMatch(filters); it.hasNext();)
        seen << it.next().captured(1).split(' ', Qt::SkipEmptyParts);
    EXPECT_EQ(seen.size(), 21);
    EXPECT_EQ(seen.filter(QRegularExpression("^1$")).size(), seen.size()) << filters.toStdString();

    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(37, 21));
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(back.pixel(x, y), expected(bmp, x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, PngFormats,
                         ::testing::Values(PngCase {PixelFormat::Device, "24-bit RGB"},
                                           PngCase {PixelFormat::Bits1, "1-bit palette"},
                                           PngCase {PixelFormat::Bits4, "4-bit palette"},
                                           PngCase {PixelFormat::Bits8, "8-bit palette"},
                                           PngCase {PixelFormat::Bits24, "24-bit RGB"},
                                           PngCase {PixelFormat::Bits32, "32-bit RGB+alpha"}),
                         [](const auto& p) { return std::string(formatName(p.param.format)); });

TEST(SaveBitmap, PngImageDataChunksStayWithin65535Bytes)
{
    QTemporaryDir dir;
    Bitmap bmp(256, 256, PixelFormat::Bits32);
    uint32_t state = 12345;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            state = state * 1664525u + 1013904223u;  // noise does not compress
            bmp.image().setPixel(x, y, state);
        }
    const QString path = dir.filePath("big.png");
    SaveBitmapToFile(bmp, path, 5);
    const ToolResult check = runTool("pngcheck", {"-v", path});
    ASSERT_EQ(check.exitCode, 0) << check.output.toStdString();
    const QRegularExpression idat(QStringLiteral("chunk IDAT at offset 0x[0-9a-f]+, length (\\d+)"));
    int chunks = 0;
    for (auto it = idat.globalMatch(check.output); it.hasNext(); ++chunks)
        EXPECT_LE(it.next().captured(1).toInt(), 65535);
    EXPECT_GE(chunks, 4);  // 256 KiB of noise
    EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_ARGB32), bmp.image());
}

TEST(SaveBitmap, JpegIsBaselineColourAtQualityNinety)
{
    QTemporaryDir dir;
    Bitmap bmp(40, 24, PixelFormat::Bits8);  // converted to 24 bits first
    BitmapPainter(bmp).fillRect(0, 0, 40, 24, QColor(0, 0, 255));
    bmp.image().setPixel(0, 0, 0);
    const QString path = dir.filePath("a.jpg");
    SaveBitmapToFile(bmp, path, 2);
    const ToolResult file = runTool("file", {"-b", path});
    EXPECT_TRUE(file.output.startsWith("JPEG image data, JFIF standard")) << file.output.toStdString();
    EXPECT_TRUE(file.output.contains("baseline")) << file.output.toStdString();
    EXPECT_TRUE(file.output.contains("components 3")) << file.output.toStdString();
    EXPECT_TRUE(file.output.contains("40x24")) << file.output.toStdString();
    const QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.contains("\xFF\xC0"));   // SOF0: baseline
    EXPECT_FALSE(bytes.contains("\xFF\xC2"));  // no progressive frame
    // Quality 90 scales the standard luminance table's first entry 16 to 3.
    const qsizetype dqt = bytes.indexOf("\xFF\xDB");
    ASSERT_GE(dqt, 0);
    EXPECT_EQ(uint8_t(bytes[dqt + 5]), 3);
    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(40, 24));
    const QColor middle = back.pixelColor(20, 12);
    EXPECT_LE(std::abs(middle.blue() - 255) + middle.red() + middle.green(), 12);
}

TEST(SaveBitmap, GifKeepsPalettesAndFewColoursExactly)
{
    // An indexed bitmap keeps its own palette as the global colour table.
    for (PixelFormat format : {PixelFormat::Bits1, PixelFormat::Bits4, PixelFormat::Bits8}) {
        const Bitmap indexed = pattern(format, 19, 11);
        const QByteArray gif = encodeBitmap(indexed, 4);
        const QList<QRgb> palette = indexed.image().colorTable();
        ASSERT_EQ(uint8_t(gif[10]) & 0x87, 0x80 | (indexed.bitsPerPixel() - 1));  // table of 2^bits
        for (qsizetype i = 0; i < palette.size(); ++i)
            ASSERT_EQ(qRgb(uint8_t(gif[13 + 3 * i]), uint8_t(gif[14 + 3 * i]), uint8_t(gif[15 + 3 * i])),
                      palette[i]);
        const QImage back = load(gif, "GIF");
        ASSERT_EQ(back.size(), QSize(19, 11));
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 19; ++x)
                ASSERT_EQ(back.pixel(x, y), indexed.image().pixel(x, y)) << int(format);
    }

    // A 24-bit picture of 256 colours comes back exactly.
    Bitmap few(32, 16, PixelFormat::Bits24);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            few.image().setPixel(x, y, qRgb(x % 16 * 17, y * 17, (x % 16 + y) * 7));
    const QImage back = load(encodeBitmap(few, 4), "GIF");
    ASSERT_EQ(back.size(), QSize(32, 16));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(back.pixel(x, y), few.image().pixel(x, y)) << x << "," << y;
}

TEST(SaveBitmap, GifReducesManyColoursToAPaletteOf256)
{
    QTemporaryDir dir;
    Bitmap bmp(256, 256, PixelFormat::Device);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            bmp.image().setPixel(x, y, qRgb(x, y, (x + y) / 2));
    const QString path = dir.filePath("a.gif");
    SaveBitmapToFile(bmp, path, 4);
    const ToolResult file = runTool("file", {"-b", path});
    EXPECT_TRUE(file.output.startsWith("GIF image data")) << file.output.toStdString();
    EXPECT_TRUE(file.output.contains("256 x 256")) << file.output.toStdString();
    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(256, 256));
    EXPECT_LE(back.colorCount(), 256);
    // Dithering keeps the picture's mean colour over each block, but at the
    // corners, whose colours lie outside every palette of averages.
    double worst = 0, total[3] = {0, 0, 0};
    for (int y = 0; y < 256; y += 16)
        for (int x = 0; x < 256; x += 16) {
            double diff[3] = {0, 0, 0};
            for (int j = 0; j < 16; ++j)
                for (int i = 0; i < 16; ++i) {
                    const QRgb got = back.pixel(x + i, y + j);
                    const QRgb src = bmp.image().pixel(x + i, y + j);
                    diff[0] += qRed(got) - qRed(src);
                    diff[1] += qGreen(got) - qGreen(src);
                    diff[2] += qBlue(got) - qBlue(src);
                }
            const bool corner = (x == 0 || x == 240) && (y == 0 || y == 240);
            for (int k = 0; k < 3; ++k) {
                total[k] += diff[k];
                if (!corner)
                    worst = std::max(worst, std::abs(diff[k]) / 256);
            }
        }
    EXPECT_LT(worst, 4.0);
    for (double t : total)
        EXPECT_LT(std::abs(t) / (256 * 256), 0.5);
}

TEST(SaveBitmap, EmfIsAMetafileOfOneStretchDIBitsRecord)
{
    QTemporaryDir dir;
    const Bitmap bmp = pattern(PixelFormat::Bits24, 30, 20);
    const QString path = dir.filePath("a.emf");
    SaveBitmapToFile(bmp, path, 3);
    const ToolResult file = runTool("file", {"-b", path});
    EXPECT_TRUE(file.output.startsWith("Windows Enhanced Metafile (EMF) image data"))
        << file.output.toStdString();

    const QByteArray emf = readAll(path);
    ASSERT_GE(emf.size(), 108);
    EXPECT_EQ(le32(emf, 0), 1u);  // EMR_HEADER
    EXPECT_EQ(le32(emf, 48), uint32_t(emf.size()));
    EXPECT_EQ(le32(emf, 52), 3u);  // records
    const uint32_t bounds[] = {le32(emf, 8), le32(emf, 12), le32(emf, 16), le32(emf, 20)};
    EXPECT_EQ(bounds[2], 29u);
    EXPECT_EQ(bounds[3], 19u);
    EXPECT_EQ(le32(emf, 32), 793u);  // 30 px at 96 dpi = 7.9375 mm, inclusive
    EXPECT_EQ(le32(emf, 36), 528u);
    EXPECT_EQ(le32(emf, 72), 1920u);  // reference screen
    EXPECT_EQ(le32(emf, 80), 508u);   // its width in mm at 96 dpi
    EXPECT_EQ(le32(emf, 100), 508000u);

    // Walk the records: header, StretchDIBits of the whole bitmap, end.
    QList<uint32_t> types;
    qsizetype at = 0;
    while (at + 8 <= emf.size()) {
        const uint32_t type = le32(emf, at), size = le32(emf, at + 4);
        ASSERT_EQ(size % 4, 0u);
        ASSERT_GE(size, 8u);
        types << type;
        if (type == 81) {
            EXPECT_EQ(le32(emf, at + 40), 30u);          // cxSrc
            EXPECT_EQ(le32(emf, at + 44), 20u);          // cySrc
            EXPECT_EQ(le32(emf, at + 72), 30u);          // cxDest
            EXPECT_EQ(le32(emf, at + 68), 0x00CC0020u);  // SRCCOPY
            const Dib dib = packDib(bmp);
            EXPECT_EQ(emf.mid(at + le32(emf, at + 48), le32(emf, at + 52)), dib.info);
            EXPECT_EQ(emf.mid(at + le32(emf, at + 56), le32(emf, at + 60)), dib.bits);
        }
        at += size;
    }
    EXPECT_EQ(at, emf.size());
    EXPECT_EQ(types, (QList<uint32_t> {1, 81, 14}));

    const QByteArray empty = encodeBitmap(Bitmap(), 3);
    EXPECT_EQ(le32(empty, 52), 2u);
    EXPECT_EQ(le32(empty, 48), uint32_t(empty.size()));
}

// ---- printing ---------------------------------------------------------------

TEST(PrintBitmap, TargetSizeFollowsTheScale)
{
    PrintMetrics page {600, 300, 96, 4800, 6600};
    struct Case {
        int w, h, mode;
        QSize want;
    };
    const Case cases[] = {
        {100, 50, 1, {4800, 2400}},  // 13200 is not below the page width
        {32, 32, 0, {200, 100}},     // printer inches from screen inches
        {33, 1, 0, {206, 3}},        // 206.25 and 3.125 round to nearest
        {1, 5, 0, {6, 16}},          // 6.25; 15.625
        {32, 32, 2, {32, 32}},      {32, 32, -1, {32, 32}}, {0, 32, 1, {}}, {32, 0, 0, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(printTargetSize(c.w, c.h, c.mode, page), c.want) << c.w << "x" << c.h << " mode " << c.mode;
    PrintMetrics landscape {600, 600, 96, 6600, 4800};
    EXPECT_EQ(printTargetSize(50, 100, 1, landscape), QSize(2400, 4800));
    PrintMetrics half {1, 1, 2, 4800, 6600};
    EXPECT_EQ(printTargetSize(1, 3, 0, half), QSize(1, 2));  // 0.5 and 1.5 round away from zero
}

namespace {

struct PdfImage {
    int width = 0, height = 0, xppi = 0, yppi = 0;
};

// Prints one bitmap on a one-page PDF and lists its images.
QList<PdfImage> printToPdf(const Bitmap& bmp, int mode, const QString& path, QSize* page = nullptr)
{
    ensureApp();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    Printer toolkitPrinter(printer);
    toolkitPrinter.beginDoc();
    if (page)
        *page = QSize(toolkitPrinter.pageWidth(), toolkitPrinter.pageHeight());
    PrintBitmap(bmp, mode, toolkitPrinter);
    toolkitPrinter.endDoc();
    const ToolResult list = runTool("pdfimages", {"-list", path});
    QList<PdfImage> images;
    for (const QString& line : list.output.split('\n').mid(2)) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() >= 14)
            images << PdfImage {f[3].toInt(), f[4].toInt(), f[12].toInt(), f[13].toInt()};
    }
    return images;
}

}  // namespace

TEST(PrintBitmap, PrintsTheBitmapAtEachScale)
{
    QTemporaryDir dir;
    const Bitmap bmp = pattern(PixelFormat::Bits24, 32, 16);
    const int screen = screenPixelsPerInch();

    auto actual = printToPdf(bmp, 0, dir.filePath("actual.pdf"));
    ASSERT_EQ(actual.size(), 1);
    EXPECT_EQ(actual[0].width, 32);
    EXPECT_EQ(actual[0].height, 16);
    EXPECT_NEAR(actual[0].xppi, screen, 1);  // the screen's size in inches
    EXPECT_NEAR(actual[0].yppi, screen, 1);

    auto pixel = printToPdf(bmp, 2, dir.filePath("pixel.pdf"));
    ASSERT_EQ(pixel.size(), 1);
    EXPECT_NEAR(pixel[0].xppi, 1200, 2);  // one pixel per printer pixel

    QSize page;
    auto fit = printToPdf(bmp, 1, dir.filePath("fit.pdf"), &page);
    ASSERT_EQ(fit.size(), 1);
    ASSERT_GT(page.width(), 0);
    EXPECT_NEAR(fit[0].xppi, 32.0 * 1200 / page.width(), 1);  // the page's width
    EXPECT_EQ(fit[0].xppi, fit[0].yppi);

    EXPECT_TRUE(printToPdf(Bitmap(0, 10, PixelFormat::Bits24), 1, dir.filePath("none.pdf")).isEmpty());
}

TEST(PrintBitmap, PageShowsTheBitmapsColours)
{
    QTemporaryDir dir;
    Bitmap bmp(20, 10, PixelFormat::Device);
    {
        BitmapPainter painter(bmp);
        painter.fillRect(0, 0, 10, 10, QColor(0, 0, 255));
        painter.fillRect(10, 0, 10, 10, QColor(255, 0, 0));
    }
    const QString pdf = dir.filePath("colours.pdf");
    ASSERT_EQ(printToPdf(bmp, 1, pdf).size(), 1);
    ASSERT_EQ(runTool("pdftoppm", {"-r", "20", "-png", "-singlefile", pdf, dir.filePath("page")}).exitCode,
              0);
    const QImage page(dir.filePath("page.png"));
    ASSERT_FALSE(page.isNull());
    // Fit to the page width: the left half blue, the right half red.
    const int y = page.width() / 4;
    const QColor blue = page.pixelColor(page.width() / 4, y);
    EXPECT_GT(blue.blue(), 240);
    EXPECT_LT(blue.red(), 15);
    const QColor red = page.pixelColor(page.width() * 3 / 4, y);
    EXPECT_GT(red.red(), 240);
    EXPECT_LT(red.green(), 15);
}

TEST(GraphicUtils, ScreenBitsPerPixel)
{
    ensureApp();
    const int bits = GetScreenBitsPerPixel();
    if (QGuiApplication::primaryScreen())
        EXPECT_EQ(bits, QGuiApplication::primaryScreen()->depth());
    else
        EXPECT_EQ(bits, 32);
    EXPECT_GT(bits, 0);
}
