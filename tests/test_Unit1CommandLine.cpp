// The main window's command line, run in the test process, where the
// window stays open as it does on a display.
#include "app/Unit1.h"

#include "app/Settings.h"
#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/KXListBox.h"
#include "kxCommon/kxFolderTree.h"
#include "platform/MessageBoxes.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);
const QString kSource = kFixtures + QStringLiteral("/groups32.dll");
const QString kIco = kFixtures + QStringLiteral("/icons/mixed.ico");

// Takes the files the desktop would open.
class OpenedFiles : public QObject {
    Q_OBJECT
public:
    QStringList files;
    Q_INVOKABLE void open(const QUrl& url) { files << url.toLocalFile(); }
};

class CommandLineRun : public ::testing::Test {
protected:
    QTemporaryDir program;
    QTemporaryDir config;
    QTemporaryDir out;
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes
        = std::make_shared<platform::ScriptedMessageBoxes>();
    OpenedFiles opened;

    void SetUp() override
    {
        TestApplication();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        platform::setMessageBoxes(boxes);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
        ASSERT_TRUE(QFile::copy(QStringLiteral(LANG_PACK), program.filePath("english.lng")));
        ASSERT_TRUE(QFile::copy(kFixtures + "/loader.dll", program.filePath("pictorium")));
        // A first run without its help file would say so after each export.
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(HELP_FILE_DIR "/english.chm"), program.filePath("english.chm")));
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        platform::setMessageBoxes(nullptr);
    }

    // The window after its command line has run.
    std::unique_ptr<TForm1> run(const QStringList& params)
    {
        auto form = std::make_unique<TForm1>(params, program.filePath("pictorium"));
        form->FormCreate();
        boxes->shown.clear();  // start-up's own
        form->WMRunCommandLine();
        EXPECT_FALSE(BatchMode);
        return form;
    }
    QString dest(const QString& name) const { return out.filePath(name); }
};

}  // namespace

TEST_F(CommandLineRun, ExportsOneIconAndShowsTheSavedCount)
{
    auto form = run({"-e", kSource, dest("x.png")});
    EXPECT_EQ(form->CurrentFileName(), kSource);
    EXPECT_EQ(form->ScrollBox()->ImageBox()->Count(), 3);
    EXPECT_EQ(QImage(dest("x.png")).size(), QSize(32, 32));
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, FormatUIText(GetUIText(602), {1}));
    EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Information);
    EXPECT_FALSE(MainFormClosing);
    EXPECT_TRUE(opened.files.isEmpty());
}

TEST_F(CommandLineRun, SmallGreyPicturesLeaveTheSettingsAlone)
{
    auto form = run({"-e", kSource, dest("x.bmp"), "-iconsizesmall", "-grayscale", "-closewhendone"});
    const QImage picture(dest("x.bmp"));
    ASSERT_EQ(picture.size(), QSize(16, 16));
    bool grey = true;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const QRgb p = picture.pixel(x, y);
            grey = grey && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p);
        }
    EXPECT_TRUE(grey);
    EXPECT_FALSE(SmallIcons);
    EXPECT_FALSE(ExpGrayScale);
    // Closed when done, with no message.
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_TRUE(MainFormClosing);
}

TEST_F(CommandLineRun, RunsAfterTheStartUpSearchAndThenCloses)
{
    // The find panel was left open: the window starts with a search, which
    // lets posted calls through while it runs.
    {
        QFile ini(program.filePath("gharv.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Settings]\nRun=2\n[Placement]\nFindPanelVisible=1\n");
    }
    auto form = std::make_unique<TForm1>(QStringList {"-e", kSource, dest("x.png"), "-closewhendone"},
                                         program.filePath("pictorium"));
    form->Tree->SetFolder(kFixtures + "/findpanel");
    bool listedWhenRun = false;
    bool handled = false;
    form->OnCommandLineHandled = [&] {
        handled = true;
        listedWhenRun = form->FileBox->count() == 2;
    };
    form->FormCreate();
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled; }, kHangGuard));
    EXPECT_TRUE(listedWhenRun);
    EXPECT_EQ(QImage(dest("x.png")).size(), QSize(32, 32));
    // Closed, not swallowed by the search.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, kHangGuard));
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_FALSE(SearchRunning);
}

TEST_F(CommandLineRun, ErrorsAreShownAndTheWindowStaysOpen)
{
    QFile blocker(dest("taken"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("a file, not a folder");
    blocker.close();

    // The texts are the pack's, loaded by the window: the expected message
    // is made once the run has loaded it.
    struct Case {
        const char* what;
        QStringList params;
        int id;
        QString arg;  // the argument of text id, if it takes one
    };
    const QString missing = kFixtures + "/missing.dll";
    const Case cases[] = {
        {"a missing source, closing when done",
         {"-e", missing, dest("x.png"), "-closewhendone"},
         605,
         missing},
        {"a missing file to open", {missing}, 605, missing},
        {"no destination", {"-e", kSource, "  ", "-closewhendone"}, 604, {}},
        {"a file in the destination folder's place",
         {"-e", kSource, dest("taken"), "-iconindex=0", "-closewhendone"},
         615,
         dest("taken")},
        {"a destination folder two levels down",
         {"-e", kSource, dest("a/b"), "-iconindex=0"},
         615,
         dest("a/b")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MainFormClosing = false;
        auto form = run(c.params);
        const QString text = c.arg.isNull() ? GetUIText(c.id) : FormatUIText(GetUIText(c.id), {c.arg});
        ASSERT_EQ(boxes->shown.size(), 1u);
        EXPECT_EQ(boxes->shown[0].text, GetUIText(608) + "\r\n" + text);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Error);
        EXPECT_FALSE(MainFormClosing);
        // The error is kept for standard error at exit.
        const auto& failures = form->CommandLineFailures();
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].text, boxes->shown[0].text);
    }
    ASSERT_TRUE(blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocker.readAll(), "a file, not a folder");
    EXPECT_EQ(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList {"taken"});
}

TEST_F(CommandLineRun, NoticesOfTheStartUpWaitUntilTheExportIsDone)
{
    // Settings that cannot be read, on a first run without its help file.
    QFile::remove(program.filePath("english.chm"));
    {
        QFile ini(program.filePath("gharv.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        const QString text = QStringLiteral("[Settings]\r\nRun=5\r\n");
        ini.write("\xFF\xFE");
        ini.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    }
    auto start = [&](const QStringList& params) {
        // Each start a first one: the registry holds the count.
        platform::UserRegistry registry = ProgramRegistry();
        registry.removeKey();
        MainFormClosing = false;
        boxes->shown.clear();
        auto form = std::make_unique<TForm1>(params, program.filePath("pictorium"));
        form->FormCreate();
        return form;
    };
    const QString helpMissing
        = FormatUIText(GetMessageText(605), {QStringLiteral("english.chm")}) + "\r\n" + GetMessageText(612);

    // Without an export both are said at once.
    start({});
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_TRUE(boxes->shown[0].text.startsWith("The settings file cannot be used: "));
    EXPECT_EQ(boxes->shown[1].text, helpMissing);

    // An export runs first; its own message comes before them.
    auto form = start({"-e", kSource, dest("x.png")});
    EXPECT_TRUE(boxes->shown.empty());
    form->WMRunCommandLine();
    EXPECT_TRUE(QFile::exists(dest("x.png")));
    ASSERT_EQ(boxes->shown.size(), 3u);
    EXPECT_EQ(boxes->shown[0].text, FormatUIText(GetUIText(602), {1}));
    EXPECT_TRUE(boxes->shown[1].text.startsWith("The settings file cannot be used: "));
    EXPECT_EQ(boxes->shown[2].text, helpMissing);

    // A failed export too, after its error, as the window stays open.
    form = start({"-e", kSource, "", "-closewhendone"});
    form->WMRunCommandLine();
    ASSERT_EQ(boxes->shown.size(), 3u);
    EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Error);

    // Closing when done, the window tells nothing.
    form = start({"-e", kSource, dest("y.png"), "-closewhendone"});
    form->WMRunCommandLine();
    EXPECT_TRUE(QFile::exists(dest("y.png")));
    EXPECT_TRUE(MainFormClosing);
    EXPECT_TRUE(boxes->shown.empty());
    MainFormClosing = false;
}

TEST_F(CommandLineRun, AMissingSourceIsFoundWhenThePackGivesNoText)
{
    // A pack that does not load: every text of the pack is empty, and the
    // messages are said in English.
    QFile::remove(program.filePath("english.lng"));
    {
        QFile pack(program.filePath("english.lng"));
        ASSERT_TRUE(pack.open(QIODevice::WriteOnly));
        pack.write("no module");
    }
    const QString missing = QStringLiteral("/nonexistent/file.dll");
    const QString sourceMissing = GetBuiltInText(608) + "\r\n" + FormatUIText(GetBuiltInText(605), {missing});
    struct Case {
        QStringList params;
        QString text;
    };
    const Case cases[] = {
        {{missing}, sourceMissing},
        {{"-e", missing}, sourceMissing},
        {{"-e", missing, dest("x.png"), "-closewhendone"}, sourceMissing},
        {{"-e", kSource}, GetBuiltInText(608) + "\r\n" + GetBuiltInText(604)},
        {{"-e", kSource, dest("x.png")}, FormatUIText(GetBuiltInText(602), {1})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params.join(' ').toStdString());
        MainFormClosing = false;
        auto form = run(c.params);
        EXPECT_FALSE(LangModule);
        ASSERT_EQ(boxes->shown.size(), 1u);
        EXPECT_EQ(boxes->shown[0].text, c.text);
        if (c.params.contains(missing)) {
            EXPECT_EQ(form->windowTitle(), "Pictorium");
            EXPECT_TRUE(form->RecentFiles().Stored().isEmpty());
            EXPECT_EQ(form->CommandLineStatus(), 1);
        }
    }
    EXPECT_FALSE(GetBuiltInText(604).isEmpty());
}

TEST_F(CommandLineRun, OpensTheFileThatWasWritten)
{
    struct Case {
        QStringList params;
        QString opened;  // empty: nothing
    };
    QDir(out.path()).mkdir("made");
    const Case cases[] = {
        // The saved file has the format's extension, not the type's spelling.
        {{"-e", kSource, dest("x"), "-desttype=Jpeg", "-opendestination"}, dest("x.jpg")},
        {{"-e", kSource, dest("i"), "-opendestination"}, dest("i.ico")},
        {{"-e", kSource, dest("all"), "-alliconsasoneimage", "-opendestination"}, dest("all.bmp")},
        // The page: as named when its extension is the type's, in any
        // case; else with the type's extension in lower case.
        {{"-e", kSource, dest("page.HTML"), "-opendestination"}, dest("page.HTML")},
        {{"-e", kSource, dest("x.pdf"), "-desttype=HTM", "-opendestination"}, dest("x.htm")},
        {{"-e", kSource, dest("t"), "-desttype=dbase", "-opendestination"}, dest("t.dbf")},
        {{"-e", kSource, dest("d.PDF"), "-opendestination"}, dest("d.PDF")},
        // A folder of numbered files is not opened.
        {{"-e", kSource, dest("made"), "-iconindex=0", "-desttype=gif", "-opendestination"}, QString()},
        // Without the switch nothing opens.
        {{"-e", kSource, dest("y.png")}, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params.join(' ').toStdString());
        opened.files.clear();
        auto form = run(c.params);
        EXPECT_EQ(opened.files, c.opened.isEmpty() ? QStringList() : QStringList {c.opened});
        for (const QString& file : opened.files)
            EXPECT_TRUE(QFileInfo(file).isFile());
    }
    EXPECT_EQ(QDir(dest("made")).entryList(QDir::Files).size(), 3);
}

TEST_F(CommandLineRun, AnEscapingSaveErrorStillEndsTheRun)
{
    auto form = std::make_unique<TForm1>(QStringList {"-e", kSource, dest("x.png"), "-iconindex=9"},
                                         program.filePath("pictorium"));
    form->FormCreate();
    int handled = 0;
    form->OnCommandLineHandled = [&] { ++handled; };
    EXPECT_ANY_THROW(form->WMRunCommandLine());
    EXPECT_FALSE(BatchMode);
    EXPECT_EQ(handled, 0);  // queued behind the error's message
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 1);
    EXPECT_FALSE(QFile::exists(dest("x.png")));
}

TEST_F(CommandLineRun, TheStatusIsTheExportsOwn)
{
    struct Case {
        const char* what;
        QStringList params;
        int status;
    };
    const Case cases[] = {
        {"a good export", {"-e", kSource, dest("x.png")}, 0},
        {"a folder as source", {"-e", kFixtures, dest("y.png")}, 1},
        {"an icon the file does not have", {"-e", kSource, dest("y.png"), "-iconindex=9"}, 1},
        {"an icon that cannot be read", {"-e", kFixtures + "/loader.dll", dest("y.png"), "-iconindex=6"}, 1},
        {"icons left out of a folder", {"-e", kFixtures + "/loader.dll", dest("z"), "-iconindex=0"}, 1},
        {"icons left out of one picture",
         {"-e", kFixtures + "/loader.dll", dest("all.png"), "-alliconsasoneimage"},
         1},
        {"one picture of icons none of which can be read",
         {"-e", kFixtures + "/broken.dll", dest("none.png"), "-alliconsasoneimage"},
         1},
        // An .ico file shows as one icon: its copy is that icon, whichever is
        // asked for; a picture is of an icon of the grid.
        {"an icon file's copy", {"-e", kIco, dest("copy.ico"), "-iconindex=3"}, 0},
        {"a picture of an icon file's third icon", {"-e", kIco, dest("y.png"), "-iconindex=3"}, 1},
        // A table or document goes into its folder, made one level deep.
        {"a document into a new folder", {"-e", kSource, dest("new/doc.pdf")}, 0},
        {"a table into a new folder", {"-e", kSource, dest("newdb/t.dbf")}, 0},
        {"a document two folders down", {"-e", kSource, dest("a/b/doc.pdf")}, 1},
        {"a field name the table's code page cannot hold",
         {"-e", kSource, dest("f.dbf"), QString::fromUtf8("-dbasefieldname=\xD0\x96\xD1\x83\xD0\xBA")},
         1},
        {"opening a file", {kSource}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = std::make_unique<TForm1>(c.params, program.filePath("pictorium"));
        form->FormCreate();
        // An error shown before the command line runs is not the export's.
        platform::messageBoxes().show(
            {"Pictorium", "earlier", platform::MsgType::Error, platform::mbOK, platform::mrOk});
        try {
            form->WMRunCommandLine();
        } catch (const std::exception&) {
            // shown by the application's guard in the program
        }
        EXPECT_EQ(form->CommandLineStatus(), c.status);
        // What told of the failure, for standard error at exit: the run's
        // own messages only.
        EXPECT_EQ(form->CommandLineFailures().empty(), c.status == 0);
        for (const platform::MessageRequest& failure : form->CommandLineFailures()) {
            EXPECT_NE(failure.text, "earlier");
            EXPECT_FALSE(failure.text.isEmpty());
        }
    }
    EXPECT_FALSE(QFile::exists(dest("y.png")));
    // The icons that could be read were written and the left-out one named,
    // in a folder and in one picture alike.
    EXPECT_EQ(QDir(dest("z")).entryList(QDir::Files).size(), 6);
    EXPECT_TRUE(QFile::exists(dest("all.png")));
    EXPECT_EQ(std::count_if(boxes->shown.begin(), boxes->shown.end(),
                            [](const platform::MessageRequest& r) {
                                return r.text.startsWith("Icon 6 of \"")
                                    && r.text.endsWith("cannot be read; it was not saved.");
                            }),
              2);
    EXPECT_FALSE(QFile::exists(dest("none.png")));
    QFile ico(kIco);
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    QFile copy(dest("copy.ico"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), ico.readAll());
    EXPECT_TRUE(QFileInfo(dest("new/doc.pdf")).isFile());
    EXPECT_TRUE(QFileInfo(dest("newdb/t.dbf")).isFile());
    EXPECT_TRUE(QFileInfo(dest("newdb/t.dbt")).isFile());
    EXPECT_FALSE(QFileInfo::exists(dest("a")));
    EXPECT_FALSE(QFileInfo::exists(dest("f.dbf")));
}

#include "test_Unit1CommandLine.moc"
