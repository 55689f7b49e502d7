#pragma once
// GDI's drawing calls on a canvas, with GDI's pixel rules: shapes inside
// their rectangle (right and bottom exclusive), lines without their end
// point, the vertical gradient fill, DrawEdge, single-line DrawText with
// the ampersand prefix, DrawState's embossed and mono images, pixel access
// and an elliptic clipping region. Pens and brushes are the canvas's own.

#include "platform/Canvas.h"
#include "platform/Color.h"

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QPoint>
#include <QString>

#include <vector>

namespace platform {

// The system colours by the toolkit's names; they resolve through the
// application palette (colorToRgb), so a dark desktop theme darkens them.
inline constexpr Color clBtnFace = systemColor(SystemColor::ButtonFace);
inline constexpr Color clBtnShadow = systemColor(SystemColor::ButtonShadow);
inline constexpr Color clBtnHighlight = systemColor(SystemColor::ButtonHighlight);
inline constexpr Color cl3DDkShadow = systemColor(SystemColor::DarkShadow3D);
inline constexpr Color clWindowFrame = systemColor(SystemColor::WindowFrame);
inline constexpr Color clHighlight = systemColor(SystemColor::Highlight);
inline constexpr Color clGrayText = systemColor(SystemColor::GrayText);
inline constexpr Color clBtnText = systemColor(SystemColor::ButtonText);
inline constexpr Color clWhite = rgb(255, 255, 255);
inline constexpr Color clBlack = rgb(0, 0, 0);
inline constexpr Color clRed = rgb(255, 0, 0);
// The stock grey brush.
inline constexpr Color clStockGray = rgb(128, 128, 128);

// Any colour value (system or plain) as an opaque QColor.
QColor toQColor(Color c);

// The classic desktop scheme's button colours as a palette, for tests
// that read pixels back.
QPalette classicPalette();

// Rectangle: the outline in the pen colour on the rectangle's border
// pixels, the inside filled with the brush (nothing with a clear brush).
void rectangle(Canvas& canvas, const Rect& rect);
// Ellipse inside the rectangle: outline in the pen colour, filled with the
// brush unless it is clear.
void ellipse(Canvas& canvas, const Rect& rect);
// A filled polygon: outline in the pen colour, inside in the brush.
void polygon(Canvas& canvas, const std::vector<QPoint>& points);
// MoveTo/LineTo: the line from (x1, y1) towards (x2, y2), end point excluded.
void line(Canvas& canvas, int x1, int y1, int x2, int y2);

// Top row in `top`, bottom row in `bottom`, rows in between interpolated.
void gradientFillVertical(Canvas& canvas, Color top, Color bottom, const Rect& rect);

// DrawEdge's border bits and side flags.
enum : unsigned {
    BDR_RAISEDOUTER = 1,
    BDR_SUNKENOUTER = 2,
    BDR_RAISEDINNER = 4,
    BDR_SUNKENINNER = 8,
    EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
    EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
    BF_LEFT = 1,
    BF_TOP = 2,
    BF_RIGHT = 4,
    BF_BOTTOM = 8,
};
void drawEdge(Canvas& canvas, const Rect& rect, unsigned edge, unsigned sides);

// DrawText's flags that the buttons use.
enum : unsigned { DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4, DT_SINGLELINE = 32 };
// One line in the rectangle, clipped to it, in the canvas font and its
// colour on a transparent background. An ampersand underlines the next
// character; "&&" is one ampersand.
void drawText(Canvas& canvas, const QString& text, const Rect& rect, unsigned flags);
// The text without its prefix ampersands, and the position in it of the
// underlined character (-1 when none).
QString stripPrefix(const QString& text, int* underlined = nullptr);

// The toolkit's automatic transparent colour of a bitmap: its bottom-left
// pixel. A pixel is background when it has that colour or no alpha.
bool isBackgroundPixel(const QImage& image, int x, int y);
// The image at (x, y) without its background pixels.
void drawTransparent(Canvas& canvas, int x, int y, const QImage& image);
// DrawState with DSS_DISABLED: the image's shape embossed, clBtnHighlight
// (white in the classic scheme) one pixel down and right, then clBtnShadow
// in place. Width w of the image (from its
// left edge) is drawn; the height is the image's.
void drawStateDisabled(Canvas& canvas, int x, int y, const QImage& image, int w);
// DrawState with DSS_MONO: the image's shape in one colour.
void drawStateMono(Canvas& canvas, int x, int y, const QImage& image, Color color);

// The pixel of a canvas over an image; an invalid colour on any other
// surface. A written pixel replaces what was there, alpha included.
QColor pixel(Canvas& canvas, int x, int y);
void setPixel(Canvas& canvas, int x, int y, const QColor& color);

// SelectClipRgn with an elliptic region of the rectangle, and with none.
void selectClipEllipse(Canvas& canvas, const Rect& rect);
void selectNoClip(Canvas& canvas);

}  // namespace platform
