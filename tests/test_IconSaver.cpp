#include "app/IconSaver.h"

#include "app/Unit1.h"
#include "kxCommon/KXImageBoxLayout.h"
#include "platform/Exceptions.h"
#include "platform/IconImage.h"
#include "platform/MessageBoxes.h"
#include "platform/PeModule.h"
#include "platform/ShellIcons.h"

#include "CostCorpus.h"
#include "FileBytes.h"
#include "IcoBuilder.h"
#include "PeBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include "RunTool.h"
#include "WriteFaults.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

using platform::Icon;
using platform::ModalResult;

using fixture::run;

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);
const QString kGroups = kFixtures + QStringLiteral("/groups32.dll");
const QString kLoader = kFixtures + QStringLiteral("/loader.dll");
const QString kMixedIco = kFixtures + QStringLiteral("/icons/mixed.ico");

QString fileType(const QString& path) { return run(QStringLiteral("file"), {QStringLiteral("-b"), path}); }

// Images icotool lists in an .ico file; -1 when it cannot read the file.
int icoImageCount(const QString& path)
{
    int code = -1;
    const QString listing = run(QStringLiteral("icotool"), {QStringLiteral("-l"), path}, &code);
    return code == 0 ? static_cast<int>(listing.count(QStringLiteral("--icon"))) : -1;
}

using fixture::readAll;
using fixture::writeFile;

// Every file below Dir with its bytes, a small volume's filler left out.
std::map<QString, QByteArray> snapshot(const QString& dir)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() != u".filler")
            files[QDir(dir).relativeFilePath(path)] = readAll(path);
    }
    return files;
}

// An icon of one opaque colour.
Icon solidIcon(QRgb colour, int size = 32)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return Icon::fromImage(image);
}

// The grid as the widget lays it out, over icons held here.
class FakeGrid : public TIconGridSource {
public:
    FakeGrid(std::vector<Icon> icons, int width, int itemSize = 32, int offset = 6)
        : FIcons(std::move(icons)), FLayout(itemSize, itemSize, offset)
    {
        FLayout.UpdateLayout(width, static_cast<int>(FIcons.size()));
    }
    static FakeGrid of(const QString& file, int width = 400)
    {
        return FakeGrid(platform::extractIcons(file, platform::kLargeIconSize), width);
    }

    int Count() const override { return static_cast<int>(FIcons.size()); }
    const Icon& GetIcon(int Index) const override
    {
        if (Index < 0 || Index >= Count())
            throw platform::ListIndexError(Index);
        return FIcons[static_cast<size_t>(Index)];
    }
    int ColCount() const override { return FLayout.ColCount(); }
    int ColWidth() const override { return FLayout.ColWidth(); }
    int Height() const override { return FLayout.Height(); }
    int ItemWidth() const override { return FLayout.ItemWidth(); }
    int ItemHeight() const override { return FLayout.ItemHeight(); }
    void DrawAll(QPainter& Painter) const override
    {
        GetIcon(0);
        for (int i = 0; i < Count(); ++i) {
            const auto p = FLayout.IconPosition(i);
            FIcons[static_cast<size_t>(i)].draw(Painter, p.x, p.y);
        }
    }

private:
    std::vector<Icon> FIcons;
    KXImageBoxLayout::TImageBoxLayout FLayout;
};

// A grid that runs Action once, when a run first asks the size of an icon
// it is about to write: after the source was read, before it is finished.
class GridWithAction : public FakeGrid {
public:
    GridWithAction(FakeGrid grid, std::function<void()> action)
        : FakeGrid(std::move(grid)), FAction(std::move(action))
    {}
    int ItemWidth() const override
    {
        if (FAction)
            std::exchange(FAction, {})();
        return FakeGrid::ItemWidth();
    }

private:
    mutable std::function<void()> FAction;
};

// Answers the message boxes of one test and restores the desktop ones.
struct ScriptedBoxes {
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes
        = std::make_shared<platform::ScriptedMessageBoxes>();
    explicit ScriptedBoxes(std::initializer_list<ModalResult> answers = {})
    {
        boxes->answers.assign(answers);
        platform::setMessageBoxes(boxes);
    }
    ~ScriptedBoxes() { platform::setMessageBoxes(nullptr); }
};

struct BatchModeOn {
    BatchModeOn() { BatchMode = true; }
    ~BatchModeOn() { BatchMode = false; }
};

// One save-all run's state and its usual arguments.
struct SaveRun {
    int SaveCount = 0;
    uint16_t ConfirmResult = 0;
    QSet<QString> WrittenNames;

    void save(TIconSaver& saver, const QString& src, const QString& destDir, int fileType, bool small = false)
    {
        saver.SaveAll(src, destDir, {}, {}, {}, fileType, 0, true, true, false, small, 0, SaveCount,
                      ConfirmResult, WrittenNames);
    }
};

// A kind of save-all export and where it goes.
struct ExportKind {
    const char* what;
    int type;
    QString dest, destDir;
};

class IconSaverTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QString numbered(const QString& stem, int n, const QString& ext) const
    {
        return path(QStringLiteral("out/ico_%1%2%3").arg(stem).arg(n, 4, 10, QLatin1Char('0')).arg(ext));
    }
};

}  // namespace

TEST(IconSaverNames, ExtensionCompletion)
{
    struct Case {
        const char* name;
        int code;
        const char* saveIcon;
        const char* allAsOne;
    };
    const Case cases[] = {
        {"/o/icon", 0, "/o/icon.ico", "/o/icon.bmp"},       {"/o/icon", 1, "/o/icon.bmp", "/o/icon.bmp"},
        {"/o/icon", 2, "/o/icon.jpg", "/o/icon.jpg"},       {"/o/icon", 3, "/o/icon.emf", "/o/icon.emf"},
        {"/o/icon", 4, "/o/icon.gif", "/o/icon.gif"},       {"/o/icon", 5, "/o/icon.png", "/o/icon.png"},
        {"/o/icon", 7, "/o/icon.ico", "/o/icon.bmp"},       {"/o/icon", -1, "/o/icon.ico", "/o/icon.bmp"},
        {"/o/icon.", 5, "/o/icon..png", "/o/icon..png"},    {"/o/icon.", 2, "/o/icon..jpg", "/o/icon..jpg"},
        {"/o/icon.dat", 2, "/o/icon.dat", "/o/icon.dat"},   {"/o/icon.PNG", 1, "/o/icon.PNG", "/o/icon.PNG"},
        {"/o.d/icon", 5, "/o.d/icon.png", "/o.d/icon.png"},  // a dot in the folder is no extension
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.code);
        EXPECT_EQ(CompleteSaveIconFileName(QString::fromUtf8(c.name), c.code), QString::fromUtf8(c.saveIcon));
        EXPECT_EQ(CompleteSaveAllAsOneFileName(QString::fromUtf8(c.name), c.code),
                  QString::fromUtf8(c.allAsOne));
    }
}

TEST(IconSaverNames, NumberedFiles)
{
    EXPECT_EQ(SaveAllStem(QStringLiteral("/Apps/My Tool.EXE")), QStringLiteral("my tool_exe"));
    EXPECT_EQ(SaveAllStem(QStringLiteral("/Apps/tool")), QStringLiteral("tool_"));
    EXPECT_EQ(SaveAllStem(QStringLiteral("/a.b/Tool")), QStringLiteral("tool_"));
    EXPECT_EQ(SaveAllStem(QStringLiteral("/a/x.tar.GZ")), QStringLiteral("x.tar_gz"));

    const QString stem = QStringLiteral("notepad_exe");
    EXPECT_EQ(SaveAllFileName(QStringLiteral("/out"), stem, 0, QStringLiteral(".png")),
              QStringLiteral("/out/ico_notepad_exe0001.png"));
    EXPECT_EQ(SaveAllFileName(QStringLiteral("/out/"), stem, 11, QStringLiteral(".ico")),
              QStringLiteral("/out/ico_notepad_exe0012.ico"));
    EXPECT_EQ(SaveAllFileName(QStringLiteral("/out"), stem, 9998, QStringLiteral(".gif")),
              QStringLiteral("/out/ico_notepad_exe9999.gif"));
    EXPECT_EQ(SaveAllFileName(QStringLiteral("/out"), stem, 9999, QStringLiteral(".gif")),
              QStringLiteral("/out/ico_notepad_exe10000.gif"));

    QSet<QString> written;
    const QString name = QStringLiteral("/out/ico_x_dll0001.png");
    EXPECT_EQ(NextFreeRunName(name, written), name);
    written.insert(name);
    EXPECT_EQ(NextFreeRunName(name, written), QStringLiteral("/out/ico_x_dll0001-2.png"));
    written.insert(QStringLiteral("/out/ico_x_dll0001-2.png"));
    EXPECT_EQ(NextFreeRunName(QStringLiteral("/out//ico_x_dll0001.png"), written),
              QStringLiteral("/out//ico_x_dll0001-3.png"));
}

TEST_F(IconSaverTest, SaveIconEveryFormat)
{
    struct Source {
        QString file;
        int index;
        QString groupIco;  // the .ico file the group was built from
    };
    const Source sources[] = {
        {kGroups, 1, kFixtures + QStringLiteral("/icons/depths.ico")},
        {kGroups, 0, kFixtures + QStringLiteral("/icons/mixed.ico")},
        {kLoader, 2, kFixtures + QStringLiteral("/icons/loader_smaller.ico")},
    };
    struct Format {
        int code;
        const char* ext;
        const char* type;      // what file(1) says
        const char* qtFormat;  // what Qt reads it as; empty when Qt has no reader
    };
    const Format formats[] = {
        {0, ".ico", "MS Windows icon resource", ""}, {1, ".bmp", "PC bitmap", "bmp"},
        {2, ".jpg", "JPEG image data", "jpeg"},      {3, ".emf", "Windows Enhanced Metafile", ""},
        {4, ".gif", "GIF image data", "gif"},        {5, ".png", "PNG image data", "png"},
        {9, ".ico", "MS Windows icon resource", ""},  // an unknown code saves the icon file
    };
    for (const Source& s : sources) {
        const FakeGrid grid = FakeGrid::of(s.file);
        TIconSaver saver(grid, s.file);
        for (const Format& f : formats) {
            SCOPED_TRACE(testing::Message() << s.file.toStdString() << " #" << s.index << " code " << f.code);
            const QString base = path(QStringLiteral("icon%1_%2").arg(s.index).arg(f.code));
            const int result = saver.SaveIcon(s.index, base, f.code, false);
            const QString written = base + QLatin1String(f.ext);
            ASSERT_TRUE(QFile::exists(written));
            EXPECT_TRUE(fileType(written).contains(QLatin1String(f.type))) << fileType(written).toStdString();
            if (f.code == 0 || f.code == 9) {
                EXPECT_EQ(result, icoImageCount(s.groupIco));
                EXPECT_EQ(icoImageCount(written), result);
            } else {
                EXPECT_EQ(result, 1);
            }
            if (*f.qtFormat) {
                QImage image;
                ASSERT_TRUE(image.load(written, f.qtFormat));
                EXPECT_EQ(image.size(), QSize(32, 32));
            }
        }
    }

    // The extension given stays, the data follows the code.
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    EXPECT_EQ(saver.SaveIcon(0, path(QStringLiteral("icon.dat")), 2, false), 1);
    EXPECT_TRUE(fileType(path(QStringLiteral("icon.dat"))).contains(QLatin1String("JPEG")));
    EXPECT_EQ(saver.SaveIcon(0, path(QStringLiteral("icon.")), 2, false), 1);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("icon..jpg"))));
}

TEST_F(IconSaverTest, SaveIconFromIcoFile)
{
    const FakeGrid grid = FakeGrid::of(kMixedIco);
    TIconSaver saver(grid, kMixedIco);
    // The whole file is copied, whichever icon is asked for: it is the
    // file's one icon. A picture is of the grid's icon, and there is one.
    for (const int index : {0, 2}) {
        const QString copy = path(QStringLiteral("copy%1").arg(index));
        EXPECT_EQ(saver.SaveIcon(index, copy, 0, true), 1);
        EXPECT_EQ(readAll(copy + QStringLiteral(".ico")), readAll(kMixedIco));
    }
    EXPECT_THROW(saver.SaveIcon(2, path(QStringLiteral("pic")), 5, false), platform::Error);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("pic.png"))));
    EXPECT_EQ(saver.SaveIcon(0, path(QStringLiteral("pic")), 5, false), 1);
    QImage image(path(QStringLiteral("pic.png")), "png");
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_TRUE(
        run(QStringLiteral("pngcheck"), {path(QStringLiteral("pic.png"))}).contains(QLatin1String("OK")));
}

TEST_F(IconSaverTest, SaveIconGreyPicturesAndColourIconFiles)
{
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    ASSERT_EQ(saver.SaveIcon(1, path(QStringLiteral("grey.bmp")), 1, true), 1);
    const QImage grey(path(QStringLiteral("grey.bmp")), "bmp");
    ASSERT_EQ(grey.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb c = grey.pixel(x, y);
            EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) << x << "," << y;
        }
    ASSERT_EQ(saver.SaveIcon(1, path(QStringLiteral("colour.bmp")), 1, false), 1);
    const QImage colour(path(QStringLiteral("colour.bmp")), "bmp");
    bool coloured = false;
    for (int y = 0; y < 32 && !coloured; ++y)
        for (int x = 0; x < 32; ++x)
            coloured = coloured || qRed(colour.pixel(x, y)) != qBlue(colour.pixel(x, y));
    EXPECT_TRUE(coloured);

    // Icon files are never made grey.
    saver.SaveIcon(1, path(QStringLiteral("a.ico")), 0, false);
    saver.SaveIcon(1, path(QStringLiteral("b.ico")), 0, true);
    EXPECT_EQ(readAll(path(QStringLiteral("a.ico"))), readAll(path(QStringLiteral("b.ico"))));
}

TEST_F(IconSaverTest, SaveIconFailures)
{
    const QString missing = path(QStringLiteral("no/such/folder/icon.ico"));
    {
        const FakeGrid grid = FakeGrid::of(kGroups);
        TIconSaver saver(grid, kGroups);
        // Every failure says why, in the user's terms.
        const struct {
            int index;
            int type;
            const char* says;
        } cases[] = {
            {1, 0, "No such file or directory"},
            {0, 5, "No such file or directory"},
            {3, 5, "has 3 icon(s); there is no icon 4"},
            {-1, 5, "there is no icon 0"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.says);
            const QString dest = c.index == 3 || c.index == -1 ? path(QStringLiteral("x.png")) : missing;
            try {
                saver.SaveIcon(c.index, dest, c.type, false);
                ADD_FAILURE() << "reported as saved";
            } catch (const platform::Error& e) {
                EXPECT_TRUE(e.message().contains(QLatin1String(c.says))) << e.what();
            }
        }
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("x.png"))));
    }
    {
        const FakeGrid grid = FakeGrid::of(kMixedIco);
        TIconSaver saver(grid, kMixedIco);
        EXPECT_THROW(saver.SaveIcon(0, missing, 0, false), platform::Error);
    }
    // Never onto the file the icons come from, not even through a link.
    const QString src = path(QStringLiteral("src.dll"));
    ASSERT_TRUE(QFile::copy(kGroups, src));
    ASSERT_TRUE(QFile::link(src, path(QStringLiteral("link.png"))));
    const QByteArray before = readAll(src);
    const FakeGrid grid = FakeGrid::of(src);
    TIconSaver saver(grid, src);
    for (int code : {0, 1, 5}) {
        try {
            saver.SaveIcon(0, code == 5 ? path(QStringLiteral("link.png")) : src, code, false);
            ADD_FAILURE() << "code " << code << " replaced the source";
        } catch (const platform::Error& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("the file the icons come from"))) << e.what();
        }
    }
    EXPECT_THROW(saver.SaveAllAsOne(src, 1, false), platform::Error);
    EXPECT_EQ(readAll(src), before);
}

TEST_F(IconSaverTest, SaveAllAsOneSize)
{
    struct Case {
        int icons;
        int width;  // of the grid control
        int expectedWidth;
    };
    // Icons of 32 pixels at offset 5 make columns of 40 pixels.
    const Case cases[] = {{10, 4 * 40 + 10, 162}, {3, 8 * 40, 122}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.icons);
        std::vector<Icon> icons(static_cast<size_t>(c.icons), solidIcon(qRgb(200, 0, 0)));
        const FakeGrid grid(icons, c.width, 32, 5);
        ASSERT_EQ(grid.ColWidth(), 40);
        TIconSaver saver(grid, kGroups);
        const QString name = path(QStringLiteral("all%1").arg(c.icons));
        saver.SaveAllAsOne(name, 5, false);
        const QImage image(name + QStringLiteral(".png"), "png");
        EXPECT_EQ(image.width(), c.expectedWidth);
        EXPECT_EQ(image.height(), grid.Height());
        // The last icon is drawn where the grid puts it.
        KXImageBoxLayout::TImageBoxLayout layout(32, 32, 5);
        layout.UpdateLayout(c.width, c.icons);
        const auto p = layout.IconPosition(c.icons - 1);
        EXPECT_EQ(image.pixel(p.x + 16, p.y + 16), qRgb(200, 0, 0));
    }

    std::vector<Icon> icons(4, solidIcon(qRgb(0, 0, 255)));
    const FakeGrid grid(icons, 400);
    TIconSaver saver(grid, kGroups);
    saver.SaveAllAsOne(path(QStringLiteral("grey")), 0, true);
    const QImage grey(path(QStringLiteral("grey.bmp")), "bmp");
    ASSERT_FALSE(grey.isNull());
    const auto p = KXImageBoxLayout::TImageBoxLayout().IconPosition(0);
    const QRgb c = grey.pixel(p.x + 8, p.y + 8);
    EXPECT_TRUE(qRed(c) == qBlue(c) && qRed(c) < 100);

    const FakeGrid empty({}, 400);
    TIconSaver none(empty, kGroups);
    EXPECT_THROW(none.SaveAllAsOne(path(QStringLiteral("empty")), 5, false), platform::Error);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("empty.png"))));
}

TEST_F(IconSaverTest, SaveAllNumberedFiles)
{
    const FakeGrid grid = FakeGrid::of(kLoader);
    TIconSaver saver(grid, kLoader);
    const QString out = path(QStringLiteral("out"));
    for (bool small : {false, true}) {
        // The second round overwrites the first's files silently.
        BatchMode = small;
        SaveRun run;
        run.save(saver, kGroups, out, 5, small);
        BatchMode = false;
        EXPECT_EQ(run.SaveCount, 3);
        for (int n = 1; n <= 3; ++n) {
            const QString png = numbered(QStringLiteral("groups32_dll"), n, QStringLiteral(".png"));
            EXPECT_TRUE(::run(QStringLiteral("pngcheck"), {png}).contains(QLatin1String("OK")))
                << png.toStdString();
            EXPECT_EQ(QImage(png, "png").size(), small ? QSize(16, 16) : QSize(32, 32));
        }
        EXPECT_FALSE(QFile::exists(numbered(QStringLiteral("groups32_dll"), 4, QStringLiteral(".png"))));
    }

    // Icon files: one per group; an unknown type is icon files too.
    for (int type : {0, 7}) {
        SaveRun run;
        BatchModeOn batch;
        run.save(saver, kGroups, out, type);
        EXPECT_EQ(run.SaveCount, 3);
        const QStringList groups
            = {QStringLiteral("mixed"), QStringLiteral("depths"), QStringLiteral("png256")};
        for (int n = 1; n <= 3; ++n)
            EXPECT_EQ(icoImageCount(numbered(QStringLiteral("groups32_dll"), n, QStringLiteral(".ico"))),
                      icoImageCount(kFixtures + QStringLiteral("/icons/") + groups[n - 1]
                                    + QStringLiteral(".ico")));
    }

    // An .ico source is copied once.
    SaveRun ico;
    ico.save(saver, kMixedIco, out, 0);
    EXPECT_EQ(ico.SaveCount, 1);
    EXPECT_EQ(readAll(numbered(QStringLiteral("mixed_ico"), 1, QStringLiteral(".ico"))), readAll(kMixedIco));
    EXPECT_FALSE(QFile::exists(numbered(QStringLiteral("mixed_ico"), 2, QStringLiteral(".ico"))));

    // The current file's icons as the grid gives their count, at the grid's
    // item size.
    SaveRun own;
    own.save(saver, {}, out, 1);
    EXPECT_EQ(own.SaveCount, 6);
    EXPECT_EQ(QImage(numbered(QStringLiteral("loader_dll"), 7, QStringLiteral(".bmp")), "bmp").size(),
              QSize(32, 32));
}

TEST_F(IconSaverTest, SaveAllWithoutIcons)
{
    const QString out = path(QStringLiteral("out"));
    const QString noIcons = kFixtures + QStringLiteral("/noicons.dll");
    // A module without icons, listed or shown with its file-type icon.
    const FakeGrid typeIcon({solidIcon(qRgb(0, 128, 0))}, 400);
    for (const QString& src : {noIcons, QString()}) {
        TIconSaver saver(typeIcon, noIcons);
        SaveRun run;
        try {
            run.save(saver, src, out, 5);
            ADD_FAILURE() << "nothing saved is no success";
        } catch (const platform::Error& e) {
            EXPECT_TRUE(e.message().endsWith(QLatin1String("noicons.dll\" holds no icons."))) << e.what();
        }
        EXPECT_EQ(run.SaveCount, 0);
        EXPECT_FALSE(QFileInfo::exists(out));
    }

    // A text file shown with its file-type icon: one picture of that icon.
    const QString text = path(QStringLiteral("Read Me.TXT"));
    writeFile(text, "hello");
    TIconSaver saver(typeIcon, text);
    SaveRun run;
    run.save(saver, {}, out, 5);
    EXPECT_EQ(run.SaveCount, 1);
    EXPECT_EQ(QImage(numbered(QStringLiteral("read me_txt"), 1, QStringLiteral(".png")), "png").pixel(5, 5),
              qRgb(0, 128, 0));

    // Another file's missing icon is never the grid's.
    SaveRun other;
    BatchModeOn batch;
    other.save(saver, kLoader, out, 5);
    EXPECT_EQ(other.SaveCount, 6);
    EXPECT_EQ(saver.Skipped(), QList<int> {5});
    EXPECT_FALSE(QFile::exists(numbered(QStringLiteral("loader_dll"), 6, QStringLiteral(".png"))));
}

TEST_F(IconSaverTest, SaveAllOverwriteQuestion)
{
    LangModule = platform::PeModule::open(QStringLiteral(LANG_PACK));
    ASSERT_TRUE(LangModule);
    struct Unload {
        ~Unload() { LangModule.reset(); }
    } unload;

    const QString out = path(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QStringList sources = {kGroups, kFixtures + QStringLiteral("/groups64.dll"), kLoader};
    const QStringList stems
        = {QStringLiteral("groups32_dll"), QStringLiteral("groups64_dll"), QStringLiteral("loader_dll")};
    const QByteArray old = "old";
    // Icons 1 and 2 of every source exist before the run.
    auto prepare = [&] {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        for (const QString& stem : stems)
            for (int n : {1, 2})
                writeFile(numbered(stem, n, QStringLiteral(".gif")), old);
    };
    auto runAll = [&](SaveRun& run) {
        const FakeGrid grid = FakeGrid::of(kGroups);
        TIconSaver saver(grid, kGroups);
        for (const QString& src : sources)
            run.save(saver, src, out, 4);
    };
    const int total = 3 + 3 + 6;  // the loader's sixth icon cannot be read

    {
        SCOPED_TRACE("Yes, then No, then closed");
        prepare();
        ScriptedBoxes boxes({platform::mrYes, platform::mrNo});
        SaveRun run;
        runAll(run);
        const auto& shown = boxes.boxes->shown;
        ASSERT_EQ(shown.size(), 6u);
        const QString first = numbered(stems[0], 1, QStringLiteral(".gif"));
        EXPECT_EQ(shown[0].text,
                  QStringLiteral("The file %1 already exists.\r\nDo you want to replace it?").arg(first));
        EXPECT_EQ(shown[0].caption, QStringLiteral("Pictorium"));
        EXPECT_EQ(shown[0].type, platform::MsgType::Confirmation);
        EXPECT_EQ(shown[0].buttons,
                  platform::mbYes | platform::mbNo | platform::mbNoToAll | platform::mbYesToAll);
        // Closing the box is No.
        EXPECT_EQ(shown[0].escape, platform::mrNo);
        EXPECT_TRUE(fileType(first).contains(QLatin1String("GIF")));
        EXPECT_EQ(readAll(numbered(stems[0], 2, QStringLiteral(".gif"))), old);
        for (int s = 1; s < 3; ++s)
            for (int n : {1, 2})
                EXPECT_EQ(readAll(numbered(stems[s], n, QStringLiteral(".gif"))), old);
        EXPECT_EQ(run.SaveCount, total - 5);
        EXPECT_EQ(run.ConfirmResult, 0);
    }
    {
        SCOPED_TRACE("Yes to All at the first existing file");
        prepare();
        ScriptedBoxes boxes({platform::mrYesToAll});
        SaveRun run;
        runAll(run);
        EXPECT_EQ(boxes.boxes->shown.size(), 1u);
        EXPECT_EQ(run.ConfirmResult, platform::mrYesToAll);
        EXPECT_EQ(run.SaveCount, total);
        for (const QString& stem : stems)
            EXPECT_TRUE(fileType(numbered(stem, 2, QStringLiteral(".gif"))).contains(QLatin1String("GIF")));
    }
    {
        SCOPED_TRACE("No to All");
        prepare();
        ScriptedBoxes boxes({platform::mrNoToAll});
        SaveRun run;
        runAll(run);
        EXPECT_EQ(boxes.boxes->shown.size(), 1u);
        EXPECT_EQ(run.ConfirmResult, platform::mrNoToAll);
        EXPECT_EQ(run.SaveCount, total - 6);
        for (const QString& stem : stems) {
            EXPECT_EQ(readAll(numbered(stem, 1, QStringLiteral(".gif"))), old);
            EXPECT_TRUE(fileType(numbered(stem, 3, QStringLiteral(".gif"))).contains(QLatin1String("GIF")));
        }
    }
    {
        SCOPED_TRACE("Cancel answers no");
        prepare();
        ScriptedBoxes boxes({platform::mrCancel, platform::mrNone, platform::mrYes});
        SaveRun run;
        runAll(run);
        EXPECT_EQ(readAll(numbered(stems[0], 1, QStringLiteral(".gif"))), old);
        EXPECT_EQ(readAll(numbered(stems[0], 2, QStringLiteral(".gif"))), old);
        EXPECT_TRUE(fileType(numbered(stems[1], 1, QStringLiteral(".gif"))).contains(QLatin1String("GIF")));
    }
    {
        SCOPED_TRACE("batch mode");
        prepare();
        ScriptedBoxes boxes;
        BatchModeOn batch;
        SaveRun run;
        runAll(run);
        EXPECT_TRUE(boxes.boxes->shown.empty());
        EXPECT_EQ(run.SaveCount, total);
        for (const QString& stem : stems)
            EXPECT_TRUE(fileType(numbered(stem, 1, QStringLiteral(".gif"))).contains(QLatin1String("GIF")));
    }
}

TEST_F(IconSaverTest, SaveAllSameNameTwiceInOneRun)
{
    // Two listed files of one name: the second does not replace the first's files.
    const QString a = path(QStringLiteral("a/X.dll")), b = path(QStringLiteral("b/x.DLL"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("a"))) && QDir().mkpath(path(QStringLiteral("b"))));
    ASSERT_TRUE(QFile::copy(kGroups, a));
    ASSERT_TRUE(QFile::copy(kLoader, b));
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    ScriptedBoxes boxes;
    SaveRun run;
    run.save(saver, a, path(QStringLiteral("out")), 0);
    run.save(saver, b, path(QStringLiteral("out")), 0);
    EXPECT_TRUE(boxes.boxes->shown.empty());
    EXPECT_EQ(run.SaveCount, 3 + 6);
    EXPECT_EQ(icoImageCount(numbered(QStringLiteral("x_dll"), 2, QStringLiteral(".ico"))),
              icoImageCount(kFixtures + QStringLiteral("/icons/depths.ico")));
    EXPECT_EQ(icoImageCount(path(QStringLiteral("out/ico_x_dll0002-2.ico"))),
              icoImageCount(kFixtures + QStringLiteral("/icons/loader_larger.ico")));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("out/ico_x_dll0007.ico"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("out/ico_x_dll0007-2.ico"))));
    EXPECT_EQ(run.WrittenNames.size(), 9);

    // A later run starts afresh: the names are the plain ones again, and asked about.
    ScriptedBoxes again({platform::mrNoToAll});
    SaveRun next;
    next.save(saver, b, path(QStringLiteral("out")), 0);
    EXPECT_EQ(again.boxes->shown.size(), 1u);
    EXPECT_EQ(next.SaveCount, 0);
}

TEST_F(IconSaverTest, SaveAllFailuresAreNotCounted)
{
    // The folder cannot be made: a file stands where it should be.
    writeFile(path(QStringLiteral("file")), "x");
    const QString out = path(QStringLiteral("file/out"));
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    // Icon files fail as pictures do: the run stops with the reason.
    const std::pair<QString, int> cases[] = {{kGroups, 0}, {kMixedIco, 0}, {kGroups, 5}};
    for (const auto& [src, type] : cases) {
        SaveRun run;
        try {
            run.save(saver, src, out, type);
            ADD_FAILURE() << "reported as saved";
        } catch (const std::exception& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QLatin1String("Not a directory"))) << e.what();
        }
        EXPECT_EQ(run.SaveCount, 0);
        EXPECT_TRUE(run.WrittenNames.isEmpty());
    }
}

TEST_F(IconSaverTest, AWriteFaultKeepsEveryOldFileAndCountsNothing)
{
    const QString out = path(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    const QByteArray old = "old";
    struct Case {
        const char* what;
        QString src;
        int type;
        QStringList kept;  // files in out that hold old before and after
    };
    const Case cases[] = {
        {"icon groups", kGroups, 0, {QStringLiteral("ico_groups32_dll0001.ico")}},
        {"an icon file",
         kFixtures + QStringLiteral("/icons/png256.ico"),
         0,
         {QStringLiteral("ico_png256_ico0001.ico")}},
        {"PNG", kGroups, 5, {QStringLiteral("ico_groups32_dll0001.png")}},
        {"BMP", kGroups, 1, {QStringLiteral("ico_groups32_dll0001.bmp")}},
        {"HTML", kGroups, 11, {QStringLiteral("page.htm")}},
        {"dBASE", kGroups, 12, {QStringLiteral("table.dbf"), QStringLiteral("table.dbt")}},
        {"PDF", kGroups, 13, {QStringLiteral("doc.pdf")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        for (const QString& name : c.kept)
            writeFile(out + u'/' + name, old);
        const QString dest = out + u'/' + c.kept.first();
        // HTML pictures go to a folder of their own, made by the run.
        const QString destDir = c.type == 11 ? path(QStringLiteral("out/page_files")) : out;
        SaveRun run;
        BatchModeOn batch;
        {
            fixture::FileSizeLimit limit(200);
            ASSERT_TRUE(limit.active());
            try {
                saver.SaveAll(c.src, destDir, dest, {}, {}, c.type, 5, false, false, false, false, 0,
                              run.SaveCount, run.ConfirmResult, run.WrittenNames);
                ADD_FAILURE() << "reported as saved";
            } catch (const std::exception& e) {
                EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QLatin1String("File too large")))
                    << e.what();
            }
        }
        EXPECT_EQ(run.SaveCount, 0);
        for (const QString& name : c.kept)
            EXPECT_EQ(readAll(out + u'/' + name), old) << name.toStdString();
        // Nothing else is left: no temporary file, no picture folder.
        QStringList left = QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        left.sort();
        QStringList kept = c.kept;
        kept.sort();
        EXPECT_EQ(left, kept);
    }
}

TEST_F(IconSaverTest, AFailedExportLeavesTheEarlierOneWhole)
{
    fixture::SmallVolume volume(512);
    if (!volume.mounted())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    BatchModeOn batch;
    const ExportKind kinds[] = {
        {"numbered icon files", 0, {}, volume.filePath("icons")},
        {"numbered pictures", 5, {}, volume.filePath("pictures")},
        {"HTML page and pictures", 11, volume.filePath("s.htm"), volume.filePath("s_files")},
        {"dBASE table and memo file", 12, volume.filePath("t.dbf"), volume.path()},
    };
    // A fault at step n of a run (from 0); each kind of fault is tried at
    // every step until a run meets none.
    struct Fault {
        const char* what;
        std::function<std::shared_ptr<void>(int)> arm;
    };
    const Fault faults[] = {
        {"a full disk",
         [&](int n) {
             volume.fillLeaving(n);
             return std::shared_ptr<void>(nullptr, [&](void*) { QFile::remove(volume.filePath(".filler")); });
         }},
        {"a failed rename", [](int n) { return std::make_shared<fixture::RenameFault>(n + 1); }},
    };
    for (const ExportKind& k : kinds) {
        SCOPED_TRACE(k.what);
        const auto exportIcons = [&](bool grey, SaveRun& run) {
            saver.SaveAll(kGroups, k.destDir, k.dest, {}, {}, k.type, 5, true, true, grey, false, 0,
                          run.SaveCount, run.ConfirmResult, run.WrittenNames);
        };
        for (const Fault& f : faults) {
            SCOPED_TRACE(f.what);
            SaveRun first;
            exportIcons(false, first);
            ASSERT_EQ(first.SaveCount, 3);
            // The new export differs from the earlier one in every file.
            for (const auto& [name, bytes] : snapshot(volume.path()))
                writeFile(volume.filePath(name), "earlier " + name.toUtf8());
            const auto earlier = snapshot(volume.path());
            int n = 0;
            for (;; ++n) {
                ASSERT_LT(n, 40);
                SCOPED_TRACE(n);
                SaveRun run;
                bool failed = false;
                {
                    const auto fault = f.arm(n);
                    try {
                        exportIcons(true, run);
                    } catch (const platform::Error& e) {
                        failed = true;
                    }
                }
                if (!failed)
                    break;
                EXPECT_EQ(run.SaveCount, 0);
                EXPECT_TRUE(snapshot(volume.path()) == earlier);
            }
            EXPECT_GE(n, 2);  // the faults did meet the run
            const auto replaced = snapshot(volume.path());
            EXPECT_EQ(replaced.size(), earlier.size());
            EXPECT_FALSE(replaced == earlier);
        }
    }
}

// The destination reached through a link that is re-pointed while the run
// writes: every file of the run is written, put in place and cleaned up in
// the folder the link led to when the run began.
TEST_F(IconSaverTest, ALinkRePointedMidRunChangesNotWhereTheRunWrites)
{
    const QString a = path(QStringLiteral("A")), b = path(QStringLiteral("B"));
    const QString link = path(QStringLiteral("link"));
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    const ExportKind kinds[] = {
        {"numbered pictures", 5, {}, link},
        {"HTML page and pictures", 11, link + "/p.htm", link + "/p_files"},
    };
    // Asked about the second icon's file, the user answers while the link
    // moves on.
    class RePointing : public platform::MessageBoxes {
    public:
        explicit RePointing(std::function<void()> action) : FAction(std::move(action)) {}
        ModalResult show(const platform::MessageRequest&) override
        {
            if (FAction)
                std::exchange(FAction, {})();
            return platform::mrYes;
        }

    private:
        std::function<void()> FAction;
    };
    for (const ExportKind& k : kinds) {
        SCOPED_TRACE(k.what);
        for (const QString& folder : {a, b}) {
            QDir(folder).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(folder + "/p_files"));
        }
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(a, link));
        const auto exportIcons = [&](bool grey) {
            SaveRun run;
            saver.SaveAll(kGroups, k.destDir, k.dest, {}, {}, k.type, 0, true, true, grey, false, 0,
                          run.SaveCount, run.ConfirmResult, run.WrittenNames);
            return run.SaveCount;
        };
        {
            BatchModeOn batch;
            ASSERT_EQ(exportIcons(false), 3);
        }
        // The first picture is new, so the run writes it before it asks.
        const QString inA = k.type == 11 ? a + "/p_files" : a;
        ASSERT_TRUE(QFile::remove(inA + "/ico_groups32_dll0001.png"));
        const auto earlier = snapshot(a);
        const auto inB = snapshot(b);
        platform::setMessageBoxes(std::make_shared<RePointing>([&] {
            QFile::remove(link);
            ASSERT_TRUE(QFile::link(b, link));
        }));
        int saved = 0;
        try {
            saved = exportIcons(true);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        platform::setMessageBoxes(nullptr);
        EXPECT_EQ(saved, 3);
        EXPECT_TRUE(snapshot(b) == inB) << "the run wrote through the link's new target";
        const auto now = snapshot(a);
        EXPECT_EQ(now.size(), earlier.size() + 1);
        for (const auto& [name, bytes] : now) {
            EXPECT_FALSE(name.contains(".pictorium-")) << name.toStdString();
            if (name.endsWith(".png")) {
                EXPECT_NE(earlier.count(name) ? earlier.at(name) : QByteArray(), bytes) << name.toStdString();
            }
        }
    }
}

TEST_F(IconSaverTest, SaveAllNeverReplacesItsSource)
{
    const QString out = path(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    // A numbered name that is a link to the source.
    const QString src = path(QStringLiteral("lib.dbf"));
    ASSERT_TRUE(QFile::copy(kGroups, src));
    const QByteArray before = readAll(src);
    ASSERT_TRUE(QFile::link(src, numbered(QStringLiteral("lib_dbf"), 1, QStringLiteral(".png"))));
    const FakeGrid grid = FakeGrid::of(src);
    TIconSaver saver(grid, src);
    BatchModeOn batch;
    SaveRun run;
    EXPECT_THROW(run.save(saver, {}, out, 5), platform::Error);
    EXPECT_EQ(run.SaveCount, 0);
    // A table named as the source.
    int count = 0;
    uint16_t confirm = 0;
    QSet<QString> written;
    EXPECT_THROW(saver.SaveAll(src, dir.path(), src, {}, {}, 12, 0, false, false, false, false, 0, count,
                               confirm, written),
                 platform::Error);
    EXPECT_EQ(readAll(src), before);
}

// The source changed after its icons were read and before the first is
// written. A file renamed over its name is another file: the run reads on
// from the one it opened and gives that file's export whole. The source
// rewritten in place fails the run, which replaces nothing.
TEST_F(IconSaverTest, ASourceChangedDuringTheRunIsReadAsItWasOpenedOrFails)
{
    const QString out = path(QStringLiteral("out"));
    BatchModeOn batch;
    const ExportKind kinds[] = {
        {"numbered icon files", 0, {}, out},
        {"numbered pictures", 5, {}, out},
        {"HTML page and pictures", 11, out + "/p.htm", out + "/p_files"},
        {"dBASE table and memo file", 12, out + "/t.dbf", out},
        {"PDF document", 13, out + "/d.pdf", out},
    };
    const struct {
        const char* name;
        QString first, other;
    } sources[] = {
        {"lib.dll", kGroups, kLoader},
        {"icon.ico", kMixedIco, kFixtures + QStringLiteral("/icons/depths.ico")},
    };
    // A document says when it was made; nothing else of an export differs.
    const auto undated = [](std::map<QString, QByteArray> files) {
        for (auto& [name, bytes] : files) {
            const qsizetype at = bytes.indexOf("/CreationDate (D:");
            if (at >= 0)
                bytes.remove(at, bytes.indexOf(')', at) + 1 - at);
        }
        return files;
    };
    for (const auto& source : sources) {
        const QString src = path(QLatin1String(source.name));
        const QString other = path(QStringLiteral("other"));
        // Renamed over, rewritten in place, or cut short where it lies.
        for (const char* change : {"renamed over", "rewritten in place", "cut short"}) {
            const bool inPlace = change != std::string_view("renamed over");
            for (const ExportKind& k : kinds) {
                SCOPED_TRACE(testing::Message() << source.name << ' ' << change << ", " << k.what);
                QDir(out).removeRecursively();
                ASSERT_TRUE(QDir().mkpath(out));
                QFile::remove(src);
                ASSERT_TRUE(QFile::copy(source.first, src));
                QFile::remove(other);
                ASSERT_TRUE(QFile::copy(source.other, other));
                const auto exportIcons = [&](const TIconGridSource& grid, SaveRun& run) {
                    TIconSaver saver(grid, src);
                    saver.SaveAll({}, k.destDir, k.dest, {}, {}, k.type, 0, true, true, false, false, 0,
                                  run.SaveCount, run.ConfirmResult, run.WrittenNames);
                };
                SaveRun first;
                exportIcons(FakeGrid::of(src), first);
                ASSERT_GT(first.SaveCount, 0);
                const auto earlier = undated(snapshot(out));

                bool changed = false;
                const GridWithAction grid(FakeGrid::of(src), [&] {
                    if (change == std::string_view("cut short")) {
                        changed = ::truncate(QFile::encodeName(src).constData(), 64) == 0;
                    } else if (inPlace) {
                        QFile file(src);
                        changed = file.open(QIODevice::WriteOnly) && file.write(readAll(other)) > 0;
                    } else {
                        changed = std::rename(QFile::encodeName(other).constData(),
                                              QFile::encodeName(src).constData())
                            == 0;
                    }
                });
                SaveRun run;
                try {
                    exportIcons(grid, run);
                    EXPECT_FALSE(inPlace) << "no error";
                    EXPECT_EQ(run.SaveCount, first.SaveCount);
                } catch (const TSourceError& e) {
                    EXPECT_TRUE(inPlace) << e.what();
                    EXPECT_EQ(e.message(), src + " changed while it was read");
                    EXPECT_EQ(run.SaveCount, 0);
                }
                EXPECT_TRUE(changed);
                // The first file's icons and groups, whole, or what was there before.
                EXPECT_TRUE(undated(snapshot(out)) == earlier);
            }
        }
    }
}

// A group that no lookup finds (the grid's icon of a file put in its place
// since, or a group whose name reads as no name and no number) is said in
// the user's terms, not as the group list's index or conversion error.
TEST_F(IconSaverTest, AGroupThatCannotBeFoundIsSaidInTheUsersTerms)
{
    const fixture::IcoImage image = fixture::dibImage(32, 32, 8, 1);
    const auto pe = fixture::buildPe({{3, {}, 1, {}, 0x409, image.data},
                                      {14, {}, 0, u"#X", 0x409, fixture::groupResource({image}, {1})}})
                        .bytes;
    const QString named = path(QStringLiteral("named.dll"));
    writeFile(named, QByteArray(reinterpret_cast<const char*>(pe.data()), qsizetype(pe.size())));
    {
        const FakeGrid grid = FakeGrid::of(named);
        ASSERT_EQ(grid.Count(), 1);
        ASSERT_FALSE(grid.GetIcon(0).isNull());
        TIconSaver saver(grid, named);
        BatchModeOn batch;
        SaveRun run;
        try {
            run.save(saver, {}, path(QStringLiteral("out")), 0);
            ADD_FAILURE() << "reported as saved";
        } catch (const platform::Error& e) {
            EXPECT_EQ(e.message().toStdString(), BrokenIconText(named, 0).toStdString());
        }
        EXPECT_EQ(run.SaveCount, 0);
    }

    const QString src = path(QStringLiteral("lib.dll"));
    ASSERT_TRUE(QFile::copy(kLoader, src));
    const FakeGrid grid = FakeGrid::of(src);
    ASSERT_GT(grid.Count(), 3);
    QFile::remove(src);
    ASSERT_TRUE(QFile::copy(kGroups, src));
    TIconSaver saver(grid, src);
    try {
        saver.SaveIcon(3, path(QStringLiteral("x.ico")), 0, false);
        ADD_FAILURE() << "reported as saved";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message().toStdString(), BrokenIconText(src, 3).toStdString());
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("x.ico"))));
}

// A source cut short where the run has not read it yet (a large image of a
// group whose small one the icons showed) is the source's error, so that a
// run over several files goes on with the next one.
TEST_F(IconSaverTest, ASourceCutShortBeforeTheRunReadItIsTheSourcesError)
{
    const fixture::IcoImage small = fixture::dibImage(32, 32, 8, 1);
    const fixture::IcoImage large = fixture::dibImage(256, 256, 32, 2);
    const auto pe = fixture::buildPe({{3, {}, 1, {}, 0x409, small.data},
                                      {3, {}, 2, {}, 0x409, large.data},
                                      {14, {}, 1, {}, 0x409, fixture::groupResource({small, large}, {1, 2})}})
                        .bytes;
    const QString src = path(QStringLiteral("big.dll"));
    writeFile(src, QByteArray(reinterpret_cast<const char*>(pe.data()), qsizetype(pe.size())));
    const QString out = path(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    BatchModeOn batch;
    for (const int type : {0, 5}) {
        SCOPED_TRACE(type);
        writeFile(src, QByteArray(reinterpret_cast<const char*>(pe.data()), qsizetype(pe.size())));
        const GridWithAction grid(FakeGrid::of(src),
                                  [&] { ASSERT_EQ(::truncate(QFile::encodeName(src), 4096), 0); });
        TIconSaver saver(grid, src);
        SaveRun run;
        try {
            run.save(saver, {}, out, type);
            ADD_FAILURE() << "reported as saved";
        } catch (const TSourceError& e) {
            EXPECT_EQ(e.message(), src + " changed while it was read");
        }
        EXPECT_EQ(run.SaveCount, 0);
        EXPECT_TRUE(QDir(out).isEmpty());
    }
}

TEST_F(IconSaverTest, SaveAllHtmlPage)
{
    const QString pictures = path(QStringLiteral("web/icons_files"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("web"))));
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    HtmlColumnCount = 2;
    struct Case {
        int targetImageType;
        const char* ext;
        const char* type;
    };
    for (const Case& c :
         {Case {0, ".png", "PNG image"}, Case {1, ".jpg", "JPEG image"}, Case {2, ".gif", "GIF image"}}) {
        SCOPED_TRACE(c.ext);
        BatchModeOn batch;
        int count = 0;
        uint16_t confirm = 0;
        QSet<QString> written;
        saver.SaveAll({}, pictures, path(QStringLiteral("web/icons.html")), QStringLiteral(".HTML"), {}, 11,
                      0, true, false, false, false, c.targetImageType, count, confirm, written);
        EXPECT_EQ(count, 3);
        // The extension as given.
        const QByteArray page = readAll(path(QStringLiteral("web/icons.HTML")));
        ASSERT_FALSE(page.isEmpty());
        EXPECT_TRUE(page.startsWith("\xEF\xBB\xBF<!DOCTYPE HTML"));
        EXPECT_TRUE(page.endsWith("</html>"));
        for (int n = 1; n <= 3; ++n) {
            const QString picture
                = QStringLiteral("ico_groups32_dll%1%2").arg(n, 4, 10, QLatin1Char('0')).arg(c.ext);
            EXPECT_TRUE(page.contains(
                ("<img src=\"icons_files/" + picture + "\" width=\"32\" height=\"32\"").toUtf8()));
            EXPECT_TRUE(fileType(pictures + u'/' + picture).contains(QLatin1String(c.type)));
        }
        // Two cells a row: the second row has one empty cell.
        EXPECT_EQ(page.count("<tr>"), 2);
        EXPECT_EQ(page.count("<td>&nbsp;</td>"), 1);
    }
    HtmlColumnCount = 0;
}

TEST_F(IconSaverTest, SaveAllDbaseTable)
{
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    for (int dbfType : {0, 5}) {
        SCOPED_TRACE(dbfType);
        int count = 0;
        uint16_t confirm = 0;
        QSet<QString> written;
        ScriptedBoxes boxes;
        saver.SaveAll(kGroups, dir.path(), QStringLiteral("/elsewhere/icons"), {}, {}, 12, dbfType, false,
                      false, true, false, 0, count, confirm, written);
        EXPECT_EQ(count, 3);
        EXPECT_TRUE(boxes.boxes->shown.empty());
        const QString table = path(QStringLiteral("icons.dbf"));
        EXPECT_EQ(readAll(table).size(), 65 + 3 * 11 + 1);
        EXPECT_TRUE(fileType(table).contains(QLatin1String("3 records"))) << fileType(table).toStdString();
        EXPECT_TRUE(fileType(path(QStringLiteral("icons.dbt"))).contains(QLatin1String("DBT")));
        int exitCode = -1;
        const QStringList lines
            = run(QStringLiteral("perl"),
                  {QStringLiteral(SOURCE_DIR "/tests/support/read_dbase_memos.pl"), table}, &exitCode)
                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        EXPECT_EQ(exitCode, 0);
        ASSERT_EQ(lines.size(), 5);
        EXPECT_EQ(lines[0], QStringLiteral("field ICON"));
        for (int r = 0; r < 3; ++r) {
            const QByteArray memo = QByteArray::fromHex(lines[2 + r].toLatin1());
            if (dbfType == 0) {
                // Icons in colour, whatever GrayScale says.
                ASSERT_TRUE(memo.startsWith(QByteArray("\0\0\1\0\1\0", 6)));
                QFile ico(path(QStringLiteral("memo%1.ico").arg(r)));
                ASSERT_TRUE(ico.open(QIODevice::WriteOnly));
                ico.write(memo);
                ico.close();
                EXPECT_EQ(icoImageCount(ico.fileName()), 1);
            } else {
                QImage image;
                ASSERT_TRUE(image.loadFromData(memo, "png"));
                EXPECT_EQ(image.size(), QSize(32, 32));
                const QRgb c = image.pixel(16, 16);
                EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c));
            }
        }
    }
}

TEST_F(IconSaverTest, SaveAllPdfDocument)
{
    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    int count = 0;
    uint16_t confirm = 0;
    QSet<QString> written;
    saver.SaveAll(QString(), dir.path(), QStringLiteral("icons.pdf"), QStringLiteral(".pdf"), {}, 13, 0, true,
                  true, false, false, 0, count, confirm, written);
    EXPECT_EQ(count, 3);
    const QString pdf = path(QStringLiteral("icons.pdf"));
    int exitCode = -1;
    const QString check = run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}, &exitCode);
    EXPECT_EQ(exitCode, 0) << check.toStdString();
    const QStringList images = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}, &exitCode)
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(images.size(), 2 + 3);  // two heading lines, one line an icon
    const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}, &exitCode);
    for (const char* number : {"1", "2", "3"})
        EXPECT_TRUE(text.contains(QLatin1String(number)));
}

TEST(IconSaverColours, GetColorCount)
{
    // An icon made from a picture has alpha: 32 bits, whatever its colours.
    EXPECT_EQ(GetColorCount(solidIcon(qRgb(0, 0, 0))), bit32);
    const std::vector<Icon> depths = platform::extractIcons(kGroups, 32);
    ASSERT_EQ(depths.size(), 3u);
    EXPECT_EQ(GetColorCount(depths[1]), bit32);  // the group's 32-bit image
    EXPECT_EQ(GetColorCount(depths[0]), bit8);   // 4 and 8 bits: the 8-bit one
    // A monochrome icon: no colour bits, drawn black and white.
    fixture::IcoImage mono = fixture::dibImage(32, 32, 1, 0);
    fixture::put32(mono.data, 40, 0x000000);
    fixture::put32(mono.data, 44, 0xFFFFFF);
    const auto image = platform::decodeIconImage(mono.data);
    ASSERT_TRUE(image);
    EXPECT_EQ(GetColorCount(Icon(*image)), bit1);
}

TEST_F(IconSaverTest, IconsThatCannotBeReadAreLeftOutByEveryKind)
{
    // The loader's sixth group has no image that can be decoded.
    const FakeGrid grid = FakeGrid::of(kLoader);
    ASSERT_TRUE(grid.GetIcon(5).isNull());
    TIconSaver saver(grid, kLoader);
    for (const int type : {0, 1, 3, 5}) {
        SCOPED_TRACE(type);
        const QString dest = path(QStringLiteral("broken%1").arg(type));
        try {
            saver.SaveIcon(5, dest, type, false);
            ADD_FAILURE() << "a blank icon was saved";
        } catch (const platform::Error& e) {
            EXPECT_TRUE(e.message().startsWith(QLatin1String("Icon 6 of \"") + kLoader)) << e.what();
        }
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    // One picture of the grid names the icons it shows as blank cells.
    saver.SaveAllAsOne(path(QStringLiteral("all.png")), 5, false);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("all.png"))));
    EXPECT_EQ(saver.Skipped(), QList<int> {5});
    QFile::remove(path(QStringLiteral("all.png")));
    // A grid whose icons cannot be read at all gives no picture.
    const FakeGrid blank({Icon(), Icon()}, 400);
    TIconSaver blankSaver(blank, kLoader);
    try {
        blankSaver.SaveAllAsOne(path(QStringLiteral("none.png")), 5, false);
        ADD_FAILURE() << "an empty picture was saved";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message(), QStringLiteral("No icon of \"%1\" can be read.").arg(kLoader));
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    const QString out = path(QStringLiteral("out"));
    BatchModeOn batch;
    for (const int type : {0, 1, 3, 11, 12, 13}) {
        SCOPED_TRACE(type);
        QDir(out).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(out));
        SaveRun run;
        saver.SaveAll(kLoader, out, out + QStringLiteral("/all"), {}, {}, type, 0, false, false, false, false,
                      0, run.SaveCount, run.ConfirmResult, run.WrittenNames);
        EXPECT_EQ(run.SaveCount, 6);
        EXPECT_EQ(saver.Skipped(), QList<int> {5});
        if (type <= 5) {
            const QString ext = type == 0 ? QStringLiteral(".ico")
                : type == 1               ? QStringLiteral(".bmp")
                                          : QStringLiteral(".emf");
            EXPECT_TRUE(QFile::exists(numbered(QStringLiteral("loader_dll"), 7, ext)));
            EXPECT_FALSE(QFile::exists(numbered(QStringLiteral("loader_dll"), 6, ext)));
        }
        // The table holds the six icons that were read.
        if (type == 12) {
            EXPECT_TRUE(fileType(path(QStringLiteral("out/all.dbf"))).contains(QLatin1String("6 records")))
                << fileType(path(QStringLiteral("out/all.dbf"))).toStdString();
        }
    }
}

// The picture's size is checked before it is made: past the largest side
// nothing is allocated or written, and the reason names the size.
TEST_F(IconSaverTest, SaveAllAsOneRefusesAPictureTooLarge)
{
    struct Case {
        int icons;
        int width;  // of the grid control
        bool written;
    };
    // Cells of 40 pixels and a 2-pixel edge: 409 of them make 16,362
    // pixels, 410 make 16,402, in a column or in a row.
    const Case cases[] = {{409, 42, true}, {410, 42, false}, {409, 409 * 40, true}, {410, 410 * 40, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.icons) + " icons, " + std::to_string(c.width));
        const FakeGrid grid(std::vector<Icon>(static_cast<size_t>(c.icons), solidIcon(qRgb(0, 90, 0))),
                            c.width, 32, 5);
        TIconSaver saver(grid, kGroups);
        const QString name = path(QStringLiteral("big.bmp"));
        QFile::remove(name);
        if (c.written) {
            saver.SaveAllAsOne(name, 1, false);
        } else {
            try {
                saver.SaveAllAsOne(name, 1, false);
                ADD_FAILURE() << "saved";
            } catch (const platform::Error& e) {
                EXPECT_TRUE(e.message().contains(QLatin1String("larger than 16384 pixels on a side")))
                    << e.what();
            }
        }
        EXPECT_EQ(QFile::exists(name), c.written);
    }
}

// What one source's run writes is bounded: files past the limit by their
// count alone are refused before anything is written; bytes past it stop
// the run there, and leave the earlier numbered files, table or document as
// they were, with nothing counted.
TEST_F(IconSaverTest, SaveAllStopsAtItsOutputLimit)
{
    const qint64 floorSource = kRunOutputFloor / kRunOutputPerSourceByte;
    EXPECT_EQ(RunOutputLimit(0), kRunOutputFloor);
    EXPECT_EQ(RunOutputLimit(floorSource), kRunOutputFloor);
    EXPECT_EQ(RunOutputLimit(floorSource + 1), (floorSource + 1) * kRunOutputPerSourceByte);
    EXPECT_EQ(RunOutputLimit(std::numeric_limits<qint64>::max() / 2), std::numeric_limits<qint64>::max());

    const FakeGrid grid = FakeGrid::of(kGroups);
    TIconSaver saver(grid, kGroups);
    BatchModeOn batch;
    const QString out = path(QStringLiteral("out"));
    const auto refused = [&](int type, qint64 limit, int expectedCount) {
        SCOPED_TRACE(std::to_string(type) + " within " + std::to_string(limit));
        saver.SetRunOutputLimit(limit);
        SaveRun run;
        try {
            saver.SaveAll(kGroups, out, out + QStringLiteral("/all"), {}, {}, type, 5, false, false, false,
                          false, 0, run.SaveCount, run.ConfirmResult, run.WrittenNames);
            ADD_FAILURE() << "saved whole";
        } catch (const TSourceError& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("would write more than"))) << e.what();
        }
        EXPECT_EQ(run.SaveCount, expectedCount);
    };

    // Three small pictures take three blocks.
    for (const int type : {0, 5, 11}) {
        refused(type, 3 * kRunOutputFileBlock - 1, 0);
        EXPECT_FALSE(QFileInfo::exists(out));
    }
    saver.SetRunOutputLimit(3 * kRunOutputFileBlock);
    SaveRun fits;
    fits.save(saver, kGroups, out, 5);
    EXPECT_EQ(fits.SaveCount, 3);

    // A 32 x 32 BMP is larger than a block: the third passes the limit, and
    // an earlier export stays as it was, however many files come before it.
    saver.SetRunOutputLimit(0);
    for (int n = 1; n <= 3; ++n)
        writeFile(numbered(QStringLiteral("groups32_dll"), n, QStringLiteral(".bmp")), "old");
    const auto earlierPictures = snapshot(out);
    refused(1, 3 * kRunOutputFileBlock, 0);
    EXPECT_EQ(snapshot(out), earlierPictures);

    saver.SetRunOutputLimit(0);
    for (const int type : {12, 13}) {
        SaveRun earlier;
        saver.SaveAll(kGroups, out, out + QStringLiteral("/all"), {}, {}, type, 5, false, false, false, false,
                      0, earlier.SaveCount, earlier.ConfirmResult, earlier.WrittenNames);
        ASSERT_EQ(earlier.SaveCount, 3);
        const auto before = snapshot(out);
        refused(type, 2000, 0);
        saver.SetRunOutputLimit(0);
        EXPECT_EQ(snapshot(out), before);
    }

    // By default the limit is the floor for a small module: 16,385 groups
    // that share one image would make a file each.
    const QString shared = path(QStringLiteral("shared.dll"));
    const fixture::ByteVec module = fixture::moduleOfSharedGroups(fixture::dibImage(16, 16, 4, 1), 16385);
    writeFile(
        shared,
        QByteArray(reinterpret_cast<const char*>(module.data()), static_cast<qsizetype>(module.size())));
    SaveRun many;
    EXPECT_THROW(many.save(saver, shared, path(QStringLiteral("many")), 0), TSourceError);
    EXPECT_EQ(many.SaveCount, 0);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("many"))));
}
