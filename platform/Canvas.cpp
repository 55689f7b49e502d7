#include "platform/Canvas.h"

#include "platform/Icon.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPainter>

namespace platform {

Canvas::Canvas(QPainter& painter) : m_painter(painter)
{
    if (painter.isActive())
        m_font = painter.font();
}

void Canvas::fillRect(const Rect& rect)
{
    if (rect.isEmpty() || m_brush.style == BrushStyle::Clear)
        return;
    m_painter.fillRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, m_brush.color);
}

void Canvas::drawFocusRect(const Rect& rect)
{
    if (rect.isEmpty())
        return;
    QPaintEngine* engine = m_painter.paintEngine();
    if (!engine || !engine->hasFeature(QPaintEngine::RasterOpModes))
        return;
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(Qt::NoBrush);
    const auto dot = [&](int x, int y) {
        if ((x + y) % 2 == 0)
            m_painter.fillRect(x, y, 1, 1, Qt::white);
    };
    const int last = rect.right - 1;
    const int bottom = rect.bottom - 1;
    for (int x = rect.left; x <= last; ++x) {
        dot(x, rect.top);
        if (bottom != rect.top)
            dot(x, bottom);
    }
    for (int y = rect.top + 1; y < bottom; ++y) {
        dot(rect.left, y);
        if (last != rect.left)
            dot(last, y);
    }
    m_painter.restore();
}

void Canvas::textOut(int x, int y, const QString& text)
{
    m_painter.save();
    m_painter.setFont(m_font);
    m_painter.setPen(m_fontColor);
    const QFontMetrics metrics(m_font, m_painter.device());
    m_painter.drawText(x, y + metrics.ascent(), text);
    m_painter.restore();
}

int Canvas::textWidth(const QString& text) const
{
    return QFontMetrics(m_font, m_painter.device()).horizontalAdvance(text);
}

int Canvas::textHeight(const QString& text) const
{
    Q_UNUSED(text);
    return QFontMetrics(m_font, m_painter.device()).height();
}

void Canvas::draw(int x, int y, const Icon& icon) { icon.draw(m_painter, x, y); }

}  // namespace platform
