// The main window: start-up, exit, opening files and the selection status.
#include "app/Unit1.h"

#include "app/myutils.h"
#include "kxCommon/KXImageBox.h"
#include "platform/Exceptions.h"
#include "platform/FileDialogs.h"
#include "platform/IniFile.h"
#include "platform/MessageBoxes.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <tuple>

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);

class MainWindow : public ::testing::Test {
protected:
    QTemporaryDir program;  // the program's folder
    QTemporaryDir config;   // the user's configuration folder
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes
        = std::make_shared<platform::ScriptedMessageBoxes>();

    void SetUp() override
    {
        TestApplication();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        platform::setMessageBoxes(boxes);
        ASSERT_TRUE(QFile::copy(QStringLiteral(LANG_PACK), program.filePath("english.lng")));
        // A first run without its help file would say so.
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(HELP_FILE_DIR "/english.chm"), program.filePath("english.chm")));
        // The program's own file: any module with icons serves in a test.
        ASSERT_TRUE(QFile::copy(kFixtures + "/groups32.dll", program.filePath("pictorium")));
    }
    void TearDown() override { platform::setMessageBoxes(nullptr); }

    QString programFile() const { return program.filePath("pictorium"); }
    QString ini() const { return program.filePath("gharv.ini"); }

    std::unique_ptr<TForm1> start(const QStringList& params = {})
    {
        auto form = std::make_unique<TForm1>(params, programFile());
        form->FormCreate();
        return form;
    }
    static TKXImageBox* grid(TForm1& form) { return form.ScrollBox()->ImageBox(); }
};

}  // namespace

TEST_F(MainWindow, StartsWithItsOwnIconsAndThePack)
{
    auto form = start();
    EXPECT_TRUE(LangModule);
    EXPECT_EQ(form->IniFile(), ini());
    EXPECT_EQ(grid(*form)->Count(), 3);
    EXPECT_EQ(grid(*form)->ItemIndex(), 0);
    EXPECT_EQ(grid(*form)->UnableToLoadOrFindIconsMsg(), GetUIText(614));
    EXPECT_FALSE(grid(*form)->UnableToLoadOrFindIconsMsg().isEmpty());
    EXPECT_EQ(form->windowTitle(), "Pictorium - pictorium");
    EXPECT_TRUE(form->SaveAction()->isEnabled());
    EXPECT_TRUE(boxes->shown.empty());  // a current pack: no warning

    // The command line runs once, after the window is shown.
    EXPECT_FALSE(form->CommandLineHandled());
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->CommandLineHandled());
}

TEST_F(MainWindow, ParametersNameTheFileOnceTheLoopRuns)
{
    // Two parameters: an unquoted path with a blank.
    QDir().mkpath(program.filePath("with blank"));
    QFile::copy(kFixtures + "/loader.dll", program.filePath("with blank/x.dll"));
    const QString path = program.filePath("with blank/x.dll");
    auto form = start({path.section(' ', 0, 0), path.section(' ', 1)});
    EXPECT_EQ(grid(*form)->Count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->CurrentFileName(), path);
    EXPECT_EQ(grid(*form)->Count(), 7);
    EXPECT_FALSE(BatchMode);
    form->WMRunCommandLine();  // never twice
    EXPECT_EQ(form->RecentFiles().Items().size(), 1u);
}

TEST_F(MainWindow, SettingsComeFromTheIniFileAndGoBackAtExit)
{
    {
        platform::IniFile file(ini());
        file.writeBool("Settings", "SmallIcons", true);
        file.writeString("Recent", "0", kFixtures + "/loader.dll");
        file.writeString("Unknown", "Key", "kept");
        file.save();
    }
    // A registry key that must not be read while the INI file exists.
    {
        QSettings reg(QSettings::NativeFormat, QSettings::UserScope, "Quellmark", "Pictorium");
        reg.setValue("Settings/SmallIcons", "0");
        reg.sync();
    }
    {
        auto form = start();
        EXPECT_TRUE(SmallIcons);
        EXPECT_EQ(grid(*form)->ItemWidth(), 16);
        ASSERT_EQ(form->RecentFiles().Items().size(), 2u);  // the program's own file went on top
        EXPECT_EQ(form->RecentFiles().Items()[1].Hint, kFixtures + "/loader.dll");
        form->SelectFile(kFixtures + "/groups64.dll");
        form->FormDestroy();
    }
    platform::IniFile back(ini());
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.readString("Recent", "0", ""), kFixtures + "/groups64.dll");
    EXPECT_EQ(back.readString("Unknown", "Key", ""), "kept");
    EXPECT_TRUE(back.readBool("Settings", "SmallIcons", false));
}

TEST_F(MainWindow, PlacementEdgesAtTheEndsOfTheNumbersAreAbsentAndTheOthersKept)
{
    // The window's own rectangle; it writes its settings as it goes.
    const QRect before = TForm1(QStringList(), programFile()).geometry();
    {
        QFile file(ini());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Placement]\nLeft=-2147483648\nTop=50\nRight=2147483647\nBottom=600\n");
    }
    {
        auto form = start();
        EXPECT_EQ(form->geometry(), QRect(before.left(), 50, before.width(), 550));
        form->FormDestroy();
    }
    platform::IniFile back(ini());
    ASSERT_TRUE(back.load());
    const auto edge = [&](const char* name) { return back.readInteger("Placement", name, -1); };
    EXPECT_EQ(std::make_tuple(edge("Left"), edge("Top"), edge("Right"), edge("Bottom")),
              std::make_tuple(before.left(), 50, before.left() + before.width(), 600));
}

TEST_F(MainWindow, AnUnwritableIniFileIsSilentAtExit)
{
    auto form = start();
    form->SetIniFile("/proc/no-such-folder/gharv.ini");
    EXPECT_NO_THROW(form->FormDestroy());
    EXPECT_TRUE(boxes->shown.empty());
}

TEST_F(MainWindow, ARegistryThatCannotBeWrittenIsToldOnceAsTheWindowCloses)
{
    // The user's configuration folder is a file: no settings file can be
    // made below it.
    {
        QFile blocker(config.filePath(".config"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.filePath(".config"));
    {
        platform::IniFile file(ini());
        file.writeBool("Settings", "SaveSettingsToRegistry", true);
        ASSERT_TRUE(file.save());
    }
    // What the user saw when the box came.
    struct SeenBoxes : platform::ScriptedMessageBoxes {
        QWidget* window = nullptr;
        std::vector<bool> windowShown;
        platform::ModalResult show(const platform::MessageRequest& request) override
        {
            windowShown.push_back(window && window->isVisible());
            return ScriptedMessageBoxes::show(request);
        }
    };
    auto seen = std::make_shared<SeenBoxes>();
    platform::setMessageBoxes(seen);
    auto form = start();
    ASSERT_TRUE(SaveSettingsToRegistry);
    seen->window = form.get();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
    seen->shown.clear();
    seen->windowShown.clear();
    form->close();
    form.reset();
    ASSERT_EQ(seen->shown.size(), 1u);
    EXPECT_EQ(seen->shown[0].type, platform::MsgType::Error);
    EXPECT_TRUE(seen->shown[0].text.contains(config.filePath(".config/Quellmark/Pictorium.conf")))
        << seen->shown[0].text.toStdString();
    EXPECT_EQ(seen->windowShown, std::vector<bool> {true});
    // The INI file took them all the same.
    platform::IniFile back(ini());
    ASSERT_TRUE(back.load());
    EXPECT_EQ(back.readInteger("Settings", "Run", 0), 1);
    SaveSettingsToRegistry = false;
}

TEST_F(MainWindow, StatusPanelsFollowTheSelection)
{
    auto form = start();
    form->SelectFile(kFixtures + "/groups32.dll");
    EXPECT_EQ(form->StatusPanel(1)->text(), "1 / 3");
    EXPECT_EQ(form->StatusPanel(2)->text(), FormatUIText(GetUIText(262), {QStringLiteral("2")}));
    EXPECT_EQ(form->StatusPanel(3)->text(), FormatUIText(GetUIText(261), {QStringLiteral("8")}));
    grid(*form)->SetItemIndex(2);  // the 256-pixel group of 3 images, 32 bits
    EXPECT_EQ(form->StatusPanel(1)->text(), "3 / 3");
    EXPECT_EQ(form->StatusPanel(2)->text(), FormatUIText(GetUIText(262), {QStringLiteral("3")}));
    EXPECT_EQ(form->StatusPanel(3)->text(), FormatUIText(GetUIText(261), {QStringLiteral("32")}));
    grid(*form)->SetItemIndex(-1);
    EXPECT_EQ(form->StatusPanel(1)->text(), "3");
    EXPECT_TRUE(form->StatusPanel(2)->text().isEmpty());

    // A file without icons of any kind: nothing to save, nothing selected.
    form->SelectFile(program.filePath("missing.dll"));
    EXPECT_EQ(grid(*form)->Count(), 0);
    EXPECT_FALSE(form->SaveAction()->isEnabled());
    EXPECT_EQ(HtmlColumnCount, 0);
    EXPECT_TRUE(form->StatusPanel(1)->text().isEmpty());
}

TEST_F(MainWindow, RefreshSelectsTheFirstIconAndTheWindowAgrees)
{
    const QString file = program.filePath("changing.dll");
    ASSERT_TRUE(QFile::copy(kFixtures + "/groups32.dll", file));
    auto form = start();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
    QWindow* window = form->windowHandle();
    form->SelectFile(file);
    grid(*form)->SetItemIndex(2);
    ASSERT_EQ(form->StatusPanel(1)->text(), "3 / 3");

    QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(grid(*form)->ItemIndex(), 0);
    EXPECT_EQ(form->StatusPanel(1)->text(), "1 / 3");
    EXPECT_EQ(form->StatusPanel(3)->text(), FormatUIText(GetUIText(261), {QStringLiteral("8")}));
    // The commands find the icon the status bar names.
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(32, 32));

    // The file lost its icons meanwhile: nothing left to select or save.
    ASSERT_TRUE(QFile::remove(file));
    QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(grid(*form)->Count(), 0);
    EXPECT_EQ(grid(*form)->ItemIndex(), -1);
    for (int panel = 1; panel <= 3; ++panel)
        EXPECT_TRUE(form->StatusPanel(panel)->text().isEmpty()) << panel;
    EXPECT_FALSE(form->SaveAction()->isEnabled());
    EXPECT_EQ(HtmlColumnCount, 0);
}

TEST_F(MainWindow, RecentMenuAndDrops)
{
    auto form = start();
    for (int i = 0; i < 13; ++i) {
        const QString path = program.filePath(QString("f%1.dll").arg(i));
        QFile::copy(kFixtures + "/groups32.dll", path);
        form->SelectFile(path);
    }
    const auto actions = form->MRUPopup()->actions();
    ASSERT_EQ(actions.size(), 13);  // 12 files and the hidden "<Empty>"
    EXPECT_EQ(actions.front()->text(), "f12.dll");
    EXPECT_TRUE(actions.front()->isChecked());
    EXPECT_FALSE(actions.back()->isVisible());

    form->ScrollBoxDropFiles(
        form->ScrollBox(), 0, 0,
        {kFixtures + "/loader.dll", kFixtures + "/groups64.dll", kFixtures + "/noicons.dll"});
    EXPECT_EQ(form->CurrentFileName(), kFixtures + "/loader.dll");
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, GetUIText(607));
}

TEST_F(MainWindow, SaveCommands)
{
    auto dialogs = std::make_shared<platform::ScriptedFileDialogs>();
    platform::setFileDialogs(dialogs);
    OpenAfterSave = false;
    auto form = start();
    form->SelectFile(kFixtures + "/groups32.dll");

    // The selected icon as a PNG picture: filter 6 of icon + five pictures.
    const QString png = program.filePath("selected.png");
    dialogs->saves.push_back({png, 6});
    form->SaveSelClick();
    ASSERT_EQ(dialogs->saveRequests.size(), 1u);
    EXPECT_EQ(dialogs->saveRequests[0].proposedName, "groups32");
    EXPECT_EQ(dialogs->saveRequests[0].defaultExt, "ico");
    EXPECT_EQ(QImage(png).size(), QSize(32, 32));

    // As an icon file: the group with its images.
    dialogs->saves.push_back({program.filePath("selected"), 1});
    form->SaveSelClick();
    EXPECT_TRUE(QFileInfo(program.filePath("selected.ico")).size() > 0);

    // Every icon, numbered, and the count told at the end.
    QDir().mkpath(program.filePath("out"));
    dialogs->folders.push_back(program.filePath("out"));
    form->SaveAllClick(5);
    EXPECT_EQ(QDir(program.filePath("out")).entryList(QDir::Files).size(), 3);
    ASSERT_FALSE(boxes->shown.empty());
    EXPECT_EQ(boxes->shown.back().text, FormatUIText(GetUIText(603), {3}));

    // Without a selection: the warning, and the command ends silently.
    grid(*form)->SetItemIndex(-1);
    EXPECT_THROW(form->SaveSelClick(), platform::Abort);
    EXPECT_EQ(boxes->shown.back().text, GetUIText(606));
    platform::setFileDialogs(nullptr);
    OpenAfterSave = true;
}

TEST_F(MainWindow, TheFileDialogsKeepNoHistoryOfTheirOwn)
{
    platform::setFileDialogs(nullptr);  // the toolkit's own dialogs
    // The next file dialog, once it shows: where it started; then Esc, as a
    // user would cancel it.
    const auto cancelWhenShown = [](QString& folder) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [timer, &folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            folder = dialog->directory().absolutePath();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        timer->start(10);
    };
    const auto toolkitFiles = [&] {
        QStringList files;
        QDirIterator it(config.path(), {"QtProject*"}, QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        return files.join(u' ').toStdString();
    };

    auto form = start();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
    // Both start in the folder the program was started in.
    QString open, save;
    cancelWhenShown(open);
    form->OpenBtnClick();
    cancelWhenShown(save);
    form->SaveSelClick();
    EXPECT_EQ(open, QDir::currentPath());
    EXPECT_EQ(save, QDir::currentPath());
    EXPECT_EQ(toolkitFiles(), "");

    // A history that another program of the toolkit left neither leads the
    // dialog nor is added to.
    const QByteArray left = "[FileDialog]\nhistory=file:///usr/share\nlastVisited=file:///usr/share\n"
                            "shortcuts=file:///usr/share\nqtVersion=" QT_VERSION_STR "\n";
    const QString shared = config.filePath("QtProject.conf");
    {
        QFile file(shared);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(left);
    }
    cancelWhenShown(open);
    form->OpenBtnClick();
    EXPECT_EQ(open, QDir::currentPath());
    QFile file(shared);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), left);
    // The program's own store kept its place.
    EXPECT_EQ(ProgramRegistry().fileName(), config.filePath("Quellmark/Pictorium.conf"));
}

TEST_F(MainWindow, WithoutAnIniFileTheRegistryIsRead)
{
    // The INI file's folder cannot hold it: the registry key decides.
    {
        QSettings reg(QSettings::NativeFormat, QSettings::UserScope, "Quellmark", "Pictorium");
        reg.setValue("Settings/SmallIcons", "1");
        reg.setValue("Settings/OpenAfterSave", "0");
        reg.sync();
    }
    auto form = std::make_unique<TForm1>(QStringList(), programFile());
    form->SetIniFile(program.filePath("no-such-folder/gharv.ini"));
    form->FormCreate();
    EXPECT_TRUE(SaveSettingsToRegistry);
    EXPECT_TRUE(SmallIcons);
    EXPECT_FALSE(OpenAfterSave);
    EXPECT_EQ(grid(*form)->ItemWidth(), 16);
    form->FormDestroy();
    SmallIcons = false;
    OpenAfterSave = true;
}

// Every language of the menu loads its pack and applies its texts, with no
// box: each pack is there and current, and each help file too.
TEST_F(MainWindow, EveryLanguageOfTheMenuAppliesItsPack)
{
    const QString built = QFileInfo(QStringLiteral(LANG_PACK)).absolutePath();
    for (const char* pack : {"ukrainian.lng", "greek.lng", "romanian.lng", "italian.lng", "polish.lng"})
        ASSERT_TRUE(QFile::copy(built + "/" + pack, program.filePath(pack))) << pack;
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(HELP_FILE_DIR "/ukrainian.chm"), program.filePath("ukrainian.chm")));
    auto form = start();
    boxes->shown.clear();

    QMenu* languages = nullptr;
    for (QAction* action : form->PopupOptions()->actions())
        if (action->menu() && action->menu()->actions().size() == 6)
            languages = action->menu();
    ASSERT_TRUE(languages);
    const std::pair<int, QString> cancel[] = {
        {1, QStringLiteral("Скасувати")}, {2, QStringLiteral("Άκυρο")},  {3, QStringLiteral("Anulare")},
        {4, QStringLiteral("Annulla")},   {5, QStringLiteral("Anuluj")}, {0, QStringLiteral("Cancel")},
    };
    for (const auto& [tag, text] : cancel) {
        SCOPED_TRACE(tag);
        QAction* item = nullptr;
        for (QAction* action : languages->actions())
            if (action->data().toInt() == tag)
                item = action;
        ASSERT_TRUE(item);
        item->trigger();
        EXPECT_EQ(Language, tag);
        EXPECT_TRUE(item->isChecked());
        EXPECT_EQ(GetUIText(1), text);
        EXPECT_EQ(languages->title(), GetUIText(900));
        EXPECT_EQ(grid(*form)->UnableToLoadOrFindIconsMsg(), GetUIText(614));
    }
    EXPECT_TRUE(boxes->shown.empty()) << boxes->shown.front().text.toStdString();
}
