#include "kxCommon/KXCtrl.h"

#include "kxCommon/kxGraphicUtils.h"
#include "platform/AlignedPanel.h"

#include "LeftButtonDrag.h"
#include "TestApplication.h"

#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <set>

using platform::Align;

namespace {

using left_button::move;
using left_button::press;
using left_button::release;

// A 400 x 300 panel: a neighbour and a splitter aligned to one side, and a
// client control filling the rest.
struct SplitFixture {
    QApplication& app = TestApplication();
    platform::AlignedPanel panel;
    QWidget* neighbour;
    TkxSplitter* splitter;
    QLineEdit* client;
    int moved = 0;

    explicit SplitFixture(Align side)
    {
        panel.resize(400, 300);
        neighbour = new QWidget(&panel);
        neighbour->resize(100, 100);
        platform::setAlign(neighbour, side);
        splitter = new TkxSplitter(&panel);
        if (side == Align::Top || side == Align::Bottom)
            splitter->resize(splitter->width(), 3);
        // Placed beyond the neighbour, so the neighbour stays at the edge.
        splitter->move(side == Align::Right ? 0 : 200, side == Align::Bottom ? 0 : 200);
        splitter->SetAlign(side);
        client = new QLineEdit(&panel);
        platform::setAlign(client, Align::Client);
        client->setFocus();
        splitter->OnMoved = [this](QObject*) { ++moved; };
    }
};

TEST(KXCtrl, NewSplitterDefaultsAndCursors)
{
    TestApplication();
    platform::AlignedPanel panel;
    auto* s = new TkxSplitter(&panel);
    EXPECT_EQ(s->width(), 3);
    EXPECT_EQ(s->Align(), Align::Left);
    EXPECT_EQ(s->cursor().shape(), Qt::SplitHCursor);
    EXPECT_EQ(s->MinSize(), 40);
    EXPECT_EQ(s->ResizeStyle(), rsPattern);
    EXPECT_TRUE(s->Transparent());
    EXPECT_EQ(s->Color(), platform::systemColor(platform::SystemColor::ButtonFace));
    s->SetAlign(Align::Top);
    EXPECT_EQ(s->cursor().shape(), Qt::SplitVCursor);
    s->SetAlign(Align::Right);
    EXPECT_EQ(s->cursor().shape(), Qt::SplitHCursor);
    s->setCursor(Qt::PointingHandCursor);
    s->SetAlign(Align::Bottom);
    EXPECT_EQ(s->cursor().shape(), Qt::PointingHandCursor);
}

TEST(KXCtrl, AlignedPanelDocksInOrder)
{
    SplitFixture f(Align::Left);
    EXPECT_EQ(f.neighbour->geometry(), QRect(0, 0, 100, 300));
    EXPECT_EQ(f.splitter->geometry(), QRect(100, 0, 3, 300));
    EXPECT_EQ(f.client->geometry(), QRect(103, 0, 297, 300));
    EXPECT_EQ(f.splitter->FindSizedControl(), f.neighbour);
}

TEST(KXCtrl, DragClampsToMinAndMaxSize)
{
    SplitFixture f(Align::Left);
    press(f.splitter, {1, 5});
    EXPECT_EQ(f.splitter->SizedControl(), f.neighbour);
    EXPECT_TRUE(f.splitter->LineVisible());
    // Max: client width - MinSize - the left-aligned widths + the neighbour.
    EXPECT_EQ(f.splitter->MaxSize(), 400 - 40 - 103 + 100);
    move(f.splitter, {1 - 80, 5});
    EXPECT_EQ(f.splitter->LineRect().left(), 40);  // stopped at MinSize
    move(f.splitter, {1 + 500, 5});
    EXPECT_EQ(f.splitter->LineRect().left(), 357);
    EXPECT_EQ(f.neighbour->width(), 100);  // rsPattern: applied at release
    release(f.splitter, {1 + 500, 5});
    EXPECT_EQ(f.neighbour->width(), 357);
    EXPECT_EQ(f.splitter->x(), 357);
    EXPECT_FALSE(f.splitter->LineVisible());
    EXPECT_EQ(f.moved, 2);  // once for the size, once for the end
}

TEST(KXCtrl, DragBackToASizeTheLayoutChangedSinceIsApplied)
{
    for (const Align side : {Align::Right, Align::Bottom, Align::Left}) {
        SCOPED_TRACE(int(side));
        SplitFixture f(side);
        const bool horizontal = side == Align::Left || side == Align::Right;
        const int sign = side == Align::Right || side == Align::Bottom ? -1 : 1;
        const auto size = [&] { return horizontal ? f.neighbour->width() : f.neighbour->height(); };
        const auto drag = [&](int by) {
            left_button::drag(f.splitter, {1, 1},
                              horizontal ? QPoint(1 + sign * by, 1) : QPoint(1, 1 + sign * by));
        };
        drag(50);
        ASSERT_EQ(size(), 150);
        // Something else shrinks the neighbour, as the window's layout does.
        f.neighbour->resize(horizontal ? 120 : f.neighbour->width(),
                            horizontal ? f.neighbour->height() : 120);
        f.panel.realign();
        f.moved = 0;
        drag(30);
        EXPECT_EQ(size(), 150);
        EXPECT_EQ(f.moved, 2);
        // A drag that ends where it began changes nothing and reports once.
        f.moved = 0;
        drag(0);
        EXPECT_EQ(size(), 150);
        EXPECT_EQ(f.moved, 1);
    }
}

TEST(KXCtrl, RightAlignedNeighbourKeepsItsRightEdge)
{
    SplitFixture f(Align::Right);
    EXPECT_EQ(f.neighbour->geometry(), QRect(300, 0, 100, 300));
    EXPECT_EQ(f.splitter->geometry(), QRect(297, 0, 3, 300));
    f.splitter->SetResizeStyle(rsUpdate);
    press(f.splitter, {1, 5});
    move(f.splitter, {1 - 50, 5});
    EXPECT_EQ(f.neighbour->geometry(), QRect(250, 0, 150, 300));  // live
    release(f.splitter, {1 - 50, 5});
    EXPECT_EQ(f.neighbour->geometry(), QRect(250, 0, 150, 300));
    EXPECT_EQ(f.splitter->geometry(), QRect(247, 0, 3, 300));
    EXPECT_EQ(f.moved, 2);
}

TEST(KXCtrl, BottomAlignedDragMovesTheTopEdge)
{
    SplitFixture f(Align::Bottom);
    EXPECT_EQ(f.neighbour->geometry(), QRect(0, 200, 400, 100));
    press(f.splitter, {5, 1});
    move(f.splitter, {5, 1 - 30});
    release(f.splitter, {5, 1 - 30});
    EXPECT_EQ(f.neighbour->geometry(), QRect(0, 170, 400, 130));
    EXPECT_EQ(f.splitter->geometry(), QRect(0, 167, 400, 3));
}

TEST(KXCtrl, CanResizeRefusesOrChanges)
{
    SplitFixture f(Align::Left);
    f.splitter->OnCanResize = [](QObject*, int&, bool& accept) { accept = false; };
    press(f.splitter, {1, 5});
    const QRect line = f.splitter->LineRect();
    move(f.splitter, {61, 5});
    EXPECT_EQ(f.splitter->LineRect(), line);
    release(f.splitter, {61, 5});
    EXPECT_EQ(f.neighbour->width(), 100);

    f.splitter->OnCanResize = [](QObject*, int& size, bool&) { size = 123; };
    press(f.splitter, {1, 5});
    move(f.splitter, {61, 5});
    release(f.splitter, {61, 5});
    EXPECT_EQ(f.neighbour->width(), 123);
}

TEST(KXCtrl, EscapeEndsTheDragWithoutResizing)
{
    SplitFixture f(Align::Left);
    press(f.splitter, {1, 5});
    move(f.splitter, {61, 5});
    ASSERT_TRUE(f.splitter->LineVisible());
    QTest::keyClick(f.client, Qt::Key_Escape);
    EXPECT_FALSE(f.splitter->LineVisible());
    EXPECT_EQ(f.splitter->SizedControl(), nullptr);
    release(f.splitter, {61, 5});
    EXPECT_EQ(f.neighbour->width(), 100);
    EXPECT_EQ(f.moved, 1);
    // The borrowed keys are given back: typing still reaches the edit.
    QTest::keyClicks(f.client, "ab");
    EXPECT_EQ(f.client->text(), "ab");
}

TEST(KXCtrl, SizeLineInvertsTheParentUnderIt)
{
    SplitFixture f(Align::Left);
    f.panel.setStyleSheet("background: white");
    f.splitter->SetResizeStyle(rsLine);
    press(f.splitter, {1, 5});
    move(f.splitter, {61, 5});
    QImage shot = f.panel.grab().toImage();
    const QRect line = f.splitter->LineRect();
    EXPECT_EQ(line, QRect(160, 0, 3, 300));
    EXPECT_EQ(shot.pixelColor(161, 150), QColor(Qt::black));
    release(f.splitter, {61, 5});
}

TEST(KXCtrl, GripDotsOfAVerticalBar)
{
    TestApplication();
    TkxSplitter s;
    s.resize(3, 172);
    const platform::Color face = platform::rgb(200, 200, 200);
    s.SetColor(face);
    s.SetTransparent(false);
    QImage img(3, 172, QImage::Format_RGB32);
    {
        QPainter p(&img);
        s.PaintTo(p);
    }
    auto c = [](platform::Color v) {
        return qRgb(platform::redOf(v), platform::greenOf(v), platform::blueOf(v));
    };
    for (int y : {94, 90, 86, 82, 78, 74}) {
        SCOPED_TRACE(y);
        EXPECT_EQ(img.pixel(0, y), c(DarkenColor(face, 40)));
        EXPECT_EQ(img.pixel(1, y), c(DarkenColor(face, 80)));
        EXPECT_EQ(img.pixel(0, y + 1), c(DarkenColor(face, 60)));
        EXPECT_EQ(img.pixel(1, y + 1), c(DarkenColor(face, 110)));
        EXPECT_EQ(img.pixel(2, y + 1), qRgb(255, 255, 255));
        EXPECT_EQ(img.pixel(2, y), c(face));  // left alone
    }
    EXPECT_EQ(img.pixel(0, 98), c(face));
    EXPECT_EQ(img.pixel(0, 70), c(face));
}

// ---- 3-D label ----

QImage paintLabel(Tkx3DLabel& label)
{
    QImage img(label.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    label.PaintTo(p);
    return img;
}

std::unique_ptr<Tkx3DLabel> makeLabel(const QString& text, QSize size = {200, 40})
{
    TestApplication();
    auto label = std::make_unique<Tkx3DLabel>();
    QFont font("DejaVu Sans", 16);
    font.setStyleStrategy(QFont::NoAntialias);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    pal.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(pal);
    label->setText(text);
    label->resize(size);
    return label;
}

TEST(KXCtrl, LabelRaisedAndSunkenCopies)
{
    auto label = makeLabel("Wide");
    EXPECT_EQ(label->TextStyle(), tsRaised);
    label->SetTextStyle(tsNone);
    const QImage plain = paintLabel(*label);
    auto ink = [&](int x, int y) { return plain.pixelColor(x, y) == QColor(Qt::black); };
    for (TTextStyle style : {tsRaised, tsSunken}) {
        label->SetTextStyle(style);
        const QImage img = paintLabel(*label);
        auto rgbOf = [](platform::SystemColor s) {
            const platform::Color c = platform::colorToRgb(platform::systemColor(s));
            return QColor(platform::redOf(c), platform::greenOf(c), platform::blueOf(c));
        };
        const QColor downRight = rgbOf(style == tsRaised ? platform::SystemColor::ButtonShadow
                                                         : platform::SystemColor::ButtonHighlight);
        const QColor upLeft = rgbOf(style == tsRaised ? platform::SystemColor::ButtonHighlight
                                                      : platform::SystemColor::ButtonShadow);
        int checkedDown = 0, checkedUp = 0;
        for (int y = 1; y + 1 < img.height(); ++y)
            for (int x = 1; x + 1 < img.width(); ++x) {
                if (ink(x, y)) {
                    EXPECT_EQ(img.pixelColor(x, y), QColor(Qt::black));
                } else if (ink(x - 1, y - 1) && !ink(x + 1, y + 1)) {
                    EXPECT_EQ(img.pixelColor(x, y), downRight) << x << "," << y;
                    ++checkedDown;
                } else if (ink(x + 1, y + 1) && !ink(x - 1, y - 1)) {
                    EXPECT_EQ(img.pixelColor(x, y), upLeft) << x << "," << y;
                    ++checkedUp;
                }
            }
        EXPECT_GT(checkedDown, 20);
        EXPECT_GT(checkedUp, 20);
    }
}

TEST(KXCtrl, LabelDisabledTransparentAndCaptionLimit)
{
    auto label = makeLabel("Wide");
    label->SetTextStyle(tsNone);
    label->setEnabled(false);
    const platform::Color g = platform::colorToRgb(platform::systemColor(platform::SystemColor::GrayText));
    const QImage disabled = paintLabel(*label);
    std::set<QRgb> colours;
    for (int y = 0; y < disabled.height(); ++y)
        for (int x = 0; x < disabled.width(); ++x)
            colours.insert(disabled.pixel(x, y));
    EXPECT_EQ(colours,
              (std::set<QRgb> {qRgb(192, 192, 192),
                               qRgb(platform::redOf(g), platform::greenOf(g), platform::blueOf(g))}));
    label->SetTransparent(true);
    EXPECT_EQ(paintLabel(*label).pixel(0, 0), qRgb(255, 255, 255));

    QString long300;
    for (int i = 0; i < 300; ++i)
        long300 += QChar(u'a' + i % 26);
    auto a = makeLabel(long300, {6000, 40});
    auto b = makeLabel(long300.left(255), {6000, 40});
    auto c = makeLabel(long300.left(254), {6000, 40});
    EXPECT_EQ(paintLabel(*a), paintLabel(*b));
    EXPECT_NE(paintLabel(*c), paintLabel(*b));  // the 255th shows
}

TEST(KXCtrl, LabelCombinedStylesShadeOrFillFlat)
{
    auto label = makeLabel("WWWW", {200, 33});
    QFont font = label->font();
    font.setPixelSize(30);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 160));
    label->setPalette(pal);
    label->SetTextStyle(tsCombi1);
    auto inkColours = [&] {
        const QImage img = paintLabel(*label);
        std::set<QRgb> colours;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != qRgb(192, 192, 192))
                    colours.insert(img.pixel(x, y));
        return colours;
    };
    label->SetScreenBitsSource([] { return 8; });
    EXPECT_EQ(inkColours(), (std::set<QRgb> {qRgb(0, 0, 160)}));
    label->SetScreenBitsSource([] { return 32; });
    const auto shaded = inkColours();
    EXPECT_GE(shaded.size(), 5u);
    // Light at the top: the band 0 colour is the font colour lightened by 248.
    // 33 pixels high: bands of 4, light at the top (186 reaches the glyphs'
    // tops in row 4), the font colour in band 4, dark at the bottom.
    auto q = [](platform::Color v) {
        return qRgb(platform::redOf(v), platform::greenOf(v), platform::blueOf(v));
    };
    const platform::Color ink = platform::rgb(0, 0, 160);
    EXPECT_TRUE(shaded.count(q(LightenColor(ink, 186))));
    EXPECT_TRUE(shaded.count(q(DarkenColor(ink, 0))));  // the middle band
    EXPECT_TRUE(shaded.count(q(DarkenColor(ink, 124))));
    for (QRgb c : shaded)
        EXPECT_NE(c, qRgb(255, 255, 255));
}

}  // namespace
