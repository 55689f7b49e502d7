#include "app/HtmlExport.h"

#include "app/myutils.h"
#include "kxCommon/kxFileUtils.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

#include <QFile>
#include <QUrl>

#include <algorithm>

namespace {

const char kCrLf[] = "\r\n";

QString trimTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString lastComponent(const QString& path)
{
    const QString p = trimTrailingSlashes(path);
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

// One path segment of a link: everything but the unreserved characters is
// percent-encoded from UTF-8, so no name can end the segment or the link.
QString pathSegment(const QString& name) { return QString::fromLatin1(QUrl::toPercentEncoding(name)); }

}  // namespace

QString HtmlEscape(const QString& Text)
{
    QString out;
    out.reserve(Text.size());
    for (const QChar c : Text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\'': out += QLatin1String("&#39;"); break;
        default:
            if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7F && u <= 0x9F))
                out += QChar(0xFFFD);
            else
                out += c;
        }
    }
    return out;
}

HtmlExport::HtmlExport(const QString& SrcFileName, const QString& DestDir, const QString& DestExt,
                       int ColumnCount, bool IncludeNumbers, bool DrawBorders)
    : m_srcFileName(SrcFileName),
      m_picturesFolder(lastComponent(DestDir)),
      m_pageFileName(PageFileName(DestDir, DestExt)),
      m_columnCount(std::max(ColumnCount, 1)),
      m_includeNumbers(IncludeNumbers),
      m_drawBorders(DrawBorders)
{}

HtmlExport::~HtmlExport() = default;

namespace {

const QLatin1String kFolderSuffix("_files");

}  // namespace

QString HtmlExport::PageFileName(const QString& DestDir, const QString& DestExt)
{
    QString base = trimTrailingSlashes(DestDir);
    if (base.endsWith(kFolderSuffix, Qt::CaseInsensitive))
        base.chop(kFolderSuffix.size());
    return base + (DestExt.isEmpty() ? QStringLiteral(".htm") : DestExt);
}

QString HtmlExport::PicturesFolder(const QString& PageFileName)
{
    const QString ext = ExtractFileExt(PageFileName);
    return PageFileName.chopped(ext.size()) + FollowCase(kFolderSuffix, ext);
}

void HtmlExport::write(const QByteArray& bytes)
{
    QString reason;
    if (!platform::writeAll(*m_file, bytes, &reason))
        fail(QStringLiteral("Cannot write file \"%1\". %2"), m_pageFileName, reason);
}

void HtmlExport::fail(const QString& format, const QString& name, const QString& reason)
{
    m_files.discard();
    m_file = nullptr;
    m_failed = true;
    throw platform::InOutError(format.arg(name, reason));
}

void HtmlExport::addPicture(const QString& PictureFileName, QByteArrayView Bytes)
{
    if (m_failed)
        throw platform::InOutError(QStringLiteral("Cannot write file \"%1\".").arg(m_pageFileName));
    QString reason;
    switch (m_files.add(PictureFileName, Bytes, &reason)) {
    case platform::WriteResult::Written: return;
    case platform::WriteResult::NotCreated:
        fail(QStringLiteral("Cannot create file \"%1\". %2"), PictureFileName, reason);
    case platform::WriteResult::WriteFailed: break;
    }
    fail(QStringLiteral("Error writing file \"%1\". %2"), PictureFileName, reason);
}

void HtmlExport::writeHead()
{
    m_begun = true;
    QString reason;
    m_file = m_files.create(m_pageFileName, &reason);
    if (!m_file)
        fail(QStringLiteral("Cannot create file \"%1\". %2"), m_pageFileName, reason);
    write(QByteArrayLiteral("\xEF\xBB\xBF"));
    write(QByteArrayLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
                            "<html>\r\n<head>\r\n"
                            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\r\n"
                            "<title>Pictoria "));
    write(HtmlEscape(m_srcFileName).toUtf8());
    write(QByteArrayLiteral("</title>\r\n"));
    write(QByteArrayLiteral("<style>\r\n"));
    if (m_drawBorders)
        write(QByteArrayLiteral("table, th, td {border: 1px solid black;}\r\n"));
    write(QByteArrayLiteral("td {text-align: center;}\r\n"));
    write(QByteArrayLiteral("</style>\r\n</head>\r\n"));
    write(QByteArrayLiteral("<body>\r\n"));
    write(QByteArrayLiteral("<table"));
    write(QByteArrayLiteral(">\r\n<tr>\r\n"));
    m_rowOpen = true;
}

void HtmlExport::addCell(int Index, const QString& PictureFileName, int Width, int Height)
{
    if (m_failed)
        throw platform::InOutError(QStringLiteral("Cannot write file \"%1\".").arg(m_pageFileName));
    if (!m_begun)
        writeHead();
    else if (!m_file)
        throw platform::InOutError(QStringLiteral("Cannot write file \"%1\".").arg(m_pageFileName));
    // Rows are counted in written cells, so a skipped icon leaves no gap.
    if (!m_rowOpen) {
        write(QByteArrayLiteral("<tr>\r\n"));
        m_rowOpen = true;
    }
    const QString number = QString::number(qint64 {Index} + 1);
    const QString link
        = pathSegment(m_picturesFolder) + QLatin1Char('/') + pathSegment(lastComponent(PictureFileName));
    QString cell = QStringLiteral("<td><img src=\"%1\" width=\"%2\" height=\"%3\" alt=\"%4\">")
                       .arg(HtmlEscape(link), QString::number(Width), QString::number(Height), number);
    if (m_includeNumbers)
        cell += QLatin1String("<br>") + number;
    cell += QLatin1String("</td>") + QLatin1String(kCrLf);
    write(cell.toUtf8());
    ++m_cellCount;
    if (m_cellCount % m_columnCount == 0) {
        write(QByteArrayLiteral("</tr>\r\n"));
        m_rowOpen = false;
    }
}

void HtmlExport::finish()
{
    if (!m_file)
        return;
    if (m_rowOpen) {
        const int empty = m_columnCount - m_cellCount % m_columnCount;
        QByteArray fill;
        fill.reserve(qsizetype {empty} * 15 + 7);
        for (int k = 0; k < empty; ++k)
            fill += "<td>&nbsp;</td>";
        fill += "</tr>\r\n";
        write(fill);
        m_rowOpen = false;
    }
    write(QByteArrayLiteral("</table>\r\n"));
    write(QByteArrayLiteral("</body>\r\n</html>"));
    m_file = nullptr;
    QString failed, reason;
    if (!m_files.commit(&failed, &reason)) {
        m_failed = true;
        throw platform::InOutError(QStringLiteral("Cannot write file \"%1\". %2").arg(failed, reason));
    }
}
