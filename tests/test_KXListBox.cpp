#include "kxCommon/KXListBox.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct ListFixture {
    std::unique_ptr<TKXListBox> list;
    int clicks = 0;

    explicit ListFixture(const QStringList& items
                         = {"advapi32.dll", "Shell32.dll", "user32.dll", "shlwapi.dll"})
    {
        TestApplication();
        list = std::make_unique<TKXListBox>();
        list->resize(200, 200);
        list->SetDirectSearch(true);
        for (const QString& s : items)
            list->AddItem(s);
        list->OnClick = [this](QObject*) { ++clicks; };
        list->show();
        list->activateWindow();
        list->setFocus();
        EXPECT_TRUE(QTest::qWaitForWindowActive(list.get(), kHangGuard));
    }

    QLineEdit* edit() const { return list->Editor(); }
};

// Forty modules and, far below the visible rows, winecfg.exe.
QStringList manyModules()
{
    QStringList items;
    for (int i = 1; i <= 40; ++i)
        items << QString("a%1.dll").arg(i, 2, 10, QChar(u'0'));
    return items << "winecfg.exe";
}

TEST(KXListBox, TypeAheadCompletesAndEnterSelects)
{
    ListFixture f;
    QTest::keyClick(f.list.get(), 's');
    ASSERT_TRUE(f.list->EditorVisible());
    ASSERT_NE(f.edit(), nullptr);
    EXPECT_EQ(f.edit()->text(), "shell32.dll");
    EXPECT_EQ(f.edit()->selectedText(), "hell32.dll");
    EXPECT_EQ(f.edit()->geometry().top(), f.list->viewport()->geometry().top());
    EXPECT_EQ(f.edit()->width(), f.list->viewport()->width());

    QTest::keyClick(f.edit(), 'h');  // replaces the completion and completes again
    EXPECT_EQ(f.edit()->text(), "shell32.dll");
    EXPECT_EQ(f.edit()->selectedText(), "ell32.dll");

    QTest::keyClick(f.edit(), Qt::Key_Return);
    EXPECT_EQ(f.list->ItemIndex(), 1);
    EXPECT_EQ(f.clicks, 1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.list->EditorVisible());
    EXPECT_EQ(f.list->Editor(), nullptr);
    EXPECT_TRUE(f.list->hasFocus());
}

TEST(KXListBox, BackspaceNeverCompletesAndEnterWithoutMatchKeepsTheEdit)
{
    ListFixture f;
    QTest::keyClick(f.list.get(), 's');
    QTest::keyClick(f.edit(), Qt::Key_Backspace);  // removes the completion
    EXPECT_EQ(f.edit()->text(), "s");
    QTest::keyClick(f.edit(), Qt::Key_Backspace);
    EXPECT_EQ(f.edit()->text(), "");
    QTest::keyClicks(f.edit(), "zq");
    EXPECT_EQ(f.edit()->text(), "zq");
    QTest::keyClick(f.edit(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.list->ItemIndex(), -1);
    EXPECT_EQ(f.clicks, 0);
    ASSERT_TRUE(f.list->EditorVisible());
    EXPECT_EQ(f.edit()->text(), "zq");
    // An exact name selects the whole text instead of completing.
    f.edit()->clear();
    QTest::keyClicks(f.edit(), "user32.dll");
    EXPECT_EQ(f.edit()->selectedText(), "user32.dll");
}

// Once the completion is let go (End, F2) the caret sits after the whole
// name: Backspace takes one character off it and completes nothing, and
// what it deleted is no growth to complete from either.
TEST(KXListBox, BackspaceAfterAnAcceptedCompletionCompletesNothing)
{
    for (Qt::Key accept : {Qt::Key_End, Qt::Key_F2}) {
        SCOPED_TRACE(accept);
        ListFixture f;
        QTest::keyClick(f.list.get(), 's');
        ASSERT_EQ(f.edit()->selectedText(), "hell32.dll");
        QTest::keyClick(f.edit(), accept);
        EXPECT_FALSE(f.edit()->hasSelectedText());
        QTest::keyClick(f.edit(), Qt::Key_Backspace);
        EXPECT_EQ(f.edit()->text(), "shell32.dl");
        EXPECT_FALSE(f.edit()->hasSelectedText());
        QTest::keyClick(f.edit(), Qt::Key_Backspace);
        EXPECT_EQ(f.edit()->text(), "shell32.d");
        EXPECT_FALSE(f.edit()->hasSelectedText());
        // Typing on completes again from what is there.
        QTest::keyClick(f.edit(), 'l');
        EXPECT_EQ(f.edit()->text(), "shell32.dll");
        EXPECT_EQ(f.edit()->selectedText(), "l");
    }
    // A selected completion that Backspace removes leaves the typed part,
    // and the next character completes from it.
    ListFixture f;
    QTest::keyClick(f.list.get(), 's');
    QTest::keyClick(f.edit(), Qt::Key_Backspace);
    EXPECT_EQ(f.edit()->text(), "s");
    QTest::keyClick(f.edit(), 'h');
    EXPECT_EQ(f.edit()->text(), "shell32.dll");
    EXPECT_EQ(f.edit()->selectedText(), "ell32.dll");
}

TEST(KXListBox, KeysThatDoNotOpenTheEdit)
{
    // The texts the window system gives these keys.
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* text;
    };
    for (const Case& c :
         {Case {Qt::Key_Space, Qt::NoModifier, " "}, Case {Qt::Key_Escape, Qt::NoModifier, "\x1b"},
          Case {Qt::Key_Return, Qt::NoModifier, "\r"}, Case {Qt::Key_Backspace, Qt::NoModifier, "\b"},
          Case {Qt::Key_S, Qt::ControlModifier, "\x13"}, Case {Qt::Key_Delete, Qt::NoModifier, "\x7f"},
          Case {Qt::Key_W, Qt::AltModifier, "w"}}) {
        ListFixture f;
        QKeyEvent press(QEvent::KeyPress, c.key, c.mods, QString::fromLatin1(c.text));
        QCoreApplication::sendEvent(f.list.get(), &press);
        EXPECT_FALSE(f.list->EditorVisible()) << c.key;
    }
    ListFixture off;
    off.list->SetDirectSearch(false);
    QTest::keyClick(off.list.get(), 's');
    EXPECT_FALSE(off.list->EditorVisible());
    EXPECT_EQ(off.list->ItemIndex(), -1);  // nor does the view's own type-ahead run
}

TEST(KXListBox, TheOpenEditKeepsTheArrowAndPageKeys)
{
    ListFixture f(manyModules());
    f.list->SetItemIndex(3);
    QTest::keyClick(f.list.get(), 'a');
    ASSERT_TRUE(f.list->EditorVisible());
    EXPECT_EQ(f.edit()->text(), "a01.dll");
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_PageDown, Qt::Key_PageUp}) {
        QTest::keyClick(f.edit(), key);
        EXPECT_EQ(f.list->ItemIndex(), 3) << key;
        EXPECT_EQ(f.list->TopIndex(), 0) << key;
        ASSERT_TRUE(f.list->EditorVisible()) << key;
    }
    EXPECT_EQ(f.clicks, 0);
    EXPECT_EQ(f.edit()->text(), "a01.dll");
}

TEST(KXListBox, EscClickAndFocusLossCloseTheEdit)
{
    ListFixture f;
    QTest::keyClick(f.list.get(), 'u');
    QTest::keyClick(f.edit(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.list->EditorVisible());
    EXPECT_TRUE(f.list->hasFocus());

    QTest::keyClick(f.list.get(), 'u');
    ASSERT_TRUE(f.list->EditorVisible());
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, QPoint(5, 150));
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.list->EditorVisible());

    QTest::keyClick(f.list.get(), 'u');
    ASSERT_TRUE(f.list->EditorVisible());
    f.edit()->clearFocus();
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.list->EditorVisible());
}

// The right and the middle button close the edit as any click does, and
// select nothing: the owner, told only of left clicks, would show another
// item than the selected one.
TEST(KXListBox, OnlyTheLeftButtonSelects)
{
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(int(button));
        ListFixture f;
        const auto centre = [&](int i) { return f.list->visualItemRect(f.list->item(i)).center(); };
        QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, centre(1));
        ASSERT_EQ(f.list->ItemIndex(), 1);
        ASSERT_EQ(f.clicks, 1);
        const auto unmoved = [&] {
            EXPECT_EQ(f.list->ItemIndex(), 1);
            EXPECT_EQ(f.list->currentRow(), 1);
            EXPECT_EQ(f.list->selectedItems(), QList<QListWidgetItem*> {f.list->item(1)});
            EXPECT_EQ(f.clicks, 1);
        };

        QTest::keyClick(f.list.get(), 'u');
        ASSERT_TRUE(f.list->EditorVisible());
        QTest::mouseClick(f.list->viewport(), button, {}, centre(3));
        QCoreApplication::processEvents();
        EXPECT_FALSE(f.list->EditorVisible());
        EXPECT_TRUE(f.list->hasFocus());
        unmoved();
        for (int i : {2, 1, 0}) {
            SCOPED_TRACE(i);
            QTest::mouseClick(f.list->viewport(), button, {}, centre(i));
            unmoved();
            QTest::mouseDClick(f.list->viewport(), button, {}, centre(i));
            unmoved();
        }

        QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, centre(3));
        EXPECT_EQ(f.list->ItemIndex(), 3);
        EXPECT_EQ(f.clicks, 2);
    }
}

// Every way the edit is hidden from inside one of its own handlers, with
// the list scrolled: the edit lives until the handler has returned.
TEST(KXListBox, TheEditOutlivesTheHandlerThatHidesIt)
{
    enum class Way { Enter, EnterClearing, TabScrolling, Esc, FocusLoss };
    for (Way way : {Way::Enter, Way::EnterClearing, Way::TabScrolling, Way::Esc, Way::FocusLoss}) {
        SCOPED_TRACE(static_cast<int>(way));
        ListFixture f(manyModules());
        if (way != Way::Enter && way != Way::EnterClearing)
            f.list->SetTopIndex(20);
        if (way == Way::EnterClearing)
            f.list->OnClick = [&](QObject*) {
                ++f.clicks;
                f.list->Clear();
            };
        f.list->OnKeyDown = [&](QObject*, int, Qt::KeyboardModifiers) { f.list->SetTopIndex(5); };
        QTest::keyClick(f.list.get(), 'w');
        ASSERT_TRUE(f.list->EditorVisible());
        EXPECT_EQ(f.edit()->text(), "winecfg.exe");
        const QPointer<QLineEdit> edit = f.edit();
        switch (way) {
        case Way::Enter:
        case Way::EnterClearing: QTest::keyClick(edit, Qt::Key_Return); break;
        case Way::TabScrolling: QTest::keyClick(edit, Qt::Key_Tab); break;
        case Way::Esc: QTest::keyClick(edit, Qt::Key_Escape); break;
        case Way::FocusLoss: edit->clearFocus(); break;
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(f.list->EditorVisible());
        EXPECT_EQ(f.list->Editor(), nullptr);
        EXPECT_TRUE(edit.isNull());
        if (way == Way::Enter) {
            EXPECT_EQ(f.list->ItemIndex(), 40);
            EXPECT_EQ(f.clicks, 1);
            EXPECT_TRUE(f.list->hasFocus());
        }
    }
}

// A shown list that a search fills past its height gets its vertical bar
// then: the items must narrow to the viewport left beside it.
TEST(KXListBox, FillingPastTheHeightGrowsNoHorizontalBar)
{
    ListFixture f(QStringList {});
    f.list->BeginUpdate();
    for (const QString& s : manyModules())
        f.list->AddItem(s);
    f.list->EndUpdate();
    QCoreApplication::processEvents();
    ASSERT_TRUE(f.list->verticalScrollBar()->isVisible());
    EXPECT_FALSE(f.list->horizontalScrollBar()->isVisible());
    EXPECT_EQ(f.list->horizontalScrollBar()->maximum(), 0);
    EXPECT_LE(f.list->visualItemRect(f.list->item(0)).right(), f.list->viewport()->rect().right());
    // Emptied and filled again, and narrowed once filled.
    f.list->Clear();
    for (const QString& s : manyModules())
        f.list->AddItem(s);
    f.list->resize(150, 200);
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.list->horizontalScrollBar()->isVisible());
    EXPECT_LE(f.list->visualItemRect(f.list->item(0)).right(), f.list->viewport()->rect().right());
}

TEST(KXListBox, FilterMatchesCaseAndRestores)
{
    ListFixture f({"b.exe", "a.dll", "c.DLL", "shell32.dll"});
    TDBObjectAttrs attrs;
    attrs.ObjectType = 7;
    attrs.ObjectOwner = "me";
    f.list->AddItem("z.dll", QVariant::fromValue(attrs));
    f.list->SetItemIndex(1);  // a.dll
    f.list->SetFilter("*.dll");
    EXPECT_EQ(f.list->ItemStrings(), (QStringList {"a.dll", "shell32.dll", "z.dll"}));
    EXPECT_EQ(f.list->AllItems().size(), 5u);
    EXPECT_EQ(f.list->ItemIndex(), 0);
    const TDBObjectAttrs carried = f.list->item(2)->data(Qt::UserRole + 1).value<TDBObjectAttrs>();
    EXPECT_EQ(carried.ObjectType, 7);
    EXPECT_EQ(carried.ObjectOwner, "me");

    f.list->SetFilter("");
    EXPECT_EQ(f.list->ItemStrings(), (QStringList {"b.exe", "a.dll", "c.DLL", "shell32.dll", "z.dll"}));
    EXPECT_TRUE(f.list->AllItems().empty());
    EXPECT_EQ(f.list->ItemIndex(), 1);

    f.list->SetFilter("*.DLL");
    EXPECT_EQ(f.list->ItemStrings(), (QStringList {"c.DLL"}));
    f.list->ClearFull();
    EXPECT_EQ(f.list->count(), 0);
    EXPECT_TRUE(f.list->AllItems().empty());
    EXPECT_EQ(f.list->Filter(), "");
}

TEST(KXListBox, HotItemFollowsAltArrowsAndDraws)
{
    ListFixture f;
    f.list->SetShowAlterItem(true);
    EXPECT_EQ(f.list->AlterIndex(), -1);
    QTest::keyClick(f.list.get(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(f.list->AlterIndex(), -1);
    QTest::keyClick(f.list.get(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(f.list->AlterIndex(), 0);
    QTest::keyClick(f.list.get(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(f.list->AlterIndex(), 0);
    QTest::keyClick(f.list.get(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(f.list->AlterIndex(), 1);
    EXPECT_EQ(f.list->ItemIndex(), -1);  // the selection stays

    const QRect r(0, 0, 100, 18);
    auto draw = [&](int index) {
        QImage img(100, 18, QImage::Format_RGB32);
        QPainter p(&img);
        f.list->DrawItem(p, index, r, 0, Qt::white, Qt::black);
        return img;
    };
    EXPECT_EQ(draw(1).pixelColor(50, 0), f.list->palette().color(QPalette::Highlight));  // looks selected
    f.list->SetItemIndex(3);
    EXPECT_EQ(draw(1).pixelColor(50, 0), QColor(Qt::red));  // outlined
    EXPECT_EQ(draw(1).pixelColor(99, 10), QColor(Qt::red));
    EXPECT_EQ(draw(1).pixelColor(50, 10), QColor(Qt::white));
    EXPECT_EQ(draw(0).pixelColor(50, 0), QColor(Qt::white));  // not hot
    f.list->Clear();
    EXPECT_EQ(f.list->AlterIndex(), -1);
}

TEST(KXListBox, HintOnlyForItemsTooWide)
{
    ListFixture f({"short", QString(80, u'w')});
    QString text;
    QRect rect;
    QPoint global;
    const int h = f.list->ItemHeight();
    EXPECT_FALSE(f.list->HintFor(QPoint(5, h / 2), text, rect, global));
    ASSERT_TRUE(f.list->HintFor(QPoint(5, h + h / 2), text, rect, global));
    EXPECT_EQ(text, QString(80, u'w'));
    EXPECT_EQ(rect.left(), 0);
    EXPECT_EQ(rect.top(), h);
    EXPECT_EQ(global, f.list->viewport()->mapToGlobal(QPoint(0, h)));

    // The owner's indent and text count.
    f.list->OnGetItemParams = [](QObject*, int index, TOwnerDrawState state, QFont&, QColor&, QImage* bmp,
                                 int& offset, QString& s) {
        EXPECT_EQ(state, odHintState);
        EXPECT_EQ(bmp, nullptr);
        offset = 20;
        if (index == 0)
            s = QString(60, u'm');
    };
    ASSERT_TRUE(f.list->HintFor(QPoint(5, h / 2), text, rect, global));
    EXPECT_EQ(text, QString(60, u'm'));
    EXPECT_EQ(rect.left(), 18);
    EXPECT_FALSE(f.list->HintFor(QPoint(5, 10 * h), text, rect, global));  // no item there
}

// The visible hint windows.
QList<QWidget*> shownHints()
{
    QList<QWidget*> hints;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::ToolTip)
            hints << w;
    return hints;
}

TEST(KXListBox, TheHintLiesOverTheTextAndStaysWhileThePointerIsInTheItem)
{
    ListFixture f({"short", QString(80, u'w'), "other"});
    f.list->OnGetItemParams = [](QObject*, int, TOwnerDrawState, QFont&, QColor&, QImage*, int& offset,
                                 QString&) { offset = 20; };
    QWidget* viewport = f.list->viewport();
    const int h = f.list->ItemHeight();
    auto pointAt = [&](QPoint p) {
        QHelpEvent help(QEvent::ToolTip, p, viewport->mapToGlobal(p));
        QCoreApplication::sendEvent(viewport, &help);
    };
    auto moveTo = [&](QPoint p) {
        QMouseEvent move(QEvent::MouseMove, p, viewport->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
    };

    QCursor::setPos(viewport->mapToGlobal(QPoint(150, h + 3)));
    pointAt(QPoint(150, h + 3));
    QList<QWidget*> hints = shownHints();
    ASSERT_EQ(hints.size(), 1);
    QWidget* hint = hints.front();
    EXPECT_EQ(hint->pos(), viewport->mapToGlobal(QPoint(18, h)));
    // It lies under the pointer, which must stay with the list.
    EXPECT_TRUE(hint->windowFlags() & Qt::WindowTransparentForInput);
    // Mapping it there makes the window system report that the pointer left
    // the list, which it has not.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(viewport, &leave);
    QTest::qWait(400);
    for (QPoint p : {QPoint(18, h), QPoint(viewport->width() - 1, 2 * h - 1), QPoint(60, h + 5)}) {
        moveTo(p);
        EXPECT_EQ(shownHints(), QList<QWidget*> {hint}) << p.x() << "," << p.y();
        EXPECT_EQ(hint->pos(), viewport->mapToGlobal(QPoint(18, h)));
    }

    moveTo(QPoint(60, 2 * h + 3));  // the next item
    EXPECT_TRUE(shownHints().isEmpty());
    pointAt(QPoint(60, h + 3));
    moveTo(QPoint(10, h + 3));  // the picture, left of the text
    EXPECT_TRUE(shownHints().isEmpty());
    pointAt(QPoint(60, h + 3));
    ASSERT_EQ(shownHints().size(), 1);
    QCursor::setPos(viewport->mapToGlobal(QPoint(60, -50)));
    QCoreApplication::sendEvent(viewport, &leave);
    EXPECT_TRUE(shownHints().isEmpty());
    pointAt(QPoint(60, h / 2));  // the short item: no hint
    EXPECT_TRUE(shownHints().isEmpty());
}

}  // namespace

namespace {

TEST(KXListBox, DroppedFilesReachTheOwnerCutTo260)
{
    ListFixture f;
    const QString longName = "/" + QString(300, u'n');
    QStringList got;
    QPoint at;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/a.dll"), QUrl::fromLocalFile(longName)});
    QDropEvent drop(QPointF(7, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    f.list->OnDropFiles = [&](QObject* sender, int x, int y, const QStringList& files) {
        EXPECT_EQ(sender, f.list.get());
        at = QPoint(x, y);
        got = files;
    };
    f.list->DragAcceptFiles(true);
    QDragEnterEvent enter(QPoint(7, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.list->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QCoreApplication::sendEvent(f.list->viewport(), &drop);
    EXPECT_EQ(at, QPoint(7, 9));
    EXPECT_EQ(got, (QStringList {"/tmp/a.dll", longName.left(260)}));
}

}  // namespace
