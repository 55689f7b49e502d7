// Clipboard, printing, the icon window, the keys and the layout of the main
// window.
#include "app/IconEx.h"
#include "app/Print.h"
#include "app/Shortcuts.h"
#include "app/myutils.h"
#include "kxCommon/KXButton.h"
#include "kxCommon/KXListBox.h"
#include "kxCommon/kxFolderTree.h"
#include "platform/PrintDialogs.h"

#include "HangGuard.h"
#include "MainWindowFixture.h"
#include "RunTool.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace {

using MainWindowCommands = MainWindowFixture;

struct PdfImage {
    QSize size;
    int ppi = 0;
};

// The images of a PDF with their pixel size and placed resolution.
std::vector<PdfImage> PdfImages(const QString& path)
{
    std::vector<PdfImage> images;
    const fixture::ToolResult list = fixture::runTool("pdfimages", {"-list", path});
    EXPECT_EQ(list.exitCode, 0) << list.output.toStdString();
    for (const QString& line : list.output.split('\n').mid(2)) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() >= 13)
            images.push_back({QSize(f[3].toInt(), f[4].toInt()), f[12].toInt()});
    }
    return images;
}

QAction* actionWithText(QWidget& w, const QString& text)
{
    for (QAction* a : w.findChildren<QAction*>())
        if (a->text() == text)
            return a;
    return nullptr;
}

// Act on the next modal dialog of type Dialog once it shows; the waiting
// ends with Owner.
template <typename Dialog, typename Act> void whenShown(QObject* owner, Act act)
{
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);  // may run a dialog of its own
    });
    timer->start(10);
}

}  // namespace

TEST(Shortcuts, CtrlAloneWithTheLettersAnyModifiersWithEscAndF1)
{
    using C = TShortcutCommand;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    struct Case {
        int key;
        Qt::KeyboardModifiers shift;
        Qt::MouseButtons buttons;
        C command;
    };
    const Case cases[] = {
        {Qt::Key_C, ctrl, Qt::NoButton, C::Copy},
        {Qt::Key_C, ctrl | Qt::KeypadModifier, Qt::NoButton, C::Copy},
        {Qt::Key_C, ctrl | Qt::ShiftModifier, Qt::NoButton, C::None},
        {Qt::Key_C, ctrl | Qt::AltModifier, Qt::NoButton, C::None},
        {Qt::Key_C, Qt::NoModifier, Qt::NoButton, C::None},
        {Qt::Key_C, ctrl, Qt::LeftButton, C::None},
        {Qt::Key_O, ctrl, Qt::NoButton, C::Open},
        {Qt::Key_P, ctrl, Qt::NoButton, C::Print},
        {Qt::Key_R, ctrl, Qt::NoButton, C::Refresh},
        {Qt::Key_S, ctrl, Qt::NoButton, C::SaveSel},
        {Qt::Key_X, ctrl, Qt::NoButton, C::None},
        {Qt::Key_Escape, Qt::NoModifier, Qt::NoButton, C::StopSearch},
        {Qt::Key_Escape, ctrl | Qt::ShiftModifier, Qt::RightButton, C::StopSearch},
        {Qt::Key_F1, Qt::AltModifier, Qt::NoButton, C::Help},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShortcutCommand(c.key, c.shift, c.buttons), c.command) << c.key << " " << int(c.shift);
}

TEST_F(MainWindowCommands, KeysOfTheWindowRunTheirCommands)
{
    form->show();
    QWindow* window = form->windowHandle();
    ASSERT_TRUE(window);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();

    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
    QTest::keyClick(window, Qt::Key_C);
    EXPECT_TRUE(clipboard->image().isNull());
    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->image().size(), QSize(32, 32));

    // Without a selection: the warning, nothing copied.
    clipboard->clear();
    grid()->SetItemIndex(-1);
    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, GetUIText(606));
    EXPECT_TRUE(clipboard->image().isNull());

    // Esc stops a search, and outside one changes nothing.
    SearchRunning = true;
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(SearchRunning);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(SearchRunning);

    // Ctrl+P asks for the print options while there are icons, Ctrl+S for
    // a name; with an empty grid neither does anything.
    QTest::keyClick(window, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(forms->shown, 1);
    form->SelectFile(program.filePath("missing.dll"));
    QTest::keyClick(window, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(forms->shown, 1);
    EXPECT_TRUE(dialogs->saveRequests.empty());
}

TEST_F(MainWindowCommands, ClipboardHoldsTheIconsPixels)
{
    grid()->SetItemIndex(2);  // 32-bit with alpha
    form->CopyBtnClick();
    const QImage copied = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
    const QImage icon = grid()->GetIcon(2).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(copied.size(), icon.size());
    EXPECT_TRUE(copied == icon);
    bool translucent = false;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            translucent |= qAlpha(icon.pixel(x, y)) < 255;
    EXPECT_TRUE(translucent);  // the alpha went along
}

// Over the find panel's list and tree, Ctrl+C is the window's copy: the
// clipboard holds the selected icon, and neither control puts its own text
// there, with Ctrl+C or any other copy key.
TEST_F(MainWindowCommands, CtrlCOverTheFileListAndTheTreeCopiesTheIcon)
{
    form->resize(800, 600);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), kHangGuard));
    form->SearchBtnClick(form->SearchBtn);
    const QString folder = QStringLiteral(FIXTURE_DIR "/findpanel");
    form->Tree->SetFolder(folder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Tree->Folder() == folder; }, kHangGuard));
    TKXListBox* list = form->FileBox;
    ASSERT_EQ(list->ItemStrings().value(0), "a.dll");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    ASSERT_EQ(form->CurrentFileName(), folder + "/a.dll");
    ASSERT_EQ(grid()->ItemIndex(), 0);
    const QImage icon = grid()->GetIcon(0).toImage().convertToFormat(QImage::Format_ARGB32);

    QWindow* window = form->windowHandle();
    QClipboard* clipboard = QGuiApplication::clipboard();
    const auto holdsText = [&] {
        const QMimeData* data = clipboard->mimeData();
        return data && data->hasText();
    };
    TkxFolderTree* tree = form->Tree;
    const std::pair<const char*, QWidget*> controls[] = {{"list", list}, {"tree", tree}};
    for (const auto& [name, control] : controls) {
        SCOPED_TRACE(name);
        if (control == tree)
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                              tree->visualItemRect(tree->currentItem()).center());
        ASSERT_TRUE(control->hasFocus());
        ASSERT_EQ(form->CurrentFileName(), folder + "/a.dll");
        clipboard->clear();
        QTest::keyClick(window, Qt::Key_Insert, Qt::ControlModifier);
        EXPECT_FALSE(holdsText());
        EXPECT_TRUE(clipboard->image().isNull());
        QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier);
        EXPECT_FALSE(holdsText()) << clipboard->text().toStdString();
        EXPECT_TRUE(clipboard->image().convertToFormat(QImage::Format_ARGB32) == icon);
    }
}

TEST_F(MainWindowCommands, PrintsTheGridOrTheSelectionAtActualSizeOrFitted)
{
    const QString pdf = out.filePath("print.pdf");
    auto chooser = std::make_shared<platform::PdfPrinterChooser>(pdf);
    platform::setPrinterChooser(chooser);
    struct Case {
        bool selection;
        bool fit;
    };
    std::vector<PdfImage> placed;
    for (const Case c : {Case {false, false}, Case {true, false}, Case {true, true}, Case {false, true}}) {
        forms->answer = [c](QDialog& d) {
            auto& f = static_cast<TPrintFrm&>(d);
            EXPECT_TRUE(f.SelBtn->isEnabled());
            (c.selection ? f.SelBtn : f.FullBtn)->setChecked(true);
            (c.fit ? f.FitBtn : f.RealBtn)->setChecked(true);
            return int(QDialog::Accepted);
        };
        QFile::remove(pdf);
        form->PrintBtnClick();
        const auto images = PdfImages(pdf);
        ASSERT_EQ(images.size(), 1u);
        placed.push_back(images[0]);
    }
    const TKXImageBox& g = *grid();
    EXPECT_EQ(placed[0].size, QSize(g.ColWidth() * g.ColCount() + 2, g.height()));
    EXPECT_EQ(placed[1].size, QSize(32, 32));
    EXPECT_EQ(placed[2].size, QSize(32, 32));
    // Actual size: screen pixels per inch; fitted, far fewer per inch.
    EXPECT_NEAR(placed[1].ppi, placed[0].ppi, 1);
    EXPECT_LT(placed[2].ppi * 4, placed[1].ppi);
    EXPECT_LT(placed[3].ppi, placed[0].ppi);

    // Cancel in the options or in the printer choice prints nothing.
    QFile::remove(pdf);
    forms->answer = nullptr;
    form->PrintBtnClick();
    EXPECT_EQ(chooser->asked, 4);
    platform::setPrinterChooser(std::make_shared<platform::PdfPrinterChooser>(pdf, false));
    forms->answer = [](QDialog&) { return int(QDialog::Accepted); };
    form->PrintBtnClick();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    // No selection: only the whole grid can be chosen.
    grid()->SetItemIndex(-1);
    forms->answer = [](QDialog& d) {
        EXPECT_FALSE(static_cast<TPrintFrm&>(d).SelBtn->isEnabled());
        return int(QDialog::Rejected);
    };
    form->PrintBtnClick();
    platform::setPrinterChooser(nullptr);
}

TEST_F(MainWindowCommands, ThePrintDialogsFileBrowserKeepsNoHistory)
{
    platform::setPrinterChooser(nullptr);  // the toolkit's print dialog
    forms->answer = [](QDialog&) { return int(QDialog::Accepted); };
    // In the print dialog, the browse button for the file to print to; in
    // the file dialog it opens, Esc; then Esc in the print dialog.
    bool printDialogShown = false;
    bool browsed = false;
    whenShown<QPrintDialog>(form.get(), [&](QPrintDialog* dialog) {
        printDialogShown = true;
        auto* browse = dialog->findChild<QToolButton*>(QStringLiteral("fileBrowser"));
        EXPECT_TRUE(browse && browse->isVisible() && browse->isEnabled());
        if (browse) {
            whenShown<QFileDialog>(form.get(), [&](QFileDialog* files) {
                browsed = true;
                QTest::keyClick(files, Qt::Key_Escape);
            });
            QTest::mouseClick(browse, Qt::LeftButton);  // back once the file dialog is gone
        }
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    // Against a hang: whatever is still open is closed.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        ADD_FAILURE() << "a dialog did not close";
        while (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(kHangGuard);

    form->PrintBtnClick();
    EXPECT_TRUE(printDialogShown);
    EXPECT_TRUE(browsed);
    QStringList files;
    QDirIterator it(config.path(), {"QtProject*"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    EXPECT_EQ(files.join(u' ').toStdString(), "");
    // The program's own store kept its place.
    EXPECT_EQ(ProgramRegistry().fileName(), config.filePath("Quellmark/Pictorium.conf"));
}

TEST_F(MainWindowCommands, IconWindowPlacesBothSizes)
{
    // On by default: the selection at start-up made and showed it.
    TFrmIconEx* window = form->IconWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    form->NShowIconEx()->trigger();
    EXPECT_FALSE(ShowSeparateWindow);
    EXPECT_FALSE(window->isVisible());
    form->NShowIconEx()->trigger();
    EXPECT_TRUE(ShowSeparateWindow);
    EXPECT_TRUE(window->isVisible());
    const int w = window->width(), h = window->height();
    EXPECT_EQ(QSize(w, h), QSize(287, 178));
    EXPECT_EQ(window->Image1->geometry(), QRect(w / 4 - 16, h / 2 - 16, 32, 32));
    EXPECT_EQ(window->Image2->geometry(), QRect(3 * (w / 4) - 8, h / 2 - 8, 16, 16));

    // A window narrower than twice the large picture grows to that.
    window->resize(40, 20);
    grid()->SetItemIndex(1);  // the selection updates the window
    EXPECT_EQ(window->size(), QSize(64, 64));
    EXPECT_EQ(window->Image1->geometry(), QRect(0, 16, 32, 32));
    EXPECT_EQ(window->Image2->geometry(), QRect(40, 24, 16, 16));

    // No selection: empty pictures. A missing file: the same.
    form->UpdateIconWindow(-1);
    EXPECT_TRUE(window->Image1->pixmap().isNull());
    EXPECT_EQ(window->Image1->size(), QSize(0, 0));

    // The user closes it: the setting and the menu check go off.
    window->close();
    EXPECT_FALSE(ShowSeparateWindow);
    EXPECT_FALSE(form->NShowIconEx()->isChecked());
    grid()->SetItemIndex(0);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowCommands, LayoutAndIconSize)
{
    form->show();
    form->resize(1000, 600);
    EXPECT_EQ(form->StatusPanel(0)->width(), 500);
    EXPECT_EQ(form->StatusPanel(1)->width(), 100);
    EXPECT_EQ(form->StatusPanel(2)->width(), 166);
    form->resize(100, 100);
    EXPECT_GE(form->width(), 526);
    EXPECT_GE(form->height(), 455);

    // 16 x 16: the grid reloads small and selects its first icon.
    grid()->SetItemIndex(2);
    QAction* small = actionWithText(*form, GetUIText(965));
    ASSERT_TRUE(small);
    small->trigger();
    EXPECT_TRUE(SmallIcons);
    EXPECT_EQ(grid()->ItemWidth(), 16);
    EXPECT_EQ(grid()->Count(), 3);
    EXPECT_EQ(grid()->ItemIndex(), 0);
    EXPECT_EQ(form->StatusPanel(1)->text(), "1 / 3");
}
