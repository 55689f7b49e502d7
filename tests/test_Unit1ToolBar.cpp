// The main window's tool bar.
#include "app/Unit1.h"

#include "app/myutils.h"
#include "kxCommon/KXButton.h"
#include "kxCommon/KXImageBox.h"
#include "platform/MessageBoxes.h"

#include "HangGuard.h"
#include "RightClicks.h"
#include "TestApplication.h"

#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

const QString kFixtures = QStringLiteral(FIXTURE_DIR);

class ToolBar : public ::testing::Test {
protected:
    QTemporaryDir program;
    QTemporaryDir config;
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes
        = std::make_shared<platform::ScriptedMessageBoxes>();
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        TestApplication();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        platform::setMessageBoxes(boxes);
        ASSERT_TRUE(QFile::copy(QStringLiteral(LANG_PACK), program.filePath("english.lng")));
        ASSERT_TRUE(QFile::copy(kFixtures + "/groups32.dll", program.filePath("pictorium")));
        // With a parameter the grid stays empty until the command line runs.
        form
            = std::make_unique<TForm1>(QStringList {program.filePath("none")}, program.filePath("pictorium"));
        form->FormCreate();
    }
    void TearDown() override
    {
        form.reset();
        platform::setMessageBoxes(nullptr);
    }
    template <typename Button = TkxSoftButton> Button* button(const char* name)
    {
        auto* b = form->ToolBar()->findChild<Button*>(QString::fromLatin1(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
};

}  // namespace

TEST_F(ToolBar, CommandButtonsNeedIcons)
{
    const char* always[] = {"OpenBtn", "OptionsBtn", "HelpBtn", "AboutBtn"};
    const char* needIcons[] = {"SaveBtn", "CopyBtn", "PrintBtn", "RefreshBtn"};
    for (const char* name : always)
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    for (const char* name : needIcons)
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    form->SelectFile(kFixtures + "/groups32.dll");
    for (const char* name : needIcons)
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    form->SelectFile(program.filePath("none"));
    for (const char* name : needIcons)
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    for (const char* name : always)
        EXPECT_TRUE(button(name)->isEnabled()) << name;
}

TEST_F(ToolBar, ButtonsRunTheirCommandsAndMenus)
{
    form->SelectFile(kFixtures + "/groups32.dll");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
    TKXImageBox* grid = form->ScrollBox()->ImageBox();
    grid->SetItemIndex(2);
    QTest::mouseClick(button("RefreshBtn"), Qt::LeftButton, {}, QPoint(13, 13));
    EXPECT_EQ(grid->ItemIndex(), 0);  // reloaded, and the first icon selected

    struct Case {
        const char* name;
        QPoint at;
        QMenu* menu;
    };
    const Case cases[] = {
        {"SaveBtn", {13, 13}, form->PopupSave()},
        {"OptionsBtn", {13, 13}, form->PopupOptions()},
        {"OpenBtn", {33, 13}, form->MRUPopup()},  // the drop-down part
    };
    for (const Case& c : cases) {
        auto* b = button<TkxPopupButton>(c.name);
        QTest::mouseClick(b, Qt::LeftButton, {}, c.at);
        EXPECT_TRUE(c.menu->isVisible()) << c.name;
        EXPECT_EQ(c.menu->pos(), b->mapToGlobal(QPoint(0, b->height()))) << c.name;
        c.menu->close();
    }
}

TEST_F(ToolBar, NoRightClickCanHideTheBar)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
    auto* bar = qobject_cast<QToolBar*>(form->ToolBar()->parentWidget());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(fixture::MenusOpenedByRightClicks(bar), 0);
    EXPECT_TRUE(bar->isVisible());
}

TEST_F(ToolBar, HintsComeFromThePack)
{
    const std::pair<const char*, int> hints[]
        = {{"OpenBtn", 103},    {"SaveBtn", 104},    {"CopyBtn", 105}, {"PrintBtn", 106},
           {"RefreshBtn", 107}, {"OptionsBtn", 108}, {"HelpBtn", 109}, {"AboutBtn", 110}};
    for (const auto& [name, id] : hints) {
        EXPECT_FALSE(GetUIText(id).isEmpty()) << id;
        EXPECT_EQ(button(name)->toolTip(), GetUIText(id)) << name;
    }
}
