// The folder picker, driven through the file-dialog interface.
#include "kxCommon/kxDialog.h"

#include "platform/FileDialogs.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class DirDialog : public ::testing::Test {
protected:
    std::shared_ptr<platform::ScriptedFileDialogs> dialogs
        = std::make_shared<platform::ScriptedFileDialogs>();
    void SetUp() override { platform::setFileDialogs(dialogs); }
    void TearDown() override { platform::setFileDialogs(nullptr); }
};

}  // namespace

TEST_F(DirDialog, PreselectsTheAdjustedDirectoryAndKeepsItOnCancel)
{
    struct Case {
        QString before;
        QString preselected;
    };
    const Case cases[] = {
        {QString(), QDir::currentPath()},
        {QStringLiteral("/data/icons/"), QStringLiteral("/data/icons")},
        {QStringLiteral("/data/icons"), QStringLiteral("/data/icons")},
        {QStringLiteral("/"), QStringLiteral("/")},
    };
    for (const Case& c : cases) {
        TKXDirDialog dlg;
        dlg.SetTitle(QStringLiteral("Pick"));
        dlg.SetDirectory(c.before);
        EXPECT_FALSE(dlg.Execute());
        ASSERT_FALSE(dialogs->folderRequests.empty());
        EXPECT_EQ(dialogs->folderRequests.back().initialDir, c.preselected) << c.before.toStdString();
        EXPECT_EQ(dialogs->folderRequests.back().title, "Pick");
        EXPECT_EQ(dlg.Directory(), c.preselected);
    }
}

TEST_F(DirDialog, AConfirmedFolderBecomesTheDirectory)
{
    TKXDirDialog dlg;
    dlg.SetDirectory(QStringLiteral("/tmp"));
    dialogs->folders = {QStringLiteral("/")};
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.Directory(), "/");
}

// The desktop's picker, answered by a click on its own button.
TEST(DesktopDirDialog, ShowsItsTitleAboveTheFolders)
{
    TestApplication();
    const QTemporaryDir dir;
    QDir(dir.path()).mkdir("icons");
    struct Seen {
        QString title;
        bool above = false;
    };
    auto answer = [](Seen& seen, bool confirm) {
        QTimer::singleShot(0, [&seen, confirm] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_TRUE(box);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(box, kHangGuard));
            const auto* label = box->findChild<QLabel*>("folderDialogTitle");
            const auto* folders = box->findChild<QFileDialog*>();
            if (label && folders && label->isVisible() && folders->isVisible()) {
                seen.title = label->text();
                seen.above
                    = label->mapTo(box, QPoint(0, label->height())).y() <= folders->mapTo(box, QPoint()).y();
            }
            const auto* buttons = box->findChild<QDialogButtonBox*>();
            ASSERT_TRUE(buttons);
            QPushButton* button
                = buttons->button(confirm ? QDialogButtonBox::Open : QDialogButtonBox::Cancel);
            if (!button && confirm)
                button = qobject_cast<QPushButton*>(buttons->buttons().value(0));
            ASSERT_TRUE(button);
            QTest::mouseClick(button, Qt::LeftButton);
        });
    };
    TKXDirDialog dlg;
    dlg.SetTitle(QStringLiteral("Select folder to save images:"));
    dlg.SetDirectory(dir.filePath("icons"));
    Seen seen;
    answer(seen, true);
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(seen.title, "Select folder to save images:");
    EXPECT_TRUE(seen.above);
    EXPECT_EQ(dlg.Directory(), dir.filePath("icons"));

    // No title: no line above the folders; Cancel keeps the folder.
    dlg.SetTitle(QString());
    Seen untitled;
    answer(untitled, false);
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(untitled.title, QString());
    EXPECT_EQ(dlg.Directory(), dir.filePath("icons"));
}

namespace {

// The shown rows of the picker's folder view, once its listing came in.
QAbstractItemView* folderView(QWidget* box)
{
    for (auto* view : box->findChildren<QAbstractItemView*>()) {
        if ((view->objectName() == "listView" || view->objectName() == "treeView") && view->isVisible())
            return view;
    }
    return nullptr;
}

QModelIndex row(QAbstractItemView* view, const QString& name)
{
    const QAbstractItemModel* model = view->model();
    for (int i = 0; i < model->rowCount(view->rootIndex()); ++i) {
        const QModelIndex index = model->index(i, 0, view->rootIndex());
        if (index.data().toString() == name)
            return index;
    }
    return {};
}

}  // namespace

// Under the title the picker shows the whole path of the folder it would
// take: the preselected one, then each one the user clicks or moves to.
TEST(DesktopDirDialog, ShowsTheSelectedFoldersPathUnderItsTitle)
{
    TestApplication();
    const QTemporaryDir dir;
    const QString icons = dir.filePath("icons");
    for (const char* name : {"icons/a", "icons/b"})
        QDir(dir.path()).mkpath(name);
    struct Seen {
        QString atStart, afterClick, afterKey;
        bool underTitle = false;
    } seen;
    QTimer::singleShot(0, [&seen] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_TRUE(box);
        const auto look = [&] {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(box, kHangGuard));
            const auto* title = box->findChild<QLabel*>("folderDialogTitle");
            const auto* path = box->findChild<QLabel*>("folderDialogPath");
            ASSERT_TRUE(title && path && path->isVisible());
            seen.underTitle
                = path->mapTo(box, QPoint()).y() >= title->mapTo(box, QPoint(0, title->height())).y()
                && path->mapTo(box, QPoint(0, path->height())).y()
                    <= box->findChild<QFileDialog*>()->mapTo(box, QPoint()).y();
            seen.atStart = path->text();
            QAbstractItemView* view = folderView(box);
            ASSERT_TRUE(view);
            // Listed in the background, and sorted after.
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    const QModelIndex a = row(view, "a"), b = row(view, "b");
                    return a.isValid() && b.isValid() && a.row() < b.row();
                },
                kHangGuard));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                              view->visualRect(row(view, "b")).center());
            seen.afterClick = path->text();
            QTest::keyClick(view, Qt::Key_Up);
            seen.afterKey = path->text();
        };
        look();
        auto* buttons = box->findChild<QDialogButtonBox*>();
        ASSERT_TRUE(buttons);
        QPushButton* open = buttons->button(QDialogButtonBox::Open);
        if (!open)
            open = qobject_cast<QPushButton*>(buttons->buttons().value(0));
        ASSERT_TRUE(open);
        QTest::mouseClick(open, Qt::LeftButton);
    });
    TKXDirDialog dlg;
    dlg.SetTitle(QStringLiteral("Select folder to save images:"));
    dlg.SetDirectory(icons + "/");
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(seen.atStart.toStdString(), icons.toStdString());
    EXPECT_TRUE(seen.underTitle);
    EXPECT_EQ(seen.afterClick.toStdString(), (icons + "/b").toStdString());
    EXPECT_EQ(seen.afterKey.toStdString(), (icons + "/a").toStdString());
    // The path shown is the folder taken.
    EXPECT_EQ(dlg.Directory().toStdString(), (icons + "/a").toStdString());
}

// The path follows the folder Open would take however the user gets there:
// the view taking the keyboard (its first row current, none chosen), its
// type-ahead, a name typed whole, a folder entered.
TEST(DesktopDirDialog, TheFoldersPathFollowsWhatIsTyped)
{
    TestApplication();
    const QTemporaryDir dir;
    const QString icons = dir.filePath("icons");
    for (const char* name : {"icons/apple", "icons/banana", "icons/cherry/pits"})
        QDir(dir.path()).mkpath(name);
    struct Step {
        const char* what;
        QString path, taken;
    };
    std::vector<Step> steps;
    QTimer::singleShot(0, [&steps] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_TRUE(box);
        // Cancelled however the steps end, so that a failing one hangs nothing.
        const auto cancel = qScopeGuard([box] {
            if (auto* buttons = box->findChild<QDialogButtonBox*>())
                buttons->button(QDialogButtonBox::Cancel)->click();
        });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box, kHangGuard));
        box->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(box, kHangGuard));
        auto* picker = box->findChild<QFileDialog*>();
        const auto* path = box->findChild<QLabel*>("folderDialogPath");
        auto* name = box->findChild<QLineEdit*>("fileNameEdit");
        QAbstractItemView* view = folderView(box);
        ASSERT_TRUE(picker && path && name && view);
        ASSERT_TRUE(QTest::qWaitFor([&] { return row(view, "cherry").isValid(); }, kHangGuard));
        const auto see = [&](const char* what) {
            steps.push_back({what, path->text(), picker->selectedFiles().value(0)});
        };
        see("start");
        // Tab into the view: its first row becomes current, unchosen.
        for (int i = 0; i < 20 && QApplication::focusWidget() != view; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), view);
        see("view focused");
        QTest::keyClicks(view, "ba");
        see("ba in the view");
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, "apple");
        see("apple typed");
        const QPoint cherry = view->visualRect(row(view, "cherry")).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cherry);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cherry);
        ASSERT_TRUE(QTest::qWaitFor([&] { return row(view, "pits").isValid(); }, kHangGuard));
        see("cherry entered");
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, "pi");  // no folder yet: the last one stays
        see("pi typed");
        QTest::keyClicks(name, "ts");
        see("pits typed");
    });
    TKXDirDialog dlg;
    dlg.SetTitle(QStringLiteral("Select folder to save images:"));
    dlg.SetDirectory(icons);
    EXPECT_FALSE(dlg.Execute());
    const std::vector<std::pair<const char*, QString>> expected = {
        {"start", icons},
        {"view focused", icons},
        {"ba in the view", icons + "/banana"},
        {"apple typed", icons + "/apple"},
        {"cherry entered", icons + "/cherry"},
        {"pi typed", icons + "/cherry"},
        {"pits typed", icons + "/cherry/pits"},
    };
    ASSERT_EQ(steps.size(), expected.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].what);
        EXPECT_EQ(steps[i].path.toStdString(), expected[i].second.toStdString());
        if (QString(steps[i].what) != "pi typed") {  // Open takes nothing then
            EXPECT_EQ(steps[i].taken.toStdString(), expected[i].second.toStdString());
        }
    }
}
