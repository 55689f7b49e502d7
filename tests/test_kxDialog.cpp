// The folder picker, driven through the file-dialog interface.
#include "kxCommon/kxDialog.h"

#include "platform/FileDialogs.h"

#include <QDir>

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
