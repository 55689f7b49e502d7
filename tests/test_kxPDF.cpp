#include "kxCommon/kxPDF.h"

#include "kxCommon/kxPDFMetrics.h"
#include "kxCommon/kxPDFPrivate.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "RunTool.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <zlib.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>

using fixture::runTool;
using fixture::ToolResult;

namespace {

const QByteArray CRLF = "\r\n";

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out += static_cast<char>(v);
    return out;
}

// A destination that records every write call.
class RecordingDevice : public QIODevice {
public:
    RecordingDevice() { open(QIODevice::WriteOnly); }
    std::vector<QByteArray> writes;
    QByteArray all() const
    {
        QByteArray a;
        for (const QByteArray& w : writes)
            a += w;
        return a;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        writes.emplace_back(data, static_cast<qsizetype>(len));
        return len;
    }
};

QDateTime fixedTime() { return QDateTime(QDate(2021, 3, 3), QTime(14, 5, 9)); }

// A document on an in-memory stream, with the clock fixed.
struct Doc {
    QBuffer out;
    std::unique_ptr<TkxPDFDocument> d;
    Doc()
    {
        out.open(QIODevice::WriteOnly);
        d = std::make_unique<TkxPDFDocument>(&out);
        d->SetClock(fixedTime);
    }
    void header(bool compress = false, bool unicode = false, const QString& title = "Icons",
                const QString& producer = QString())
    {
        d->WriteHeader(compress, unicode, 792, 612, 8, 8, 8, 8, "Quellmark Software", producer, "Pictorium",
                       title);
    }
    const QByteArray& bytes() const { return out.data(); }
};

QImage bgr(int w, int h, const QByteArray& pixelBytes)
{
    QImage img(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        std::memcpy(img.scanLine(y), pixelBytes.constData() + y * w * 3, static_cast<size_t>(w) * 3);
    return img;
}

QImage solid(int w, int h, QRgb c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

// The object k of a complete file, from its "k 0 obj" line to "endobj".
QByteArray objectText(const QByteArray& pdf, int k)
{
    const QByteArray head = QByteArray::number(k) + " 0 obj\r\n";
    qsizetype at = pdf.startsWith(head) ? 0 : pdf.indexOf("\r\n" + head);
    if (at < 0)
        return {};
    if (at > 0 || !pdf.startsWith(head))
        at += 2;
    const qsizetype end = pdf.indexOf("endobj\r\n", at);
    return pdf.mid(at, end + 8 - at);
}

// The body of the stream object k, decompressed when it is Flate-encoded.
QByteArray streamOf(const QByteArray& pdf, int k)
{
    const QByteArray obj = objectText(pdf, k);
    const qsizetype start = obj.indexOf(">>\r\nstream\r\n");
    const qsizetype end = obj.lastIndexOf("\r\nendstream");
    if (start < 0 || end < 0)
        return {};
    QByteArray body = obj.mid(start + 12, end - start - 12);
    if (obj.contains("/Filter /FlateDecode")) {
        QByteArray raw(1 << 20, '\0');
        uLongf n = static_cast<uLongf>(raw.size());
        if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &n,
                       reinterpret_cast<const Bytef*>(body.constData()), static_cast<uLong>(body.size()))
            != Z_OK)
            return "<bad zlib>";
        raw.resize(static_cast<qsizetype>(n));
        return raw;
    }
    return body;
}

// Checks that the cross-reference table lists objects 1..N whose entries
// point at their "k 0 obj" lines, and returns N + 1 (the trailer's size).
int checkXref(const QByteArray& pdf)
{
    const QRegularExpression tail(QStringLiteral("startxref\r\n(\\d+)\r\n%%EOF\r\n$"));
    const auto m = tail.match(QString::fromLatin1(pdf.right(40)));
    EXPECT_TRUE(m.hasMatch());
    if (!m.hasMatch())
        return -1;
    const qsizetype x = m.captured(1).toLongLong();
    EXPECT_TRUE(pdf.mid(x).startsWith("xref\r\n0 "));
    const qsizetype countEnd = pdf.indexOf(CRLF, x + 6);
    const int size = pdf.mid(x + 8, countEnd - x - 8).toInt();
    qsizetype at = countEnd + 2;
    EXPECT_EQ(pdf.mid(at, 20), "0000000000 65535 f\r\n");
    for (int k = 1; k < size; ++k) {
        at += 20;
        const QByteArray entry = pdf.mid(at, 20);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{10} 00000 n\r\n$"))
                        .match(QString::fromLatin1(entry))
                        .hasMatch())
            << entry.constData();
        const qsizetype offset = entry.left(10).toLongLong();
        EXPECT_TRUE(pdf.mid(offset).startsWith(QByteArray::number(k) + " 0 obj\r\n")) << "object " << k;
    }
    EXPECT_TRUE(pdf.mid(at + 20).startsWith("trailer\r\n<< /Root 1 0 R\r\n/Info 2 0 R\r\n/Size "
                                            + QByteArray::number(size) + "\r\n"));
    return size;
}

// Writes the file and runs qpdf --check on it.
QString checkedFile(const QTemporaryDir& dir, const QString& name, const QByteArray& pdf)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pdf);
    f.close();
    const ToolResult r = runTool("qpdf", {"--check", path});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    EXPECT_FALSE(r.output.contains("WARNING")) << r.output.toStdString();
    return path;
}

QByteArray jpegBytes(int components)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = 4;
    c.image_height = 2;
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(4 * components), 0x80);
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray out(reinterpret_cast<const char*>(mem), static_cast<qsizetype>(size));
    free(mem);
    return out;
}

}  // namespace

// ------------------------------------------------------------- the writer

TEST(TkxPdfWriter, BuffersSmallBlocksAndWritesLargeOnesDirect)
{
    struct Case {
        int first, second;
        std::vector<qsizetype> writesBeforeSave;  // destination writes
        qsizetype bufferedAtSave;
    };
    const Case cases[] = {
        {510, 0, {}, 510},      // fits: stays buffered
        {511, 0, {0, 511}, 0},  // too big: empty flush, then direct
        {400, 111, {400, 111}, 0},
        {400, 110, {}, 510},
    };
    for (const Case& c : cases) {
        RecordingDevice dev;
        TkxPdfWriter w(&dev);
        const QByteArray a(c.first, 'a'), b(c.second, 'b');
        w.Write(a.constData(), c.first);
        w.Write(b.constData(), c.second);
        std::vector<qsizetype> sizes;
        for (const QByteArray& x : dev.writes)
            sizes.push_back(x.size());
        EXPECT_EQ(sizes, c.writesBeforeSave) << c.first << "+" << c.second;
        w.Save();
        EXPECT_EQ(dev.writes.back().size(), c.bufferedAtSave);
        EXPECT_EQ(dev.all(), a + b);
    }
}

TEST(TkxPdfWriter, WriteRGBFlushesEvery169PixelsAndSwapsToRGB)
{
    RecordingDevice dev;
    TkxPdfWriter w(&dev);
    QByteArray pixels;
    for (int i = 0; i < 170; ++i)
        pixels += bytesOf({i, i + 1, i + 2});
    w.WriteRGB(reinterpret_cast<const unsigned char*>(pixels.constData()), 3, 170);
    ASSERT_EQ(dev.writes.size(), 1u);
    EXPECT_EQ(dev.writes[0].size(), 507);
    w.Save();
    EXPECT_EQ(dev.writes.back(), bytesOf({171, 170, 169}));

    RecordingDevice dev4;
    TkxPdfWriter w4(&dev4);
    const unsigned char quad[] = {1, 2, 3, 4, 5, 6, 7, 8};
    w4.WriteRGB(quad, 4, 2);
    w4.WriteRGB(quad, 4, 0);
    w4.Save();
    EXPECT_EQ(dev4.all(), bytesOf({3, 2, 1, 7, 6, 5}));
}

TEST(TkxPdfWriter, LinesGoStraightThroughAndEmptySaveAddsNothing)
{
    RecordingDevice dev;
    TkxPdfWriter w(&dev);
    w.Save();
    EXPECT_EQ(dev.all(), "");
    w.WriteLine("");
    w.WriteLine("q");
    EXPECT_EQ(dev.all(), "\r\nq\r\n");
    EXPECT_EQ(dev.writes.back(), "q\r\n");
}

// -------------------------------------------------------- the structure

namespace {

// One font, one image, one page with every kind of content, uncompressed.
QByteArray structureDocument()
{
    Doc doc;
    QFont font("Arial", 9);
    doc.d->CheckAddFont(font);
    doc.header();
    // Pixel bytes chosen printable, so that the file stays text.
    doc.d->AddXObject(1, 0, 0, bgr(2, 2, "ABCDEFGHIJKL"));
    doc.d->WritePageHeader();
    doc.d->Stream_SetLineWidth(0.2f);
    doc.d->Stream_SetStrokeColor(0xC0C0C0);
    doc.d->Stream_SetFillColor(0xFFFFFF);
    doc.d->Stream_Rectangle(8, 745, 28, 39);
    doc.d->Stream_WriteLine("B");
    doc.d->FPages.back().XObjectStartIndex = 0;
    doc.d->FPages.back().XObjectEndIndex = 0;
    doc.d->Stream_WriteLine("q");
    doc.d->Stream_SetImageBox(11, 758, 21, 24);
    doc.d->Stream_WriteLine("/Img1 Do");
    doc.d->Stream_WriteLine("Q");
    QRect r(QPoint(10, 747), QPoint(32, 746));
    TStringArray rest;
    doc.d->WriteTextBox("1", false, "F0", 9, 0, Qt::AlignHCenter, false, r, rest);
    doc.d->WriteWatermark("Pictorium", wmtBottomLeft, 0x808080);
    doc.d->WriteFooter();
    return doc.bytes();
}

}  // namespace

TEST(TkxPDFDocument, StructureMatchesTheGoldenFile)
{
    const QByteArray pdf = structureDocument();
    const QString golden = QStringLiteral(SOURCE_DIR "/tests/golden/kxPDF_structure.pdf");
    if (qEnvironmentVariableIsSet("PICTORIUM_UPDATE_GOLDEN")) {
        QFile f(golden);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pdf);
    }
    QFile f(golden);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf, f.readAll());
    EXPECT_EQ(checkXref(pdf), 9);
    QTemporaryDir dir;
    checkedFile(dir, "structure.pdf", pdf);
}

TEST(TkxPDFDocument, NumbersObjectsAsTheFrameFixesThem)
{
    struct Case {
        int fonts;
        std::vector<int> imagesBeforePage;  // images added before each page
        std::vector<int> pageNumbers;
        QByteArray kids;
        int size;
    };
    const Case cases[] = {
        {1, {3}, {8}, "/Kids [ 8 0 R ]", 11},
        {1, {1, 1}, {6, 10}, "/Kids [ 6 0 R 10 0 R ]", 13},
        {0, {0}, {4}, "/Kids [ 4 0 R ]", 7},
        {2, {0, 0, 2}, {6, 9, 14}, "/Kids [ 6 0 R 9 0 R 14 0 R ]", 17},
    };
    for (const Case& c : cases) {
        Doc doc;
        for (int i = 0; i < c.fonts; ++i)
            doc.d->CheckAddFont(QFont(QStringLiteral("Font%1").arg(i)));
        doc.header();
        int counter = 0;
        for (size_t p = 0; p < c.imagesBeforePage.size(); ++p) {
            if (p > 0)
                doc.d->WritePageFooter();
            for (int i = 0; i < c.imagesBeforePage[p]; ++i)
                doc.d->AddXObject(++counter, i, 0, solid(1, 1, qRgb(1, 2, 3)));
            doc.d->WritePageHeader();
            EXPECT_EQ(doc.d->FPages.back().ObjectNo, c.pageNumbers[p]);
            EXPECT_EQ(doc.d->FPages.back().Contents, c.pageNumbers[p] + 1);
            EXPECT_EQ(doc.d->FPages.back().Resources, c.pageNumbers[p] + 2);
        }
        doc.d->WriteFooter();
        const QByteArray pdf = doc.bytes();
        const QByteArray tree = objectText(pdf, 3);
        EXPECT_TRUE(tree.contains(c.kids + CRLF)) << tree.constData();
        EXPECT_TRUE(tree.contains("/Count " + QByteArray::number(int(c.pageNumbers.size())) + CRLF));
        EXPECT_EQ(checkXref(pdf), c.size);
        EXPECT_TRUE(pdf.contains("xref\r\n0 " + QByteArray::number(c.size) + CRLF));
    }
}

TEST(TkxPDFDocument, ResourcesListTheFontsAndThePagesImages)
{
    Doc doc;
    doc.d->CheckAddFont(QFont("Arial"));
    doc.d->CheckAddFont(QFont("Courier New"));
    doc.header();
    for (int i = 1; i <= 3; ++i)
        doc.d->AddXObject(i, i - 1, 0, solid(2, 2, qRgb(9, 9, 9)));
    EXPECT_EQ(doc.d->FXObjects[2].ObjectNo, 8);
    EXPECT_EQ(doc.d->FXObjects[2].InternalName, "Img3");
    doc.d->WritePageHeader();  // 9: contents 10, resources 11
    doc.d->FPages.back().XObjectStartIndex = 0;
    doc.d->FPages.back().XObjectEndIndex = 2;
    doc.d->WritePageFooter();
    doc.d->WritePageHeader();  // 12: 13, 14
    doc.d->FPages.back().XObjectStartIndex = 2;
    doc.d->FPages.back().XObjectEndIndex = 2;
    doc.d->WritePageFooter();
    doc.d->WritePageHeader();  // 15: 16, 17, no images
    doc.d->WriteFooter();
    const QByteArray pdf = doc.bytes();
    EXPECT_EQ(objectText(pdf, 11),
              "11 0 obj\r\n<<\r\n/Font << /F0 4 0 R /F1 5 0 R >>\r\n/ProcSet [ /PDF /Text ]\r\n"
              "/XObject << /Img1 6 0 R /Img2 7 0 R /Img3 8 0 R >>\r\n>>\r\nendobj\r\n");
    EXPECT_TRUE(objectText(pdf, 14).contains("/XObject << /Img3 8 0 R >>\r\n"));
    EXPECT_FALSE(objectText(pdf, 17).contains("/XObject"));
    EXPECT_EQ(objectText(pdf, 12),
              "12 0 obj\r\n<< /Type /Page\r\n/Parent 3 0 R\r\n/MediaBox [0 0 612 792]\r\n"
              "/Contents 13 0 R\r\n/Resources 14 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(checkXref(pdf), 18);
    QTemporaryDir dir;
    const QString path = checkedFile(dir, "pages.pdf", pdf);
    const ToolResult info = runTool("pdfinfo", {path});
    EXPECT_TRUE(info.output.contains(QRegularExpression("Pages:\\s+3"))) << info.output.toStdString();
    EXPECT_TRUE(info.output.contains(QRegularExpression("Page size:\\s+612 x 792 pts")));
}

TEST(TkxPDFDocument, ResourcesWithoutFontsKeepTheTwoBlanks)
{
    Doc doc;
    doc.header();
    doc.d->WritePageHeader();
    doc.d->WriteFooter();
    EXPECT_TRUE(doc.bytes().contains("/Font <<  >>\r\n"));
}

TEST(TkxPDFDocument, InformationDictionaryIsEscapedAndDated)
{
    Doc doc;
    doc.header(false, false, QStringLiteral("a(b\\c) d) x"), QString());
    doc.d->WritePageHeader();
    doc.d->WriteFooter();
    const QByteArray info = objectText(doc.bytes(), 2);
    EXPECT_EQ(info,
              "2 0 obj\r\n<< /Author (Quellmark Software)\r\n/Producer ()\r\n/Creator (Pictorium)\r\n"
              "/Title (a\\(b\\\\c\\) d\\) x)\r\n/Keywords ()\r\n/Subject ()\r\n"
              "/CreationDate (D:20210303140509)\r\n>>\r\nendobj\r\n");
    QTemporaryDir dir;
    const QString path = checkedFile(dir, "info.pdf", doc.bytes());
    const ToolResult r = runTool("pdfinfo", {path});
    EXPECT_TRUE(r.output.contains(QStringLiteral("a(b\\c) d) x"))) << r.output.toStdString();

    // Beyond ASCII the reader's encoding differs from the code page.
    Doc wide;
    wide.header(false, false, QStringLiteral("\u00e9\u20ac(\u0416"));
    wide.d->WritePageHeader();
    wide.d->WriteFooter();
    EXPECT_TRUE(objectText(wide.bytes(), 2).contains("/Title <FEFF00E920AC00280416>\r\n"));
    const ToolResult w = runTool("pdfinfo", {checkedFile(dir, "wide.pdf", wide.bytes())});
    EXPECT_TRUE(w.output.contains(QStringLiteral("\u00e9\u20ac(\u0416"))) << w.output.toStdString();
}

TEST(TkxPDFDocument, CallsOutOfOrderRaiseAndWriteNothing)
{
    using Step = std::function<void(Doc&)>;
    const Step header = [](Doc& d) { d.header(); };
    const Step page = [](Doc& d) { d.d->WritePageHeader(); };
    const Step footer = [](Doc& d) { d.d->WriteFooter(); };
    const Step image = [](Doc& d) { d.d->AddXObject(1, 0, 0, solid(1, 1, 0)); };
    struct Case {
        const char* what;
        std::vector<Step> before;
        Step misuse;
    };
    const Case cases[] = {
        {"header twice", {header}, header},
        {"image before header", {}, image},
        {"page before header", {}, page},
        {"footer before header", {}, footer},
        {"footer without a page", {header}, footer},
        {"operator without a page", {header}, [](Doc& d) { d.d->Stream_WriteLine("q"); }},
        {"text box without a page",
         {header},
         [](Doc& d) {
             d.d->CheckAddFont(QFont("Arial"));
             QRect r(0, 0, 10, 10);
             TStringArray rest;
             d.d->WriteTextBox("x", false, "F0", 8, 0, Qt::AlignLeft, false, r, rest);
         }},
        {"watermark without a page", {header}, [](Doc& d) { d.d->WriteWatermark("x", wmtComment, 0); }},
        {"image on an open page", {header, page}, image},
        {"page inside a page", {header, page}, page},
        {"font after an image", {header, image}, [](Doc& d) { d.d->CheckAddFont(QFont("Arial")); }},
        {"font after a page",
         {header, page},
         [](Doc& d) { d.d->AddFont("Arial", "Helvetica", "F0", false, false); }},
        {"page footer without a page", {header}, [](Doc& d) { d.d->WritePageFooter(); }},
        {"page footer twice",
         {header, page, [](Doc& d) { d.d->WritePageFooter(); }},
         [](Doc& d) { d.d->WritePageFooter(); }},
        {"operator after the footer", {header, page, footer}, [](Doc& d) { d.d->Stream_MoveTo(1, 1); }},
        {"footer twice", {header, page, footer}, footer},
        {"page after the footer", {header, page, footer}, page},
    };
    for (const Case& c : cases) {
        Doc doc;
        for (const Step& s : c.before)
            s(doc);
        const QByteArray before = doc.bytes();
        EXPECT_THROW(c.misuse(doc), EPdfOrderError) << c.what;
        EXPECT_EQ(doc.bytes(), before) << c.what;
    }
}

TEST(TkxPDFDocument, FooterAfterAClosedLastPageCompletesTheFile)
{
    Doc doc;
    doc.d->CheckAddFont(QFont("Arial"));
    doc.header();
    doc.d->WritePageHeader();
    doc.d->WritePageFooter();
    doc.d->WriteFooter();
    EXPECT_EQ(checkXref(doc.bytes()), 8);
    QTemporaryDir dir;
    checkedFile(dir, "closed.pdf", doc.bytes());
}

TEST(TkxPDFDocument, ImageIndexOutsideTheListIsRefused)
{
    Doc doc;
    doc.header();
    doc.d->AddXObject(1, 0, 0, solid(1, 1, 0));
    doc.d->WritePageHeader();
    doc.d->FPages.back().XObjectStartIndex = 0;
    doc.d->FPages.back().XObjectEndIndex = 1;
    EXPECT_THROW(doc.d->WriteFooter(), platform::Error);
}

// ---------------------------------------------------- content operators

namespace {

// The content stream of a one-page document after the given operations.
QByteArray pageContent(const std::function<void(TkxPDFDocument&)>& ops, bool compress = false)
{
    Doc doc;
    doc.d->CheckAddFont(QFont("Arial"));
    doc.header(compress);
    doc.d->WritePageHeader();
    ops(*doc.d);
    doc.d->WriteFooter();
    return streamOf(doc.bytes(), 6);
}

}  // namespace

TEST(PdfContent, OperatorsWriteOneLineEach)
{
    using Op = std::function<void(TkxPDFDocument&)>;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<Op, QByteArray> cases[] = {
        {[](TkxPDFDocument& d) { d.Stream_SetLineWidth(0.2f); }, "0.20 w"},
        {[](TkxPDFDocument& d) { d.Stream_SetLineWidth(0.125f); }, "0.13 w"},
        {[](TkxPDFDocument& d) { d.Stream_SetLineWidth(-0.001f); }, "0.00 w"},
        {[&](TkxPDFDocument& d) { d.Stream_SetLineWidth(nan); }, "0.00 w"},
        {[&](TkxPDFDocument& d) { d.Stream_SetLineWidth(inf); }, "0.00 w"},
        {[](TkxPDFDocument& d) { d.Stream_SetLineWidth(1e20f); }, "100000002004087734272.00 w"},
        {[](TkxPDFDocument& d) { d.Stream_SetFillColor(0xFFFFFF); }, "1 1 1 rg"},
        {[](TkxPDFDocument& d) { d.Stream_SetFillColor(0); }, "0 0 0 rg"},
        {[](TkxPDFDocument& d) { d.Stream_SetStrokeColor(0xC0C0C0); }, "0.75 0.75 0.75 RG"},
        {[](TkxPDFDocument& d) { d.Stream_SetStrokeColor(0x808080); }, "0.5 0.5 0.5 RG"},
        {[](TkxPDFDocument& d) { d.Stream_SetFillColor(0x0000FF); }, "1 0 0 rg"},
        {[](TkxPDFDocument& d) { d.Stream_SetFillColor(0x80000005); }, "1 1 1 rg"},
        {[](TkxPDFDocument& d) { d.Stream_MoveTo(-3, INT_MAX); }, "-3 2147483647 m"},
        {[](TkxPDFDocument& d) { d.Stream_LineTo(INT_MIN, 0); }, "-2147483648 0 l"},
        {[](TkxPDFDocument& d) { d.Stream_Rectangle(8, 745, 28, 39); }, "8 745 28 39 re"},
        {[](TkxPDFDocument& d) { d.Stream_SetImageBox(10, 20, 32, 32); }, "32.00 0 0 32.00 10.00 20.00 cm"},
        {[](TkxPDFDocument& d) { d.Stream_SetTextMatrix(0, 10, 20); }, "1.00 0.00 0.00 1.00 10.00 20.00 Tm"},
        {[](TkxPDFDocument& d) { d.Stream_SetTextMatrix(90, 10, 8); }, "0.00 1.00 -1.00 0.00 10.00 8.00 Tm"},
        {[](TkxPDFDocument& d) { d.Stream_SetTextMatrix(270, 602, 784); },
         "0.00 -1.00 1.00 0.00 602.00 784.00 Tm"},
        {[](TkxPDFDocument& d) { d.Stream_WriteLine(QString::fromUtf8("% \u20ac")); }, "% \x80"},
    };
    for (const auto& [op, line] : cases)
        EXPECT_EQ(pageContent(op), line + CRLF);
}

TEST(PdfContent, NumbersKeepThePointUnderACommaLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const char* savedC = std::setlocale(LC_NUMERIC, nullptr);
    const std::string keepC = savedC ? savedC : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // where the machine has it
    const QByteArray content = pageContent([](TkxPDFDocument& d) {
        d.Stream_SetLineWidth(0.2f);
        d.Stream_SetImageBox(1.5f, 2.25f, 3, 4);
    });
    std::setlocale(LC_NUMERIC, keepC.c_str());
    QLocale::setDefault(saved);
    EXPECT_EQ(content, "0.20 w\r\n3.00 0 0 4.00 1.50 2.25 cm\r\n");
}

TEST(PdfContent, StreamBodiesAreRawOrFlateCompressed)
{
    const auto ops = [](TkxPDFDocument& d) {
        d.Stream_WriteLine("0 0 m");
        d.Stream_WriteLine("10 0 l");
        d.Stream_WriteLine("S");
    };
    Doc raw;
    raw.header(false);
    raw.d->WritePageHeader();
    ops(*raw.d);
    raw.d->Stream_WriteLine("");  // 20 bytes in all
    raw.d->WriteFooter();
    EXPECT_EQ(objectText(raw.bytes(), 5),
              "5 0 obj\r\n<<\r\n/Length 20\r\n>>\r\nstream\r\n0 0 m\r\n10 0 l\r\nS\r\n\r\n"
              "\r\nendstream\r\nendobj\r\n");

    Doc packed;
    packed.header(true);
    packed.d->WritePageHeader();
    ops(*packed.d);
    packed.d->Stream_WriteLine("");
    packed.d->WriteFooter();
    const QByteArray obj = objectText(packed.bytes(), 5);
    const QByteArray body = obj.mid(obj.indexOf("stream\r\n") + 8);
    const QByteArray data = body.left(body.indexOf("\r\nendstream"));
    EXPECT_TRUE(obj.startsWith("5 0 obj\r\n<<\r\n/Length " + QByteArray::number(data.size())
                               + "\r\n/Filter /FlateDecode\r\n>>\r\nstream\r\n"));
    EXPECT_EQ(data.left(2), QByteArray("\x78\x9c"));  // zlib header, default level
    EXPECT_EQ(streamOf(packed.bytes(), 5), "0 0 m\r\n10 0 l\r\nS\r\n\r\n");
    QTemporaryDir dir;
    checkedFile(dir, "packed.pdf", packed.bytes());
}

// ----------------------------------------------------------------- images

TEST(PdfImages, BitmapsBecomeRgbOrIndexedImages)
{
    QImage masked = bgr(2, 1, QByteArray("\x00\x00\xff\x01\x02\x03", 6));
    QImage pal(3, 2, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.append(qRgb(i, 255 - i, i / 2));
    pal.setColorTable(palette);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            pal.setPixel(x, y, static_cast<uint>(y * 3 + x + 65));
    QImage mono(9, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(1);
    mono.setPixel(0, 0, 0);
    QImage argb(2, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(10, 20, 30, 40));
    argb.setPixel(1, 0, qRgba(50, 60, 70, 80));

    struct Case {
        const char* what;
        QImage image;
        std::optional<uint32_t> transparent;
        QByteArray colorSpacePrefix;
        QByteArray samples;
        bool mask;
    };
    const Case cases[] = {
        {"24-bit", bgr(2, 1, QByteArray("\x01\x02\x03\x04\x05\x06", 6)), std::nullopt,
         "/ColorSpace /DeviceRGB\r\n", QByteArray("\x03\x02\x01\x06\x05\x04", 6), false},
        {"24-bit, red transparent", masked, 0x0000FF, "/ColorSpace /DeviceRGB\r\n",
         QByteArray("\xff\x00\x00\x03\x02\x01", 6), true},
        {"32-bit keeps no mask", argb, 0x0000FF, "/ColorSpace /DeviceRGB\r\n",
         QByteArray("\x0a\x14\x1e\x32\x3c\x46", 6), false},
        {"8-bit", pal, std::nullopt, "/ColorSpace [/Indexed /DeviceRGB 255 <00FF00 01FE00 ", "ABCDEF", false},
        {"1-bit", mono, std::nullopt, "/ColorSpace [/Indexed /DeviceRGB 255 <000000 FFFFFF 000000 ",
         QByteArray("\x00\x01\x01\x01\x01\x01\x01\x01\x01", 9), false},
    };
    for (const Case& c : cases) {
        Doc doc;
        doc.header(false);
        doc.d->AddXObject(7, 1, 2, c.image, c.transparent);
        doc.d->WritePageHeader();
        doc.d->WriteFooter();
        const QByteArray obj = objectText(doc.bytes(), 4);
        const QByteArray head = "4 0 obj\r\n<< /Type /XObject\r\n/Subtype /Image\r\n/Name /Img7\r\n";
        EXPECT_TRUE(obj.startsWith(head + c.colorSpacePrefix)) << c.what << "\n" << obj.left(120).constData();
        EXPECT_EQ(streamOf(doc.bytes(), 4), c.samples) << c.what;
        EXPECT_EQ(obj.contains("/Mask [255 255 0 0 0 0]\r\n"), c.mask) << c.what;
        EXPECT_TRUE(obj.contains("/Width " + QByteArray::number(c.image.width()) + "\r\n/Height "
                                 + QByteArray::number(c.image.height())
                                 + "\r\n/BitsPerComponent 8\r\n/Length "))
            << c.what;
        if (c.colorSpacePrefix.startsWith("/ColorSpace [")) {
            const qsizetype a = obj.indexOf('<', head.size());
            const qsizetype b = obj.indexOf('>', a);
            EXPECT_EQ(b - a + 1, 1794) << c.what;
            EXPECT_EQ(obj.mid(b - 1, 3), " >]") << c.what;
        }
        const TPDFXObject& x = doc.d->FXObjects.at(0);
        EXPECT_EQ(x.InternalName, "Img7");
        EXPECT_EQ(std::tuple(x.Col, x.Row, x.Width, x.Height),
                  std::tuple(1, 2, c.image.width(), c.image.height()));
    }
}

// A picture repeated is packed once; every body still holds its own
// picture, in the bytes compress2() makes of it.
TEST(PdfImages, RepeatedPicturesKeepTheirOwnBodies)
{
    QImage red(3, 2, QImage::Format_RGB888), blue(3, 2, QImage::Format_RGB888);
    red.fill(qRgb(200, 10, 20));
    blue.fill(qRgb(5, 6, 250));
    const std::vector<QImage> images {red, blue, red, blue, red};
    Doc doc;
    doc.header(true);
    for (size_t i = 0; i < images.size(); ++i)
        doc.d->AddXObject(static_cast<int>(i) + 1, static_cast<int>(i), 0, images[i]);
    doc.d->WritePageHeader();
    doc.d->WriteFooter();
    for (size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE(i);
        const QRgb c = images[i].pixel(0, 0);
        QByteArray samples;
        for (int n = 0; n < 6; ++n)
            samples += bytesOf({qRed(c), qGreen(c), qBlue(c)});
        const int k = 4 + static_cast<int>(i);
        EXPECT_EQ(streamOf(doc.bytes(), k), samples);
        uLongf size = compressBound(static_cast<uLong>(samples.size()));
        QByteArray packed(static_cast<qsizetype>(size), Qt::Uninitialized);
        ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                            reinterpret_cast<const Bytef*>(samples.constData()),
                            static_cast<uLong>(samples.size()), Z_DEFAULT_COMPRESSION),
                  Z_OK);
        packed.resize(static_cast<qsizetype>(size));
        EXPECT_TRUE(objectText(doc.bytes(), k).contains(">>\r\nstream\r\n" + packed + "\r\nendstream"));
    }
}

TEST(PdfImages, InvalidImagesAreRefusedBeforeTheObjectBegins)
{
    QImage small(2, 2, QImage::Format_Indexed8);
    small.setColorCount(16);
    small.fill(0);
    const QByteArray notJpeg = "not a jpeg at all";
    Doc doc;
    doc.header(true);
    const QByteArray before = doc.bytes();
    for (const auto& add : std::vector<std::function<void()>> {
             [&] { doc.d->AddXObject(1, 0, 0, small); },
             [&] { doc.d->AddXObject(1, 0, 0, QImage()); },
             [&] { doc.d->AddXObject(1, 0, 0, TkxJpegPicture {notJpeg}); },
             [&] { doc.d->AddXObject(1, 0, 0, TkxJpegPicture {jpegBytes(3).left(20)}); },
             [&] { doc.d->AddXObject(1, 0, 0, TkxJpegPicture {}); },
         }) {
        try {
            add();
            ADD_FAILURE() << "accepted";
        } catch (const platform::Error& e) {
            EXPECT_EQ(e.message(), "ExpErr-00004: Invalid image.");
        }
    }
    EXPECT_EQ(doc.bytes(), before);
    EXPECT_TRUE(doc.d->FXObjects.empty());
    // The document goes on as if nothing had been tried.
    doc.d->AddXObject(1, 0, 0, solid(3, 3, qRgb(1, 2, 3)));
    doc.d->WritePageHeader();
    doc.d->WriteFooter();
    EXPECT_EQ(checkXref(doc.bytes()), 8);
}

TEST(PdfImages, JpegDataIsWrittenUnchangedWithItsColourSpace)
{
    Doc doc;
    doc.header(true);
    const int components[] = {1, 3, 4};
    for (int i = 0; i < 3; ++i)
        doc.d->AddXObject(i + 1, i, 0, TkxJpegPicture {jpegBytes(components[i])});
    doc.d->AddXObject(4, 3, 0, solid(4, 2, qRgb(200, 10, 10)));
    doc.d->WritePageHeader();
    doc.d->FPages.back().XObjectStartIndex = 0;
    doc.d->FPages.back().XObjectEndIndex = 3;
    for (int i = 0; i < 4; ++i) {
        doc.d->Stream_WriteLine("q");
        doc.d->Stream_SetImageBox(10 + 40 * i, 700, 32, 16);
        doc.d->Stream_WriteLine(QStringLiteral("/Img%1 Do").arg(i + 1));
        doc.d->Stream_WriteLine("Q");
    }
    doc.d->WriteFooter();
    const QByteArray pdf = doc.bytes();
    const char* spaces[] = {"/DeviceGray", "/DeviceRGB", "/DeviceCMYK"};
    for (int i = 0; i < 3; ++i) {
        const QByteArray obj = objectText(pdf, 4 + i);
        const QByteArray jpeg = jpegBytes(components[i]);
        EXPECT_TRUE(obj.contains("/ColorSpace " + QByteArray(spaces[i])
                                 + "\r\n/Filter /DCTDecode\r\n"
                                   "/Width 4\r\n/Height 2\r\n/BitsPerComponent 8\r\n/Length "
                                 + QByteArray::number(jpeg.size()) + "\r\n>>\r\nstream\r\n" + jpeg
                                 + "\r\nendstream\r\n"))
            << spaces[i];
        EXPECT_FALSE(obj.contains("FlateDecode"));
    }
    EXPECT_TRUE(objectText(pdf, 7).contains("/Filter /FlateDecode"));
    EXPECT_EQ(doc.d->FXObjects[2].Width, 4);
    EXPECT_EQ(doc.d->FXObjects[2].Height, 2);
    QTemporaryDir dir;
    const QString path = checkedFile(dir, "images.pdf", pdf);
    const ToolResult list = runTool("pdfimages", {"-list", path});
    EXPECT_EQ(list.exitCode, 0);
    const QStringList rows = list.output.split('\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(rows.size(), 4) << list.output.toStdString();
    const char* expected[][3]
        = {{"gray", "1", "jpeg"}, {"rgb", "3", "jpeg"}, {"cmyk", "4", "jpeg"}, {"rgb", "3", "image"}};
    for (int i = 0; i < 4; ++i) {
        const QStringList f = rows[i].simplified().split(' ');
        EXPECT_EQ(f.value(3), "4");
        EXPECT_EQ(f.value(4), "2");
        EXPECT_EQ(f.value(5), expected[i][0]) << rows[i].toStdString();
        EXPECT_EQ(f.value(6), expected[i][1]);
        EXPECT_EQ(f.value(8), expected[i][2]);
    }
}

// ------------------------------------------------------------------ fonts

TEST(PdfFonts, WindowsNamesMapToStandardFonts)
{
    struct Case {
        const char* name;
        bool bold, italic;
        const char* pdf;
    };
    const Case cases[] = {
        {"Courier New", false, false, "Courier"},
        {"Courier", true, true, "Courier-BoldOblique"},
        {"courier", false, true, "Courier-Oblique"},
        {"Times New Roman", false, false, "Times-Roman"},
        {"TIMES NEW ROMAN", false, true, "Times-Italic"},
        {"Times New Roman", true, false, "Times-Bold"},
        {"Times New Roman", true, true, "Times-BoldItalic"},
        {"Times", false, false, "Helvetica"},
        {"Arial", true, false, "Helvetica-Bold"},
        {"Arial", false, true, "Helvetica-Oblique"},
        {"Tahoma", true, true, "Helvetica-BoldOblique"},
        {"Couriers", false, false, "Helvetica"},
        {"", false, false, "Helvetica"},
    };
    for (const Case& c : cases) {
        QFont f(QString::fromLatin1(c.name));
        f.setBold(c.bold);
        f.setItalic(c.italic);
        f.setUnderline(true);
        EXPECT_EQ(TkxPDFDocument::PDFFontName(f), c.pdf) << c.name;
    }
}

TEST(PdfFonts, EqualFontsAreAddedOnce)
{
    Doc doc;
    EXPECT_EQ(doc.d->PDFFontInternalName(QFont("Arial")), "F0");
    EXPECT_EQ(doc.d->CheckAddFont(QFont("Arial", 9)), "F0");
    EXPECT_EQ(doc.d->CheckAddFont(QFont("Arial", 12)), "F0");
    EXPECT_EQ(doc.d->ReservedObjectNumbersCount(), 2);
    QFont bold("Arial");
    bold.setBold(true);
    EXPECT_EQ(doc.d->CheckAddFont(bold), "F1");
    EXPECT_EQ(doc.d->ReservedObjectNumbersCount(), 3);
    EXPECT_EQ(doc.d->CheckAddFont(QFont("Verdana")), "F2");  // same standard font, other name
    EXPECT_EQ(doc.d->PDFFontInternalName(bold), "F1");
    EXPECT_EQ(doc.d->PDFFontInternalName(QFont("Verdana")), "F0");
    doc.header();
    doc.d->WritePageHeader();
    doc.d->WriteFooter();
    EXPECT_EQ(objectText(doc.bytes(), 5),
              "5 0 obj\r\n<< /Type /Font\r\n/Subtype /Type1\r\n/BaseFont /Helvetica-Bold\r\n"
              "/Encoding /WinAnsiEncoding\r\n>>\r\nendobj\r\n");
}

TEST(PdfFonts, MetricsComeFromTheStandardFonts)
{
    struct Case {
        const char* font;
        char16_t c;
        int width;
    };
    const Case cases[] = {
        {"Helvetica", u'A', 667},         {"Helvetica-Bold", u'A', 722},
        {"Helvetica-Oblique", u'i', 222}, {"Helvetica-BoldOblique", u'W', 944},
        {"Times-Roman", u'A', 722},       {"Times-Bold", u'm', 833},
        {"Times-Italic", u'f', 278},      {"Times-BoldItalic", u'M', 889},
        {"Courier", u'i', 600},           {"Courier-BoldOblique", u'\u20ac', 600},
        {"Helvetica", u'\u20ac', 556},    {"Helvetica", u' ', 278},
        {"Helvetica", u'\u00a0', 278},    {"Times-Roman", u'\u0178', 722},
    };
    for (const Case& c : cases) {
        const PdfFontMetrics* m = FindPdfFontMetrics(QString::fromLatin1(c.font));
        ASSERT_NE(m, nullptr) << c.font;
        EXPECT_EQ(PdfFontGlyphWidth(*m, c.c), c.width) << c.font << " " << int(c.c);
    }
    EXPECT_EQ(FindPdfFontMetrics(u"Arial"), nullptr);
    EXPECT_EQ(PdfFontGlyphWidth(*FindPdfFontMetrics(u"Helvetica"), u'\u4e00'), -1);
}

TEST(PdfFonts, NamesEscapeEveryDelimiter)
{
    EXPECT_EQ(kxpdf::PdfName("My (Font)/1#[x]{y}<z>%"), "My#20#28Font#29#2F1#23#5Bx#5D#7By#7D#3Cz#3E#25");
    EXPECT_EQ(kxpdf::PdfName(QString::fromUtf8("\u00e9\t")), "#E9#09");
    EXPECT_EQ(kxpdf::PdfName("Arial"), "Arial");
}

namespace {

// A Unicode-mode document with two fonts, the first of which draws Text.
QByteArray unicodeDocument(const QString& text, const QString& secondFont = "Times New Roman")
{
    Doc doc;
    doc.d->CheckAddFont(QFont("Arial"));
    doc.d->CheckAddFont(QFont(secondFont));
    doc.header(false, true);
    doc.d->WritePageHeader();
    QRect r(QPoint(10, 700), QPoint(600, 0));
    TStringArray rest;
    doc.d->WriteTextBox(text, false, "F0", 10, 0, Qt::AlignLeft, true, r, rest);
    doc.d->WriteFooter();
    return doc.bytes();
}

}  // namespace

TEST(PdfFonts, UnicodeModeWritesAMapAndWidthsForEveryFont)
{
    const QByteArray pdf = unicodeDocument("ABA", "My (Font)");
    // 1, 2 header; 3 page tree; 4, 5 fonts; 6 page, 7 contents, 8 resources;
    // 9 system info; 10-12 first font; 13-15 second font.
    EXPECT_EQ(checkXref(pdf), 16);
    EXPECT_TRUE(streamOf(pdf, 7).contains("<000100020001> Tj\r\n"));
    EXPECT_EQ(objectText(pdf, 9),
              "9 0 obj\r\n<< /Registry (Adobe)\r\n/Ordering (Identity)\r\n/Supplement 0\r\n>>\r\n"
              "endobj\r\n");
    EXPECT_TRUE(objectText(pdf, 10).contains("/FontName /Arial\r\n/FontFamily /Arial\r\n/Flags 32\r\n"));
    const QByteArray map = streamOf(pdf, 11);
    EXPECT_TRUE(map.contains("/CMapName /Arial def\r\n"));
    EXPECT_TRUE(map.contains("endcodespacerange\r\n2 beginbfchar\r\n<0001> <0041>\r\n<0002> <0042>\r\n"
                             "endbfchar\r\nendcmap\r\n"));
    EXPECT_TRUE(objectText(pdf, 11).contains("/Length " + QByteArray::number(map.size()) + " /Length1 "
                                             + QByteArray::number(map.size())));
    EXPECT_TRUE(objectText(pdf, 12).contains("/CIDSystemInfo 9 0 R\r\n/FontDescriptor 10 0 R\r\n"
                                             "/W [1 [667 667]]\r\n"));
    EXPECT_TRUE(objectText(pdf, 4).contains("/Subtype /Type0\r\n/BaseFont /Arial\r\n"
                                            "/Encoding /Identity-H\r\n/DescendantFonts [12 0 R]\r\n"
                                            "/ToUnicode 11 0 R\r\n"));
    // The font that drew nothing: an empty map, and its name escaped.
    const QByteArray emptyMap = streamOf(pdf, 14);
    EXPECT_TRUE(emptyMap.contains("/CMapName /My#20#28Font#29 def\r\n"));
    EXPECT_TRUE(emptyMap.contains("endcodespacerange\r\nendcmap\r\n"));
    EXPECT_TRUE(objectText(pdf, 15).contains("/BaseFont /My#20#28Font#29\r\n"));
    EXPECT_TRUE(objectText(pdf, 15).contains("/W []\r\n"));
    EXPECT_TRUE(objectText(pdf, 5).contains("/DescendantFonts [15 0 R]\r\n/ToUnicode 14 0 R\r\n"));
    QTemporaryDir dir;
    const QString path = checkedFile(dir, "unicode.pdf", pdf);
    const ToolResult text = runTool("pdftotext", {path, "-"});
    EXPECT_TRUE(text.output.contains("ABA")) << text.output.toStdString();
}

TEST(PdfFonts, CharacterMapsComeInBlocksOf99)
{
    QString text;
    for (int i = 0; i < 250; ++i)
        text += QChar(0x400 + i);
    const QByteArray map = streamOf(unicodeDocument(text), 11);
    EXPECT_EQ(map.count("beginbfchar"), 3);
    EXPECT_TRUE(map.contains("99 beginbfchar\r\n<0001> <0400>\r\n"));
    EXPECT_TRUE(map.contains("endbfchar\r\n99 beginbfchar\r\n<0064> <0463>\r\n"));
    EXPECT_TRUE(map.contains("endbfchar\r\n52 beginbfchar\r\n<00C7> <04C6>\r\n"));
    EXPECT_TRUE(map.contains("<00FA> <04F9>\r\nendbfchar\r\nendcmap"));
}

// ------------------------------------------------------------------ text

TEST(PdfText, LengthCoefficientsAndEscaping)
{
    EXPECT_FLOAT_EQ(TkxPDFDocument::PDFTextLenCoef("Courier-Bold", true, false), 1.5f);
    EXPECT_FLOAT_EQ(TkxPDFDocument::PDFTextLenCoef("Times-Roman", false, false), 2.32f);
    EXPECT_FLOAT_EQ(TkxPDFDocument::PDFTextLenCoef("Times-BoldItalic", true, true), 2.32f / 1.04f);
    EXPECT_FLOAT_EQ(TkxPDFDocument::PDFTextLenCoef("Times-Bold", true, false), 2.32f / 1.06f);
    EXPECT_FLOAT_EQ(TkxPDFDocument::PDFTextLenCoef("Times-Italic", false, true), 2.32f / 1.01f);
    EXPECT_FLOAT_EQ(TkxPDFDocument::PDFTextLenCoef("Helvetica", false, false), 2.14f);
    EXPECT_FLOAT_EQ(TkxPDFDocument::PDFTextLenCoef("Helvetica-BoldOblique", true, true), 2.14f / 1.09f);
    EXPECT_EQ(TkxPDFDocument::EscapeText("a(b)\\c\td"), "a\\(b\\)\\\\c\\td");
}

namespace {

struct Box {
    QByteArray content;  // the page's content stream
    int bottom = 0;
    QStringList rest;
};

Box textBox(const QString& fontName, const QString& text, int size, Qt::Alignment align, bool wrap, int left,
            int top, int right, QStringList rest = {}, bool calcOnly = false)
{
    Doc doc;
    doc.d->CheckAddFont(QFont(fontName));
    doc.header();
    doc.d->WritePageHeader();
    QRect r(QPoint(left, top), QPoint(right, -1));
    doc.d->WriteTextBox(text, calcOnly, "F0", size, 0, align, wrap, r, rest);
    doc.d->WriteFooter();
    return {streamOf(doc.bytes(), 6), r.bottom(), rest};
}

}  // namespace

TEST(PdfText, BoxesSplitAlignAndPlaceTheirLines)
{
    struct Case {
        const char* what;
        QString font, text;
        int size;
        Qt::Alignment align;
        bool wrap;
        int left, top, right;
        QByteArray lines;  // between the Tf line and ET
    };
    const Case cases[] = {
        // 40 * 2.14 / 8 = 10.7 -> 11 - 1 = 10 characters.
        {"number", "Arial", "12", 8, Qt::AlignLeft, false, 10, 747, 50, "10 747 Td\r\n(12) Tj\r\n"},
        {"cut to the estimate", "Arial", "12345678901234", 8, Qt::AlignLeft, false, 10, 747, 50,
         "10 747 Td\r\n(1234567890) Tj\r\n"},
        // Upper case: 2.14 / 1.1, 40 * 1.945 / 8 = 9.7 -> 10 - 1 = 9.
        {"upper case", "Arial", "ABCDEFGHIJKL", 8, Qt::AlignLeft, false, 10, 747, 50,
         "10 747 Td\r\n(ABCDEFGHI) Tj\r\n"},
        {"word wrap", "Arial", "The quick brown fox", 10, Qt::AlignLeft, true, 0, 700, 51,
         "0 700 Td\r\n(The quick) Tj\r\n0 -11 TD\r\n(brown fox) Tj\r\n"},
        // Courier 6 points a character at 10; centre 30: 30 - 9 and 30 - 12.
        {"centred", "Courier New", "abc abcd", 10, Qt::AlignHCenter, true, 10, 700, 50,
         "21 700 Td\r\n(abc) Tj\r\n-3 -11 TD\r\n(abcd) Tj\r\n"},
        // Centre 30.5: 21.5 -> 22 and 18.5 -> 18, halves to even.
        {"centred halves", "Courier New", "abc abcd", 10, Qt::AlignCenter, true, 10, 700, 51,
         "22 700 Td\r\n(abc) Tj\r\n-4 -11 TD\r\n(abcd) Tj\r\n"},
        // Helvetica at 10: "ab" 11.12 -> 11, "W" 9.44 -> 9.
        {"right", "Arial", "ab W", 10, Qt::AlignRight, true, 0, 700, 20,
         "9 700 Td\r\n(ab) Tj\r\n2 -11 TD\r\n(W) Tj\r\n"},
        {"escaped", "Arial", "a(b)\\", 10, Qt::AlignRight, false, 0, 700, 300,
         "279 700 Td\r\n(a\\(b\\)\\\\) Tj\r\n"},
        {"empty", "Arial", "", 10, Qt::AlignCenter, true, 0, 700, 300, "150 700 Td\r\n() Tj\r\n"},
        // Narrower than one character: one character a line, and it ends.
        {"too narrow", "Arial", "abc", 10, Qt::AlignLeft, true, 5, 700, 5,
         "5 700 Td\r\n(a) Tj\r\n0 -11 TD\r\n(b) Tj\r\n0 -11 TD\r\n(c) Tj\r\n"},
        {"reversed box", "Arial", "ab", 10, Qt::AlignLeft, false, 50, 700, 5, "50 700 Td\r\n(a) Tj\r\n"},
    };
    for (const Case& c : cases) {
        const Box b = textBox(c.font, c.text, c.size, c.align, c.wrap, c.left, c.top, c.right);
        const QByteArray head = "q\r\n0 0 0 rg\r\nBT\r\n/F0 " + QByteArray::number(c.size) + " Tf\r\n";
        EXPECT_EQ(b.content, head + c.lines + "ET\r\nQ\r\n") << c.what;
        EXPECT_TRUE(b.rest.isEmpty()) << c.what;
    }
}

TEST(PdfText, LinesBelowTheLimitComeBackToTheCaller)
{
    QStringList twelve;
    for (int i = 1; i <= 12; ++i)
        twelve << QStringLiteral("line%1").arg(i);
    const QString text = twelve.join("\r\n");
    // (100 - 8) div 11 + 2 = 10 lines.
    const Box b = textBox("Arial", text, 10, Qt::AlignLeft, true, 0, 100, 300);
    EXPECT_EQ(b.bottom, 210);
    EXPECT_EQ(b.rest, QStringList({"line11", "line12"}));
    EXPECT_EQ(b.content.count(" Tj\r\n"), 10);
    EXPECT_TRUE(b.content.contains("(line10) Tj\r\nET"));

    const Box next = textBox("Arial", "", 10, Qt::AlignLeft, true, 0, 100, 300, b.rest);
    EXPECT_TRUE(next.rest.isEmpty());
    EXPECT_TRUE(next.content.contains("0 100 Td\r\n(line11) Tj\r\n0 -11 TD\r\n(line12) Tj\r\n"));
    EXPECT_EQ(next.bottom, 122);

    const Box calc = textBox("Arial", text, 10, Qt::AlignLeft, true, 0, 100, 300, {"kept"}, true);
    EXPECT_EQ(calc.bottom, 210);
    EXPECT_EQ(calc.rest, QStringList({"kept"}));
    EXPECT_EQ(calc.content, "");

    // Below the bottom margin nothing fits, and nothing is lost.
    const Box low = textBox("Arial", "a b", 10, Qt::AlignLeft, true, 0, -40, 5);
    EXPECT_EQ(low.rest, QStringList({"a", "", "b"}));  // a hard cut keeps the blank
    EXPECT_EQ(low.content, "q\r\n0 0 0 rg\r\nBT\r\n/F0 10 Tf\r\nET\r\nQ\r\n");
}

TEST(PdfText, OddBoxesNeitherCrashNorBreakTheFile)
{
    Doc doc;
    doc.d->CheckAddFont(QFont("Arial"));
    doc.header(true);
    doc.d->WritePageHeader();
    TStringArray rest;
    const QRect boxes[]
        = {QRect(QPoint(INT_MIN, INT_MAX), QPoint(INT_MAX, INT_MIN)),
           QRect(QPoint(INT_MAX, INT_MIN), QPoint(INT_MIN, INT_MAX)), QRect(QPoint(0, 0), QPoint(0, 0))};
    for (QRect r : boxes) {
        for (const Qt::Alignment a : {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter}) {
            doc.d->WriteTextBox(QString(300, QChar(0xD800)), false, "F0", INT_MAX, 0, a, true, r, rest);
            doc.d->WriteTextBox("x\ty\r\nz", false, "F0", 1, 0, a, true, r, rest);
        }
    }
    QRect r(0, 0, 10, 10);
    EXPECT_THROW(doc.d->WriteTextBox("x", false, "F9", 8, 0, Qt::AlignLeft, false, r, rest), platform::Error);
    EXPECT_THROW(doc.d->WriteTextBox("x", false, "F0", 0, 0, Qt::AlignLeft, false, r, rest), platform::Error);
    doc.d->WriteFooter();
    QTemporaryDir dir;
    checkedFile(dir, "odd.pdf", doc.bytes());
}

TEST(PdfText, WatermarksSitAtThePageEdges)
{
    struct Case {
        TWatermarkType type;
        QByteArray matrix;
    };
    const Case cases[] = {
        {wmtTopLeft, "1.00 0.00 0.00 1.00 8.00 782.00 Tm"},
        {wmtRightLeft, "0.00 -1.00 1.00 0.00 602.00 784.00 Tm"},
        {wmtBottomLeft, "1.00 0.00 0.00 1.00 8.00 0.00 Tm"},
        {wmtLeftLeft, "0.00 1.00 -1.00 0.00 10.00 8.00 Tm"},
        {wmtTopCenter, "0.00 1.00 -1.00 0.00 10.00 8.00 Tm"},
        {wmtBottomRight, "0.00 1.00 -1.00 0.00 10.00 8.00 Tm"},
    };
    for (const Case& c : cases) {
        const QByteArray content
            = pageContent([&](TkxPDFDocument& d) { d.WriteWatermark("Made (by) \\me", c.type, 0xFF0000); });
        EXPECT_EQ(content,
                  "q\r\n0 0 1 rg\r\nBT\r\n/F0 10 Tf\r\n" + c.matrix
                      + "\r\n(Made \\(by\\) \\\\me) Tj\r\nET\r\nQ\r\n")
            << c.type;
    }
    EXPECT_EQ(pageContent([](TkxPDFDocument& d) { d.WriteWatermark("a\r\nb) Tj", wmtComment, 0); }),
              "%a  b) Tj\r\n");

    // Through the composite font of the Unicode mode: identifiers, not bytes.
    Doc uni;
    uni.d->CheckAddFont(QFont("Arial"));
    uni.header(false, true);
    uni.d->WritePageHeader();
    uni.d->WriteWatermark("aba", wmtTopLeft, 0);
    uni.d->WriteFooter();
    EXPECT_TRUE(streamOf(uni.bytes(), 6).contains("\r\n<000100020001> Tj\r\n"));
    EXPECT_TRUE(streamOf(uni.bytes(), 10).contains("<0001> <0061>\r\n<0002> <0062>\r\n"));

    Doc noFont;
    noFont.header();
    noFont.d->WritePageHeader();
    EXPECT_THROW(noFont.d->WriteWatermark("x", wmtTopLeft, 0), platform::Error);
    noFont.d->WriteWatermark("fine", wmtComment, 0);
}

// ------------------------------------------------- a page as readers see it

TEST(PdfReaders, AnIconGridPageReadsAndRenders)
{
    Doc doc;
    doc.d->CheckAddFont(QFont("Arial", 9));
    doc.header(true);
    const int count = 30;
    for (int i = 0; i < count; ++i) {
        QImage img(32, 32, QImage::Format_RGB32);
        img.fill(QColor::fromHsv(i * 12, 200, 230));
        for (int y = 8; y < 24; ++y)
            for (int x = 8; x < 24; ++x)
                img.setPixel(x, y, qRgb(20, 20, 20 + i * 7));
        doc.d->AddXObject(i + 1, i, 0, img);
    }
    doc.d->WritePageHeader();
    doc.d->Stream_SetLineWidth(0.2f);
    const int W = 24, H = 24, b = 1, t = 11, cols = 596 / (W + 2 + 2 * b), rowH = t + H + 2 + 2 * b;
    int x = 8;
    for (int i = 0; i < count; ++i) {
        x = i % cols == 0 ? 8 : x + W + 2 + 2 * b;
        const int y = (i / cols) * rowH + 8;
        doc.d->Stream_SetStrokeColor(0xC0C0C0);
        doc.d->Stream_SetFillColor(0xFFFFFF);
        doc.d->Stream_Rectangle(x, 792 - y - rowH, W + 4, t + H + 4);
        doc.d->Stream_WriteLine("B");
        QRect r(QPoint(x + b + 1, 790 - y), QPoint(x + W, 792 - y - rowH + b + t));
        TPDFPage& page = doc.d->FPages.back();
        if (page.XObjectStartIndex < 0)
            page.XObjectStartIndex = i;
        page.XObjectEndIndex = i;
        doc.d->Stream_WriteLine("q");
        doc.d->Stream_SetImageBox(r.left() + 1, r.bottom() + 1, r.right() - r.left() - 1,
                                  r.top() - r.bottom() - 1);
        doc.d->Stream_WriteLine("/" + doc.d->FXObjects[size_t(i)].InternalName + " Do");
        doc.d->Stream_WriteLine("Q");
        r.setTop(r.bottom() - 9 - 1);
        TStringArray rest;
        doc.d->WriteTextBox(QString::number(i + 1), false, "F0", 9, 0, Qt::AlignHCenter, false, r, rest);
    }
    doc.d->WriteWatermark("Quellmark Pictorium", wmtTopLeft, 0x808080);
    doc.d->WriteFooter();

    QTemporaryDir dir;
    const QString path = checkedFile(dir, "grid.pdf", doc.bytes());
    const ToolResult info = runTool("pdfinfo", {path});
    EXPECT_TRUE(info.output.contains(QRegularExpression("Page size:\\s+612 x 792 pts")))
        << info.output.toStdString();
    EXPECT_TRUE(info.output.contains(QRegularExpression("Title:\\s+Icons")));
    const ToolResult images = runTool("pdfimages", {"-list", path});
    EXPECT_EQ(images.output.split('\n', Qt::SkipEmptyParts).size(), 2 + count);
    const ToolResult text = runTool("pdftotext", {"-layout", path, "-"});
    for (const char* word : {"1", "21", "22", "30", "Quellmark Pictorium"})
        EXPECT_TRUE(text.output.contains(QLatin1String(word))) << word;
    const ToolResult png
        = runTool("pdftoppm", {"-png", "-r", "72", "-singlefile", path, dir.filePath("grid")});
    EXPECT_EQ(png.exitCode, 0) << png.output.toStdString();
    const QImage page(dir.filePath("grid.png"));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.size(), QSize(612, 792));
    // Cell 0's image: its dark centre at about (11 + 10, 792 - 758 - 12).
    EXPECT_LT(qGray(page.pixel(21, 22)), 80);
    EXPECT_EQ(page.pixel(300, 500), qRgb(255, 255, 255));
    if (qEnvironmentVariableIsSet("PICTORIUM_KEEP_PDF"))
        QFile::copy(path, qEnvironmentVariable("PICTORIUM_KEEP_PDF"));
}
