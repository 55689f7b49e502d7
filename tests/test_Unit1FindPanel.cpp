// The main window's find panel: the folder search into the file list.
#include "app/Unit1.h"
#include "kxCommon/KXButton.h"

#include "app/myutils.h"
#include "kxCommon/KXCtrl.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/KXListBox.h"
#include "kxCommon/kxFolderTree.h"
#include "platform/AlignedPanel.h"
#include "platform/Exceptions.h"
#include "platform/FileDialogs.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBoxes.h"
#include "platform/ModalForms.h"
#include "platform/UpDown.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);

class FindPanel : public ::testing::Test {
protected:
    QTemporaryDir program;
    QTemporaryDir config;
    // Built with the fixtures and never changed: the tree watches the
    // folders it shows, and a change beside the chosen folder reads the
    // folder's parent again.
    const QString folder = kFixtures + "/findpanel";
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes
        = std::make_shared<platform::ScriptedMessageBoxes>();

    void SetUp() override
    {
        TestApplication();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        platform::setMessageBoxes(boxes);
        ASSERT_TRUE(QFile::copy(QStringLiteral(LANG_PACK), program.filePath("english.lng")));
        ASSERT_TRUE(QFile::copy(kFixtures + "/groups32.dll", program.filePath("pictorium")));
    }
    void TearDown() override
    {
        platform::setMessageBoxes(nullptr);
        SearchRunning = false;
    }

    QString at(const QString& rel) const { return folder + "/" + rel; }

    std::unique_ptr<TForm1> start()
    {
        auto form = std::make_unique<TForm1>(QStringList(), program.filePath("pictorium"));
        form->resize(800, 600);
        form->FormCreate();
        return form;
    }

    // The window shown and active, its panel open on the fixtures, and the
    // minimum-count edit focused, for typing into it.
    std::unique_ptr<TForm1> startTypingTheCount()
    {
        auto form = start();
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get(), kHangGuard));
        form->SearchBtnClick(form->SearchBtn);
        choose(*form, folder);
        form->Edit1->setFocus();
        return form;
    }

    // Points the tree at Path; its change runs a search there.
    static void choose(TForm1& form, const QString& path)
    {
        form.Tree->SetFolder(path);
        EXPECT_TRUE(QTest::qWaitFor([&] { return form.Tree->Folder() == path; }, kHangGuard));
    }
};

}  // namespace

TEST_F(FindPanel, TheTreeShowsNetworkAndNoTrash)
{
    auto form = start();
    TkxFolderTree& tree = *form->Tree;
    EXPECT_EQ(tree.FolderOptions(), SFolderOption {foNetworkNeighborhood});
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree.DesktopNode() != nullptr; }, kHangGuard));
    ASSERT_NE(tree.NetHoodNode(), nullptr);
    EXPECT_EQ(tree.DesktopNode()->child(0), tree.MyComputerNode());
    EXPECT_EQ(tree.DesktopNode()->child(1), tree.NetHoodNode());
    EXPECT_EQ(tree.BitBucketNode(), nullptr);
}

TEST_F(FindPanel, ShowingThePanelSearchesTheTreesFolder)
{
    auto form = start();
    EXPECT_TRUE(form->FindPanel->isHidden());
    EXPECT_TRUE(form->HSplitter->isHidden());
    EXPECT_TRUE(form->Edit1->isHidden());
    EXPECT_EQ(form->SearchBtn->text(), GetUIText(3));
    choose(*form, folder);
    EXPECT_EQ(form->FileBox->count(), 0);  // a hidden panel searches once shown
    form->SearchBtnClick(form->SearchBtn);
    EXPECT_FALSE(form->FindPanel->isHidden());
    EXPECT_FALSE(form->HSplitter->isHidden());
    EXPECT_FALSE(form->Edit1->isHidden());
    EXPECT_EQ(form->SearchBtn->text(), GetUIText(4));
    EXPECT_EQ(form->Label3->text(), GetUIText(503));
    EXPECT_EQ(form->FileBox->ItemStrings(), (QStringList {"a.dll", "B.exe"}));
    EXPECT_EQ(form->Label4->text(), "2");
    EXPECT_TRUE(form->Label6->isHidden());
    EXPECT_TRUE(form->SaveAllBtn->isEnabled());
    EXPECT_TRUE(form->SearchBtn->isEnabled());
    EXPECT_TRUE(form->StatusPanel(0)->text().isEmpty());
    EXPECT_FALSE(SearchRunning);

    // The panel lies below the grid, the splitter between them.
    const QRect grid = form->MainPanel->geometry(), bar = form->HSplitter->geometry(),
                panel = form->FindPanel->geometry();
    EXPECT_EQ(bar.top(), grid.bottom() + 1);
    EXPECT_EQ(panel.top(), bar.bottom() + 1);
    EXPECT_EQ(panel.bottom(), form->FormClient->height() - 1);
    EXPECT_EQ(form->Img->height(), form->FileBox->height());

    form->SearchBtnClick(form->SearchBtn);
    EXPECT_TRUE(form->FindPanel->isHidden());
    EXPECT_TRUE(form->HSplitter->isHidden());
    EXPECT_EQ(form->SearchBtn->text(), GetUIText(3));
}

TEST_F(FindPanel, MinimumCountSubfoldersAndOpeningAnEntry)
{
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, folder);
    form->Edit1->setText("4");  // no fixture holds 4 groups
    EXPECT_EQ(form->FileBox->count(), 0);
    EXPECT_EQ(form->Label4->text(), "0");
    EXPECT_FALSE(form->SaveAllBtn->isEnabled());
    for (const char* text : {"0", ""}) {
        form->Edit1->setText(text);
        EXPECT_EQ(form->Edit1->text(), "1");
        EXPECT_EQ(form->Edit1->selectedText(), "1");
        EXPECT_EQ(form->FileBox->count(), 2);
    }
    // Only digits and control characters are typed.
    form->Edit1->clear();
    QTest::keyClicks(form->Edit1, "2x-");  // the 2 replaces the selected 1
    EXPECT_EQ(form->Edit1->text().toStdString(), "2");
    form->UpDown1->step(1);
    EXPECT_EQ(form->Edit1->text(), "3");
    form->Edit1->setText("1");

    form->ChkSubFolders->click();
    EXPECT_EQ(form->FileBox->ItemStrings(), (QStringList {"a.dll", "B.exe", "sub/c.dll"}));
    form->FileBox->SetItemIndex(2);
    form->FileBox->OnClick(form->FileBox);
    EXPECT_EQ(form->CurrentFileName(), at("sub/c.dll"));
    EXPECT_EQ(form->ScrollBox()->ImageBox()->Count(), 3);

    // The button takes the tree to the open file's folder, which searches.
    // Another test's folders coming and going beside the fixtures (all in
    // /tmp on some machines) re-read a folder the walk has opened, which can
    // leave it one step short: the click is repeated until it gets there.
    // A selection a re-read puts back is reported on the next pass of the
    // event loop, which runs the search.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (form->Tree->Folder() != at("sub"))
                form->CopyDirBtnClick(form->CopyDirBtn);
            return form->Tree->Folder() == at("sub") && form->FileBox->ItemStrings() == QStringList {"c.dll"};
        },
        kHangGuard));
    EXPECT_EQ(form->FileBox->ItemStrings(), (QStringList {"c.dll"}));
}

TEST_F(FindPanel, EscStopsTheSearchAndKeepsWhatWasFound)
{
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, folder);
    // Pressed once the first file is found: the progress hook lets it through.
    bool pressed = false;
    std::function<void()> poke = [&] {
        if (form->Label4->text() != "1...") {
            QTimer::singleShot(0, form.get(), poke);
            return;
        }
        pressed = SearchRunning;
        QTest::keyClick(form.get(), Qt::Key_Escape);
        // Nor can a second search start meanwhile.
        form->DirBoxChange(nullptr);
        form->ChkSubFolders->click();
    };
    QTimer::singleShot(0, form.get(), poke);
    form->DirBoxChange(nullptr);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(form->FileBox->ItemStrings(), (QStringList {"a.dll"}));
    EXPECT_EQ(form->Label4->text(), "1");
    EXPECT_FALSE(form->Label6->isHidden());
    EXPECT_FALSE(form->ChkSubFolders->isChecked());
    EXPECT_TRUE(form->ChkSubFolders->isEnabled());
    EXPECT_FALSE(SearchRunning);

    form->DirBoxChange(nullptr);
    EXPECT_TRUE(form->Label6->isHidden());
    EXPECT_EQ(form->FileBox->count(), 2);
    // Esc outside a search does nothing.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(SearchRunning);
}

TEST_F(FindPanel, NoCommandKeyActsWhileASearchRuns)
{
    auto forms = std::make_shared<platform::ScriptedModalForms>();
    auto dialogs = std::make_shared<platform::ScriptedFileDialogs>();
    platform::setModalForms(forms);
    platform::setFileDialogs(dialogs);
    auto form = start();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), kHangGuard));
    form->SelectFile(kFixtures + "/groups32.dll");
    form->ScrollBox()->ImageBox()->SetItemIndex(2);
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, kFixtures + "/findpanel-noicons");
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    // A first run has shown its notices and help by now.
    const size_t boxesBefore = boxes->shown.size();
    const qsizetype viewersBefore = platform::helpViewers().size();
    // Any dialog that opens is recorded and closed again.
    int dialogsOpened = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++dialogsOpened;
            modal->close();
        }
    });
    closer.start(10);

    // The keys reach the window as the display delivers them.
    QWindow* window = form->windowHandle();
    bool sentDuringSearch = false;
    QTimer::singleShot(0, form.get(), [&] {
        sentDuringSearch = SearchRunning;
        for (const Qt::Key key : {Qt::Key_O, Qt::Key_P, Qt::Key_S, Qt::Key_C, Qt::Key_R})
            QTest::keyClick(window, key, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_F1);
        QTest::keyClick(window, Qt::Key_Escape);
    });
    form->DirBoxChange(nullptr);
    QTest::qWait(50);  // held keys would be typed now
    EXPECT_TRUE(sentDuringSearch);
    EXPECT_FALSE(form->Label6->isHidden());  // Esc stopped it
    EXPECT_EQ(dialogsOpened, 0);
    EXPECT_EQ(forms->shown, 0);
    EXPECT_TRUE(dialogs->saveRequests.empty());
    EXPECT_TRUE(clipboard->image().isNull());
    EXPECT_EQ(form->ScrollBox()->ImageBox()->ItemIndex(), 2);  // no refresh
    EXPECT_EQ(boxes->shown.size(), boxesBefore);
    EXPECT_EQ(platform::helpViewers().size(), viewersBefore);

    // Once it is over the keys act again.
    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(clipboard->image().isNull());
    platform::setModalForms(nullptr);
    platform::setFileDialogs(nullptr);
}

TEST_F(FindPanel, EscReachesASearchThatFindsNothing)
{
    // Many names and no icons: the window still gets its turns.
    const QString empty = kFixtures + "/findpanel-noicons";
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, empty);
    QTimer::singleShot(0, form.get(), [&] { QTest::keyClick(form.get(), Qt::Key_Escape); });
    form->DirBoxChange(nullptr);
    EXPECT_EQ(form->FileBox->count(), 0);
    EXPECT_FALSE(form->Label6->isHidden());
    EXPECT_EQ(form->Label4->text(), "0");
    EXPECT_FALSE(form->SaveAllBtn->isEnabled());
}

TEST_F(FindPanel, AFailingSearchStillRestoresTheWindow)
{
    auto form = start();
    choose(*form, folder);
    {
        const QSignalBlocker quiet(form->Edit1);
        form->Edit1->setText("1a");
    }
    EXPECT_THROW(form->DirBoxChange(nullptr), platform::Error);
    EXPECT_FALSE(SearchRunning);
    EXPECT_EQ(form->Label4->text(), "0");
    EXPECT_TRUE(form->SearchBtn->isEnabled());
    EXPECT_TRUE(form->Edit1->isEnabled());
    EXPECT_TRUE(form->StatusPanel(0)->text().isEmpty());
}

TEST_F(FindPanel, SizesAndVisibilityComeBackFromTheSettings)
{
    {
        QFile ini(program.filePath("gharv.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Placement]\nFindPanelVisible=1\nFindPanelHeight=5000\nFilePanelWidth=3\n");
    }
    auto form = start();
    EXPECT_FALSE(form->FindPanel->isHidden());
    EXPECT_FALSE(form->HSplitter->isHidden());
    // Cut to what leaves the grid its minimum, raised to the splitter's minimum.
    EXPECT_EQ(form->FindPanel->height(), form->FormClient->height() - 172 - form->HSplitter->height());
    EXPECT_EQ(form->FilePanel->width(), 248);
    EXPECT_EQ(form->MainPanel->height(), 172);

    form->FindPanel->resize(form->FindPanel->width(), 200);
    form->FilePanel->resize(300, form->FilePanel->height());
    form->SearchBtnClick(form->SearchBtn);
    form->FormDestroy();
    QFile ini(program.filePath("gharv.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(text.contains("FindPanelVisible=0")) << text.toStdString();
    EXPECT_TRUE(text.contains("FindPanelHeight=200"));
    EXPECT_TRUE(text.contains("FilePanelWidth=300"));
}

TEST_F(FindPanel, SaveAllButtonSavesEveryListedFileInTheChosenFormat)
{
    auto dialogs = std::make_shared<platform::ScriptedFileDialogs>();
    platform::setFileDialogs(dialogs);
    QTemporaryDir out;
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, folder);
    ASSERT_EQ(form->FileBox->ItemStrings(), (QStringList {"a.dll", "B.exe"}));
    ASSERT_EQ(form->SaveAllBtn->DropDownComponent(), form->PopupSaveAll);
    // The menu's items carry the pack's texts by format, as the save menu's do.
    const QList<QAction*> items = form->PopupSaveAll->actions();
    ASSERT_EQ(items.size(), 6);
    for (int tag = 0; tag < 6; ++tag)
        EXPECT_EQ(items[tag]->text(), GetUIText(924 + tag)) << tag;

    dialogs->folders = {out.path()};
    items[5]->trigger();
    // Both listed files, from the searched folder, as PNG.
    const QStringList saved = QDir(out.path()).entryList(QDir::Files);
    EXPECT_EQ(saved,
              (QStringList {"ico_a_dll0001.png", "ico_a_dll0002.png", "ico_a_dll0003.png",
                            "ico_b_exe0001.png", "ico_b_exe0002.png", "ico_b_exe0003.png"}));
    ASSERT_FALSE(boxes->shown.empty());
    EXPECT_EQ(boxes->shown.back().text, FormatUIText(GetUIText(603), {int(saved.size())}));
    platform::setFileDialogs(nullptr);
}

TEST_F(FindPanel, PictureCountLabelAndButtonStandApartAtEveryHeight)
{
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    form->Label6->show();
    const auto in = [&](QWidget* w) { return w->geometry(); };
    const auto picture = [&] {
        const QLabel* img = form->Img;
        return QStyle::alignedRect(Qt::LeftToRight, img->alignment(),
                                   img->pixmap().deviceIndependentSize().toSize(), img->contentsRect())
            .translated(img->pos());
    };
    const int most = form->FormClient->height() - 172 - form->HSplitter->height();
    for (int height : {172, 173, 180, 196, 210, 250, 300, most}) {
        SCOPED_TRACE(height);
        form->FindPanel->resize(form->FindPanel->width(), height);
        form->FormResize();
        ASSERT_EQ(form->FilePanel->height(), height);
        const std::pair<const char*, QRect> parts[] = {
            {"Label3", in(form->Label3)},
            {"picture", picture()},
            {"Label4", in(form->Label4)},
            {"Label6", in(form->Label6)},
            {"SaveAllBtn", in(form->SaveAllBtn)},
            {"FileBox", in(form->FileBox)},
            {"ChkSubFolders", in(form->ChkSubFolders)},
        };
        for (size_t i = 0; i < std::size(parts); ++i) {
            const QRect& r = parts[i].second;
            EXPECT_TRUE(r.top() >= 0 && r.bottom() < height) << parts[i].first;
            for (size_t j = i + 1; j < std::size(parts); ++j)
                EXPECT_FALSE(parts[i].second.intersects(parts[j].second))
                    << parts[i].first << " and " << parts[j].first;
        }
        // The stopped label shows its whole text.
        EXPECT_LE(form->Label6->heightForWidth(form->Label6->width()), form->Label6->height());
    }
}

TEST_F(FindPanel, KeysTypedDuringASearchAreLost)
{
    auto form = startTypingTheCount();
    ASSERT_EQ(form->FileBox->count(), 2);
    QTest::keyClick(form->Edit1, Qt::Key_A, Qt::ControlModifier);
    const auto type = [&](char c) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : form.get(), c);
    };
    // "2" searches; "3" and "5" come while that search runs, to the control
    // with the focus and as the display delivers them, and an "f" through
    // an input method, which would take the tree on to the next folder of
    // that letter; "4" comes after the search.
    bool typedDuringSearch = false;
    QTimer::singleShot(0, form.get(), [&] {
        typedDuringSearch = SearchRunning;
        type('3');
        QTest::keyClick(form->windowHandle(), '5');
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("f"));
        QCoreApplication::sendEvent(form->Tree, &commit);
    });
    type('2');
    EXPECT_TRUE(typedDuringSearch);
    QTest::qWait(50);  // nothing held comes later either
    EXPECT_EQ(form->Edit1->text().toStdString(), "2");
    EXPECT_EQ(form->Tree->Folder(), folder);
    EXPECT_EQ(form->FileBox->ItemStrings(), (QStringList {"a.dll", "B.exe"}));
    EXPECT_TRUE(form->Edit1->hasFocus());
    type('4');
    EXPECT_EQ(form->Edit1->text().toStdString(), "24");
    EXPECT_EQ(form->FileBox->count(), 0);

    // A pasted text that is no number is refused once, and the last number
    // comes back: the list still matches it, and the next search runs.
    form->Edit1->setText("1");
    ASSERT_EQ(form->FileBox->count(), 2);
    {
        const QSignalBlocker quiet(form->Edit1);
        form->Edit1->setText("x9");
    }
    EXPECT_THROW(form->SpinChange(form->Edit1), platform::Error);
    EXPECT_EQ(form->Edit1->text(), "1");
    EXPECT_EQ(form->FileBox->count(), 2);
    form->Edit1->setText("4");
    EXPECT_EQ(form->FileBox->count(), 0);
}

// Emptying the edit or typing a 0 puts back a 1, all of it selected: the
// next digit replaces it.
TEST_F(FindPanel, TheMinimumCountPutsBackASelectedOne)
{
    auto form = startTypingTheCount();
    QLineEdit* edit = form->Edit1;
    struct Case {
        const char* name;
        std::function<void()> clear;
    };
    const Case cases[] = {
        {"Ctrl+A, Backspace",
         [&] {
             QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClick(edit, Qt::Key_Backspace);
         }},
        {"End, Backspace",
         [&] {
             QTest::keyClick(edit, Qt::Key_End);
             QTest::keyClick(edit, Qt::Key_Backspace);
         }},
        {"Ctrl+A, Delete",
         [&] {
             QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClick(edit, Qt::Key_Delete);
         }},
        {"Ctrl+A, 0",
         [&] {
             QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClick(edit, '0');
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.clear();
        EXPECT_EQ(edit->text().toStdString(), "1");
        EXPECT_EQ(edit->selectedText().toStdString(), "1");
        EXPECT_EQ(form->FileBox->count(), 2);
        QTest::keyClick(edit, '4');  // no fixture holds 4 groups
        EXPECT_EQ(edit->text().toStdString(), "4");
        EXPECT_EQ(form->FileBox->count(), 0);
        EXPECT_EQ(form->Label4->text().toStdString(), "0");
        EXPECT_TRUE(edit->hasFocus());
    }
}

TEST_F(FindPanel, TypingANameBelowTheVisibleRowsAndEnterOpensIt)
{
    const QString many = kFixtures + "/findpanel-many";
    auto form = start();
    form->show();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, many);
    ASSERT_EQ(form->FileBox->count(), 41);
    ASSERT_LT(form->FileBox->height() / form->FileBox->ItemHeight(), 40);  // winecfg.exe is out of sight
    form->FileBox->setFocus();
    QTest::keyClick(form->FileBox, 'w');
    ASSERT_TRUE(form->FileBox->EditorVisible());
    EXPECT_EQ(form->FileBox->Editor()->text(), "winecfg.exe");
    QTest::keyClick(form->FileBox->Editor(), Qt::Key_Return);  // the list scrolls to it
    QCoreApplication::processEvents();
    EXPECT_EQ(form->FileBox->ItemIndex(), 40);
    EXPECT_FALSE(form->FileBox->EditorVisible());
    EXPECT_EQ(form->CurrentFileName(), many + "/winecfg.exe");
}

TEST_F(FindPanel, TheListKeepsToTheTreesFolderThroughReReads)
{
    // Pictures exported into the scanned folder, files written beside it:
    // the tree re-reads the folders above the chosen one meanwhile.
    QTemporaryDir base;
    const QString scan = base.filePath("scan");
    ASSERT_TRUE(QDir().mkpath(scan));
    ASSERT_TRUE(QFile::copy(at("a.dll"), scan + "/a.dll"));
    ASSERT_TRUE(QFile::copy(at("B.exe"), scan + "/B.exe"));
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, scan);
    const QStringList listed {"a.dll", "B.exe"};
    ASSERT_EQ(form->FileBox->ItemStrings(), listed);
    const auto agree = [&] {
        EXPECT_EQ(form->Tree->Folder(), scan);
        EXPECT_EQ(form->FileBox->ItemStrings(), listed);
        form->FileBox->SetItemIndex(1);
        form->FileBox->OnClick(form->FileBox);
        EXPECT_EQ(form->CurrentFileName(), scan + "/B.exe");
        form->SelectFile(at("a.dll"));
    };

    // During a search: the re-read of the folder above lets the one above
    // that through, and each moves the selection up as it collapses.
    QTreeWidgetItem* parent = form->Tree->FindNodeByPath(base.path());
    ASSERT_NE(parent, nullptr);
    QTreeWidgetItem* grandParent = parent->parent();
    QMetaObject::invokeMethod(
        form.get(), [&] { form->Tree->ReReadNode(parent); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        form.get(), [&] { form->Tree->ReReadNode(grandParent); }, Qt::QueuedConnection);
    form->DirBoxChange(nullptr);
    agree();

    // After it: a sub-folder of the chosen one, and a folder beside it.
    const std::weak_ptr<const char> before = form->Tree->NodeData(form->Tree->Selected())->FN_Alive;
    ASSERT_TRUE(QDir().mkpath(scan + "/exported"));
    QFile picture(scan + "/exported/ico_a_dll0001.png");
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.close();
    ASSERT_TRUE(QDir().mkpath(base.filePath("beside")));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return before.expired(); }, kHangGuard));  // the folder above was re-read
    QTest::qWait(100);
    agree();

    // The chosen folder goes: the list follows the tree to what is left.
    ASSERT_TRUE(QDir(scan).removeRecursively());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Tree->Folder() == base.path(); }, kHangGuard));
    QTest::qWait(100);
    EXPECT_EQ(form->FileBox->count(), 0);
}

TEST_F(FindPanel, NamesThatAreNotUtf8AreNamedInTheStatusBar)
{
    QTemporaryDir base;
    const QByteArray badFolder = QFile::encodeName(base.path()) + "/caf\351";
    const QByteArray badFile = QFile::encodeName(base.path()) + "/bad\377.exe";
    // The toolkit cannot remove what it cannot name.
    const struct Cleanup {
        const QByteArray &folder, &file;
        ~Cleanup()
        {
            ::rmdir(folder.constData());
            ::unlink(file.constData());
        }
    } cleanup {badFolder, badFile};
    ASSERT_EQ(::mkdir(badFolder.constData(), 0700), 0);
    ASSERT_TRUE(QFile::copy(at("a.dll"), base.filePath("a.dll")));
    ASSERT_TRUE(QFile::copy(at("a.dll"), base.filePath("b.dll")));
    FILE* bad = fopen(badFile.constData(), "wb");
    ASSERT_NE(bad, nullptr);
    fclose(bad);
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, base.path());
    EXPECT_EQ(form->FileBox->ItemStrings(), (QStringList {"a.dll", "b.dll"}));
    EXPECT_EQ(form->StatusPanel(0)->text(), FormatUIText(GetUIText(205), {1}));

    // The folder itself cannot be opened, and the window says so.
    QTreeWidgetItem* node = form->Tree->FindNodeByPath(base.path());
    ASSERT_NE(node, nullptr);
    form->Tree->ExpandFolderNode(node);
    ASSERT_EQ(node->childCount(), 1);
    form->Tree->SetSelected(node->child(0));
    EXPECT_EQ(form->FileBox->count(), 0);
    EXPECT_EQ(form->StatusPanel(0)->text(), GetUIText(206));
    form->Tree->SetSelected(form->Tree->MyComputerNode());
    EXPECT_TRUE(form->StatusPanel(0)->text().isEmpty());
}

TEST_F(FindPanel, ANodeWithoutAFolderEmptiesTheListAndItsCount)
{
    auto form = start();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, folder);
    ASSERT_EQ(form->FileBox->count(), 2);
    ASSERT_EQ(form->Label4->text(), "2");
    ASSERT_TRUE(form->SaveAllBtn->isEnabled());
    form->Label6->show();  // as a stopped search leaves it
    form->Tree->SetSelected(form->Tree->MyComputerNode());
    ASSERT_TRUE(form->Tree->Folder().isEmpty());
    EXPECT_EQ(form->FileBox->count(), 0);
    EXPECT_EQ(form->Label4->text().toStdString(), "0");
    EXPECT_FALSE(form->SaveAllBtn->isEnabled());
    EXPECT_TRUE(form->Label6->isHidden());
    EXPECT_TRUE(form->StatusPanel(0)->text().isEmpty());
}

// The list's highlight and the grid name the same file: the right and the
// middle button move neither, the left one both.
TEST_F(FindPanel, OnlyALeftClickInTheListMovesTheSelectionAndTheFile)
{
    auto form = start();
    form->show();
    form->SearchBtnClick(form->SearchBtn);
    choose(*form, folder);
    TKXListBox* list = form->FileBox;
    ASSERT_EQ(list->ItemStrings(), (QStringList {"a.dll", "B.exe"}));
    const auto click = [&](Qt::MouseButton button, int index) {
        QTest::mouseClick(list->viewport(), button, {}, list->visualItemRect(list->item(index)).center());
        QCoreApplication::processEvents();
    };
    const auto agree = [&](int index, const QString& name) {
        EXPECT_EQ(list->ItemIndex(), index);
        EXPECT_EQ(list->currentRow(), index);
        EXPECT_EQ(list->selectedItems(), QList<QListWidgetItem*> {list->item(index)});
        EXPECT_EQ(form->CurrentFileName(), at(name));
        EXPECT_EQ(form->ScrollBox()->ImageBox()->FileName(), at(name));
        EXPECT_TRUE(form->windowTitle().endsWith(" - " + name)) << form->windowTitle().toStdString();
    };
    click(Qt::LeftButton, 0);
    agree(0, "a.dll");
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(int(button));
        click(button, 1);
        agree(0, "a.dll");
    }
    click(Qt::LeftButton, 1);
    agree(1, "B.exe");
}
