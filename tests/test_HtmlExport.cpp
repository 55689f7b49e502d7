#include "app/HtmlExport.h"

#include "platform/Exceptions.h"

#include "HangGuard.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

const QByteArray kBom = QByteArrayLiteral("\xEF\xBB\xBF");

QByteArray head(const QByteArray& title, bool borders)
{
    return kBom
        + "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
          "<html>\r\n<head>\r\n"
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\r\n"
          "<title>Pictoria "
        + title + "</title>\r\n<style>\r\n" + (borders ? "table, th, td {border: 1px solid black;}\r\n" : "")
        + "td {text-align: center;}\r\n</style>\r\n</head>\r\n<body>\r\n<table>\r\n<tr>\r\n";
}

QByteArray cell(int n, bool numbers, const char* folder = "icons_files", const char* stem = "a_dll")
{
    const QByteArray num = QByteArray::number(n);
    return "<td><img src=\"" + QByteArray(folder) + "/ico_" + stem + num.rightJustified(4, '0')
        + ".png\" width=\"32\" height=\"32\" alt=\"" + num + "\">" + (numbers ? "<br>" + num : QByteArray())
        + "</td>\r\n";
}

const QByteArray kTail = "</table>\r\n</body>\r\n</html>";

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString pictureName(const QString& folder, const QString& stem, int i)
{
    return folder + QStringLiteral("/ico_") + stem
        + QStringLiteral("%1.png").arg(i + 1, 4, 10, QLatin1Char('0'));
}

struct PageRun {
    int columns = 4;
    bool numbers = true;
    bool borders = true;
    QList<int> written;  // icons whose cells are written, in order
};

// Exports the cells of `run` from /x/a.dll into dir/icons_files and
// returns the page.
QByteArray exportPage(const QString& dir, const PageRun& run)
{
    const QString folder = dir + QStringLiteral("/icons_files");
    HtmlExport page(QStringLiteral("/x/a.dll"), folder, QStringLiteral(".htm"), run.columns, run.numbers,
                    run.borders);
    for (int i : run.written)
        page.addCell(i, pictureName(folder, QStringLiteral("a_dll"), i), 32, 32);
    page.finish();
    return readAll(dir + QStringLiteral("/icons.htm"));
}

struct Lint {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

Lint xmllint(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xmllint"), args);
    if (!p.waitForFinished(kHangGuard))
        return {-1, {}, "xmllint did not run"};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QString xpathString(const QString& page, const QString& expr)
{
    const Lint r = xmllint({QStringLiteral("--html"), QStringLiteral("--xpath"), expr, page});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QString out = QString::fromUtf8(r.out);
    if (out.endsWith(QLatin1Char('\n')))
        out.chop(1);
    return out;
}

void expectValidHtml(const QString& page)
{
    const Lint r = xmllint({QStringLiteral("--html"), QStringLiteral("--noout"), page});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, QByteArray()) << page.toStdString();
}

TEST(HtmlExport, PagesMatchTheirLayoutByteForByte)
{
    struct Case {
        const char* name;
        PageRun run;
        QByteArray expected;
    };
    const std::vector<Case> cases = {
        {"five icons in four columns",
         {4, true, true, {0, 1, 2, 3, 4}},
         head("/x/a.dll", true) + cell(1, true) + cell(2, true) + cell(3, true) + cell(4, true)
             + "</tr>\r\n<tr>\r\n" + cell(5, true) + "<td>&nbsp;</td><td>&nbsp;</td><td>&nbsp;</td></tr>\r\n"
             + kTail},
        {"two full rows",
         {4, true, true, {0, 1, 2, 3, 4, 5, 6, 7}},
         head("/x/a.dll", true) + cell(1, true) + cell(2, true) + cell(3, true) + cell(4, true)
             + "</tr>\r\n<tr>\r\n" + cell(5, true) + cell(6, true) + cell(7, true) + cell(8, true)
             + "</tr>\r\n" + kTail},
        {"fewer icons than columns, no numbers, no borders",
         {5, false, false, {0, 1, 2}},
         head("/x/a.dll", false) + cell(1, false) + cell(2, false) + cell(3, false)
             + "<td>&nbsp;</td><td>&nbsp;</td></tr>\r\n" + kTail},
        // Rows break on the cells written, so skipped icons leave no gap.
        {"first and third icons skipped",
         {2, true, true, {1, 3, 4, 5}},
         head("/x/a.dll", true) + cell(2, true) + cell(4, true) + "</tr>\r\n<tr>\r\n" + cell(5, true)
             + cell(6, true) + "</tr>\r\n" + kTail},
        {"last icon skipped after a full row",
         {2, true, true, {0, 1, 2, 3}},
         head("/x/a.dll", true) + cell(1, true) + cell(2, true) + "</tr>\r\n<tr>\r\n" + cell(3, true)
             + cell(4, true) + "</tr>\r\n" + kTail},
        {"column count 0 is one column",
         {0, true, true, {0, 1}},
         head("/x/a.dll", true) + cell(1, true) + "</tr>\r\n<tr>\r\n" + cell(2, true) + "</tr>\r\n" + kTail},
        {"negative column count",
         {-3, false, true, {0}},
         head("/x/a.dll", true) + cell(1, false) + "</tr>\r\n" + kTail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QByteArray page = exportPage(dir.path(), c.run);
        EXPECT_EQ(page.toStdString(), c.expected.toStdString());
        expectValidHtml(dir.path() + QStringLiteral("/icons.htm"));
    }
}

TEST(HtmlExport, NoCellWrittenLeavesNoPage)
{
    QTemporaryDir dir;
    HtmlExport page(QStringLiteral("/x/a.dll"), dir.path() + QStringLiteral("/icons_files"),
                    QStringLiteral(".htm"), 4, true, true);
    page.finish();
    EXPECT_FALSE(page.pageCreated());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(HtmlExport, PageFileIsThePicturesFolderLessFilesWithTheExtensionAsGiven)
{
    struct Case {
        const char* destDir;
        const char* destExt;
        const char* page;
    };
    const Case cases[] = {
        {"/w/Page_FILES", ".HTML", "/w/Page.HTML"},     {"/w/x_files", ".HTM", "/w/x.HTM"},
        {"/w/icons_files", "", "/w/icons.htm"},         {"/w/icons_files/", ".htm", "/w/icons.htm"},
        {"/w/my.page_Files", ".Htm", "/w/my.page.Htm"}, {"/w/Page_files", ".html", "/w/Page.html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HtmlExport::PageFileName(QString::fromUtf8(c.destDir), QString::fromUtf8(c.destExt)),
                  QString::fromUtf8(c.page))
            << c.destDir << " " << c.destExt;
}

TEST(HtmlExport, PicturesFolderTakesTheCaseOfThePagesExtension)
{
    struct Case {
        const char* page;
        const char* folder;
        const char* ext;
    };
    const Case cases[] = {
        {"/w/Page.html", "/w/Page_files", ".html"}, {"/w/Page.HTML", "/w/Page_FILES", ".HTML"},
        {"/w/Page.Html", "/w/Page_Files", ".Html"}, {"/w/Page.hTM", "/w/Page_fILES", ".hTM"},
        {"/w/Page", "/w/Page_files", ""},           {"/w/my.dir/p", "/w/my.dir/p_files", ""},
    };
    for (const Case& c : cases) {
        const QString folder = HtmlExport::PicturesFolder(QString::fromUtf8(c.page));
        EXPECT_EQ(folder, QString::fromUtf8(c.folder)) << c.page;
        // The page comes back from its folder and its extension.
        if (*c.ext) {
            EXPECT_EQ(HtmlExport::PageFileName(folder, QString::fromUtf8(c.ext)), QString::fromUtf8(c.page));
        }
    }
}

// Names that HTML or URLs give a meaning: every link must still lead to its
// picture, and the title must read back as the source path.
TEST(HtmlExport, AnyFileNameGivesAValidPageWithWorkingLinks)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = QStringLiteral("/src/my <i> \"n\" & #2 'q' %41 ?.dll");
    const QString stem = QStringLiteral("my <i> \"n\" & #2 'q' %41 ?_dll");
    const QString chosen = dir.path() + QStringLiteral("/We <b> \"q\" & #1 x\u00E9.htm");
    const QString folder = dir.path() + QStringLiteral("/We <b> \"q\" & #1 x\u00E9_files");
    ASSERT_TRUE(QDir().mkdir(folder));

    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    std::set<QString> written;
    HtmlExport page(source, folder, QStringLiteral(".htm"), 2, true, true);
    for (int i = 0; i < 3; ++i) {
        const QString name = pictureName(folder, stem, i);
        ASSERT_TRUE(picture.save(name, "PNG"));
        written.insert(name);
        page.addCell(i, name, 32, 32);
    }
    page.finish();
    ASSERT_TRUE(QFile::exists(chosen));
    expectValidHtml(chosen);

    EXPECT_EQ(xpathString(chosen, QStringLiteral("string(//title)")), QStringLiteral("Pictoria ") + source);
    EXPECT_EQ(xpathString(chosen, QStringLiteral("count(//img)")), QStringLiteral("3"));
    std::set<QString> linked;
    for (int i = 1; i <= 3; ++i) {
        const QString src = xpathString(chosen, QStringLiteral("string(//img[@alt='%1']/@src)").arg(i));
        const QUrl link(src, QUrl::StrictMode);
        ASSERT_TRUE(link.isValid()) << src.toStdString();
        EXPECT_TRUE(link.isRelative());
        const QString target = QUrl::fromLocalFile(chosen).resolved(link).toLocalFile();
        EXPECT_TRUE(QFile::exists(target)) << src.toStdString();
        linked.insert(target);
    }
    EXPECT_EQ(linked, written);
}

TEST(HtmlExport, FailedOrUnfinishedPagesLeaveNothingBehind)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pagePath = dir.path() + QStringLiteral("/icons.htm");
    {
        QFile old(pagePath);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old page");
    }
    {
        // A run that stops after some cells (an exception in the caller).
        HtmlExport page(QStringLiteral("/x/a.dll"), dir.path() + QStringLiteral("/icons_files"),
                        QStringLiteral(".htm"), 4, true, true);
        page.addCell(0, QStringLiteral("ico_a_dll0001.png"), 32, 32);
        EXPECT_TRUE(page.pageCreated());
    }
    EXPECT_EQ(readAll(pagePath), QByteArray("old page"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList {QStringLiteral("icons.htm")});

    const QString missing = dir.path() + QStringLiteral("/no such folder/icons.htm");
    HtmlExport page(QStringLiteral("/x/a.dll"), dir.path() + QStringLiteral("/no such folder/icons_files"),
                    QStringLiteral(".htm"), 4, true, true);
    try {
        page.addCell(0, QStringLiteral("ico_a_dll0001.png"), 32, 32);
        FAIL() << "no error for a page that cannot be created";
    } catch (const platform::InOutError& e) {
        EXPECT_TRUE(e.message().contains(missing)) << e.what();
    }
    EXPECT_NO_THROW(page.finish());
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(HtmlExport, EscapesMarkupAndControlCharacters)
{
    EXPECT_EQ(HtmlEscape(QStringLiteral("a&b<c>\"d\"'e'")),
              QStringLiteral("a&amp;b&lt;c&gt;&quot;d&quot;&#39;e&#39;"));
    EXPECT_EQ(HtmlEscape(QStringLiteral("x\u0001y\u0085\tz\u00E9")),
              QStringLiteral("x\uFFFDy\uFFFD\tz\u00E9"));
}

}  // namespace
