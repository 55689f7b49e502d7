// The main window's layout: the find panel's splitters against window
// sizes, as the user drags them and as the window changes.
#include "app/Unit1.h"

#include "kxCommon/KXButton.h"
#include "kxCommon/KXCtrl.h"
#include "platform/AlignedPanel.h"
#include "platform/IniFile.h"

#include "HangGuard.h"
#include "LeftButtonDrag.h"
#include "MainWindowFixture.h"

#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class WindowLayout : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), kHangGuard));
        resizeWindow(1000, 700);
        form->SearchBtnClick(form->SearchBtn);
        ASSERT_FALSE(form->FindPanel->isHidden());
    }

    // As the window system does it: no window manager holds the window to
    // its minimum size.
    void resizeWindow(int w, int h)
    {
        form->windowHandle()->resize(w, h);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->size() == QSize(w, h); }, kHangGuard));
    }
    // Drags a splitter so that its left or top edge ends at Pos in its parent.
    static void dragTo(TkxSplitter* splitter, int pos)
    {
        const bool horizontal = splitter->Align() == platform::Align::Right;
        const int by = pos - (horizontal ? splitter->x() : splitter->y());
        left_button::drag(splitter, {1, 1}, horizontal ? QPoint(1 + by, 1) : QPoint(1, 1 + by));
    }
};

}  // namespace

TEST_F(WindowLayout, ADragBackToAnEarlierPlaceMovesTheFilePanel)
{
    dragTo(form->VSplitter, 398);
    ASSERT_EQ(form->VSplitter->x(), 398);
    const int width = form->FilePanel->width();
    resizeWindow(600, 700);
    resizeWindow(1000, 700);
    ASSERT_NE(form->VSplitter->x(), 398);  // the window took the file panel's width
    dragTo(form->VSplitter, 398);
    EXPECT_EQ(form->VSplitter->x(), 398);
    EXPECT_EQ(form->FilePanel->width(), width);
    EXPECT_EQ(form->FileBox->width(), width - form->FileBox->x() - 8);
}

TEST_F(WindowLayout, PanelsStayWithinTheirSplittersLimitsAndGrowBack)
{
    const auto filePanelLimit = [&] {
        return form->FindPanel->contentsRect().width() - form->VSplitter->MinSize()
            - form->VSplitter->width();
    };
    const auto gridHeight = [&] { return form->MainPanel->height(); };
    // Sizes below the window's minimum, then back to what fits it.
    for (const QSize size : {QSize(300, 330), QSize(200, 150), QSize(526, 455), QSize(1000, 700)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        resizeWindow(size.width(), size.height());
        EXPECT_GE(form->FilePanel->width(), 248);
        EXPECT_GE(form->FindPanel->height(), 172);
        if (size.width() >= 526) {
            // Room for both: the folder tree keeps its minimum too.
            EXPECT_LE(form->FilePanel->width(), filePanelLimit());
            EXPECT_GE(form->VSplitter->x(), 248);
            EXPECT_GE(gridHeight(), 172);
        }
    }
    // A panel the user made big gives way to the window as before.
    dragTo(form->VSplitter, 300);
    resizeWindow(700, 700);
    EXPECT_EQ(form->VSplitter->x(), 248);
    EXPECT_EQ(form->FilePanel->width(), filePanelLimit());

    resizeWindow(300, 330);
    form->close();
    form->FormDestroy();
    platform::IniFile ini(program.filePath("gharv.ini"));
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.readInteger("Placement", "FilePanelWidth", -1), 248);
    EXPECT_EQ(ini.readInteger("Placement", "FindPanelHeight", -1), 172);
}
