#include "platform/CanvasDraw.h"

#include "platform/ImageMemory.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QRegion>

#include <cstdlib>

namespace platform {

QColor toQColor(Color c)
{
    const Color v = colorToRgb(c);
    return QColor(redOf(v), greenOf(v), blueOf(v));
}

QPalette classicPalette()
{
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, QColor color) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, role, color);
    };
    set(QPalette::Window, QColor(212, 208, 200));
    set(QPalette::Button, QColor(212, 208, 200));
    set(QPalette::Dark, QColor(128, 128, 128));
    set(QPalette::Light, QColor(255, 255, 255));
    set(QPalette::Midlight, QColor(212, 208, 200));
    set(QPalette::Shadow, QColor(64, 64, 64));
    set(QPalette::Highlight, QColor(10, 36, 106));
    set(QPalette::HighlightedText, QColor(255, 255, 255));
    set(QPalette::ButtonText, QColor(0, 0, 0));
    set(QPalette::WindowText, QColor(0, 0, 0));
    set(QPalette::Text, QColor(0, 0, 0));
    set(QPalette::Base, QColor(255, 255, 255));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
    return p;
}

namespace {

void fill(QPainter& p, int x, int y, int w, int h, const QColor& color)
{
    if (w > 0 && h > 0)
        p.fillRect(x, y, w, h, color);
}

// Shapes are drawn without antialiasing, so that pixels are exact.
struct AliasedPainter {
    explicit AliasedPainter(QPainter& p) : painter(p)
    {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    ~AliasedPainter() { painter.restore(); }
    QPainter& painter;
};

void setPenAndBrush(Canvas& canvas)
{
    QPainter& p = canvas.painter();
    QPen pen(canvas.pen().color);
    pen.setWidth(0);  // cosmetic: one pixel whatever the transform
    p.setPen(pen);
    if (canvas.brush().style == BrushStyle::Clear)
        p.setBrush(Qt::NoBrush);
    else
        p.setBrush(canvas.brush().color);
}

QImage argb(const QImage& image) { return converted(image, QImage::Format_ARGB32); }

// The shape of an image (its non-background pixels, first w columns) in one colour.
QImage shape(const QImage& image, int w, const QColor& color)
{
    const QImage src = argb(image);
    w = std::min(w, src.width());
    QImage out(std::max(w, 0), src.height(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < w; ++x)
            if (!isBackgroundPixel(src, x, y))
                out.setPixel(x, y, color.rgba());
    return out;
}

}  // namespace

void rectangle(Canvas& canvas, const Rect& r)
{
    if (r.isEmpty())
        return;
    QPainter& p = canvas.painter();
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (canvas.brush().style != BrushStyle::Clear)
        fill(p, r.left + 1, r.top + 1, w - 2, h - 2, canvas.brush().color);
    const QColor pen = canvas.pen().color;
    fill(p, r.left, r.top, w, 1, pen);
    fill(p, r.left, r.bottom - 1, w, 1, pen);
    fill(p, r.left, r.top, 1, h, pen);
    fill(p, r.right - 1, r.top, 1, h, pen);
}

void ellipse(Canvas& canvas, const Rect& r)
{
    if (r.isEmpty())
        return;
    AliasedPainter guard(canvas.painter());
    setPenAndBrush(canvas);
    canvas.painter().drawEllipse(QRect(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1));
}

void polygon(Canvas& canvas, const std::vector<QPoint>& points)
{
    if (points.empty())
        return;
    AliasedPainter guard(canvas.painter());
    setPenAndBrush(canvas);
    canvas.painter().drawPolygon(points.data(), static_cast<int>(points.size()));
}

void line(Canvas& canvas, int x1, int y1, int x2, int y2)
{
    // Bresenham, stopping before the end point as GDI does.
    QPainter& p = canvas.painter();
    const QColor color = canvas.pen().color;
    const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    int x = x1, y = y1;
    while (x != x2 || y != y2) {
        p.fillRect(x, y, 1, 1, color);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void gradientFillVertical(Canvas& canvas, Color top, Color bottom, const Rect& r)
{
    if (r.isEmpty())
        return;
    const QColor a = toQColor(top);
    const QColor b = toQColor(bottom);
    const int h = r.bottom - r.top;
    const auto mix
        = [h](int from, int to, int i) { return h == 1 ? from : from + (to - from) * i / (h - 1); };
    QPainter& p = canvas.painter();
    for (int i = 0; i < h; ++i)
        p.fillRect(
            r.left, r.top + i, r.right - r.left, 1,
            QColor(mix(a.red(), b.red(), i), mix(a.green(), b.green(), i), mix(a.blue(), b.blue(), i)));
}

void drawEdge(Canvas& canvas, const Rect& rect, unsigned edge, unsigned sides)
{
    QPainter& p = canvas.painter();
    const Color light3D = systemColor(SystemColor::Light3D);
    // Top-left and bottom-right colours of the outer, then the inner border.
    struct Border {
        Color topLeft;
        Color bottomRight;
    };
    Border borders[2] = {};
    bool present[2] = {false, false};
    if (edge & BDR_RAISEDOUTER) {
        borders[0] = {light3D, cl3DDkShadow};
        present[0] = true;
    } else if (edge & BDR_SUNKENOUTER) {
        borders[0] = {clBtnShadow, clBtnHighlight};
        present[0] = true;
    }
    if (edge & BDR_RAISEDINNER) {
        borders[1] = {clBtnHighlight, clBtnShadow};
        present[1] = true;
    } else if (edge & BDR_SUNKENINNER) {
        borders[1] = {cl3DDkShadow, light3D};
        present[1] = true;
    }
    Rect r = rect;
    for (int i = 0; i < 2; ++i) {
        if (!present[i] || r.isEmpty())
            continue;
        const QColor tl = toQColor(borders[i].topLeft);
        const QColor br = toQColor(borders[i].bottomRight);
        const int w = r.right - r.left, h = r.bottom - r.top;
        if (sides & BF_LEFT)
            fill(p, r.left, r.top, 1, h, tl);
        if (sides & BF_TOP)
            fill(p, r.left, r.top, w, 1, tl);
        if (sides & BF_RIGHT)
            fill(p, r.right - 1, r.top, 1, h, br);
        if (sides & BF_BOTTOM)
            fill(p, r.left, r.bottom - 1, w, 1, br);
        if (sides & BF_LEFT)
            ++r.left;
        if (sides & BF_TOP)
            ++r.top;
        if (sides & BF_RIGHT)
            --r.right;
        if (sides & BF_BOTTOM)
            --r.bottom;
    }
}

QString stripPrefix(const QString& text, int* underlined)
{
    QString out;
    int mark = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&')
                mark = static_cast<int>(out.size());
        } else if (text[i] == u'&') {
            continue;  // a trailing ampersand shows nothing
        }
        out += text[i];
    }
    if (underlined)
        *underlined = mark;
    return out;
}

void drawText(Canvas& canvas, const QString& text, const Rect& r, unsigned flags)
{
    int mark = -1;
    const QString shown = stripPrefix(text, &mark);
    QPainter& p = canvas.painter();
    const QFontMetrics metrics(canvas.font(), p.device());
    const int width = metrics.horizontalAdvance(shown);
    int x = r.left;
    if (flags & DT_CENTER)
        x = r.left + (r.right - r.left - width) / 2;
    else if (flags & DT_RIGHT)
        x = r.right - width;
    int y = r.top;
    if (flags & DT_VCENTER)
        y = r.top + (r.bottom - r.top - metrics.height()) / 2;
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    p.save();
    // Nothing of the text leaves its rectangle: a long caption would
    // otherwise paint over the button's own outline.
    p.setClipRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), Qt::IntersectClip);
    p.setFont(canvas.font());
    p.setPen(canvas.fontColor());
    const int baseline = y + metrics.ascent();
    p.drawText(x, baseline, shown);
    if (mark >= 0) {
        const int from = x + metrics.horizontalAdvance(shown.left(mark));
        const int to = x + metrics.horizontalAdvance(shown.left(mark + 1));
        const int under = baseline + std::max(1, metrics.underlinePos());
        p.fillRect(from, under, std::max(1, to - from), std::max(1, metrics.lineWidth()), canvas.fontColor());
    }
    p.restore();
}

bool isBackgroundPixel(const QImage& image, int x, int y)
{
    const QRgb c = image.pixel(x, y);
    return qAlpha(c) == 0 || c == image.pixel(0, image.height() - 1);
}

void drawTransparent(Canvas& canvas, int x, int y, const QImage& image)
{
    if (image.isNull())
        return;
    QImage work = argb(image);
    const QImage src = work;
    for (int j = 0; j < src.height(); ++j)
        for (int i = 0; i < src.width(); ++i)
            if (isBackgroundPixel(src, i, j))
                work.setPixel(i, j, 0);
    canvas.painter().drawImage(x, y, work);
}

void drawStateDisabled(Canvas& canvas, int x, int y, const QImage& image, int w)
{
    if (image.isNull() || w <= 0)
        return;
    canvas.painter().drawImage(x + 1, y + 1, shape(image, w, toQColor(clBtnHighlight)));
    canvas.painter().drawImage(x, y, shape(image, w, toQColor(clBtnShadow)));
}

void drawStateMono(Canvas& canvas, int x, int y, const QImage& image, Color color)
{
    if (image.isNull())
        return;
    canvas.painter().drawImage(x, y, shape(image, image.width(), toQColor(color)));
}

QColor pixel(Canvas& canvas, int x, int y)
{
    QPainter& p = canvas.painter();
    const auto* image = dynamic_cast<const QImage*>(p.device());
    if (!image)
        return {};
    const QPoint at = p.deviceTransform().map(QPoint(x, y));
    if (!image->rect().contains(at))
        return {};
    return QColor::fromRgba(image->pixel(at));
}

void setPixel(Canvas& canvas, int x, int y, const QColor& color)
{
    QPainter& p = canvas.painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(x, y, 1, 1, color);
    p.restore();
}

void selectClipEllipse(Canvas& canvas, const Rect& r)
{
    canvas.painter().setClipRegion(
        QRegion(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), QRegion::Ellipse));
}

void selectNoClip(Canvas& canvas) { canvas.painter().setClipping(false); }

}  // namespace platform
