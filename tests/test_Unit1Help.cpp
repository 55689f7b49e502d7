// The main window's help: the help file of the language, the version check
// of the pack, the help commands and the long hints.
#include "app/Unit1.h"

#include "app/myutils.h"
#include "kxCommon/KXButton.h"
#include "kxCommon/KXCtrl.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/kxHtmlHelp.h"
#include "platform/ApplicationHelp.h"
#include "platform/HelpViewer.h"
#include "platform/IniFile.h"
#include "platform/MessageBoxes.h"
#include "platform/UpDown.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);
const QString kHelpFile = QStringLiteral(HELP_FILE_DIR "/english.chm");

class MainWindowHelp : public ::testing::Test {
protected:
    QTemporaryDir program;
    QTemporaryDir config;
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes
        = std::make_shared<platform::ScriptedMessageBoxes>();

    void SetUp() override
    {
        TestApplication();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        platform::setMessageBoxes(boxes);
        kxHtmlHelp::UnloadHtmlHelp();  // with any window an earlier test left open
        kxHtmlHelp::Initialize();
        ASSERT_TRUE(QFile::copy(kFixtures + "/groups32.dll", program.filePath("pictorium")));
    }
    void TearDown() override
    {
        kxHtmlHelp::UnloadHtmlHelp();
        kxHtmlHelp::Initialize();
        platform::setMessageBoxes(nullptr);
        platform::applicationHelp() = {};
    }

    void install(const QString& from, const char* name)
    {
        ASSERT_TRUE(QFile::copy(from, program.filePath(name)));
    }
    void installPack(const char* name = "english.lng") { install(QStringLiteral(LANG_PACK), name); }
    void installHelp(const char* name = "english.chm") { install(kHelpFile, name); }
    void settings(int run, int language)
    {
        platform::IniFile file(program.filePath("gharv.ini"));
        file.writeInteger("Settings", "Run", run - 1);  // one more on start
        file.writeInteger("Settings", "Language", language);
        file.save();
    }
    std::unique_ptr<TForm1> start(const QStringList& params = {})
    {
        auto form = std::make_unique<TForm1>(params, program.filePath("pictorium"));
        form->FormCreate();
        return form;
    }
    QString helpFile() const { return platform::applicationHelp().helpFile; }
    QAction* languageItem(TForm1& form, int tag) const
    {
        for (QAction* a : form.findChildren<QAction*>())
            if (a->isCheckable() && a->data().isValid() && a->data().toInt() == tag && a->actionGroup()
                && a->actionGroup()->actions().size() == 6)
                return a;
        return nullptr;
    }
};

}  // namespace

TEST_F(MainWindowHelp, PackVersions)
{
    struct Case {
        const char* pack;
        bool warned;
        const char* text;
    };
    const Case cases[] = {
        {"v51", false, ""},  // "5.1" is "5.1.0.2"
        {"v509", true,
         "Language pack is obsolete.\r\nPlease download its newer version from Pictorium web page."},
        {"noversion", true,
         "Language pack is obsolete.\r\nPlease download its newer version from Pictorium web page."},
    };
    installHelp();
    for (const Case& c : cases) {
        QFile::remove(program.filePath("english.lng"));
        install(kFixtures + "/packs/" + c.pack + ".lng", "english.lng");
        boxes->shown.clear();
        auto form = start();
        ASSERT_EQ(boxes->shown.size(), c.warned ? 1u : 0u) << c.pack;
        if (c.warned) {
            EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Warning);
            EXPECT_EQ(boxes->shown[0].text, QString::fromUtf8(c.text));
            EXPECT_EQ(boxes->shown[0].caption, QStringLiteral("Pictorium"));
        }
        // No warning on a start with parameters; always on a menu click.
        boxes->shown.clear();
        auto batch = start({QStringLiteral("-e")});
        EXPECT_TRUE(boxes->shown.empty()) << c.pack;
        batch->NEnglishClick(languageItem(*batch, 0));
        EXPECT_EQ(boxes->shown.size(), c.warned ? 1u : 0u) << c.pack;
        form->FormDestroy();
        batch->FormDestroy();
        QFile::remove(program.filePath("gharv.ini"));
    }
}

TEST_F(MainWindowHelp, ALanguageOutOfRangeIsEnglishAndStaysAsStored)
{
    installPack();
    installHelp();
    settings(5, 7);
    {
        auto form = start();
        EXPECT_TRUE(LangModule);
        EXPECT_EQ(Language, 7);
        EXPECT_TRUE(languageItem(*form, 0)->isChecked());
        EXPECT_EQ(helpFile(), program.filePath("english.chm"));
        EXPECT_TRUE(boxes->shown.empty());
        form->FormDestroy();
    }
    platform::IniFile back(program.filePath("gharv.ini"));
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.readInteger("Settings", "Language", -1), 7);
}

TEST_F(MainWindowHelp, HelpFileOfTheLanguage)
{
    installPack();
    installPack("greek.lng");
    installPack("ukrainian.lng");
    installHelp();
    settings(5, 0);
    auto form = start();
    EXPECT_EQ(helpFile(), program.filePath("english.chm"));

    // Greek has no help of its own: English, silently.
    form->NEnglishClick(languageItem(*form, 2));
    EXPECT_EQ(Language, 2);
    EXPECT_EQ(helpFile(), program.filePath("english.chm"));
    EXPECT_TRUE(boxes->shown.empty());

    // Ukrainian has, and says so when it is missing.
    form->NEnglishClick(languageItem(*form, 1));
    EXPECT_EQ(Language, 1);
    EXPECT_EQ(helpFile(), program.filePath("english.chm"));
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Error);
    EXPECT_EQ(boxes->shown[0].text,
              FormatUIText(GetUIText(605), {QStringLiteral("ukrainian.chm")}) + QStringLiteral("\r\n")
                  + GetUIText(612));
    install(kHelpFile, "ukrainian.chm");
    form->NEnglishClick(languageItem(*form, 1));
    EXPECT_EQ(helpFile(), program.filePath("ukrainian.chm"));
    EXPECT_EQ(boxes->shown.size(), 1u);

    // A pack that is missing changes nothing.
    form->NEnglishClick(languageItem(*form, 5));
    EXPECT_EQ(Language, 1);
    EXPECT_TRUE(languageItem(*form, 1)->isChecked());
    EXPECT_EQ(helpFile(), program.filePath("ukrainian.chm"));
    EXPECT_EQ(boxes->shown.size(), 2u);
}

TEST_F(MainWindowHelp, AMissingHelpFileAtStartUp)
{
    installPack();
    struct Case {
        int run;
        int language;
        QStringList params;
        bool reported;
    };
    const Case cases[] = {
        {1, 0, {}, true},  // the first run of an English user
        {2, 0, {}, false},
        {1, 2, {}, false},  // Greek uses the English help: not the user's concern
        {1, 1, {}, true},
        // A start that opens a file is seen: the box comes all the same.
        {1, 0, {kFixtures + "/groups32.dll"}, true},
        {1, 1, {kFixtures + "/groups32.dll"}, true},
        // An export is not held up: the box waits until it is done.
        {1, 0, {QStringLiteral("-e"), QStringLiteral("x"), QStringLiteral("y")}, false},
    };
    installPack("greek.lng");
    installPack("ukrainian.lng");
    for (const Case& c : cases) {
        settings(c.run, c.language);
        boxes->shown.clear();
        auto form = start(c.params);
        EXPECT_EQ(boxes->shown.size(), c.reported ? 1u : 0u) << c.run << " " << c.language;
        EXPECT_EQ(helpFile(), program.filePath("english.chm"));
        form->FormDestroy();
    }
}

TEST_F(MainWindowHelp, ABatchStartWithoutAPackShowsNothing)
{
    installHelp();
    settings(1, 3);
    auto form = start({QStringLiteral("-e"), kFixtures + "/groups32.dll", program.filePath("out.ico")});
    EXPECT_FALSE(LangModule);
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_TRUE(helpFile().isEmpty());  // no pack: no help file chosen
}

TEST_F(MainWindowHelp, LongHintsGoToTheStatusBar)
{
    installPack();
    auto form = start();
    QLabel* panel = form->StatusPanel(0);
    struct Case {
        const char* hint;
        const char* shown;
    };
    const Case cases[] = {
        {"Open a file (Ctrl+O)", "Open a file (Ctrl+O)"},
        {"short|the long part", "the long part"},
        {"|only long", "only long"},
        {"two|bars|here", "bars|here"},
        {"a line\r\nbreak", "bars|here"},  // left as it was
        {"short|a line\nbreak", "bars|here"},
        {"a\ttab", "bars|here"},
        {"", ""},
    };
    for (const Case& c : cases) {
        form->AppOnHint(QString::fromUtf8(c.hint));
        EXPECT_EQ(panel->text(), QString::fromUtf8(c.shown)) << c.hint;
    }
    // A hovered control's hint arrives as a status tip.
    QStatusTipEvent tip(QStringLiteral("from a control"));
    QCoreApplication::sendEvent(form.get(), &tip);
    EXPECT_EQ(panel->text(), QStringLiteral("from a control"));
    // The grid's hint is long only: no tool tip.
    EXPECT_TRUE(form->ScrollBox()->toolTip().isEmpty());
    EXPECT_EQ(form->ScrollBox()->statusTip(), GetUIText(601));
}

TEST_F(MainWindowHelp, HoveringAHintedControlShowsItsLongHint)
{
    installPack();
    auto form = start();
    QLabel* panel = form->StatusPanel(0);
    const auto tool = [&](const char* name) { return form->ToolBar()->findChild<QWidget*>(name); };
    const std::pair<QWidget*, int> controls[] = {
        {form->CopyDirBtn, 101},   {form->SaveAllBtn, 102},   {tool("OpenBtn"), 103},
        {tool("SaveBtn"), 104},    {tool("CopyBtn"), 105},    {tool("PrintBtn"), 106},
        {tool("RefreshBtn"), 107}, {tool("OptionsBtn"), 108}, {tool("HelpBtn"), 109},
        {tool("AboutBtn"), 110},   {form->Label5, 151},       {form->Edit1, 151},
        {form->UpDown1, 151},
    };
    for (const auto& [control, id] : controls) {
        ASSERT_NE(control, nullptr) << id;
        const QString hint = GetUIText(id);
        ASSERT_FALSE(hint.isEmpty()) << id;
        EXPECT_EQ(control->toolTip(), hint.section(u'|', 0, 0)) << id;
        panel->setText(QStringLiteral("before"));
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(control, &enter);
        EXPECT_EQ(panel->text(), hint.mid(hint.indexOf(u'|') + 1)) << id;
        // Leaving clears the panel, as moving onto a control without a hint does.
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(control, &leave);
        EXPECT_EQ(panel->text(), QString()) << id;
    }
}

TEST_F(MainWindowHelp, HoveringARecentFileShowsItsPath)
{
    installPack();
    // Two files of one name, told apart by their folders only.
    ASSERT_TRUE(QDir(program.path()).mkpath("a") && QDir(program.path()).mkpath("b"));
    const QString older = program.filePath("a/icons.dll");
    const QString newer = program.filePath("b/icons.dll");
    ASSERT_TRUE(QFile::copy(kFixtures + "/groups32.dll", older));
    ASSERT_TRUE(QFile::copy(kFixtures + "/groups32.dll", newer));
    auto form = start();
    form->SelectFile(older);
    form->SelectFile(newer);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
    QLabel* panel = form->StatusPanel(0);

    auto* openBtn = form->ToolBar()->findChild<QWidget*>("OpenBtn");
    ASSERT_NE(openBtn, nullptr);
    QMenu* menu = form->MRUPopup();
    QTest::mouseClick(openBtn, Qt::LeftButton, {}, QPoint(33, 13));  // the drop-down part
    ASSERT_TRUE(menu->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu, kHangGuard));
    const QList<QAction*> items = menu->actions();
    ASSERT_GE(items.size(), 2);
    for (const auto& [item, path] : {std::pair {items[0], newer}, std::pair {items[1], older}}) {
        EXPECT_EQ(item->text(), "icons.dll");
        QTest::mouseMove(menu, menu->actionGeometry(item).center());
        EXPECT_EQ(panel->text().toStdString(), path.toStdString());
    }
    // Off the menu, the path goes, as a tool bar button's hint does.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(menu, &leave);
    EXPECT_EQ(panel->text().toStdString(), "");
    QTest::mouseMove(menu, menu->actionGeometry(items[0]).center());
    EXPECT_EQ(panel->text().toStdString(), newer.toStdString());
    menu->close();
    EXPECT_EQ(panel->text().toStdString(), "");
}

TEST_F(MainWindowHelp, ThePackNamesTheSaveMenu)
{
    installPack();
    auto form = start();
    const QList<QAction*> save = form->PopupSave()->actions();
    ASSERT_GE(save.size(), 3);
    EXPECT_EQ(save[0]->text(), GetUIText(921));
    EXPECT_EQ(save[1]->text(), GetUIText(922));
    EXPECT_EQ(save[2]->text(), GetUIText(923));
    ASSERT_NE(save[2]->menu(), nullptr);
    const QList<QAction*> kinds = save[2]->menu()->actions();
    ASSERT_EQ(kinds.size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(kinds[i]->text(), GetUIText(924 + i)) << i;
    EXPECT_EQ(kinds[5]->text(), QStringLiteral("P&NG Images (*.png)"));
}

TEST_F(MainWindowHelp, ShowHelpTurnsTheToolkitRouteOff)
{
    installPack();
    auto form = start();
    bool callHelp = true;
    form->ShowHelp(0, 0, callHelp);
    EXPECT_FALSE(callHelp);
    ASSERT_TRUE(platform::applicationHelp().onHelp);
    callHelp = true;
    platform::applicationHelp().onHelp(0, 0, callHelp);
    EXPECT_FALSE(callHelp);
}

TEST_F(MainWindowHelp, F1ShowsTheContentsAndClosingTheWindowClosesThem)
{
    installPack();
    installHelp();
    settings(5, 0);
    auto form = start();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), kHangGuard));
    QTest::keyClick(form->windowHandle(), Qt::Key_F1);
    ASSERT_EQ(platform::helpViewers().size(), 1);
    platform::HelpViewer* viewer = platform::helpViewers().first();
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/index.htm"));
    EXPECT_EQ(viewer->tabs()->currentIndex(), 0);

    form->RunHelp(QStringLiteral("export"));
    EXPECT_EQ(platform::helpViewers().size(), 1);
    EXPECT_EQ(viewer->currentPage(), QStringLiteral("/export.htm"));

    form->close();
    EXPECT_TRUE(MainFormClosing);
    EXPECT_TRUE(platform::helpViewers().isEmpty());
}

TEST_F(MainWindowHelp, TheHelpWindowKeepsNoSettingsOfItsOwn)
{
    installPack();
    installHelp();
    settings(1, 0);  // the first run opens the help by itself
    const auto userFiles = [&] {
        QStringList files;
        QDirIterator it(config.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(config.path()).relativeFilePath(it.next());
        files.sort();
        return files.join(u' ').toStdString();
    };
    const auto toggleRegistryStorage = [](TForm1& form) {
        for (QAction* a : form.findChildren<QAction*>())
            if (a->text() == GetUIText(961))
                return a->trigger();
        FAIL() << "no registry storage item";
    };
    const auto run = [&](const std::function<void(TForm1&)>& during) {
        auto form = start();
        form->show();
        during(*form);
        if (!platform::helpViewers().isEmpty())
            platform::helpViewers().first()->resize(640, 480);
        form->close();
        form->FormDestroy();
    };

    run([](TForm1& form) {
        form.WMRunCommandLine();
        ASSERT_EQ(platform::helpViewers().size(), 1);
    });
    EXPECT_EQ(userFiles(), "") << "a first start writes only the INI file";

    run(toggleRegistryStorage);
    ASSERT_TRUE(QFile::exists(config.filePath("Quellmark/Pictorium.conf")));
    // Registry storage off, with the help shown in the same run: the
    // maker's folder goes with the key.
    run([&](TForm1& form) {
        form.HelpBtnClick();
        ASSERT_EQ(platform::helpViewers().size(), 1);
        toggleRegistryStorage(form);
    });
    EXPECT_EQ(userFiles(), "");
}

TEST_F(MainWindowHelp, ClosingWithoutHelpLoadsNothing)
{
    installPack();
    installHelp();
    settings(5, 0);
    auto form = start();
    form->show();
    form->close();
    EXPECT_TRUE(MainFormClosing);
    EXPECT_FALSE(kxHtmlHelp::Tried);
    EXPECT_EQ(kxHtmlHelp::HelpModule, nullptr);
}

TEST_F(MainWindowHelp, TitleLabelRightOfTheButtonsOpensTheContents)
{
    installPack();
    installHelp();
    settings(5, 0);
    auto form = start();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
    EXPECT_EQ(form->Label1->text(), "Pictorium");
    EXPECT_EQ(form->Label1->cursor().shape(), Qt::PointingHandCursor);
    for (QWidget* w : form->ToolBar()->findChildren<TkxSoftButton*>())
        EXPECT_LT(w->geometry().right(), form->Label1->geometry().left()) << w->objectName().toStdString();
    QTest::mouseClick(form->Label1, Qt::LeftButton);
    ASSERT_EQ(platform::helpViewers().size(), 1);
    EXPECT_EQ(platform::helpViewers().first()->currentPage(), QStringLiteral("/index.htm"));
    form->close();
}

TEST_F(MainWindowHelp, ADamagedHelpFileOnTheFirstRunIsReportedAndTheProgramGoesOn)
{
    installPack();
    // One byte changed: the LZX control data's version.
    QFile good(kHelpFile);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    QByteArray bytes = good.readAll();
    const qsizetype lzxc = bytes.indexOf("LZXC");
    ASSERT_GT(lzxc, 0);
    bytes[lzxc + 4] = 1;
    QFile damaged(program.filePath("english.chm"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(bytes);
    damaged.close();
    settings(1, 0);

    auto form = start();
    boxes->shown.clear();
    form->WMRunCommandLine();  // the first run opens the help by itself
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Error);
    EXPECT_EQ(boxes->shown[0].caption, QStringLiteral("Pictorium"));
    EXPECT_EQ(boxes->shown[0].text,
              GetUIText(613) + QStringLiteral("\r\n") + program.filePath("english.chm"));
    EXPECT_TRUE(platform::helpViewers().isEmpty());
    // The settings are written as the window closes.
    form->FormDestroy();
    platform::IniFile back(program.filePath("gharv.ini"));
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.readInteger("Settings", "Run", -1), 1);
}

TEST_F(MainWindowHelp, APackCutShortDoesNotLoad)
{
    installPack();
    installHelp();
    settings(5, 0);
    QFile file(QStringLiteral(HELP_FILE_DIR "/romanian.lng"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pack = file.readAll();
    const QString path = program.filePath("romanian.lng");
    for (const qsizetype length : {qsizetype {1024}, qsizetype {3000}, pack.size() / 2}) {
        QFile::remove(path);
        QFile cut(path);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(pack.left(length));
        cut.close();
        auto form = start();
        QAction* romanian = languageItem(*form, 3);
        const QString caption = romanian->text();
        ASSERT_FALSE(caption.isEmpty());
        boxes->shown.clear();
        form->NEnglishClick(romanian);
        // The English pack is gone, so the built-in text; nothing else.
        ASSERT_EQ(boxes->shown.size(), 1u) << length;
        EXPECT_EQ(boxes->shown[0].type, platform::MsgType::Error);
        EXPECT_EQ(boxes->shown[0].text, QStringLiteral("Unable to load the file:\r\n") + path);
        EXPECT_FALSE(LangModule) << length;
        EXPECT_EQ(Language, 0);
        EXPECT_TRUE(languageItem(*form, 0)->isChecked());
        EXPECT_EQ(romanian->text(), caption);  // the texts stay
        EXPECT_EQ(helpFile(), program.filePath("english.chm"));
        form->FormDestroy();
    }
}
