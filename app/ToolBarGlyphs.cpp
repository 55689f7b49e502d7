#include "app/ToolBarGlyphs.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

// Every picture is drawn on a 16-unit grid; one-unit outlines sit on
// half units so that they fall on whole pixels at 16 pixels.
const QColor kOutline(60, 60, 60);

QPen outline(const QColor& color = kOutline)
{
    return QPen(color, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

void folderBack(QPainter& p, const QColor& fill, const QColor& line)
{
    QPainterPath back;
    back.moveTo(1.5, 13.5);
    back.lineTo(1.5, 3.5);
    back.lineTo(5.5, 3.5);
    back.lineTo(7.0, 5.0);
    back.lineTo(13.5, 5.0);
    back.lineTo(13.5, 13.5);
    back.closeSubpath();
    p.setPen(outline(line));
    p.setBrush(fill);
    p.drawPath(back);
}

void drawOpen(QPainter& p)
{
    const QColor line(150, 100, 20);
    folderBack(p, QColor(226, 170, 50), line);
    // The front flap, tilted open.
    QPolygonF flap;
    flap << QPointF(1.5, 13.5) << QPointF(4.0, 7.5) << QPointF(15.5, 7.5) << QPointF(13.0, 13.5);
    p.setBrush(QColor(252, 212, 96));
    p.drawPolygon(flap);
}

void drawFolder(QPainter& p)
{
    const QColor line(150, 100, 20);
    folderBack(p, QColor(226, 170, 50), line);
    p.setPen(outline(line));
    p.setBrush(QColor(252, 212, 96));
    p.drawRect(QRectF(1.5, 6.5, 12, 7));
    // An arrow into the folder: "go there".
    p.setPen(QPen(QColor(30, 110, 200), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(9, 3), QPointF(14.5, 3));
    p.drawPolyline(QPolygonF() << QPointF(12.5, 1) << QPointF(14.5, 3) << QPointF(12.5, 5));
}

void floppy(QPainter& p, qreal x, qreal y, qreal size)
{
    const qreal s = size;
    QPainterPath body;
    body.moveTo(x + 0.5, y + 0.5);
    body.lineTo(x + s - 2.5, y + 0.5);
    body.lineTo(x + s - 0.5, y + 2.5);
    body.lineTo(x + s - 0.5, y + s - 0.5);
    body.lineTo(x + 0.5, y + s - 0.5);
    body.closeSubpath();
    p.setPen(outline(QColor(20, 50, 110)));
    p.setBrush(QColor(50, 105, 190));
    p.drawPath(body);
    // Label and shutter.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(x + 2, y + 1, s - 5, s * 0.42));
    p.setBrush(QColor(190, 200, 215));
    p.drawRect(QRectF(x + 3, y + s - s * 0.36, s - 6, s * 0.36 - 1));
    p.setBrush(QColor(50, 105, 190));
    p.drawRect(QRectF(x + s - 6, y + s - s * 0.36 + 1, 2, s * 0.36 - 3));
}

void drawSave(QPainter& p) { floppy(p, 1, 1, 14); }

void drawSaveAll(QPainter& p)
{
    floppy(p, 5, 0, 11);
    floppy(p, 1, 4, 11);
}

void page(QPainter& p, qreal x, qreal y, qreal w, qreal h)
{
    p.setPen(outline(QColor(70, 70, 70)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(x + 0.5, y + 0.5, w - 1, h - 1));
    p.setPen(outline(QColor(80, 120, 190)));
    for (qreal ly = y + 3.5; ly < y + h - 2; ly += 2)
        p.drawLine(QPointF(x + 2.5, ly), QPointF(x + w - 3.5, ly));
}

void drawCopy(QPainter& p)
{
    page(p, 1, 1, 9, 11);
    page(p, 6, 5, 9, 11);
}

void drawPrint(QPainter& p)
{
    // Paper in, body, paper out.
    p.setPen(outline(QColor(90, 90, 90)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setPen(outline(QColor(50, 50, 50)));
    p.setBrush(QColor(150, 155, 165));
    p.drawRect(QRectF(1.5, 6.5, 13, 6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 200, 90));
    p.drawRect(QRectF(11.5, 8, 1.5, 1.5));
    p.setPen(outline(QColor(90, 90, 90)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
    p.setPen(outline(QColor(120, 150, 200)));
    p.drawLine(QPointF(6, 12.5), QPointF(10, 12.5));
}

void drawRefresh(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(30, 140, 60);
    p.setPen(QPen(green, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF circle(2.5, 2.5, 11, 11);
    p.drawArc(circle, 100 * 16, 280 * 16);
    // The arrowhead at the arc's open end, pointing along the turn.
    p.setPen(Qt::NoPen);
    p.setBrush(green);
    QPolygonF head;
    head << QPointF(6.0, 0.2) << QPointF(10.6, 3.0) << QPointF(6.0, 6.6);
    p.drawPolygon(head);
}

void drawOptions(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(8, 8);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a = M_PI * 2 * i / (teeth * 2);
        const double r = i % 2 == 0 ? 7.3 : 5.4;
        const double half = M_PI / (teeth * 2) * 0.8;
        const QPointF p1(c.x() + r * std::cos(a - half), c.y() + r * std::sin(a - half));
        const QPointF p2(c.x() + r * std::cos(a + half), c.y() + r * std::sin(a + half));
        if (i == 0)
            gear.moveTo(p1);
        else
            gear.lineTo(p1);
        gear.lineTo(p2);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, 2.2, 2.2);
    p.setPen(QPen(QColor(50, 55, 65), 1.0));
    p.setBrush(QColor(140, 150, 165));
    p.drawPath(gear.subtracted(hole));
}

void badge(QPainter& p, const QColor& fill)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(fill.darker(150), 1.0));
    p.setBrush(fill);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
}

void drawHelp(QPainter& p)
{
    badge(p, QColor(40, 110, 210));
    // The question mark as strokes, so that it needs no font.
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath mark;
    mark.moveTo(5.6, 5.9);
    mark.cubicTo(5.6, 3.2, 10.6, 3.2, 10.5, 6.0);
    mark.cubicTo(10.4, 7.8, 8.0, 7.8, 8.0, 9.9);
    p.drawPath(mark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8.0, 12.3), 1.2, 1.2);
}

void drawAbout(QPainter& p)
{
    badge(p, QColor(30, 140, 160));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 3, 2, 2));
    p.drawRect(QRectF(7, 6, 2, 7));
    p.drawRect(QRectF(6, 6, 1, 1));
    p.drawRect(QRectF(6, 12, 4, 1));
}

void drawGlyph(QPainter& p, TToolGlyph glyph)
{
    switch (glyph) {
    case tgOpen: drawOpen(p); break;
    case tgSave: drawSave(p); break;
    case tgSaveAll: drawSaveAll(p); break;
    case tgCopy: drawCopy(p); break;
    case tgPrint: drawPrint(p); break;
    case tgRefresh: drawRefresh(p); break;
    case tgOptions: drawOptions(p); break;
    case tgHelp: drawHelp(p); break;
    case tgAbout: drawAbout(p); break;
    case tgFolder: drawFolder(p); break;
    }
}

// Disabled: grey and faded; hot: a little brighter and more vivid.
QRgb disabledPixel(QRgb c)
{
    const int grey = qGray(c);
    const int v = 150 + grey * 90 / 255;
    return qRgba(v, v, v, qAlpha(c));
}

QRgb hotPixel(QRgb c)
{
    QColor color = QColor::fromRgba(c);
    float h, s, l, a;
    color.getHslF(&h, &s, &l, &a);
    color.setHslF(h, std::min(1.0f, s * 1.15f), std::min(1.0f, l * 1.08f + 0.02f), a);
    return color.rgba();
}

}  // namespace

QImage ToolBarGlyph(TToolGlyph Glyph, int Size)
{
    QImage cell(Size, Size, QImage::Format_ARGB32);
    cell.fill(Qt::transparent);
    {
        QPainter p(&cell);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(Size / 16.0, Size / 16.0);
        drawGlyph(p, Glyph);
    }
    QImage strip(3 * Size, Size, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const QRgb c = cell.pixel(x, y);
            if (qAlpha(c) == 0)
                continue;
            strip.setPixel(x, y, c);
            strip.setPixel(Size + x, y, disabledPixel(c));
            strip.setPixel(2 * Size + x, y, hotPixel(c));
        }
    return strip;
}
