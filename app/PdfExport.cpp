#include "app/PdfExport.h"

#include "kxCommon/kxFileUtils.h"
#include "platform/Exceptions.h"
#include "platform/FileSet.h"
#include "platform/FileSystem.h"
#include "platform/Screen.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int kDefaultPixelsPerInch = 96;
constexpr int kDefaultMenuFontSize = 9;

QString namePart(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// The menu font of the running application; without one, the writer's
// standard face at the toolkit's default menu size.
QFont applicationMenuFont()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app))
        return QApplication::font("QMenu");
    if (qobject_cast<QGuiApplication*>(app))
        return QGuiApplication::font();
    return QFont(QStringLiteral("Helvetica"), kDefaultMenuFontSize);
}

// The writer's estimate of the characters that fit a line of Width points.
int estimatedChars(int64_t Width, float Coef, int FontSize)
{
    return static_cast<int>(std::nearbyint(static_cast<double>(Width) * Coef / FontSize)) - 1;
}

}  // namespace

PdfExport::PdfExport(const QString& DestDir, const QString& DestFileName, bool IncludeNumbers,
                     bool DrawBorders)
    : m_fileName(DocumentFileName(DestDir, DestFileName)),
      m_includeNumbers(IncludeNumbers),
      m_drawBorders(DrawBorders),
      m_pixelsPerInch(platform::screenPixelsPerInch()),
      m_menuFont(applicationMenuFont())
{
    if (m_pixelsPerInch < 1)
        m_pixelsPerInch = kDefaultPixelsPerInch;
}

PdfExport::~PdfExport() { discard(); }

QString PdfExport::DocumentFileName(const QString& DestDir, const QString& DestFileName)
{
    return AddBackslash(DestDir) + namePart(DestFileName);
}

void PdfExport::setPixelsPerInch(int PixelsPerInch)
{
    m_pixelsPerInch = PixelsPerInch < 1 ? kDefaultPixelsPerInch : PixelsPerInch;
}

void PdfExport::setMenuFont(const QFont& Font) { m_menuFont = Font; }

int PdfExport::menuFontSize() const
{
    int size = m_menuFont.pointSize();
    if (size < 1 && m_menuFont.pixelSize() > 0)
        size = PixelsToPoints(m_menuFont.pixelSize(), m_pixelsPerInch);
    return size < 1 ? kDefaultMenuFontSize : size;
}

int PdfExport::PixelsToPoints(int Pixels, int PixelsPerInch)
{
    const int64_t den = PixelsPerInch < 1 ? kDefaultPixelsPerInch : PixelsPerInch;
    const int64_t num = int64_t {Pixels} * 72;
    int64_t q = num / den;
    const int64_t twice = (num % den) * 2;
    if (twice > den || (twice == den && q % 2 != 0))
        ++q;
    return static_cast<int>(q);
}

PdfExport::Layout PdfExport::CellLayout(int PictureWidth, int PictureHeight, int PixelsPerInch, int FontSize,
                                        bool IncludeNumbers, bool DrawBorders)
{
    Layout L;
    L.W = PixelsToPoints(PictureWidth, PixelsPerInch);
    L.H = PixelsToPoints(PictureHeight, PixelsPerInch);
    L.b = DrawBorders ? 1 : 0;
    L.FontSize = FontSize;
    L.t = IncludeNumbers ? FontSize + 2 : 0;
    L.ColumnStep = L.W + 2 + 2 * L.b;
    // A picture wider than the page still gets its column.
    L.Columns = std::max(1, (kPageWidth - 2 * kMargin) / L.ColumnStep);
    L.RowHeight = L.t + L.H + 2 + 2 * L.b;
    L.RowsPerPage = std::max(1, (kPageHeight - 2 * kMargin) / L.RowHeight);
    return L;
}

PdfExport::Cell PdfExport::CellOf(const Layout& L, int i)
{
    Cell c;
    const int perPage = L.CellsPerPage();
    c.Page = i / perPage;
    const int k = i % perPage;
    c.X = kMargin + (k % L.Columns) * L.ColumnStep;
    c.Y = (k / L.Columns) * L.RowHeight + kMargin;
    c.FrameLeft = c.X;
    c.FrameBottom = kPageHeight - c.Y - L.RowHeight;
    c.FrameWidth = L.W + 4;
    c.FrameHeight = L.t + L.H + 4;
    const int left = c.X + L.b + 1;
    const int top = kPageHeight - 2 - c.Y;
    const int right = c.X + L.W;
    const int bottom = kPageHeight - c.Y - L.RowHeight + L.b + L.t;
    c.ImageLeft = left + 1;
    c.ImageBottom = bottom + 1;
    c.ImageWidth = right - left - 1;
    c.ImageHeight = top - bottom - 1;
    c.NumberLeft = left;
    c.NumberRight = right;
    c.NumberTop = bottom - L.FontSize - 1;
    return c;
}

void PdfExport::discard()
{
    m_doc.reset();
    m_file = nullptr;
    m_files.reset();
}

void PdfExport::fail(const QString& format, const QString& why)
{
    const QString reason = !why.isEmpty() ? why : m_file ? m_file->errorString() : QString();
    m_failed = true;
    discard();
    throw platform::InOutError(format.arg(m_fileName, reason));
}

void PdfExport::create()
{
    m_begun = true;
    // A temporary name of its own length, whatever the document's.
    m_files = std::make_unique<platform::FileSet>();
    QString why;
    m_file = m_files->create(m_fileName, &why);
    if (!m_file)
        fail(QStringLiteral("Cannot create file \"%1\". %2"), why);
    m_doc = std::make_unique<TkxPDFDocument>(m_file);
    if (m_clock)
        m_doc->SetClock(m_clock);
    m_fontName = m_doc->CheckAddFont(m_menuFont);
    m_fontSize = menuFontSize();
    m_doc->WriteHeader(true, false, kPageHeight, kPageWidth, kMargin, kMargin, kMargin, kMargin,
                       QStringLiteral("Quellmark Software"), QString(), QStringLiteral("Pictorium"),
                       QStringLiteral("Icons"));
}

qint64 PdfExport::bytesWritten() const { return m_file ? m_file->pos() : 0; }

void PdfExport::addIcon(int Index, const platform::Bitmap& Picture)
{
    if (m_failed || m_finished || (m_begun && !m_doc))
        throw platform::InOutError(QStringLiteral("Cannot write file \"%1\".").arg(m_fileName));
    // Images are named after their icons: a repeated name would leave one
    // of them out of the page.
    if (Index <= m_lastIndex || Index == std::numeric_limits<int>::max())
        throw platform::Error(QStringLiteral("Icon %1 cannot follow icon %2 in \"%3\".")
                                  .arg(qint64 {Index} + 1)
                                  .arg(qint64 {m_lastIndex} + 1)
                                  .arg(m_fileName));
    QImage image = Picture.image();
    // The writer takes indexed pictures with a full palette only.
    if (image.format() == QImage::Format_Indexed8 && image.colorCount() < 256) {
        QList<QRgb> palette = image.colorTable();
        palette.resize(256, qRgb(0, 0, 0));
        image.setColorTable(palette);
    }
    try {
        if (!m_begun)
            create();
        m_doc->AddXObject(Index + 1, Index, 0, image);
    } catch (const platform::InOutError& e) {
        if (!m_failed)
            fail(QStringLiteral("Cannot write file \"%1\". %2"), e.message());
        throw;
    } catch (...) {
        m_failed = true;
        discard();
        throw;
    }
    m_lastIndex = Index;
    ++m_iconCount;
}

void PdfExport::writeNumber(const Cell& c, int Number)
{
    const QString text = QString::number(Number);
    // The writer cuts a line to the characters it estimates the box takes;
    // a wider box about the same centre keeps every digit.
    const TPDFFont& font = m_doc->Fonts().front();
    const float coef = TkxPDFDocument::PDFTextLenCoef(font.PDFName, font.Bold, font.Italic);
    const int fontSize = m_fontSize;
    int64_t left = c.NumberLeft, right = c.NumberRight;
    while (estimatedChars(right - left, coef, fontSize) < text.size() && right - left < kPageWidth * 4) {
        --left;
        ++right;
    }
    QRect r;
    r.setCoords(static_cast<int>(left), c.NumberTop, static_cast<int>(right), c.NumberTop);
    TStringArray remaining;
    m_doc->WriteTextBox(text, false, m_fontName, fontSize, 0, Qt::AlignHCenter, false, r, remaining);
}

void PdfExport::layOut()
{
    TkxPDFDocument& doc = *m_doc;
    const TPDFXObject& first = doc.FXObjects.front();
    const Layout L
        = CellLayout(first.Width, first.Height, m_pixelsPerInch, m_fontSize, m_includeNumbers, m_drawBorders);
    const int count = static_cast<int>(doc.FXObjects.size());
    for (int i = 0; i < count; ++i) {
        const Cell c = CellOf(L, i);
        if (i % L.CellsPerPage() == 0) {
            if (i > 0)
                doc.WritePageFooter();
            doc.WritePageHeader();
            doc.Stream_SetLineWidth(0.2f);
        }
        if (m_drawBorders) {
            doc.Stream_SetStrokeColor(0xC0C0C0);
            doc.Stream_SetFillColor(0xFFFFFF);
            doc.Stream_Rectangle(c.FrameLeft, c.FrameBottom, c.FrameWidth, c.FrameHeight);
            doc.Stream_WriteLine(QStringLiteral("B"));
        }
        TPDFPage& page = doc.FPages.back();
        if (page.XObjectStartIndex < 0)
            page.XObjectStartIndex = i;
        page.XObjectEndIndex = i;
        const TPDFXObject& image = doc.FXObjects[static_cast<size_t>(i)];
        doc.Stream_WriteLine(QStringLiteral("q"));
        doc.Stream_SetImageBox(c.ImageLeft, c.ImageBottom, c.ImageWidth, c.ImageHeight);
        doc.Stream_WriteLine(QLatin1Char('/') + image.InternalName + QLatin1String(" Do"));
        doc.Stream_WriteLine(QStringLiteral("Q"));
        if (m_includeNumbers)
            writeNumber(c, image.Col + 1);
    }
    doc.WriteFooter();
}

void PdfExport::finish()
{
    if (!m_doc)
        return;
    try {
        layOut();
    } catch (const platform::InOutError& e) {
        fail(QStringLiteral("Cannot write file \"%1\". %2"), e.message());
    } catch (...) {
        m_failed = true;
        discard();
        throw;
    }
    m_doc.reset();
    QString reason;
    if (!m_files->commit(nullptr, &reason)) {
        m_failed = true;
        discard();
        throw platform::InOutError(QStringLiteral("Cannot write file \"%1\". %2").arg(m_fileName, reason));
    }
    m_file = nullptr;
    m_files.reset();
    m_finished = true;
}
