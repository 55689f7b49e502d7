// The folder picker, driven through the file-dialog interface.
#include "kxCommon/kxDialog.h"

#include "platform/FileDialogs.h"

#include "TestApplication.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
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
            ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
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
            ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
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
            ASSERT_TRUE(QTest::qWaitFor([&] {
                const QModelIndex a = row(view, "a"), b = row(view, "b");
                return a.isValid() && b.isValid() && a.row() < b.row();
            }));
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
