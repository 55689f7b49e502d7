// The program itself, started with no display: batch exports end the
// process with a status, and their files are checked by real readers.
#include "CostCorpus.h"
#include "HangGuard.h"
#include "IcoBuilder.h"
#include "InstalledProgram.h"
#include "VirtualDisplay.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);
const QString kSource = kFixtures + QStringLiteral("/groups32.dll");

struct Tool {
    int status = -1;
    QString out;
};

// A real reader of the output.
Tool tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(kHangGuard))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError())};
}

QString fileType(const QString& path) { return tool("file", {"-b", path}).out; }

// Every file under Dir, by its path from there, with its bytes.
QMap<QString, QByteArray> filesUnder(const QString& dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        files.insert(QDir(dir).relativeFilePath(path), f.open(QIODevice::ReadOnly) ? f.readAll() : "?");
    }
    return files;
}

class Program : public InstalledProgram {
protected:
    Outcome run(const QStringList& args, const QString& workDir = {})
    {
        return runWith(batchEnvironment(), args, workDir);
    }
    // What cron or `env -i` gives: a path and a home, nothing of a session.
    QProcessEnvironment plainEnvironment() const
    {
        QProcessEnvironment env;
        env.insert("PATH", "/usr/bin:/bin");
        env.insert("HOME", home.path());
        return env;
    }
    Outcome runWith(const QProcessEnvironment& env, const QStringList& args, const QString& workDir = {})
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(workDir.isEmpty() ? work.path() : workDir);
        p.start(installed.filePath("pictorium"), args);
        EXPECT_TRUE(p.waitForFinished(kHangGuard));
        Outcome o {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                   QString::fromLocal8Bit(p.readAllStandardError())};
        for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error"})
            EXPECT_FALSE(o.err.contains(QLatin1String(report))) << o.err.toStdString();
        return o;
    }
    QString out(const QString& name) const { return work.filePath(name); }
};

}  // namespace

TEST_F(Program, ExportsEveryFormatAndKind)
{
    struct Case {
        const char* dest;
        QStringList switches;
        int saved;  // -1: no count message
        std::function<void(const QString&)> check;
    };
    const auto picture = [](const char* kind) {
        return [kind](const QString& path) {
            EXPECT_TRUE(fileType(path).startsWith(kind)) << fileType(path).toStdString();
        };
    };
    const auto icon = [](const QString& path) {
        const Tool t = tool("icotool", {"-l", path});
        EXPECT_EQ(t.status, 0);
        EXPECT_TRUE(t.out.contains("--icon")) << t.out.toStdString();
    };
    const auto png = [](const QString& path) { EXPECT_EQ(tool("pngcheck", {path}).status, 0); };
    const auto eachOf = [](QString pattern, std::function<void(const QString&)> check) {
        return [pattern, check](const QString& folder) {
            const QStringList files = QDir(folder).entryList({pattern}, QDir::Files);
            EXPECT_EQ(files.size(), 3) << folder.toStdString();
            for (const QString& f : files)
                check(folder + u'/' + f);
        };
    };
    const Case cases[] = {
        {"one.ico", {}, 2, icon},
        {"one.bmp", {}, 1, picture("PC bitmap")},
        {"one.jpg", {}, 1, picture("JPEG image data")},
        {"one.emf", {"-iconindex=2"}, 1, picture("Windows Enhanced Metafile")},
        {"one.gif", {"-grayscale"}, 1, picture("GIF image data")},
        {"one.png", {"-iconindex=3"}, 1, png},
        {"all.png", {"-alliconsasoneimage"}, -1, png},
        {"all.jpeg", {"-alliconsasoneimage"}, -1, picture("JPEG image data")},
        {"icons", {"-iconindex=0"}, 3, eachOf("*.ico", icon)},
        {"pictures",
         {"-iconindex=0", "-desttype=Metafile"},
         3,
         eachOf("*.emf", picture("Windows Enhanced Metafile"))},
        {"small", {"-iconindex=0", "-desttype=png", "-iconsizesmall"}, 3, eachOf("*.png", png)},
        {"page.html",
         {"-htmldestimagetype=gif", "-includenumbers", "-drawborders"},
         3,
         [&](const QString& path) {
             EXPECT_TRUE(fileType(path).startsWith("HTML document")) << fileType(path).toStdString();
             eachOf("*.gif", picture("GIF image data"))(out("page_files"));
         }},
        {"table.dbf",
         {"-dbasefieldname=PICTURES_OF_ICONS", "-dbasedesttype=png"},
         3,
         [&](const QString& path) {
             EXPECT_TRUE(fileType(path).contains("with memo")) << fileType(path).toStdString();
             EXPECT_TRUE(fileType(out("table.dbt")).contains("DBT"))
                 << fileType(out("table.dbt")).toStdString();
         }},
        {"doc.pdf",
         {"-includenumbers"},
         3,
         [](const QString& path) {
             EXPECT_EQ(tool("qpdf", {"--check", path}).status, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dest);
        const Outcome o = run(QStringList {"-e", kSource, out(c.dest)} + c.switches);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, c.saved < 0 ? QString() : QString("Pictorium: Saved: %1\n").arg(c.saved));
        c.check(out(c.dest));
    }
}

// The type of an export is read from the extension without case, but a name
// that differs from another only in case is a file of its own, and so is
// every file that goes with it: the earlier export stays as it was.
TEST_F(Program, NamesThatDifferOnlyInCaseAreFilesOfTheirOwn)
{
    const QString other = kFixtures + QStringLiteral("/system/shell32.dll");
    struct Case {
        const char* first;
        const char* second;
        QStringList added;  // by the second export
    };
    const Case cases[] = {
        {"t.dbf", "t.DBF", {"t.DBF", "t.DBT"}},
        {"Page.html",
         "Page.HTML",
         {"Page.HTML", "Page_FILES/ico_shell32_dll0001.png", "Page_FILES/ico_shell32_dll0002.png",
          "Page_FILES/ico_shell32_dll0003.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second);
        QTemporaryDir dir;
        const QString first = dir.filePath(c.first);
        const QString second = dir.filePath(c.second);
        Outcome o = run({"-e", kSource, first, "-closewhendone"});
        ASSERT_EQ(o.status, 0) << o.err.toStdString();
        const QMap<QString, QByteArray> earlier = filesUnder(dir.path());
        o = run({"-e", other, second, "-closewhendone"});
        ASSERT_EQ(o.status, 0) << o.err.toStdString();
        QMap<QString, QByteArray> now = filesUnder(dir.path());
        for (const QString& name : c.added)
            EXPECT_TRUE(now.remove(name) == 1) << name.toStdString() << " was not written";
        EXPECT_EQ(now.keys().join(u' ').toStdString(), earlier.keys().join(u' ').toStdString());
        EXPECT_TRUE(now == earlier) << "the earlier export changed";
    }
    // Each is whole, and the second shows the other file's icons.
    QTemporaryDir dir;
    for (const char* dest : {"t.dbf", "Page.html"})
        ASSERT_EQ(run({"-e", kSource, dir.filePath(dest), "-closewhendone"}).status, 0);
    for (const char* dest : {"t.DBF", "Page.HTML"})
        ASSERT_EQ(run({"-e", other, dir.filePath(dest), "-closewhendone"}).status, 0);
    EXPECT_TRUE(fileType(dir.filePath("t.DBF")).contains("with memo"));
    EXPECT_TRUE(fileType(dir.filePath("t.DBT")).contains("DBT"))
        << fileType(dir.filePath("t.DBT")).toStdString();
    const QMap<QString, QByteArray> files = filesUnder(dir.path());
    EXPECT_NE(files.value("t.DBT"), files.value("t.dbt"));
    EXPECT_TRUE(files.value("Page.HTML").contains("<img src=\"Page_FILES/ico_shell32_dll0003.png\""));
    EXPECT_TRUE(files.value("Page.html").contains("<img src=\"Page_files/ico_groups32_dll0003.png\""));
}

TEST_F(Program, ErrorsEndWithStatusOne)
{
    const QString missing = kFixtures + "/missing.dll";
    struct Case {
        const char* what;
        QStringList args;
        QString err;
    };
    const Case cases[] = {
        {"a missing source",
         {"-e", missing, out("x.png"), "-closewhendone"},
         "Pictorium: Command line error:\nFile does not exist:\n" + missing + "\n"},
        {"a missing destination",
         {"/E", kSource},
         "Pictorium: Command line error:\nNo destination is given for the export.\n"},
        {"an icon the file does not have",
         {"-e", kSource, out("x.png"), "-iconindex=9"},
         "Pictorium: \"" + kSource + "\" has 3 icon(s); there is no icon 9.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = run(c.args);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, c.err);
    }
    EXPECT_TRUE(QDir(work.path()).isEmpty());
}

TEST_F(Program, ClosesWhenDoneWithoutAMessage)
{
    const Outcome o = run({"-e", kSource, out("x.png"), "-closewhendone"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, QString());
    EXPECT_EQ(tool("pngcheck", {out("x.png")}).status, 0);
    // Its settings went beside the copy, and to the test's own home.
    EXPECT_TRUE(QFile::exists(installed.filePath("gharv.ini")));
}

TEST_F(Program, ClosesWhenDoneOnADisplay)
{
    const VirtualDisplay display;
    if (display.name().isEmpty())
        GTEST_SKIP() << "no Xvfb";
    const QString utf16 = QStringLiteral("[Settings]\r\nRun=0\r\n");
    struct Case {
        const char* what;
        QByteArray ini;
    };
    const Case cases[] = {
        // The panel left open starts a search in the window's first turns.
        {"find panel open", "[Settings]\nRun=2\nShowSeparateWindow=0\n[Placement]\nFindPanelVisible=1\n"},
        // Settings that cannot be used, on a first run without the help
        // file: both are notices that must not hold the export up.
        {"settings in UTF-16",
         QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(utf16.utf16()), utf16.size() * 2)},
    };
    QProcessEnvironment env = batchEnvironment();
    env.insert("DISPLAY", display.name());
    env.insert("LSAN_OPTIONS", "suppressions=" SOURCE_DIR "/tests/support/lsan-display.supp");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile ini(installed.filePath("gharv.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(c.ini);
        ini.close();
        QFile::remove(out("x.png"));
        const Outcome o = runWith(env, {"-e", kSource, out("x.png"), "-closewhendone"});
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(tool("pngcheck", {out("x.png")}).status, 0);
    }
}

TEST_F(Program, OnADisplayAFailedExportEndsWithStatusOneOnceTheWindowCloses)
{
    const VirtualDisplay display;
    const QString xdotool = QStandardPaths::findExecutable("xdotool");
    const QString wmctrl = QStandardPaths::findExecutable("wmctrl");
    const QString openbox = QStandardPaths::findExecutable("openbox");
    if (display.name().isEmpty() || xdotool.isEmpty() || wmctrl.isEmpty() || openbox.isEmpty())
        GTEST_SKIP() << "needs Xvfb, openbox, xdotool and wmctrl";
    QProcessEnvironment env = batchEnvironment();
    env.insert("DISPLAY", display.name());
    env.insert("LSAN_OPTIONS",
               "print_suppressions=0:suppressions=" SOURCE_DIR "/tests/support/lsan-display.supp");
    // A window manager, which closes a window as a user's click on its
    // close button does.
    QProcess manager;
    manager.setProcessEnvironment(env);
    manager.start(openbox, {"--sm-disable"});
    ASSERT_TRUE(manager.waitForStarted(kHangGuard));
    const auto x = [&](const QString& program, const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForFinished(kHangGuard);
        return QString::fromLocal8Bit(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    };
    const auto programWindows = [&] {
        return x(xdotool, {"search", "--onlyvisible", "--name", "^Pictorium"});
    };
    const auto waitFor = [&](const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < kHangGuard)
            QThread::msleep(100);
        return done();
    };

    const QStringList cases[] = {
        {"-e", kFixtures + "/missing.dll", out("x.png"), "-closewhendone"},
        {"-e", kSource, out("x.png"), "-iconindex=9", "-closewhendone"},
        {"-e", kSource, out("x.png")},  // a good one: its count in a box
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome headless = run(args);
        QFile::remove(out("x.png"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work.path());
        p.start(installed.filePath("pictorium"), args);
        // The window and its box; OK on the box, then the window closed.
        ASSERT_TRUE(waitFor([&] { return programWindows().size() == 2; })) << programWindows().size();
        ASSERT_TRUE(waitFor([&] {
            x(xdotool, {"key", "Return"});
            QThread::msleep(200);
            return programWindows().size() == 1;
        }));
        x(wmctrl, {"-c", "Pictorium"});
        ASSERT_TRUE(p.waitForFinished(kHangGuard));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), headless.status);
        EXPECT_EQ(QString::fromLocal8Bit(p.readAllStandardError()).toStdString(),
                  headless.status == 0 ? "" : headless.err.toStdString());
    }
    manager.terminate();
    manager.waitForFinished(5000);
}

TEST_F(Program, PlainEnvironmentLeavesStandardErrorToTheProgram)
{
    // The PNG image of this icon has a text chunk with a wrong check sum:
    // the image decodes, and the PNG library warns about the chunk.
    fixture::IcoImage image = fixture::pngImage(32, 32, 9);
    const fixture::ByteVec chunk = {0, 0, 0, 4, 't', 'E', 'X', 't', 'a', 'b', 'c', 'd', 0, 0, 0, 0};
    image.data.insert(image.data.begin() + 33, chunk.begin(), chunk.end());
    const QString ico = work.filePath("warns.ico");
    fixture::writeFile(QFile::encodeName(ico).toStdString(), fixture::icoFile({image}));

    const QStringList exports[] = {
        {"-e", ico, out("warns.png"), "-closewhendone"},
        {"-e", ico, out("warns.bmp"), "-closewhendone"},
        {"-e", kSource, out("doc.pdf"), "-closewhendone"},
        {"-e", kSource, out("pictures"), "-iconindex=0", "-desttype=png", "-closewhendone"},
    };
    for (const QStringList& args : exports) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome o = runWith(plainEnvironment(), args);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err.toStdString(), "");
    }
    EXPECT_EQ(tool("pngcheck", {out("warns.png")}).status, 0);

    // Asked for, the toolkit's messages come through; and none of them is
    // about a runtime folder that a batch export has no use for.
    QProcessEnvironment debug = plainEnvironment();
    debug.insert("PICTORIUM_DEBUG", "1");
    const Outcome o = runWith(debug, {"-e", ico, out("again.png"), "-closewhendone"});
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.err.contains("libpng warning")) << o.err.toStdString();
    EXPECT_FALSE(o.err.contains("XDG_RUNTIME_DIR")) << o.err.toStdString();
}

TEST_F(Program, SettingsFileThatIsAFifoNeitherStallsNorIsReplaced)
{
    const QString fifo = installed.filePath("gharv.ini");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const Outcome o = run({"-e", kSource, out("x.png"), "-closewhendone"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err.toStdString(), "");
    struct stat st {};
    ASSERT_EQ(lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(Program, WithoutAnExportItNeedsADisplay)
{
    for (const QStringList& args : {QStringList {}, QStringList {kSource}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome o = run(args);
        EXPECT_EQ(o.status, 1);
        EXPECT_TRUE(o.err.contains("needs a display")) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains("-e ")) << o.err.toStdString();
    }
}

TEST_F(Program, RelativePathsAreTakenFromTheStartFolder)
{
    QDir(work.path()).mkdir("in");
    ASSERT_TRUE(QFile::copy(kSource, out("in/my icons.dll")));
    // An unquoted path with a blank is not one: with -e the arguments are
    // the source and the destination as given.
    Outcome o = run({"-e", "in/my icons.dll", "doc.pdf", "-closewhendone"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_EQ(tool("qpdf", {"--check", out("doc.pdf")}).status, 0);
    o = run({"-e", "in/my icons.dll", "numbered", "-iconindex=0", "-desttype=gif", "-closewhendone"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_EQ(QDir(out("numbered")).entryList({"ico_my icons_dll000?.gif"}, QDir::Files).size(), 3);
}

// 65,535 groups that share one tiny picture, from a module of half a
// megabyte: the document stays within the run's output budget, so it is
// written whole, or refused through that budget.
TEST_F(Program, ADocumentOfManySharedGroupsIsWrittenWholeOrRefused)
{
    const fixture::ByteVec module = fixture::moduleOfSharedGroups(fixture::dibImage(16, 16, 4), 65535);
    QFile file(out("tiny.dll"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(module.data()), qint64(module.size())),
              qint64(module.size()));
    file.close();
    const Outcome o = run({"-e", out("tiny.dll"), out("doc.pdf"), "-closewhendone"});
    if (o.status == 1) {
        EXPECT_TRUE(o.err.contains("would write more than")) << o.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out("doc.pdf")));
        return;
    }
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const Tool check = tool("qpdf", {"--check", out("doc.pdf")});
    EXPECT_EQ(check.status, 0) << check.out.toStdString();
    EXPECT_EQ(tool("pdfimages", {"-list", out("doc.pdf")}).out.count(u'\n'), 2 + 65535);
}
