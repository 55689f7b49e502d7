// The face painter, read back pixel by pixel under the classic colours.
#include "kxCommon/kxGraphicUtils.h"

#include "platform/Canvas.h"
#include "platform/CanvasDraw.h"

#include "TestApplication.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace platform;

namespace {

const QRgb kBack = qRgb(255, 0, 255);  // the parent's colour
const QRgb kShadow = qRgb(128, 128, 128);
const QRgb kHighlightWhite = qRgb(255, 255, 255);
const QRgb kDark = qRgb(64, 64, 64);
const QRgb kSelection = qRgb(10, 36, 106);
const QRgb kText = qRgb(0, 0, 0);
const QRgb kCells[5]
    = {qRgb(255, 0, 0), qRgb(0, 160, 0), qRgb(0, 0, 255), qRgb(255, 200, 0), qRgb(0, 200, 200)};

// A strip of 16-pixel cells, each a transparent cell with a solid square
// (4..11) in the cell's own colour.
QImage strip(int cells)
{
    QImage image(16 * cells, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int i = 0; i < cells; ++i)
        for (int y = 4; y < 12; ++y)
            for (int x = 4; x < 12; ++x)
                image.setPixel(16 * i + x, y, kCells[i]);
    return image;
}

struct Face {
    int w = 27;
    int h = 27;
    bool windowless = true;
    bool flat = false;
    bool shadowed = true;
    bool focused = false;
    bool drawFocus = false;
    TkxControlEdgeType edge = efRoundRect;
    TkxFaceState state = fstNormal;
    QString caption = {};
    const QImage* glyph = nullptr;
    int numGlyphs = 1;
    TkxButtonHilightMode mode = bhmNormal;
    bool dropDown = false;
    bool dropDownPressed = false;
    bool separate = false;
    int dropDownWidth = 0;
};

QFont plainFont()
{
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QImage paint(const Face& f)
{
    QImage image(f.w, f.h, QImage::Format_ARGB32_Premultiplied);
    image.fill(kBack);
    QPainter painter(&image);
    Canvas canvas(painter);
    canvas.font() = plainFont();
    canvas.fontColor() = Qt::black;
    DrawButtonFace(f.windowless, canvas, {0, 0, f.w, f.h}, rgb(0xD6, 0xD6, 0xD6), rgb(0xD6, 0xD6, 0xD6),
                   clRed, f.flat, f.shadowed, f.focused, f.drawFocus, f.edge, f.state, f.caption, f.glyph,
                   f.numGlyphs, f.mode, false, f.dropDown, f.dropDownPressed, f.separate, f.dropDownWidth);
    return image;
}

QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

class ButtonFace : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        saved_ = QApplication::palette();
        QApplication::setPalette(classicPalette());
    }
    void TearDown() override { QApplication::setPalette(saved_); }

private:
    QPalette saved_;
};

std::string name(TkxFaceState s)
{
    const char* names[] = {"normal", "hot", "down", "disabled"};
    return names[s];
}

}  // namespace

TEST_F(ButtonFace, FlatWindowlessFacePaintsNothingAtRestOrDisabled)
{
    for (TkxFaceState state : {fstNormal, fstDisabled, fstHot, fstDown}) {
        Face f;
        f.flat = true;
        f.state = state;
        const QImage image = paint(f);
        const bool painted = state == fstHot || state == fstDown;
        EXPECT_EQ(at(image, 13, 0) != kBack, painted) << name(state);   // outline
        EXPECT_EQ(at(image, 13, 13) != kBack, painted) << name(state);  // fill
    }
    // The push button's flat face is framed at rest.
    Face f;
    f.flat = true;
    f.windowless = false;
    EXPECT_EQ(at(paint(f), 13, 0), kShadow);
}

TEST_F(ButtonFace, RoundedCornersKeepTheParentAndShadeTheirInside)
{
    for (TkxFaceState state : {fstNormal, fstHot, fstDown}) {
        const QImage image = paint(Face {.state = state});
        for (auto [x, y, ix, iy] :
             {std::array {0, 0, 1, 1}, {26, 0, 25, 1}, {26, 26, 25, 25}, {0, 26, 1, 25}}) {
            EXPECT_EQ(at(image, x, y), kBack) << name(state) << " corner " << x << "," << y;
            EXPECT_EQ(at(image, ix, iy), kShadow) << name(state);
            EXPECT_EQ(at(image, x, iy), kShadow) << name(state);
            EXPECT_EQ(at(image, ix, y), kShadow) << name(state);
        }
    }
    // One-side shapes curve only their side.
    const QImage left = paint(Face {.edge = efRoundRectLeft});
    EXPECT_EQ(at(left, 0, 0), kBack);
    EXPECT_EQ(at(left, 26, 0), kDark);
    const QImage square = paint(Face {.edge = efRect});
    EXPECT_EQ(at(square, 0, 0), kDark);
}

TEST_F(ButtonFace, ShortenCaptionNeverDropsOnlyTheLastCharacter)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    QPainter painter(&image);
    Canvas canvas(painter);
    canvas.font() = plainFont();
    const QString text = QStringLiteral("Abcdefgh");
    const QString lessOne = QStringLiteral("Abcdefg...");
    int previous = 0;
    for (int maxWidth = 0; maxWidth <= canvas.textWidth(text) + 2; ++maxWidth) {
        QString result;
        ShortenCaption(text, canvas, maxWidth, result);
        EXPECT_NE(result, lessOne) << maxWidth;
        EXPECT_TRUE(result == text || result.endsWith(QStringLiteral("..."))) << maxWidth;
        EXPECT_TRUE(canvas.textWidth(result) <= maxWidth || result == QStringLiteral("...")) << maxWidth;
        EXPECT_GE(canvas.textWidth(result), previous) << maxWidth;  // more room never shortens it more
        previous = canvas.textWidth(result);
        if (maxWidth == 0) {
            EXPECT_EQ(result, QStringLiteral("..."));
        }
        if (maxWidth >= canvas.textWidth(text)) {
            EXPECT_EQ(result, text);
        }
        // Where the text less one character would fit, the text less two is shown.
        if (maxWidth >= canvas.textWidth(lessOne) && maxWidth < canvas.textWidth(text)) {
            EXPECT_EQ(result, QStringLiteral("Abcdef...")) << maxWidth;
        }
    }
    QString result = QStringLiteral("x");
    ShortenCaption(QString(), canvas, 0, result);
    EXPECT_EQ(result, QString());
}

TEST_F(ButtonFace, GlyphCellFollowsStateAndCellCount)
{
    struct Case {
        int cells;
        TkxFaceState state;
        bool focused;
        int expected;
    };
    const Case cases[] = {
        {3, fstHot, false, 2},      {3, fstDown, false, 2},  {4, fstDown, false, 3},
        {4, fstHot, false, 2},      {5, fstNormal, true, 4}, {4, fstNormal, true, 0},
        {2, fstDisabled, false, 1}, {2, fstHot, false, 0},   {1, fstDown, false, 0},
    };
    for (const Case& c : cases) {
        const QImage glyph = strip(c.cells);
        Face f {.focused = c.focused, .state = c.state, .glyph = &glyph, .numGlyphs = c.cells};
        const int xy = c.state == fstDown ? 6 : 5;  // 27 x 27: the glyph's place, pressed 1 lower
        EXPECT_EQ(at(paint(f), xy + 8, xy + 8), kCells[c.expected])
            << c.cells << " cells, " << name(c.state) << (c.focused ? " focused" : "");
    }
}

TEST_F(ButtonFace, SingleDisabledGlyphIsEmbossed)
{
    const QImage glyph = strip(1);
    const QImage image = paint(Face {.state = fstDisabled, .glyph = &glyph});
    // The square (5+4 .. 5+11) in shadow; white one pixel down and right shows past its edges.
    EXPECT_EQ(at(image, 9, 9), kShadow);
    EXPECT_EQ(at(image, 16, 16), kShadow);
    EXPECT_EQ(at(image, 17, 17), kHighlightWhite);
    EXPECT_EQ(at(image, 17, 10), kHighlightWhite);
    EXPECT_EQ(at(image, 8, 9), kBack);  // a disabled face has no fill
}

TEST_F(ButtonFace, PressedGlyphShiftsOnlyOnFacesOf20PixelsOrMore)
{
    QImage glyph(16, 16, QImage::Format_ARGB32);
    glyph.fill(Qt::transparent);
    glyph.setPixel(3, 3, kCells[0]);
    struct Case {
        int size;
        int expected;  // where the marker lands
    };
    // Pressed, the inside is the size less 2; the glyph sits centred in it.
    const Case cases[] = {{21, 1 + 19 / 2 - 8 + 3}, {22, 1 + 20 / 2 - 8 + 3 + 1}, {27, 5 + 3 + 1}};
    for (const Case& c : cases) {
        const QImage image
            = paint(Face {.w = c.size, .h = c.size, .edge = efRect, .state = fstDown, .glyph = &glyph});
        EXPECT_EQ(at(image, c.expected, c.expected), kCells[0]) << c.size;
    }
}

TEST_F(ButtonFace, ToolBarFaceOf27Pixels)
{
    const QImage glyph = strip(1);
    struct Case {
        TkxFaceState state;
        int glyphAt;
        int insideLeft;  // first pixel of the gradient
    };
    for (const Case& c : {Case {fstNormal, 5, 2}, Case {fstHot, 5, 2}, Case {fstDown, 6, 1}}) {
        const QImage image = paint(Face {.state = c.state, .glyph = &glyph});
        EXPECT_EQ(at(image, c.glyphAt + 4, c.glyphAt + 4), kCells[0]) << name(c.state);
        EXPECT_NE(at(image, c.glyphAt + 3, c.glyphAt + 3), kCells[0]) << name(c.state);
        EXPECT_EQ(at(image, 0, 13), kDark) << name(c.state);
        // Two outline rectangles at rest and hot, one pressed; then the gradient.
        EXPECT_EQ(at(image, 1, 13), c.state == fstDown ? at(image, 2, 13) : kHighlightWhite) << name(c.state);
        EXPECT_EQ(at(image, 13, c.insideLeft), c.state == fstDown ? kSelection : kHighlightWhite)
            << name(c.state);
        EXPECT_EQ(at(image, 13, 26 - c.insideLeft),
                  c.state == fstDown ? kHighlightWhite : qRgb(0xD6, 0xD6, 0xD6))
            << name(c.state);
    }
}

TEST_F(ButtonFace, DropDownFacesOf40By27)
{
    const QImage glyph = strip(1);
    struct Case {
        const char* what;
        bool separate;
        bool pressed;
        TkxFaceState state;
        int arrowLeft, arrowTop;  // the first corner; the others are (+4, 0) and (+2, +2)
        QRgb arrow;
    };
    const Case cases[] = {
        {"separate", true, false, fstNormal, 30, 12, kText},
        {"separate, part pressed", true, true, fstNormal, 31, 13, kText},
        {"one piece", false, false, fstNormal, 28, 12, kText},
        {"one piece, pressed", false, true, fstNormal, 30, 13, kText},
        {"separate, disabled", true, false, fstDisabled, 30, 12, kShadow},
    };
    for (const Case& c : cases) {
        const QImage image = paint(Face {.w = 40,
                                         .state = c.state,
                                         .glyph = &glyph,
                                         .dropDown = true,
                                         .dropDownPressed = c.pressed,
                                         .separate = c.separate,
                                         .dropDownWidth = 14});
        const int g = c.pressed && !c.separate ? 6 : 5;
        if (c.state != fstDisabled) {
            EXPECT_EQ(at(image, g + 4, g + 4), kCells[0]) << c.what;
        }
        for (int x = c.arrowLeft; x <= c.arrowLeft + 4; ++x)
            EXPECT_EQ(at(image, x, c.arrowTop), c.arrow) << c.what << " x " << x;
        EXPECT_EQ(at(image, c.arrowLeft + 2, c.arrowTop + 2), c.arrow) << c.what;
        EXPECT_NE(at(image, c.arrowLeft - 1, c.arrowTop), c.arrow) << c.what;
        EXPECT_NE(at(image, c.arrowLeft + 5, c.arrowTop), c.arrow) << c.what;
        EXPECT_NE(at(image, c.arrowLeft + 1, c.arrowTop + 2), c.arrow) << c.what;
    }
    // Separate: the main part (0..27) and the part (27..40) are framed apart, with an etched divider.
    const QImage separate
        = paint(Face {.w = 40, .glyph = &glyph, .dropDown = true, .separate = true, .dropDownWidth = 14});
    // Only the outer corners are rounded.
    EXPECT_EQ(at(separate, 0, 0), kBack);
    EXPECT_EQ(at(separate, 39, 0), kBack);
    EXPECT_EQ(at(separate, 26, 0), kDark);
    EXPECT_EQ(at(separate, 27, 13), kShadow);
    EXPECT_EQ(at(separate, 28, 13), kHighlightWhite);
    EXPECT_EQ(at(separate, 39, 13), kDark);
    // Pressed, the divider is sunken one pixel further left.
    const QImage pressed = paint(Face {.w = 40,
                                       .glyph = &glyph,
                                       .dropDown = true,
                                       .dropDownPressed = true,
                                       .separate = true,
                                       .dropDownWidth = 14});
    EXPECT_EQ(at(pressed, 26, 13), kShadow);
    EXPECT_EQ(at(pressed, 27, 13), kDark);
    EXPECT_EQ(at(pressed, 3, 13), at(separate, 3, 13));  // the main part is not pressed
    // One piece at rest: inside (2, 2, 38, 25).
    const QImage whole = paint(Face {.w = 40, .glyph = &glyph, .dropDown = true, .dropDownWidth = 14});
    EXPECT_EQ(at(whole, 39, 13), kDark);
    EXPECT_EQ(at(whole, 38, 13), kHighlightWhite);
    EXPECT_EQ(at(whole, 37, 2), kHighlightWhite);  // the gradient's top row
    EXPECT_EQ(at(whole, 37, 24), qRgb(0xD6, 0xD6, 0xD6));
}

TEST_F(ButtonFace, DisabledCaptionIsEmbossed)
{
    const QImage image = paint(Face {.w = 60, .state = fstDisabled, .caption = QStringLiteral("Ab")});
    int grey = 0;
    for (int y = 0; y + 1 < image.height(); ++y)
        for (int x = 0; x + 1 < image.width(); ++x) {
            const QRgb c = at(image, x, y);
            EXPECT_NE(c, kText) << x << "," << y;
            if (c == kShadow && x > 1 && y > 1 && x < 58 && y < 25) {  // inside the outline and corners
                ++grey;
                const QRgb below = at(image, x + 1, y + 1);
                EXPECT_TRUE(below == kShadow || below == kHighlightWhite) << x << "," << y;
            }
        }
    EXPECT_GT(grey, 10);
}

TEST_F(ButtonFace, CaptionStaysInsideItsRectangle)
{
    const QImage glyph = strip(1);
    struct Case {
        const char* what;
        Face face;
        int left, right;  // the caption's rectangle, in x
    };
    const Case cases[] = {
        // Centred without a glyph: the inside of the outline.
        {"push button",
         {.w = 90, .windowless = false, .caption = QStringLiteral("Find files with icons inside >>")},
         2,
         88},
        // Beside a glyph, shortened, 2 pixels in from each side of what
        // the glyph leaves.
        {"glyph and caption",
         {.w = 60, .caption = QStringLiteral("Save all icons of the listed files"), .glyph = &glyph},
         27,
         56},
    };
    for (const Case& c : cases) {
        const QImage image = paint(c.face);
        int inside = 0, outside = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (at(image, x, y) == kText)
                    ++(x >= c.left && x < c.right ? inside : outside);
        EXPECT_EQ(outside, 0) << c.what;
        EXPECT_GT(inside, 20) << c.what;
    }
}

TEST_F(ButtonFace, FocusLinesSitAtTheBottomOfTheFace)
{
    for (bool flat : {false, true}) {
        // Push button, 27 x 27: the inside is (2, 2, 25, 25) framed, (1, 1, 26, 26) flat.
        const QImage image = paint(
            Face {.windowless = false, .flat = flat, .focused = true, .drawFocus = true, .edge = efRect});
        const int bottom = flat ? 26 - 1 - 1 : 25 - 1;
        const int left = flat ? 3 : 4, right = flat ? 23 : 22;  // from F.L + 2 to F.R - 3
        for (int y : {bottom, bottom - 1}) {
            EXPECT_EQ(at(image, left, y), kSelection) << flat;
            EXPECT_EQ(at(image, right, y), kSelection) << flat;
            EXPECT_NE(at(image, left - 1, y), kSelection) << flat;
            EXPECT_NE(at(image, right + 1, y), kSelection) << flat;
        }
        EXPECT_NE(at(image, 13, bottom - 2), kSelection) << flat;
    }
}

TEST_F(ButtonFace, EllipseGradientLeavesNoClipRegion)
{
    QImage image(30, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(kBack);
    QPainter painter(&image);
    Canvas canvas(painter);
    DrawButtonFace(true, canvas, {0, 0, 30, 30}, rgb(0xD6, 0xD6, 0xD6), rgb(0xD6, 0xD6, 0xD6), clBlack, false,
                   true, false, false, efEllipse, fstNormal, QString(), nullptr, 1, bhmNormal, false, false,
                   false, false, 0);
    EXPECT_FALSE(painter.hasClipping());
    painter.end();
    EXPECT_EQ(at(image, 1, 1), kBack);         // outside the ellipse
    EXPECT_GE(qGreen(at(image, 15, 2)), 250);  // the gradient's top, inside
    EXPECT_NE(at(image, 15, 15), kBack);
}

TEST_F(ButtonFace, DarkThemeGivesDarkFaces)
{
    QPalette dark = classicPalette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        dark.setColor(group, QPalette::Button, QColor(50, 50, 54));
        dark.setColor(group, QPalette::Light, QColor(80, 80, 86));
        dark.setColor(group, QPalette::Dark, QColor(30, 30, 32));
        dark.setColor(group, QPalette::Shadow, QColor(10, 10, 10));
    }
    QApplication::setPalette(dark);
    // A push button's face in the system's button colour, at rest and hot.
    for (TkxFaceState state : {fstNormal, fstHot}) {
        QImage image(75, 25, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        QPainter painter(&image);
        Canvas canvas(painter);
        DrawButtonFace(false, canvas, {0, 0, 75, 25}, clBtnFace, clBtnFace, clBlack, false, true, false,
                       false, efRoundRect, state, QString(), nullptr, 1, bhmNormal, false, false, false,
                       false, 0);
        painter.end();
        for (int y = 1; y < 24; ++y)
            EXPECT_LT(qGray(at(image, 37, y)), 100) << name(state) << " row " << y;
    }
}
