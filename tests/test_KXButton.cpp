// The soft, pop-up and push buttons, driven with mouse and key events.
#include "kxCommon/KXButton.h"

#include "platform/CanvasDraw.h"

#include "HangGuard.h"
#include "TestApplication.h"

#include <QCursor>
#include <QDialog>
#include <QEnterEvent>
#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

void flush()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

class Buttons : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        saved_ = QApplication::palette();
        QApplication::setPalette(platform::classicPalette());
        window = std::make_unique<QWidget>();
        window->resize(240, 160);
    }
    void TearDown() override
    {
        window.reset();
        QApplication::setPalette(saved_);
    }
    void show()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), kHangGuard));
    }
    template <typename Button> Button* add(QWidget* parent, int x, int w = 27)
    {
        auto* b = new Button(parent);
        b->setGeometry(x, 10, w, 27);
        b->show();
        b->OnClick
            = [this](QObject* sender) { events.push_back("click " + sender->objectName().toStdString()); };
        return b;
    }

    std::unique_ptr<QWidget> window;
    std::vector<std::string> events;

private:
    QPalette saved_;
};

enum Kind { Press, Move, Release };
struct Step {
    Kind kind;
    QPoint at;
    int state = -1;  // the state expected after the step, -1 for any
};

}  // namespace

TEST_F(Buttons, SoftButtonStateMachine)
{
    struct Case {
        const char* what;
        int group;
        bool allowAllUp;
        bool startDown;
        std::vector<Step> steps;
        size_t clicks;
        bool down;
        TkxButtonState state;
    };
    const QPoint in(13, 13);
    const std::vector<Step> click = {{Press, in, bsDown}, {Release, in}};
    const Case cases[] = {
        {"click", 0, false, false, click, 1, false, bsUp},
        {"drag out and back in",
         0,
         false,
         false,
         {{Press, in, bsDown}, {Move, {40, 13}, bsUp}, {Move, in, bsDown}, {Release, in}},
         1,
         false,
         bsUp},
        {"release on the row Y = ClientHeight",
         0,
         false,
         false,
         {{Press, in}, {Release, {13, 27}}},
         1,
         false,
         bsUp},
        {"release a row lower", 0, false, false, {{Press, in}, {Release, {13, 28}}}, 0, false, bsUp},
        {"release right of it", 0, false, false, {{Press, in}, {Release, {27, 13}}}, 0, false, bsUp},
        {"group: a click holds it down", 1, false, false, click, 1, true, bsExclusive},
        {"group: the down button stays down",
         1,
         false,
         true,
         {{Press, in, bsExclusive}, {Move, {40, 13}, bsExclusive}, {Release, in}},
         1,
         true,
         bsExclusive},
        {"group, all up allowed: a click releases it",
         1,
         true,
         true,
         {{Press, in, bsExclusive}, {Release, in}},
         1,
         false,
         bsUp},
        {"group: released outside", 1, true, true, {{Press, in}, {Release, {60, 13}}}, 0, true, bsExclusive},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        events.clear();
        auto* b = add<TkxSoftButton>(window.get(), 10);
        b->SetGroupIndex(c.group);
        b->SetAllowAllUp(true);
        b->SetDown(c.startDown);
        b->SetAllowAllUp(c.allowAllUp);
        show();
        for (const Step& s : c.steps) {
            switch (s.kind) {
            case Press: QTest::mousePress(b, Qt::LeftButton, {}, s.at); break;
            case Move: QTest::mouseMove(b, s.at); break;
            case Release: QTest::mouseRelease(b, Qt::LeftButton, {}, s.at); break;
            }
            if (s.state >= 0) {
                EXPECT_EQ(b->State(), s.state) << s.at.x() << "," << s.at.y();
            }
        }
        EXPECT_EQ(events.size(), c.clicks);
        EXPECT_EQ(b->Down(), c.down);
        EXPECT_EQ(b->State(), c.state);
        delete b;
    }
}

TEST_F(Buttons, GroupsKeepOneMemberDown)
{
    auto* a = add<TkxSoftButton>(window.get(), 10);
    auto* b = add<TkxSoftButton>(window.get(), 40);
    auto* c = add<TkxSoftButton>(window.get(), 70);
    auto* other = new QWidget(window.get());
    auto* elsewhere = add<TkxSoftButton>(other, 0);
    for (TkxSoftButton* x : {a, b, c, elsewhere})
        x->SetGroupIndex(1);
    c->SetGroupIndex(2);
    show();

    // A button without a group never stays down.
    auto* loose = add<TkxSoftButton>(window.get(), 100);
    loose->SetDown(true);
    EXPECT_FALSE(loose->Down());

    a->SetDown(true);
    c->SetDown(true);
    elsewhere->SetDown(true);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(13, 13));
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    EXPECT_EQ(a->State(), bsUp);
    EXPECT_TRUE(c->Down()) << "another group";
    EXPECT_TRUE(elsewhere->Down()) << "another parent";

    // Writing False does not release a down member while all up is not allowed...
    b->SetDown(false);
    EXPECT_TRUE(b->Down());
    // ...and every member takes over the group's AllowAllUp.
    a->SetAllowAllUp(true);
    EXPECT_TRUE(b->AllowAllUp());
    EXPECT_FALSE(c->AllowAllUp());
    b->SetDown(false);
    EXPECT_FALSE(b->Down());
}

TEST_F(Buttons, DisabledAndOtherMouseButtonsDoNotPress)
{
    auto* b = add<TkxSoftButton>(window.get(), 10);
    int downs = 0;
    b->OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++downs; };
    show();
    QTest::mouseClick(b, Qt::RightButton, {}, QPoint(13, 13));
    EXPECT_EQ(downs, 1);
    EXPECT_TRUE(events.empty());
    b->setEnabled(false);
    EXPECT_EQ(b->State(), bsDisabled);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(13, 13));
    EXPECT_TRUE(events.empty());
    b->setEnabled(true);
    EXPECT_EQ(b->State(), bsUp);
}

TEST_F(Buttons, DoubleClickOnADownButton)
{
    auto* b = add<TkxSoftButton>(window.get(), 10);
    b->SetGroupIndex(1);
    int doubles = 0;
    b->OnDblClick = [&](QObject*) { ++doubles; };
    show();
    // QTest sends the second press of a double click alone.
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(13, 13));
    EXPECT_EQ(doubles, 0);
    QTest::mouseDClick(b, Qt::LeftButton, {}, QPoint(13, 13));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(13, 13));
    EXPECT_EQ(doubles, 1);
    EXPECT_TRUE(b->Down());
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(Buttons, HotTrackingRepaintsFlatButtons)
{
    auto* flat = add<TkxSoftButton>(window.get(), 10);
    flat->SetFlat(true);
    auto* plain = add<TkxSoftButton>(window.get(), 60);
    show();
    for (TkxSoftButton* b : {flat, plain}) {
        PaintCounter counter;
        b->installEventFilter(&counter);
        QTest::mouseMove(window.get(), b->geometry().center());
        flush();
        EXPECT_TRUE(b->Hot());
        EXPECT_EQ(counter.count > 0, b == flat);
        counter.count = 0;
        QTest::mouseMove(window.get(), QPoint(200, 150));
        flush();
        EXPECT_FALSE(b->Hot());
        EXPECT_EQ(counter.count > 0, b == flat);
        b->removeEventFilter(&counter);
    }
    // Flat at rest the face shows only the parent; hot, its outline.
    QTest::mouseMove(window.get(), flat->geometry().center());
    flush();
    const QImage hot = window->grab(flat->geometry()).toImage();
    QTest::mouseMove(window.get(), QPoint(200, 150));
    flush();
    const QImage rest = window->grab(flat->geometry()).toImage();
    EXPECT_EQ(rest.pixelColor(13, 0), window->palette().color(QPalette::Window));
    EXPECT_EQ(hot.pixelColor(13, 0), QColor(64, 64, 64));
}

TEST_F(Buttons, AfterAClickTheCursorDecidesWhetherTheButtonIsHot)
{
    auto* b = add<TkxSoftButton>(window.get(), 10);
    b->SetFlat(true);
    show();
    const QPoint in(13, 13);
    const QPoint saved = QCursor::pos();  // later tests expect the cursor where it was
    for (bool cursorStays : {false, true}) {
        SCOPED_TRACE(cursorStays);
        // The click's handler runs a modal box, during which the cursor may
        // leave; the release point is then no longer where the cursor is.
        const QPoint away = window->mapToGlobal(QPoint(200, 140));
        QCursor::setPos(cursorStays ? b->mapToGlobal(in) : away);
        flush();
        QTest::mouseClick(b, Qt::LeftButton, {}, in);
        EXPECT_EQ(b->Hot(), cursorStays);
        flush();
        EXPECT_EQ(b->Hot(), cursorStays);
    }
    QCursor::setPos(saved);
    flush();
}

TEST_F(Buttons, GlyphGuessesItsCellCount)
{
    auto* b = add<TkxSoftButton>(window.get(), 10);
    b->SetNumGlyphs(3);
    struct Case {
        int w, h, expected;
    };
    for (const Case& c :
         {Case {50, 20, 3}, Case {100, 20, 5}, Case {120, 20, 1}, Case {60, 20, 3}, Case {16, 16, 1}}) {
        QImage glyph(c.w, c.h, QImage::Format_ARGB32);
        b->SetGlyph(glyph);
        EXPECT_EQ(b->NumGlyphs(), c.expected) << c.w << "x" << c.h;
    }
    b->SetNumGlyphs(9);
    EXPECT_EQ(b->NumGlyphs(), 5);
    b->SetNumGlyphs(0);
    EXPECT_EQ(b->NumGlyphs(), 1);
}

// A glyph given as a drawing is drawn once, when the button is first
// painted: a window that is never shown draws none.
TEST_F(Buttons, GlyphDrawnWhenFirstPainted)
{
    auto* b = add<TkxSoftButton>(window.get(), 10);
    int drawn = 0;
    b->SetGlyph(
        [&drawn] {
            ++drawn;
            QImage strip(48, 16, QImage::Format_ARGB32);
            strip.fill(Qt::transparent);
            QPainter(&strip).fillRect(4, 4, 8, 8, Qt::red);
            return strip;
        },
        3);
    EXPECT_EQ(b->NumGlyphs(), 3);
    flush();
    EXPECT_EQ(drawn, 0);
    show();
    const QImage face = b->grab().toImage();
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(b->Glyph().size(), QSize(48, 16));
    EXPECT_EQ(drawn, 1);
    bool sawRed = false;
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            sawRed = sawRed || face.pixel(x, y) == qRgb(255, 0, 0);
    EXPECT_TRUE(sawRed);
}

TEST_F(Buttons, AcceleratorClicks)
{
    auto* b = add<TkxSoftButton>(window.get(), 10, 80);
    b->SetCaption(QStringLiteral("&Go"));
    show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), kHangGuard));
    QTest::keyClick(window.get(), Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(events.size(), 1u);
    b->setEnabled(false);
    QTest::keyClick(window.get(), Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(Buttons, DropDownPartIs13Or14PixelsWide)
{
    TkxPopupButton b(window.get());
    b.resize(31, 27);
    EXPECT_EQ(b.DropDownWidth(), 13);
    b.resize(32, 27);
    EXPECT_EQ(b.DropDownWidth(), 14);
}

TEST_F(Buttons, PopupButtonParts)
{
    struct Case {
        const char* what;
        bool separate;
        QPoint press, release;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"separate: the part drops down only", true, {33, 13}, {33, 13}, {"popup"}},
        {"separate: released outside the part", true, {33, 13}, {60, 13}, {}},
        {"separate: the main part clicks only", true, {10, 13}, {10, 13}, {"down", "click "}},
        {"one piece: a click, then the drop-down", false, {33, 13}, {33, 13}, {"down", "click ", "popup"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        events.clear();
        auto* b = add<TkxPopupButton>(window.get(), 10, 40);
        b->SetSeparateDropDown(c.separate);
        b->OnMouseDown = [this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            events.push_back("down");
        };
        b->OnPopup = [this](QObject*, bool& handled) {
            events.push_back("popup");
            handled = true;
        };
        show();
        QTest::mousePress(b, Qt::LeftButton, {}, c.press);
        if (c.separate && c.press.x() > 26) {
            EXPECT_EQ(b->State(), bsDropDown);
        }
        QTest::mouseMove(b, c.release);
        QTest::mouseRelease(b, Qt::LeftButton, {}, c.release);
        EXPECT_EQ(events, c.expected);
        EXPECT_EQ(b->State(), bsUp);
        delete b;
    }
}

TEST_F(Buttons, PopupShowsItsComponentUnlessHandled)
{
    auto* bar = new QWidget(window.get());
    bar->setGeometry(20, 30, 200, 40);
    auto* b = add<TkxPopupButton>(bar, 10, 40);
    QMenu menu;
    menu.addAction(QStringLiteral("Item"));
    b->SetDropDownComponent(&menu);
    bool handle = true;
    b->OnPopup = [&](QObject*, bool& handled) { handled = handle; };
    show();

    b->Popup();
    EXPECT_FALSE(menu.isVisible());
    handle = false;
    b->Popup();
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), bar->mapToGlobal(QPoint(10, 37)));
    menu.close();

    // A panel inside the window lands under the button, in its own parent's coordinates.
    auto* panel = new QFrame(window.get());
    panel->setGeometry(0, 0, 50, 50);
    panel->hide();
    b->SetDropDownComponent(panel);
    b->Popup();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->pos(), QPoint(30, 67));

    // A component that is gone shows nothing.
    delete panel;
    b->Popup();
}

TEST_F(Buttons, PushButtonCaptionAndFocus)
{
    auto* layout = new QVBoxLayout(window.get());
    auto* ok = new TKXButton(QStringLiteral("Button"), window.get());
    auto* other = new TKXButton(QStringLiteral("Button"), window.get());
    for (TKXButton* b : {ok, other}) {
        b->setFixedSize(90, 27);
        layout->addWidget(b);
    }
    show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), kHangGuard));
    using Match = bool (*)(QColor);
    const auto count = [](const QImage& image, Match match) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += match(image.pixelColor(x, y));
        return n;
    };
    const Match black = [](QColor c) { return c.red() < 90 && c.green() < 90 && c.blue() < 90; };
    const Match red = [](QColor c) { return c.red() > 150 && c.green() < 90 && c.blue() < 90; };
    const Match selection = [](QColor c) { return c == QColor(10, 36, 106); };

    // The default button's caption is bold.
    const int regular = count(other->grab().toImage(), black);
    ok->SetDefault(true);
    const int bold = count(ok->grab().toImage(), black);
    EXPECT_GT(bold, regular);

    // Focused: the focus lines, and the caption red only with DoFocusText.
    other->setFocus();
    flush();
    ASSERT_TRUE(other->hasFocus());
    QImage image = other->grab().toImage();
    EXPECT_EQ(count(image, red), 0);
    EXPECT_GE(count(image, selection), 2 * (90 - 4 - 4));
    other->SetDoFocusText(true);
    image = other->grab().toImage();
    EXPECT_GT(count(image, red), 10);
    other->SetDrawFocus(false);
    EXPECT_EQ(count(other->grab().toImage(), selection), 0);
}

TEST_F(Buttons, TheDefaultCaptionStaysBoldWhereverTheFocusIs)
{
    QDialog dialog;
    dialog.setPalette(platform::classicPalette());
    auto* edit = new QFrame(&dialog);
    edit->setFocusPolicy(Qt::StrongFocus);
    auto* ok = new TKXButton(QStringLiteral("OK"), &dialog);
    ok->SetDefault(true);
    auto* cancel = new TKXButton(QStringLiteral("Cancel"), &dialog);
    auto* layout = new QVBoxLayout(&dialog);
    for (QWidget* w : {static_cast<QWidget*>(edit), static_cast<QWidget*>(ok), static_cast<QWidget*>(cancel)})
        layout->addWidget(w);
    for (TKXButton* b : {ok, cancel})
        b->setFixedSize(90, 27);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, kHangGuard));
    const auto ink = [](TKXButton* b) {
        const QImage image = b->grab().toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += c.red() < 90 && c.green() < 90 && c.blue() < 90;
            }
        return n;
    };
    // The same captions drawn regular, for comparison.
    TKXButton plainOk(QStringLiteral("OK")), plainCancel(QStringLiteral("Cancel"));
    for (TKXButton* b : {&plainOk, &plainCancel})
        b->setFixedSize(90, 27);
    const int okRegular = ink(&plainOk), cancelRegular = ink(&plainCancel);

    for (QWidget* focus : {static_cast<QWidget*>(edit), static_cast<QWidget*>(cancel),
                           static_cast<QWidget*>(ok), static_cast<QWidget*>(edit)}) {
        focus->setFocus(Qt::TabFocusReason);
        flush();
        ASSERT_TRUE(focus->hasFocus());
        EXPECT_TRUE(ok->Default());
        EXPECT_FALSE(cancel->Default());
        EXPECT_GT(ink(ok), okRegular) << "OK bold, focus on " << focus->metaObject()->className();
        EXPECT_EQ(ink(cancel), cancelRegular) << "Cancel regular";
    }
}

TEST_F(Buttons, PushButtonRepaintsOnlyWhatShows)
{
    auto* b = new TKXButton(QStringLiteral("Button"), window.get());
    b->setGeometry(10, 10, 90, 27);
    show();
    b->clearFocus();
    flush();
    ASSERT_FALSE(b->hasFocus());
    PaintCounter counter;
    b->installEventFilter(&counter);
    struct Case {
        const char* what;
        std::function<void()> write;
        bool repaints;
    };
    const Case cases[] = {
        {"HiLightColor, not hot", [&] { b->SetHiLightColor(platform::clWhite); }, false},
        {"FocusedTextColor, not focused", [&] { b->SetFocusedTextColor(platform::clBlack); }, false},
        {"DoFocusText, not focused", [&] { b->SetDoFocusText(true); }, false},
        {"DrawFocus, not focused", [&] { b->SetDrawFocus(false); }, false},
        {"HilightMode", [&] { b->SetHilightMode(bhmTextGrey); }, false},
        {"the same Color", [&] { b->SetColor(platform::clBtnFace); }, false},
        {"LeftText", [&] { b->SetLeftText(true); }, true},
        {"Color", [&] { b->SetColor(platform::clWhite); }, true},
        {"Flat", [&] { b->SetFlat(true); }, true},
        {"Shadowed", [&] { b->SetShadowed(false); }, true},
        {"EdgeType", [&] { b->SetEdgeType(efRect); }, true},
        {"NumGlyphs", [&] { b->SetNumGlyphs(2); }, true},
    };
    for (const Case& c : cases) {
        flush();
        counter.count = 0;
        c.write();
        flush();
        EXPECT_EQ(counter.count > 0, c.repaints) << c.what;
    }
    // Entering and leaving repaint only a flat button or one with a highlight mode.
    for (bool flat : {false, true}) {
        b->SetHilightMode(bhmNormal);
        b->SetFlat(flat);
        flush();
        counter.count = 0;
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(b, &enter);
        EXPECT_TRUE(b->Hot());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(b, &leave);
        flush();
        EXPECT_EQ(counter.count > 0, flat) << flat;
    }
    b->removeEventFilter(&counter);
}

TEST_F(Buttons, PushButtonDoubleClickGivesTwoClicks)
{
    auto* b = new TKXButton(QStringLiteral("Button"), window.get());
    b->setGeometry(10, 10, 90, 27);
    int clicks = 0;
    b->OnClick = [&](QObject*) { ++clicks; };
    show();
    // QTest sends the second press of a double click alone.
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseDClick(b, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 2);
}

TEST_F(Buttons, PushButtonsInADialog)
{
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
        QDialog dialog;
        auto* edit = new QFrame(&dialog);
        edit->setFocusPolicy(Qt::StrongFocus);
        auto* ok = new TKXButton(QStringLiteral("OK"), &dialog);
        ok->SetDefault(true);
        ok->SetModalResult(mrOk);
        auto* cancel = new TKXButton(QStringLiteral("Cancel"), &dialog);
        cancel->SetCancel(true);
        cancel->SetModalResult(mrCancel);
        auto* layout = new QVBoxLayout(&dialog);
        for (QWidget* w :
             {static_cast<QWidget*>(edit), static_cast<QWidget*>(ok), static_cast<QWidget*>(cancel)})
            layout->addWidget(w);
        std::string clicked;
        ok->OnClick = [&](QObject*) { clicked += "ok"; };
        cancel->OnClick = [&](QObject*) { clicked += "cancel"; };
        dialog.setResult(-1);
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, kHangGuard));
        edit->setFocus();
        QTest::keyClick(&dialog, static_cast<Qt::Key>(key));
        flush();
        EXPECT_EQ(clicked, key == Qt::Key_Escape ? "cancel" : "ok");
        EXPECT_EQ(dialog.result(), key == Qt::Key_Escape ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
    }
}
