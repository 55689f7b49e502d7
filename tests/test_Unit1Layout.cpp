// The main window's layout: the find panel's splitters against window
// sizes, as the user drags them and as the window changes.
#include "app/Unit1.h"

#include "kxCommon/KXButton.h"
#include "kxCommon/KXCtrl.h"
#include "platform/AlignedPanel.h"

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
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        resizeWindow(1000, 700);
        form->SearchBtnClick(form->SearchBtn);
        ASSERT_FALSE(form->FindPanel->isHidden());
    }

    // As the window system does it: no window manager holds the window to
    // its minimum size.
    void resizeWindow(int w, int h)
    {
        form->windowHandle()->resize(w, h);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->size() == QSize(w, h); }));
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
