#include "app/Settings.h"

#include "app/Unit1.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

const QList<QRect> kScreens = {QRect(0, 0, 1920, 1080)};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, QByteArrayView bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes.data(), bytes.size()), bytes.size());
}

// A program folder, a configuration folder that stands for ~/.config (the
// registry lives there), and files for the recent-files list.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath("program");
        QDir(m_dir.path()).mkpath("config");
        QDir(m_dir.path()).mkpath("files");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config());
        SetDefaultSettings();
        m_window = currentWindow();
    }
    void TearDown() override { SetDefaultSettings(); }

    QString config() const { return m_dir.filePath("config"); }
    QString ini() const { return m_dir.filePath("program/gharv.ini"); }
    QString registryFile() const { return config() + "/Quellmark/Pictorium.conf"; }

    QString file(int n) const
    {
        const QString path = m_dir.filePath(QStringLiteral("files/file%1.dll").arg(n));
        if (!QFileInfo::exists(path))
            writeAll(path, "MZ");
        return path;
    }

    // The window as it is when the settings are read: defaults of the
    // placement.
    static TWindowSettings currentWindow()
    {
        TWindowSettings w;
        w.Placement = {100, 50, 900, 650, false, false, 240, 300};
        return w;
    }

    void load()
    {
        m_window = currentWindow();
        UserRegistry registry = ProgramRegistry();
        LoadSettings(ini(), registry, m_window, kScreens);
    }

    void save()
    {
        WriteINI(ini(), m_window);
        UserRegistry registry = ProgramRegistry();
        WriteReg(registry, m_window);
    }

    static void setNonDefaults()
    {
        Language = 3;
        OpenAfterSave = false;
        ShowSeparateWindow = false;
        SmallIcons = true;
        ExpIncludeNumbers = false;
        ExpDrawBorder = false;
        ExpGrayScale = true;
        ExpDBFFieldName = QString::fromUtf8("B\xC3\x84LD, x");
        ExpTargetImageType = 2;
        ExpDBFType = 5;
    }

    static void expectNonDefaults()
    {
        EXPECT_EQ(Language, 3);
        EXPECT_FALSE(OpenAfterSave);
        EXPECT_FALSE(ShowSeparateWindow);
        EXPECT_TRUE(SmallIcons);
        EXPECT_FALSE(ExpIncludeNumbers);
        EXPECT_FALSE(ExpDrawBorder);
        EXPECT_TRUE(ExpGrayScale);
        EXPECT_EQ(ExpDBFFieldName, QString::fromUtf8("B\xC3\x84LD, x"));
        EXPECT_EQ(ExpTargetImageType, 2);
        EXPECT_EQ(ExpDBFType, 5);
    }

    static void expectDefaults()
    {
        EXPECT_EQ(Language, 0);
        EXPECT_TRUE(OpenAfterSave);
        EXPECT_TRUE(ShowSeparateWindow);
        EXPECT_FALSE(SmallIcons);
        EXPECT_TRUE(ExpIncludeNumbers);
        EXPECT_TRUE(ExpDrawBorder);
        EXPECT_FALSE(ExpGrayScale);
        EXPECT_EQ(ExpDBFFieldName, "ICON");
        EXPECT_EQ(ExpTargetImageType, 0);
        EXPECT_EQ(ExpDBFType, 0);
    }

    QTemporaryDir m_dir;
    TWindowSettings m_window;
};

TEST_F(SettingsTest, FirstStartHasDefaultsAndWritesOnlyTheIniFile)
{
    Language = 4;  // left over from before: reading starts at the defaults
    load();
    EXPECT_EQ(::Run, 1);
    EXPECT_FALSE(SaveSettingsToRegistry);
    expectDefaults();
    EXPECT_TRUE(m_window.RecentFiles.isEmpty());
    EXPECT_EQ(m_window.Placement.Left, 100);
    EXPECT_EQ(m_window.Placement.FindPanelHeight, 240);

    save();
    EXPECT_TRUE(QFileInfo::exists(ini()));
    EXPECT_FALSE(QFileInfo::exists(registryFile()));
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(SettingsTest, RoundTripThroughTheIniFile)
{
    load();
    setNonDefaults();
    for (int i = 0; i < 12; ++i)
        m_window.RecentFiles.append(file(i));
    m_window.Placement = {-20, 10, 700, 500, true, true, 300, 410};
    save();

    SetDefaultSettings();
    load();
    EXPECT_EQ(::Run, 2);
    expectNonDefaults();
    QStringList expected;
    for (int i = 0; i < 12; ++i)
        expected.append(file(i));
    EXPECT_EQ(m_window.RecentFiles, expected);
    const TPlacement& p = m_window.Placement;
    EXPECT_EQ(std::tie(p.Left, p.Top, p.Right, p.Bottom), std::make_tuple(-20, 10, 700, 500));
    EXPECT_TRUE(p.Maximized);
    EXPECT_TRUE(p.FindPanelVisible);
    EXPECT_EQ(p.FindPanelHeight, 300);
    EXPECT_EQ(p.FilePanelWidth, 410);

    const QByteArray text = readAll(ini());
    EXPECT_TRUE(text.startsWith("[Settings]\nRun=1\nSaveSettingsToRegistry=0\nLanguage=3\n"))
        << text.constData();
    EXPECT_TRUE(text.contains("[Recent]\n11=")) << "the oldest is written first";
}

TEST_F(SettingsTest, RoundTripThroughTheRegistryKeepsTheRecentOrder)
{
    load();
    setNonDefaults();
    SaveSettingsToRegistry = true;
    for (int i = 0; i < 12; ++i)
        m_window.RecentFiles.append(file(i));
    m_window.Placement = {10, 20, 810, 620, false, true, 280, 350};
    save();
    ASSERT_TRUE(SettingsKeyExists());
    QFile::remove(ini());

    SetDefaultSettings();
    {
        UserRegistry registry = ProgramRegistry();
        registry.writeInteger("Settings", "Run", 7);
        registry.flush();
    }
    load();
    EXPECT_TRUE(SaveSettingsToRegistry);
    EXPECT_EQ(::Run, 8);
    EXPECT_EQ(ProgramRegistry().readInteger("Settings", "Run", 0), 8) << "written back at once";
    expectNonDefaults();
    QStringList expected;
    for (int i = 0; i < 12; ++i)
        expected.append(file(i));
    EXPECT_EQ(m_window.RecentFiles, expected) << "the store sorts \"10\" before \"2\"";
    EXPECT_EQ(m_window.Placement.Right, 810);
    EXPECT_EQ(m_window.Placement.FilePanelWidth, 350);
    EXPECT_EQ(ProgramRegistry().readString("Settings", "SaveSettingsToRegistry", "none"), "none");
}

TEST_F(SettingsTest, IniFileWinsOverTheRegistry)
{
    {
        UserRegistry registry = ProgramRegistry();
        registry.writeInteger("Settings", "Run", 40);
        registry.writeInteger("Settings", "Language", 5);
        registry.flush();
    }
    writeAll(ini(), "[Settings]\nRun=3\nSaveSettingsToRegistry=0\nLanguage=2\n");
    load();
    EXPECT_EQ(::Run, 4);
    EXPECT_EQ(Language, 2);
    EXPECT_TRUE(SaveSettingsToRegistry) << "the key exists";
    EXPECT_EQ(ProgramRegistry().readInteger("Settings", "Run", 0), 40) << "the registry is not read";

    save();
    EXPECT_EQ(ProgramRegistry().readInteger("Settings", "Language", 0), 2) << "both stores are written";
    EXPECT_EQ(ProgramRegistry().readInteger("Settings", "Run", 0), 40);
}

TEST_F(SettingsTest, UnreadableIniFileFallsBackToTheRegistry)
{
    {
        UserRegistry registry = ProgramRegistry();
        registry.writeInteger("Settings", "Language", 5);
        registry.flush();
    }
    QDir().mkpath(ini());  // a folder where the file should be
    load();
    EXPECT_EQ(Language, 5);
    EXPECT_THROW(WriteINI(ini(), m_window), Error);
}

TEST_F(SettingsTest, RegistryIsWrittenOnlyWhileStorageIsOn)
{
    load();
    bool checked = SaveSettingsToRegistry;
    NSaveToRegistryClick(checked);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(SaveSettingsToRegistry);
    save();
    EXPECT_TRUE(SettingsKeyExists());

    // Another program of the maker keeps its folder alive the first time.
    writeAll(config() + "/Quellmark/Other.conf", "[Settings]\nx=1\n");
    load();
    NSaveToRegistryClick(checked);
    EXPECT_FALSE(SaveSettingsToRegistry);
    save();
    EXPECT_FALSE(SettingsKeyExists());
    EXPECT_FALSE(QFileInfo::exists(registryFile()));
    EXPECT_TRUE(QFileInfo::exists(config() + "/Quellmark/Other.conf"));

    QFile::remove(config() + "/Quellmark/Other.conf");
    SaveSettingsToRegistry = true;
    save();
    SaveSettingsToRegistry = false;
    save();
    EXPECT_FALSE(QFileInfo::exists(config() + "/Quellmark")) << "the empty maker's folder goes";
    EXPECT_TRUE(QFileInfo::exists(ini()));
}

TEST_F(SettingsTest, MissingAndBrokenValuesTakeTheirDefaults)
{
    writeAll(ini(),
             "[Settings]\n"
             "Run=x\n"
             "Language=abc\n"
             "OpenAfterSave=yes\n"
             "ShowSeparateWindow=\n"
             "SmallIcons=2\n"
             "ExpGrayScale=99999999999\n"
             "ExpTargetImageType=-1\n"
             "ExpDBFType=6\n"
             "[Placement]\n"
             "Left=wide\n"
             "Maximized=0\n"
             "FindPanelHeight=1.5\n");
    load();
    EXPECT_EQ(::Run, 1);
    EXPECT_EQ(Language, 0);
    EXPECT_TRUE(OpenAfterSave);
    EXPECT_TRUE(ShowSeparateWindow);
    EXPECT_TRUE(SmallIcons);
    EXPECT_FALSE(ExpGrayScale);
    EXPECT_EQ(ExpDBFFieldName, "ICON");
    EXPECT_EQ(ExpTargetImageType, 0);
    EXPECT_EQ(ExpDBFType, 0);
    EXPECT_EQ(m_window.Placement.Left, 100);
    EXPECT_FALSE(m_window.Placement.Maximized);
    EXPECT_EQ(m_window.Placement.FindPanelHeight, 240);

    struct Case {
        const char* text;
        int32_t target;
        int32_t dbf;
    };
    const Case ranges[] = {{"2", 2, 2}, {"3", 0, 3}, {"5", 0, 5}, {"6", 0, 0}, {"-1", 0, 0}, {"$1", 1, 1}};
    for (const Case& c : ranges) {
        writeAll(ini(),
                 QByteArray("[Settings]\nExpTargetImageType=") + c.text + "\nExpDBFType=" + c.text + "\n");
        load();
        EXPECT_EQ(ExpTargetImageType, c.target) << c.text;
        EXPECT_EQ(ExpDBFType, c.dbf) << c.text;
    }
    writeAll(ini(), "[Settings]\nRun=2147483647\n");
    load();
    EXPECT_EQ(::Run, INT32_MAX) << "the counter stops at its top";
}

TEST_F(SettingsTest, WritingKeepsWhatElseTheIniFileHolds)
{
    writeAll(ini(),
             "\xEF\xBB\xBF; my notes\n"
             "[Settings]\nLanguage=1\nFuture=yes\n"
             "[Tools]\nEditor=/usr/bin/vi\n"
             "[Recent]\n0=/gone\n");
    load();
    save();
    const QByteArray text = readAll(ini());
    EXPECT_TRUE(text.startsWith("\xEF\xBB\xBF; my notes\n[Settings]\nLanguage=1\nFuture=yes\nRun=1\n"))
        << text.constData();
    EXPECT_TRUE(text.contains("\n[Tools]\nEditor=/usr/bin/vi\n[Recent]\n\n[Placement]\n"))
        << text.constData();
    EXPECT_FALSE(text.contains("gone")) << "a recent file that is gone is not written back";
}

TEST_F(SettingsTest, RewritingKeepsEveryLineItDoesNotChange)
{
    // Latin-1 in a comment and an unknown section, CRLF, blank lines,
    // indentation and quotes: all of it is the user's.
    const QByteArray before = "; Einstellungen f\xFCr Pictorium\r\n"
                              "\r\n"
                              "[Settings]\r\n"
                              "  Run = 7\r\n"
                              "ExpDBFFieldName=\"ICON\"\r\n"
                              "\r\n"
                              "[Eigene]\r\n"
                              "Pfad=C:\\Programme\\M\xFCller\r\n";
    writeAll(ini(), before);
    load();
    EXPECT_EQ(::Run, 8);
    save();
    const QByteArray after = readAll(ini());
    const QByteArray kept = "; Einstellungen f\xFCr Pictorium\r\n"
                            "\r\n"
                            "[Settings]\r\n"
                            "  Run = 8\r\n"
                            "ExpDBFFieldName=\"ICON\"\r\n";
    EXPECT_TRUE(after.startsWith(kept)) << after.constData();
    EXPECT_TRUE(after.contains("\r\n\r\n[Eigene]\r\nPfad=C:\\Programme\\M\xFCller\r\n")) << after.constData();
    EXPECT_FALSE(after.contains("\xEF\xBF\xBD")) << "no replacement characters";
    EXPECT_EQ(after.count("\n"), after.count("\r\n")) << "every line ends as the file's lines do";
}

TEST_F(SettingsTest, IniFileThatCannotBeUsedIsLeftAloneAndTheRegistryTakesOver)
{
    static const char16_t text[] = u"[Settings]\r\nLanguage=2\r\n";
    const QByteArray utf16 = QByteArray("\xFF\xFE", 2)
        + QByteArray(reinterpret_cast<const char*>(text), sizeof text - sizeof text[0]);
    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
        bool registryKey;
    };
    const Case cases[] = {
        {"UTF-16", [&](const QString& path) { writeAll(path, utf16); }, false},
        {"binary",
         [](const QString& path) {
             writeAll(path,
                      QByteArray("\x7F"
                                 "ELF\2\1\1\0\0\0",
                                 10));
         },
         true},
        {"FIFO", [](const QString& path) { ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0); },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(ini());
        ProgramRegistry().removeKey();
        if (c.registryKey) {
            UserRegistry registry = ProgramRegistry();
            registry.writeInteger("Settings", "Language", 4);
            registry.flush();
        }
        c.make(ini());
        const QFileInfo made(ini());
        const QByteArray bytes = made.isFile() ? readAll(ini()) : QByteArray();

        m_window = currentWindow();
        UserRegistry registry = ProgramRegistry();
        const QString notice = LoadSettings(ini(), registry, m_window, kScreens);
        EXPECT_TRUE(notice.contains(ini())) << notice.toStdString();
        EXPECT_TRUE(notice.contains(registryFile())) << notice.toStdString();
        EXPECT_TRUE(SaveSettingsToRegistry);
        EXPECT_EQ(Language, c.registryKey ? 4 : 0);

        Language = 3;
        EXPECT_THROW(WriteINI(ini(), m_window), Error);
        WriteReg(registry, m_window);
        EXPECT_EQ(ProgramRegistry().readInteger("Settings", "Language", 0), 3)
            << "the settings went to the registry";
        const QFileInfo left(ini());
        EXPECT_EQ(left.isFile(), made.isFile());
        EXPECT_EQ(left.lastModified(), made.lastModified());
        if (made.isFile()) {
            EXPECT_EQ(readAll(ini()), bytes) << "left as it is";
        }
    }
}

TEST_F(SettingsTest, RecentFilesAreFilteredAndKeptInOrder)
{
    QByteArray text = "[Recent]\n";
    text += "5=" + file(5).toUtf8() + "\n";
    text += "x=" + file(99).toUtf8() + "\n";  // not a position: after the rest
    text += "1=" + m_dir.filePath("files/missing.dll").toUtf8() + "\n";
    text += "2=\n";
    text += "3=" + m_dir.filePath("files").toUtf8() + "\n";  // a folder
    text += "0=" + file(0).toUtf8() + "\n";
    for (int i = 20; i < 32; ++i)
        text += QByteArray::number(i) + "=" + file(i).toUtf8() + "\n";
    writeAll(ini(), text);
    load();
    QStringList expected {file(0), file(5)};
    for (int i = 20; i < 30; ++i)
        expected.append(file(i));
    EXPECT_EQ(m_window.RecentFiles, expected) << "the 12 newest existing files";

    // A path with a line break would break the file open; it is not stored.
    const QString hostile = file(1) + "\n[Settings]\nRun=99";
    m_window.RecentFiles = {file(1), hostile, file(2)};
    save();
    load();
    EXPECT_EQ(::Run, 2);
    EXPECT_EQ(m_window.RecentFiles, (QStringList {file(1), file(2)}));
    EXPECT_TRUE(
        readAll(ini()).contains("[Recent]\n1=" + file(2).toUtf8() + "\n0=" + file(1).toUtf8() + "\n"));
}

TEST_F(SettingsTest, FieldNameWithALineBreakKeepsTheStoredOne)
{
    writeAll(ini(), "[Settings]\nExpDBFFieldName=NAME\n");
    load();
    ExpDBFFieldName = "A\nB";
    save();
    load();
    EXPECT_EQ(ExpDBFFieldName, "NAME");
}

TEST_F(SettingsTest, PlacementRectangleThatIsNoWindowIsIgnored)
{
    writeAll(ini(), "[Placement]\nLeft=500\nTop=0\nRight=400\nBottom=300\n");  // inside out
    load();
    EXPECT_EQ(std::tie(m_window.Placement.Left, m_window.Placement.Right), std::make_tuple(100, 900));

    // An edge no screen has reads as absent, as a missing one does: the
    // current one takes its place, and the edges read are kept when the
    // rectangle they make with it is a window. Nothing is computed from the
    // unusable ones.
    const struct {
        const char* values;
        TPlacement out;
    } edges[] = {
        {"Left=-2147483648\nTop=-2147483648\nRight=2147483647\nBottom=2147483647\n", {100, 50, 900, 650}},
        {"Left=-2147483648\nTop=0\nRight=2147483647\nBottom=300\n", {100, 0, 900, 300}},
        {"Left=2147483000\nTop=0\nRight=2147483647\nBottom=300\n", {100, 0, 900, 300}},
        {"Left=0\nTop=-20000000\nRight=800\nBottom=600\n", {0, 50, 800, 600}},
        {"Left=-16777216\nTop=60\nRight=16777216\nBottom=500\n", {100, 60, 900, 500}},
        {"Left=-16777215\nTop=60\nRight=-16776415\nBottom=500\n", {0, 60, 800, 500}},
        // With the current edges the rest makes no window: all stay current.
        {"Left=-2147483648\nTop=0\nRight=50\nBottom=300\n", {100, 50, 900, 650}},
        {"Left=0\nTop=700\nRight=800\nBottom=2147483647\n", {100, 50, 900, 650}},
    };
    for (const auto& c : edges) {
        writeAll(ini(), QByteArray("[Placement]\n") + c.values);
        load();
        const TPlacement& p = m_window.Placement;
        EXPECT_EQ(std::tie(p.Left, p.Top, p.Right, p.Bottom),
                  std::tie(c.out.Left, c.out.Top, c.out.Right, c.out.Bottom))
            << c.values;
    }
    // Far off, but a rectangle all the same: brought back onto the screen.
    writeAll(ini(), "[Placement]\nLeft=-16000000\nTop=0\nRight=-15999200\nBottom=600\n");
    load();
    EXPECT_EQ(std::tie(m_window.Placement.Left, m_window.Placement.Right), std::make_tuple(0, 800));
}

TEST(PlaceOnScreen, MovesWindowsThatCannotBeReachedBackOn)
{
    const QList<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    struct Case {
        const char* what;
        QList<QRect> screens;
        TPlacement in;
        TPlacement out;
    };
    const Case cases[] = {
        {"on the screen", two, {100, 100, 900, 700}, {100, 100, 900, 700}},
        {"mostly off, but reachable", two, {-700, -100, 100, 500}, {-700, -100, 100, 500}},
        {"on the second screen", two, {2000, 100, 2600, 500}, {2000, 100, 2600, 500}},
        {"a sliver left", two, {-790, 100, 10, 700}, {0, 100, 800, 700}},
        {"where a screen was", two, {4000, 200, 4800, 800}, {2400, 200, 3200, 800}},
        {"above every screen", two, {300, -5000, 1100, -4400}, {300, 0, 1100, 600}},
        {"too large for its screen", two, {5000, 0, 7000, 3000}, {1920, 0, 3200, 1024}},
        {"no screens known", {}, {9000, 9000, 9800, 9600}, {9000, 9000, 9800, 9600}},
        {"at the far end of the numbers",
         {QRect(0, 0, 800, 600)},
         {2147483000, 2147483000, 2147483647, 2147483647},
         {153, 0, 800, 600}},
    };
    for (const Case& c : cases) {
        TPlacement p = c.in;
        PlaceOnScreen(p, c.screens);
        EXPECT_EQ(std::tie(p.Left, p.Top, p.Right, p.Bottom),
                  std::tie(c.out.Left, c.out.Top, c.out.Right, c.out.Bottom))
            << c.what;
    }
}

TEST(ClampPanelSize, RaisesToTheMinimumThenCutsToTheLimit)
{
    EXPECT_EQ(ClampPanelSize(10, 172, 600), 172);
    EXPECT_EQ(ClampPanelSize(-5, 172, 600), 172);
    EXPECT_EQ(ClampPanelSize(300, 172, 600), 300);
    EXPECT_EQ(ClampPanelSize(5000, 172, 600), 600);
    EXPECT_EQ(ClampPanelSize(300, 172, 100), 100) << "a window smaller than the minimum";
}

TEST_F(SettingsTest, IniFileLivesBesideTheProgramWhenItCan)
{
    const QString program = m_dir.filePath("program");
    EXPECT_EQ(IniFileName(program, config()), program + "/gharv.ini");
    EXPECT_EQ(IniFileName(m_dir.filePath("nowhere"), config()), config() + "/Quellmark/Pictorium/gharv.ini");

    // The fallback folder is made when the file is first written.
    const QString fallback = IniFileName(m_dir.filePath("nowhere"), config());
    WriteINI(fallback, m_window);
    EXPECT_TRUE(QFileInfo(fallback).isFile());

    if (geteuid() != 0) {
        const QString locked = m_dir.filePath("locked");
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(IniFileName(locked, config()), config() + "/Quellmark/Pictorium/gharv.ini");
        QFile::setPermissions(locked,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        writeAll(locked + "/gharv.ini", "");
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(IniFileName(locked, config()), locked + "/gharv.ini") << "an existing file is used";
        QFile::setPermissions(locked,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

}  // namespace
