#pragma once
// A drawing surface with the state and pixel rules of the toolkit's canvas:
// a pen, a brush and a font that persist between calls, rectangles whose
// right and bottom edges are exclusive, and the dotted inverting focus
// frame. It paints through a QPainter it does not own.

#include <QColor>
#include <QFont>
#include <QString>

class QPainter;

namespace platform {

class Icon;

// Right and bottom are exclusive: {0, 0, 2, 2} covers four pixels.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool isEmpty() const { return right <= left || bottom <= top; }
};

enum class BrushStyle { Solid, Clear };

struct CanvasPen {
    QColor color = Qt::black;
    int width = 1;
};

struct CanvasBrush {
    QColor color = Qt::white;
    BrushStyle style = BrushStyle::Solid;
};

class Canvas {
public:
    explicit Canvas(QPainter& painter);
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    QPainter& painter() { return m_painter; }

    CanvasPen& pen() { return m_pen; }
    CanvasBrush& brush() { return m_brush; }
    QFont& font() { return m_font; }
    // The text colour goes with the font, as on the toolkit's canvas.
    QColor& fontColor() { return m_fontColor; }

    // Fills the rectangle with the brush; a clear brush or an empty
    // rectangle paints nothing.
    void fillRect(const Rect& rect);
    // Inverts every other pixel of the rectangle's one-pixel frame, in a
    // checkerboard fixed to the surface; drawing it twice restores the
    // pixels. Only raster surfaces (QImage) invert; others are left alone.
    void drawFocusRect(const Rect& rect);
    // The text with its top-left corner at (x, y), in the font and its
    // colour, on a transparent background.
    void textOut(int x, int y, const QString& text);
    int textWidth(const QString& text) const;
    int textHeight(const QString& text) const;
    // The icon at its own size with its top-left corner at (x, y).
    void draw(int x, int y, const Icon& icon);

private:
    QPainter& m_painter;
    CanvasPen m_pen;
    CanvasBrush m_brush;
    QFont m_font;
    QColor m_fontColor = Qt::black;
};

}  // namespace platform
