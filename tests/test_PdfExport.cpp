#include "app/PdfExport.h"

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/ShellIcons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "RunTool.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

using fixture::runTool;
using fixture::ToolResult;

namespace {

QDateTime fixedTime() { return QDateTime(QDate(2021, 3, 3), QTime(14, 5, 9)); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void expectQpdfClean(const QString& path)
{
    const ToolResult r = runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    EXPECT_FALSE(r.output.contains(QLatin1String("WARNING"))) << r.output.toStdString();
}

int pageCount(const QString& path)
{
    const ToolResult info = runTool(QStringLiteral("pdfinfo"), {path});
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info.output);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Every page 612 x 792 points.
void expectLetterPages(const QString& path, int pages)
{
    const ToolResult info = runTool(
        QStringLiteral("pdfinfo"),
        {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QString::number(pages), path});
    EXPECT_EQ(info.output.count(QRegularExpression(QStringLiteral("Page +\\d+ size:\\s+612 x 792 pts"))),
              pages)
        << info.output.toStdString();
}

int imageCount(const QString& path)
{
    const ToolResult list = runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path});
    EXPECT_EQ(list.exitCode, 0) << list.output.toStdString();
    return static_cast<int>(list.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size()) - 2;
}

// The words pdftotext finds on page `page` (0 for all pages).
QStringList wordsOf(const QString& path, int page = 0)
{
    QStringList args;
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
             << QString::number(page);
    args << path << QStringLiteral("-");
    return runTool(QStringLiteral("pdftotext"), args)
        .output.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// Page `page` (1-based) at 72 dpi: one pixel per point, y from the top.
QImage renderPage(const QTemporaryDir& dir, const QString& path, int page)
{
    const QString stem = dir.filePath(QStringLiteral("page%1").arg(page));
    const ToolResult r = runTool(QStringLiteral("pdftoppm"),
                                 {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("72"),
                                  QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                  QString::number(page), QStringLiteral("-singlefile"), path, stem});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    return QImage(stem + QStringLiteral(".png"));
}

QByteArray inflate(const QByteArray& packed)
{
    for (uLongf room = 1 << 16; room < (1u << 28); room *= 4) {
        QByteArray out(static_cast<qsizetype>(room), '\0');
        uLongf size = room;
        const int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                                  reinterpret_cast<const Bytef*>(packed.constData()),
                                  static_cast<uLong>(packed.size()));
        if (rc == Z_OK)
            return out.left(static_cast<qsizetype>(size));
        if (rc != Z_BUF_ERROR)
            break;
    }
    ADD_FAILURE() << "stream does not inflate";
    return {};
}

// The page content streams of a document, in file order, inflated.
std::vector<QByteArray> contentStreams(const QByteArray& pdf)
{
    std::vector<QByteArray> streams;
    qsizetype at = 0;
    while ((at = pdf.indexOf(">>\r\nstream\r\n", at)) >= 0) {
        const qsizetype objStart = pdf.lastIndexOf(" 0 obj\r\n", at);
        const QByteArray dict = pdf.mid(objStart, at - objStart);
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("/Length (\\d+)")).match(QString::fromLatin1(dict));
        const qsizetype length = m.captured(1).toLongLong();
        const QByteArray body = pdf.mid(at + 12, length);
        at += 12 + length;
        if (!dict.contains("/Subtype /Image"))
            streams.push_back(dict.contains("/FlateDecode") ? inflate(body) : body);
    }
    return streams;
}

// The /XObject entries of each page's resources, in file order.
QStringList pageImageLists(const QByteArray& pdf)
{
    QStringList lists;
    const QRegularExpression re(QStringLiteral("/XObject << ([^>]*) >>"));
    for (auto it = re.globalMatch(QString::fromLatin1(pdf)); it.hasNext();)
        lists << it.next().captured(1).remove(QRegularExpression(QStringLiteral(" \\d+ 0 R")));
    return lists;
}

QString imageNames(int first, int last)
{
    QStringList names;
    for (int k = first; k <= last; ++k)
        names << QStringLiteral("/Img%1").arg(k);
    return names.join(QLatin1Char(' '));
}

QRgb colorOf(int i)
{
    static const QRgb kColors[] = {qRgb(200, 30, 30),  qRgb(30, 160, 40),  qRgb(20, 40, 210),
                                   qRgb(230, 190, 20), qRgb(140, 20, 160), qRgb(20, 170, 170)};
    return kColors[i % 6];
}

platform::Bitmap filled(int w, int h, QRgb color,
                        platform::PixelFormat format = platform::PixelFormat::Device)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return platform::Bitmap::fromImage(image, format);
}

struct Export {
    int icons = 1;
    int size = 32;
    bool numbers = true;
    bool borders = true;
    int firstIndex = 0;
};

// Exports `run.icons` pictures in distinct colours to dir/icons.pdf at 96
// dpi with a 9-point menu font; returns the path.
QString exportIcons(const QTemporaryDir& dir, const Export& run)
{
    PdfExport pdf(dir.path(), QStringLiteral("/elsewhere/icons.pdf"), run.numbers, run.borders);
    pdf.setPixelsPerInch(96);
    pdf.setMenuFont(QFont(QStringLiteral("Helvetica"), 9));
    pdf.setClock(fixedTime);
    for (int i = 0; i < run.icons; ++i)
        pdf.addIcon(run.firstIndex + i, filled(run.size, run.size, colorOf(i)));
    pdf.finish();
    return pdf.documentFileName();
}

// The lines of one cell's placement as the layout writes them.
QByteArray cellLines(const PdfExport::Cell& c, int number, bool borders, int numberX = -1)
{
    QByteArray s;
    if (borders)
        s += "0.75 0.75 0.75 RG\r\n1 1 1 rg\r\n" + QByteArray::number(c.FrameLeft) + " "
            + QByteArray::number(c.FrameBottom) + " " + QByteArray::number(c.FrameWidth) + " "
            + QByteArray::number(c.FrameHeight) + " re\r\nB\r\n";
    s += "q\r\n" + QByteArray::number(c.ImageWidth) + ".00 0 0 " + QByteArray::number(c.ImageHeight) + ".00 "
        + QByteArray::number(c.ImageLeft) + ".00 " + QByteArray::number(c.ImageBottom) + ".00 cm\r\n/Img"
        + QByteArray::number(number) + " Do\r\nQ\r\n";
    if (numberX >= 0)
        s += "q\r\n0 0 0 rg\r\nBT\r\n/F0 9 Tf\r\n" + QByteArray::number(numberX) + " "
            + QByteArray::number(c.NumberTop) + " Td\r\n(" + QByteArray::number(number)
            + ") Tj\r\nET\r\nQ\r\n";
    return s;
}

}  // namespace

TEST(PdfExport, PointsRoundHalvesToEven)
{
    struct Case {
        int pixels, ppi, points;
    };
    for (const Case& c : {Case {32, 96, 24}, Case {16, 96, 12}, Case {16, 120, 10}, Case {5, 144, 2},
                          Case {7, 144, 4}, Case {48, 96, 36}, Case {0, 96, 0}, Case {32, 0, 24}})
        EXPECT_EQ(PdfExport::PixelsToPoints(c.pixels, c.ppi), c.points) << c.pixels << " px at " << c.ppi;
}

TEST(PdfExport, CellLayoutOfTheExamples)
{
    struct Case {
        int pixels, ppi;
        bool numbers, borders;
        int W, b, t, step, cols, rowH, rows;
    };
    const Case cases[] = {
        {32, 96, true, true, 24, 1, 11, 28, 21, 39, 19},
        {32, 96, false, false, 24, 0, 0, 26, 22, 26, 29},
        {16, 96, true, true, 12, 1, 11, 16, 37, 27, 28},
        {16, 120, false, true, 10, 1, 0, 14, 42, 14, 55},
        // Wider and taller than the page: still one column and one row.
        {1000, 96, true, false, 750, 0, 11, 752, 1, 763, 1},
        {1200, 96, false, false, 900, 0, 0, 902, 1, 902, 1},
    };
    for (const Case& c : cases) {
        const PdfExport::Layout L = PdfExport::CellLayout(c.pixels, c.pixels, c.ppi, 9, c.numbers, c.borders);
        SCOPED_TRACE(testing::Message() << c.pixels << " px at " << c.ppi);
        EXPECT_EQ(L.W, c.W);
        EXPECT_EQ(L.H, c.W);
        EXPECT_EQ(L.b, c.b);
        EXPECT_EQ(L.t, c.t);
        EXPECT_EQ(L.ColumnStep, c.step);
        EXPECT_EQ(L.Columns, c.cols);
        EXPECT_EQ(L.RowHeight, c.rowH);
        EXPECT_EQ(L.RowsPerPage, c.rows);
    }
}

TEST(PdfExport, CellPositionsOfTheExamples)
{
    const PdfExport::Layout full = PdfExport::CellLayout(32, 32, 96, 9, true, true);
    const PdfExport::Layout bare = PdfExport::CellLayout(32, 32, 96, 9, false, false);
    struct Case {
        const PdfExport::Layout* L;
        int i;
        int page, x, y;
        int frame[4];
        int image[4];
        int number[3];
    };
    const Case cases[] = {
        {&full, 0, 0, 8, 8, {8, 745, 28, 39}, {11, 758, 21, 24}, {10, 32, 747}},
        {&full, 1, 0, 36, 8, {36, 745, 28, 39}, {39, 758, 21, 24}, {38, 60, 747}},
        {&full, 20, 0, 568, 8, {568, 745, 28, 39}, {571, 758, 21, 24}, {570, 592, 747}},
        {&full, 21, 0, 8, 47, {8, 706, 28, 39}, {11, 719, 21, 24}, {10, 32, 708}},
        // The last cell of the first page: its bottom edge on the margin.
        {&full, 398, 0, 568, 710, {568, 43, 28, 39}, {571, 56, 21, 24}, {570, 592, 45}},
        // The next page begins at the top again.
        {&full, 399, 1, 8, 8, {8, 745, 28, 39}, {11, 758, 21, 24}, {10, 32, 747}},
        {&full, 420, 1, 8, 47, {8, 706, 28, 39}, {11, 719, 21, 24}, {10, 32, 708}},
        {&bare, 0, 0, 8, 8, {8, 758, 28, 28}, {10, 759, 22, 23}, {9, 32, 748}},
        {&bare, 22, 0, 8, 34, {8, 732, 28, 28}, {10, 733, 22, 23}, {9, 32, 722}},
        {&bare, 22 * 29, 1, 8, 8, {8, 758, 28, 28}, {10, 759, 22, 23}, {9, 32, 748}},
    };
    for (const Case& c : cases) {
        const PdfExport::Cell cell = PdfExport::CellOf(*c.L, c.i);
        SCOPED_TRACE(testing::Message() << "cell " << c.i);
        EXPECT_EQ(cell.Page, c.page);
        EXPECT_EQ(cell.X, c.x);
        EXPECT_EQ(cell.Y, c.y);
        EXPECT_EQ((std::vector<int> {cell.FrameLeft, cell.FrameBottom, cell.FrameWidth, cell.FrameHeight}),
                  (std::vector<int>(c.frame, c.frame + 4)));
        EXPECT_EQ((std::vector<int> {cell.ImageLeft, cell.ImageBottom, cell.ImageWidth, cell.ImageHeight}),
                  (std::vector<int>(c.image, c.image + 4)));
        EXPECT_EQ((std::vector<int> {cell.NumberLeft, cell.NumberRight, cell.NumberTop}),
                  (std::vector<int>(c.number, c.number + 3)));
    }
}

TEST(PdfExport, DocumentFileNameJoinsTheNamePart)
{
    struct Case {
        const char* dir;
        const char* file;
        const char* expected;
    };
    for (const Case& c :
         {Case {"/out", "/chosen/icons.pdf", "/out/icons.pdf"}, Case {"/out/", "icons.pdf", "/out/icons.pdf"},
          Case {"/out", "/chosen/Icons", "/out/Icons"},
          Case {"/out", "/chosen/my.icons.PDF", "/out/my.icons.PDF"}})
        EXPECT_EQ(PdfExport::DocumentFileName(QString::fromUtf8(c.dir), QString::fromUtf8(c.file)),
                  QString::fromUtf8(c.expected));
}

TEST(PdfExport, OnePageDocumentAsLaidOut)
{
    QTemporaryDir dir;
    const QString path = exportIcons(dir, {.icons = 2});
    EXPECT_EQ(path, dir.filePath(QStringLiteral("icons.pdf")));
    const QByteArray pdf = readAll(path);
    ASSERT_TRUE(pdf.startsWith("%PDF-1.2\r\n"));
    expectQpdfClean(path);
    EXPECT_EQ(pageCount(path), 1);
    expectLetterPages(path, 1);
    EXPECT_EQ(imageCount(path), 2);

    EXPECT_TRUE(pdf.contains("<< /Author (Quellmark Software)\r\n/Producer ()\r\n/Creator (Pictorium)\r\n"
                             "/Title (Icons)\r\n"));
    EXPECT_TRUE(pdf.contains("/CreationDate (D:20210303140509)"));
    EXPECT_TRUE(pdf.contains("/BaseFont /Helvetica\r\n/Encoding /WinAnsiEncoding"));
    EXPECT_TRUE(pdf.contains("/Font << /F0 "));
    EXPECT_EQ(pageImageLists(pdf), QStringList {QStringLiteral("/Img1 /Img2")});

    // The number's x: the centre 21 less half of "1" (5 points), 18.5 to even.
    const PdfExport::Layout L = PdfExport::CellLayout(32, 32, 96, 9, true, true);
    const std::vector<QByteArray> streams = contentStreams(pdf);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0],
              "0.20 w\r\n" + cellLines(PdfExport::CellOf(L, 0), 1, true, 18)
                  + cellLines(PdfExport::CellOf(L, 1), 2, true, 46));

    // The same run gives the same bytes.
    QTemporaryDir again;
    EXPECT_EQ(readAll(exportIcons(again, {.icons = 2})), pdf);
}

TEST(PdfExport, WithoutBordersAndNumbers)
{
    QTemporaryDir dir;
    const QString path = exportIcons(dir, {.icons = 1, .numbers = false, .borders = false});
    const QByteArray pdf = readAll(path);
    expectQpdfClean(path);
    EXPECT_EQ(pageImageLists(pdf), QStringList {QStringLiteral("/Img1")});
    const std::vector<QByteArray> streams = contentStreams(pdf);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0], "0.20 w\r\nq\r\n22.00 0 0 23.00 10.00 759.00 cm\r\n/Img1 Do\r\nQ\r\n");
    EXPECT_TRUE(wordsOf(path).isEmpty());
}

TEST(PdfExport, IconsBeyondOnePageContinueOnTheNext)
{
    // 19 rows of 21 cells fill a page.
    struct Case {
        int icons;
        QStringList ranges;
    };
    const Case cases[] = {
        {399, {imageNames(1, 399)}},
        {400, {imageNames(1, 399), imageNames(400, 400)}},
        {820, {imageNames(1, 399), imageNames(400, 798), imageNames(799, 820)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.icons << " icons");
        QTemporaryDir dir;
        const QString path = exportIcons(dir, {.icons = c.icons});
        const QByteArray pdf = readAll(path);
        expectQpdfClean(path);
        const int pages = static_cast<int>(c.ranges.size());
        EXPECT_EQ(pageCount(path), pages);
        expectLetterPages(path, pages);
        EXPECT_EQ(imageCount(path), c.icons);
        EXPECT_EQ(pageImageLists(pdf), c.ranges);

        const std::vector<QByteArray> streams = contentStreams(pdf);
        ASSERT_EQ(streams.size(), static_cast<size_t>(pages));
        const PdfExport::Layout L = PdfExport::CellLayout(32, 32, 96, 9, true, true);
        for (int p = 0; p < pages; ++p) {
            // Each page starts with its line width and its first cell at the top.
            const int first = p * 399;
            const QByteArray n = QByteArray::number(first + 1);
            EXPECT_TRUE(streams[size_t(p)].startsWith(
                "0.20 w\r\n" + cellLines(PdfExport::CellOf(L, first), first + 1, true)))
                << "page " << p + 1;
            const QStringList words = wordsOf(path, p + 1);
            const int last = std::min(c.icons, first + 399);
            for (int k = first + 1; k <= last; ++k)
                EXPECT_TRUE(words.contains(QString::number(k))) << k;
            EXPECT_EQ(words.size(), last - first);
        }
    }
}

TEST(PdfExport, NumbersAreNeverCut)
{
    // Small icons leave 10 points for the number, which the writer's
    // estimate gives one character; large ones take four.
    struct Case {
        int size;
        int firstIndex;
        int icons;
    };
    for (const Case& c : {Case {16, 0, 12}, Case {32, 9997, 3}, Case {16, 99998, 2}}) {
        SCOPED_TRACE(testing::Message() << c.size << " px from icon " << c.firstIndex + 1);
        QTemporaryDir dir;
        const QString path = exportIcons(dir, {.icons = c.icons, .size = c.size, .firstIndex = c.firstIndex});
        expectQpdfClean(path);
        const std::vector<QByteArray> streams = contentStreams(readAll(path));
        ASSERT_EQ(streams.size(), 1u);
        const QStringList words = wordsOf(path);
        for (int k = c.firstIndex + 1; k <= c.firstIndex + c.icons; ++k) {
            EXPECT_TRUE(streams[0].contains("(" + QByteArray::number(k) + ") Tj")) << k;
            EXPECT_TRUE(words.contains(QString::number(k))) << k;
            // The image keeps the icon's own number.
            EXPECT_TRUE(streams[0].contains("/Img" + QByteArray::number(k) + " Do")) << k;
        }
        EXPECT_EQ(words.size(), c.icons);
    }
}

TEST(PdfExport, WidenedNumberStaysCentredOnItsCell)
{
    QTemporaryDir dir;
    const QString path = exportIcons(dir, {.icons = 10, .size = 16});
    const std::vector<QByteArray> streams = contentStreams(readAll(path));
    ASSERT_EQ(streams.size(), 1u);
    // Cell 9 spans 152..168 with its number box 154..164 (centre 159);
    // "10" is 10 points wide, so it starts at 154 on the baseline 792 - 8 - 27 + 1 + 11 - 10.
    EXPECT_TRUE(streams[0].contains("/F0 9 Tf\r\n154 759 Td\r\n(10) Tj\r\n")) << streams[0].constData();
}

TEST(PdfExport, PictureWiderThanThePageGetsOneColumn)
{
    QTemporaryDir dir;
    PdfExport pdf(dir.path(), QStringLiteral("wide.pdf"), true, true);
    pdf.setPixelsPerInch(96);
    pdf.setMenuFont(QFont(QStringLiteral("Helvetica"), 9));
    for (int i = 0; i < 3; ++i)
        pdf.addIcon(i, filled(1000, 40, colorOf(i)));
    pdf.finish();
    const QString path = pdf.documentFileName();
    expectQpdfClean(path);
    EXPECT_EQ(imageCount(path), 3);
    const std::vector<QByteArray> streams = contentStreams(readAll(path));
    ASSERT_EQ(streams.size(), 1u);
    // W 750, H 30, row 30 + 11 + 4: every image at x 11, one row below the other.
    for (const char* box : {"747.00 0 0 30.00 11.00 752.00 cm", "747.00 0 0 30.00 11.00 707.00 cm",
                            "747.00 0 0 30.00 11.00 662.00 cm"})
        EXPECT_TRUE(streams[0].contains(box)) << box;
    const QStringList words = wordsOf(path);
    EXPECT_EQ(words, (QStringList {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
}

TEST(PdfExport, ColoursRenderWhereTheCellsAre)
{
    QTemporaryDir dir;
    PdfExport pdf(dir.path(), QStringLiteral("colours.pdf"), true, true);
    pdf.setPixelsPerInch(96);
    pdf.setMenuFont(QFont(QStringLiteral("Helvetica"), 9));
    // Pictures of every pixel format a work bitmap can have.
    const platform::PixelFormat formats[]
        = {platform::PixelFormat::Device, platform::PixelFormat::Bits24, platform::PixelFormat::Bits32,
           platform::PixelFormat::Bits8,  platform::PixelFormat::Bits4,  platform::PixelFormat::Bits1};
    const QRgb colours[]
        = {colorOf(0), colorOf(1), colorOf(2), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)};
    const int count = 25;
    for (int i = 0; i < count; ++i)
        pdf.addIcon(i, filled(32, 32, colours[i % 6], formats[i % 6]));
    pdf.finish();
    const QString path = pdf.documentFileName();
    expectQpdfClean(path);
    EXPECT_EQ(imageCount(path), count);
    const QImage page = renderPage(dir, path, 1);
    ASSERT_EQ(page.size(), QSize(612, 792));
    const PdfExport::Layout L = PdfExport::CellLayout(32, 32, 96, 9, true, true);
    for (int i = 0; i < count; ++i) {
        const PdfExport::Cell c = PdfExport::CellOf(L, i);
        const int x = c.ImageLeft + c.ImageWidth / 2;
        const int y = 792 - (c.ImageBottom + c.ImageHeight / 2);
        EXPECT_EQ(page.pixel(x, y), colours[i % 6]) << "icon " << i + 1;
        // Inside the frame, beside the picture, the cell is white.
        EXPECT_EQ(page.pixel(c.FrameLeft + 1, 792 - c.FrameBottom - 2), qRgb(255, 255, 255))
            << "icon " << i + 1;
    }
    EXPECT_EQ(page.pixel(300, 500), qRgb(255, 255, 255));
    if (qEnvironmentVariableIsSet("PICTORIUM_KEEP_PDF_PAGE"))
        page.save(qEnvironmentVariable("PICTORIUM_KEEP_PDF_PAGE"));
}

TEST(PdfExport, IconsOfAFixtureLibrary)
{
    const std::vector<platform::Icon> icons
        = platform::extractIcons(QStringLiteral(FIXTURE_DIR "/loader.dll"), 32);
    ASSERT_GE(icons.size(), 5u);
    QTemporaryDir dir;
    PdfExport pdf(dir.path(), QStringLiteral("loader.pdf"), true, true);
    pdf.setPixelsPerInch(96);
    pdf.setMenuFont(QFont(QStringLiteral("Helvetica"), 9));
    std::vector<QImage> drawn;
    for (size_t i = 0; i < icons.size(); ++i) {
        platform::Bitmap bmp(32, 32);
        bmp.image().fill(Qt::white);
        {
            platform::BitmapPainter painter(bmp);
            icons[i].draw(painter, 0, 0);
        }
        drawn.push_back(bmp.image());
        pdf.addIcon(static_cast<int>(i), bmp);
    }
    pdf.finish();
    const QString path = pdf.documentFileName();
    expectQpdfClean(path);
    EXPECT_EQ(imageCount(path), static_cast<int>(icons.size()));
    const QStringList words = wordsOf(path);
    for (size_t i = 1; i <= icons.size(); ++i)
        EXPECT_TRUE(words.contains(QString::number(i))) << i;
    // Every drawn icon that is not blank shows in its cell.
    const QImage page = renderPage(dir, path, 1);
    const PdfExport::Layout L = PdfExport::CellLayout(32, 32, 96, 9, true, true);
    for (size_t i = 0; i < icons.size(); ++i) {
        if (drawn[i] == filled(32, 32, qRgb(255, 255, 255)).image())
            continue;
        const PdfExport::Cell c = PdfExport::CellOf(L, static_cast<int>(i));
        bool shows = false;
        for (int y = 792 - c.ImageBottom - c.ImageHeight + 1; y < 792 - c.ImageBottom - 1 && !shows; ++y)
            for (int x = c.ImageLeft + 1; x < c.ImageLeft + c.ImageWidth - 1 && !shows; ++x)
                shows = page.pixel(x, y) != qRgb(255, 255, 255);
        EXPECT_TRUE(shows) << "icon " << i + 1;
    }
}

TEST(PdfExport, NothingWrittenWithoutIconsOrFinish)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("icons.pdf"));
    {
        PdfExport pdf(dir.path(), target, true, true);
        pdf.finish();
        EXPECT_FALSE(pdf.documentCreated());
    }
    EXPECT_FALSE(QFile::exists(target));

    // An unfinished document leaves the old file as it was, and no other file.
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    {
        PdfExport pdf(dir.path(), target, true, true);
        pdf.addIcon(0, filled(32, 32, colorOf(0)));
        EXPECT_TRUE(pdf.documentCreated());
    }
    EXPECT_EQ(readAll(target), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList {QStringLiteral("icons.pdf")});

    // A finished one replaces it.
    exportIcons(dir, {.icons = 1});
    EXPECT_TRUE(readAll(target).startsWith("%PDF-1.2"));
}

TEST(PdfExport, FailuresDiscardTheDocument)
{
    QTemporaryDir dir;
    {
        PdfExport pdf(dir.filePath(QStringLiteral("missing")), QStringLiteral("icons.pdf"), true, true);
        EXPECT_THROW(pdf.addIcon(0, filled(32, 32, colorOf(0))), platform::InOutError);
        EXPECT_TRUE(pdf.documentCreated());
        EXPECT_THROW(pdf.addIcon(1, filled(32, 32, colorOf(1))), platform::InOutError);
        EXPECT_NO_THROW(pdf.finish());
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing/icons.pdf"))));

    struct Case {
        const char* what;
        int secondIndex;
        platform::Bitmap second;
    };
    const Case cases[] = {{"an empty picture", 1, platform::Bitmap()},
                          {"a repeated icon", 0, filled(32, 32, colorOf(1))},
                          {"an icon out of order", -1, filled(32, 32, colorOf(1))}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString target = dir.filePath(QStringLiteral("bad.pdf"));
        {
            PdfExport pdf(dir.path(), target, true, true);
            pdf.addIcon(0, filled(32, 32, colorOf(0)));
            EXPECT_THROW(pdf.addIcon(c.secondIndex, c.second), platform::Error);
        }
        EXPECT_FALSE(QFile::exists(target));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

TEST(PdfExport, DefaultsWithoutAnApplication)
{
    PdfExport pdf(QStringLiteral("/out"), QStringLiteral("icons.pdf"), true, true);
    if (QCoreApplication::instance()) {
        EXPECT_GE(pdf.pixelsPerInch(), 1);
        EXPECT_GE(pdf.menuFontSize(), 1);
        return;
    }
    EXPECT_EQ(pdf.pixelsPerInch(), 96);
    EXPECT_EQ(pdf.menuFontSize(), 9);
    EXPECT_EQ(TkxPDFDocument::PDFFontName(pdf.menuFont()), QStringLiteral("Helvetica"));
    // A font sized in pixels counts in points at the screen's resolution.
    QFont pixels(QStringLiteral("Helvetica"));
    pixels.setPixelSize(16);
    pdf.setMenuFont(pixels);
    EXPECT_EQ(pdf.menuFontSize(), 12);
}
