#include "kxCommon/KXCtrl.h"

#include "kxCommon/kxGraphicUtils.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstdlib>

namespace {

QColor qcolor(platform::Color c)
{
    c = platform::colorToRgb(c);
    return QColor(platform::redOf(c), platform::greenOf(c), platform::blueOf(c));
}

platform::Color fromQColor(const QColor& c)
{
    return platform::rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                         static_cast<uint8_t>(c.blue()));
}

QColor systemQColor(platform::SystemColor which) { return qcolor(platform::systemColor(which)); }

}  // namespace

// ---- Tkx3DLabel -------------------------------------------------------------

Tkx3DLabel::Tkx3DLabel(QWidget* parent) : QLabel(parent) { FTextStyle = tsRaised; }

void Tkx3DLabel::SetTextStyle(TTextStyle Value)
{
    if (Value == FTextStyle)
        return;
    FTextStyle = Value;
    update();
}

void Tkx3DLabel::SetTransparent(bool Value)
{
    if (Value == FTransparent)
        return;
    FTransparent = Value;
    update();
}

void Tkx3DLabel::SetShowAccelChar(bool Value)
{
    if (Value == FShowAccelChar)
        return;
    FShowAccelChar = Value;
    update();
}

void Tkx3DLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintTo(painter);
}

void Tkx3DLabel::PaintTo(QPainter& Painter)
{
    const QRect client = rect();
    if (!FTransparent)
        Painter.fillRect(client, palette().color(QPalette::Window));
    int flags = Qt::TextWordWrap | Qt::TextExpandTabs | Qt::AlignTop;
    const Qt::Alignment h = alignment() & Qt::AlignHorizontal_Mask;
    flags |= h & Qt::AlignRight ? Qt::AlignRight : h & Qt::AlignHCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    DrawStyledText(Painter, client, flags);
}

void Tkx3DLabel::DrawStyledText(QPainter& Painter, const QRect& R, int Flags)
{
    // The caption is painted from a buffer of 256 characters.
    const QString text = this->text().left(255);
    if (FShowAccelChar)
        Flags |= Qt::TextShowMnemonic;
    Painter.save();
    Painter.setFont(font());
    const QColor fontColor = palette().color(QPalette::WindowText);
    const QColor shadow = systemQColor(platform::SystemColor::ButtonShadow);
    const QColor highlight = systemQColor(platform::SystemColor::ButtonHighlight);

    if (FTextStyle <= tsSunken) {
        auto draw = [&](const QRect& r, const QColor& c) {
            Painter.setPen(c);
            Painter.drawText(r, Flags, text);
        };
        if (FTextStyle == tsRaised) {
            draw(R.translated(1, 1), shadow);
            draw(R.translated(-1, -1), highlight);
        } else if (FTextStyle == tsSunken) {
            draw(R.translated(1, 1), highlight);
            draw(R.translated(-1, -1), shadow);
        }
        draw(R, isEnabled() ? fontColor : systemQColor(platform::SystemColor::GrayText));
        Painter.restore();
        return;
    }

    // The combined styles: one line whose letter shapes are filled with bands.
    const QFontMetrics metrics(font(), Painter.device());
    const int x = R.left();
    const int y = (R.top() + R.bottom() + 1) / 2 - metrics.height() / 2;
    const QString line = FShowAccelChar ? QString(text).remove(u'&') : text;
    if (FTextStyle == tsCombi4) {
        Painter.setPen(highlight);
        Painter.drawText(x - 1, y - 1 + metrics.ascent(), line);
    }
    QPainterPath path;
    auto outline = [&](int px, int py) { path.addText(px, py + metrics.ascent(), font(), line); };
    if (FTextStyle == tsCombi2 || FTextStyle == tsCombi3)
        outline(x - 1, y - 1);
    if (FTextStyle == tsCombi3)
        outline(x + 1, y + 1);
    outline(x, y);
    path.setFillRule(Qt::WindingFill);
    Painter.setClipRect(R);
    Painter.setClipPath(path, Qt::IntersectClip);

    const int bits = FScreenBits ? FScreenBits() : GetScreenBitsPerPixel();
    const int H = R.height();
    const int d = H / 4;
    // Too low for bands (d = 0), or too few colours: the plain font colour.
    if (bits <= 8 || d == 0) {
        Painter.fillRect(R, fontColor);
    } else {
        const int step = 500 / d;
        const int band = H / d;
        const platform::Color base = fromQColor(fontColor);
        for (int i = 0; i <= d; ++i) {
            const int amount = std::min(255, std::abs(i - d / 2) * step);
            const platform::Color c = i < d / 2 ? LightenColor(base, static_cast<uint8_t>(amount))
                                                : DarkenColor(base, static_cast<uint8_t>(amount));
            Painter.fillRect(QRect(R.left(), R.top() + band * i, R.width(), band), qcolor(c));
        }
    }
    Painter.restore();
}

// ---- TkxSplitter ------------------------------------------------------------

// The size line: the parent's pixels under it inverted, from a picture of
// the parent taken when the drag began. With the pattern only every other
// pixel is inverted, as a dither brush would.
class TSizeLine : public QWidget {
public:
    TSizeLine(QWidget* parent, bool pattern) : QWidget(parent), m_pattern(pattern)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        m_snapshot = parent->grab().toImage().convertToFormat(QImage::Format_RGB32);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QRect g = geometry();
        const qreal dpr = m_snapshot.devicePixelRatio();
        QImage part = m_snapshot.copy(QRect((g.topLeft() * dpr), g.size() * dpr));
        part.setDevicePixelRatio(1);
        for (int y = 0; y < part.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(part.scanLine(y));
            for (int x = 0; x < part.width(); ++x)
                if (!m_pattern || ((g.left() + x + g.top() + y) & 1) == 0)
                    row[x] = (~row[x] & 0x00FFFFFFu) | 0xFF000000u;
        }
        QPainter painter(this);
        painter.drawImage(rect(), part);
    }

private:
    QImage m_snapshot;
    bool m_pattern;
};

TkxSplitter::TkxSplitter(QWidget* parent) : QWidget(parent)
{
    FResizeStyle = rsPattern;
    resize(3, height());
    setCursor(Qt::SplitHCursor);
    SetAlign(platform::Align::Left);
    FMinSize = 40;
    FOldSize = -1;
    FColor = platform::systemColor(platform::SystemColor::ButtonFace);
    FTransparent = true;
}

TkxSplitter::~TkxSplitter() = default;

void TkxSplitter::SetAlign(platform::Align Value)
{
    platform::setAlign(this, Value);
    // RequestAlign: a splitter cursor follows the direction; others stay.
    const Qt::CursorShape shape = cursor().shape();
    if (shape == Qt::SplitHCursor || shape == Qt::SplitVCursor)
        setCursor(Value == platform::Align::Top || Value == platform::Align::Bottom ? Qt::SplitVCursor
                                                                                    : Qt::SplitHCursor);
}

void TkxSplitter::SetBeveled(bool Value)
{
    FBeveled = Value;
    repaint();
}

void TkxSplitter::SetColor(platform::Color Value)
{
    FColor = Value;
    update();
}

void TkxSplitter::SetMinSize(int Value) { FMinSize = std::max(1, Value); }

void TkxSplitter::SetTransparent(bool Value)
{
    FTransparent = Value;
    update();
}

QWidget* TkxSplitter::FindSizedControl() const
{
    QWidget* parent = parentWidget();
    if (!parent)
        return nullptr;
    QPoint p;
    const QRect g = geometry();
    switch (Align()) {
    case platform::Align::Left: p = QPoint(g.left() - 1, g.top()); break;
    case platform::Align::Right: p = QPoint(g.left() + g.width(), g.top()); break;
    case platform::Align::Top: p = QPoint(g.left(), g.top() - 1); break;
    case platform::Align::Bottom: p = QPoint(g.left(), g.top() + g.height()); break;
    default: return nullptr;
    }
    const bool leftOrTop = Align() == platform::Align::Left || Align() == platform::Align::Top;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w == this || w->isWindow() || w->isHidden() || !w->isEnabled())
            continue;
        // Right and bottom exclusive; a zero-wide control is widened by one.
        int l = w->x(), t = w->y(), r = w->x() + w->width(), b = w->y() + w->height();
        if (l == r)
            leftOrTop ? --l : ++r;
        if (t == b)
            leftOrTop ? --t : ++b;
        if (p.x() >= l && p.x() < r && p.y() >= t && p.y() < b)
            return w;
    }
    return nullptr;
}

bool TkxSplitter::FireCanResize(int& NewSize)
{
    bool accept = true;
    if (OnCanResize)
        OnCanResize(this, NewSize, accept);
    return accept;
}

bool TkxSplitter::CanResizeTo(int& NewSize) { return FireCanResize(NewSize); }

void TkxSplitter::CalcNewSize(int X, int Y, int& Split, int& NewSize) const
{
    const platform::Align a = Align();
    const bool horizontal = a == platform::Align::Left || a == platform::Align::Right;
    Split = horizontal ? X - FDownPos.x() : Y - FDownPos.y();
    int s = 0;
    switch (a) {
    case platform::Align::Left: s = FControl->width() + Split; break;
    case platform::Align::Right: s = FControl->width() - Split; break;
    case platform::Align::Top: s = FControl->height() + Split; break;
    case platform::Align::Bottom: s = FControl->height() - Split; break;
    default: break;
    }
    NewSize = std::min(std::max(s, FMinSize), FMaxSize);
    if (NewSize != s) {
        if (a == platform::Align::Right || a == platform::Align::Bottom)
            Split += s - NewSize;
        else
            Split += NewSize - s;
    }
}

void TkxSplitter::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    FControl = FindSizedControl();
    FDownPos = event->position().toPoint();
    if (!FControl)
        return;
    const platform::Align a = Align();
    const bool horizontal = a == platform::Align::Left || a == platform::Align::Right;
    QWidget* parent = parentWidget();
    int rest = horizontal ? parent->contentsRect().width() : parent->contentsRect().height();
    rest -= FMinSize;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow())
            continue;
        const platform::Align wa = platform::alignOf(w);
        if (horizontal && (wa == platform::Align::Left || wa == platform::Align::Right))
            rest -= w->width();
        else if (!horizontal && (wa == platform::Align::Top || wa == platform::Align::Bottom))
            rest -= w->height();
    }
    FMaxSize = rest + (horizontal ? FControl->width() : FControl->height());
    CalcNewSize(FDownPos.x(), FDownPos.y(), FSplit, FNewSize);
    OpenLineDC();
    if (QWidget* active = window()->focusWidget()) {
        FActiveControl = active;
        active->installEventFilter(this);
    }
    if (FResizeStyle == rsLine || FResizeStyle == rsPattern)
        ToggleSizeLine();
}

void TkxSplitter::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    if (!(event->buttons() & Qt::LeftButton) || !FControl)
        return;
    int split = 0, newSize = 0;
    const QPoint p = event->position().toPoint();
    CalcNewSize(p.x(), p.y(), split, newSize);
    if (!CanResizeTo(newSize))
        return;
    const bool line = FResizeStyle == rsLine || FResizeStyle == rsPattern;
    if (line)
        ToggleSizeLine();
    FNewSize = newSize;
    FSplit = split;
    if (FResizeStyle == rsUpdate)
        ApplyNewSize();
    if (line)
        ToggleSizeLine();
}

void TkxSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (!FControl)
        return;
    if (FResizeStyle == rsLine || FResizeStyle == rsPattern)
        ToggleSizeLine();
    ApplyNewSize();
    EndSizing();
}

void TkxSplitter::ApplyNewSize()
{
    if (!FControl)
        return;
    QWidget* c = FControl;
    // The neighbour's size now, not the one last applied: the window's own
    // layout may have resized it since.
    const platform::Align a = Align();
    if (FNewSize == (a == platform::Align::Left || a == platform::Align::Right ? c->width() : c->height()))
        return;
    switch (a) {
    case platform::Align::Top: c->resize(c->width(), FNewSize); break;
    case platform::Align::Bottom: {
        platform::AlignHold hold(parentWidget());
        c->setGeometry(c->x(), c->y() + (c->height() - FNewSize), c->width(), FNewSize);
        break;
    }
    case platform::Align::Left: c->resize(FNewSize, c->height()); break;
    case platform::Align::Right: {
        platform::AlignHold hold(parentWidget());
        c->setGeometry(c->x() + (c->width() - FNewSize), c->y(), FNewSize, c->height());
        break;
    }
    default: break;
    }
    // Also when the window is hidden and so reports no geometry changes.
    platform::AlignedPanel::realignParentOf(this);
    repaint();
    if (OnMoved)
        OnMoved(this);
    FOldSize = FNewSize;
}

QRect TkxSplitter::LineRect() const
{
    const platform::Align a = Align();
    if (a == platform::Align::Left || a == platform::Align::Right)
        return QRect(x() + FSplit, y(), width(), height());
    return QRect(x(), y() + FSplit, width(), height());
}

void TkxSplitter::ToggleSizeLine()
{
    FLineVisible = !FLineVisible;
    if (!FLine)
        return;
    if (FLineVisible) {
        FLine->setGeometry(LineRect());
        FLine->raise();
        FLine->show();
    } else {
        FLine->hide();
    }
}

void TkxSplitter::OpenLineDC()
{
    if (parentWidget() && (FResizeStyle == rsLine || FResizeStyle == rsPattern))
        FLine = std::make_unique<TSizeLine>(parentWidget(), FResizeStyle == rsPattern);
}

void TkxSplitter::CloseLineDC() { FLine.reset(); }

bool TkxSplitter::eventFilter(QObject* watched, QEvent* event)
{
    // The borrowed key handler: Escape ends the drag, other keys go on.
    if (watched == FActiveControl && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        EndSizing();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TkxSplitter::EndSizing()
{
    if (FControl) {
        if (FLineVisible)
            ToggleSizeLine();
        FControl = nullptr;
        CloseLineDC();
        if (FActiveControl)
            FActiveControl->removeEventFilter(this);
        FActiveControl = nullptr;
    }
    if (OnMoved)
        OnMoved(this);
}

void TkxSplitter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintTo(painter);
}

void TkxSplitter::PaintTo(QPainter& Painter)
{
    QRect r = rect();
    const QColor color = qcolor(FColor);
    if (!FTransparent)
        Painter.fillRect(r, color);
    const platform::Align a = Align();
    const bool vertical = a == platform::Align::Left || a == platform::Align::Right;
    if (FBeveled) {
        // Right and bottom exclusive, as the toolkit's rectangles.
        int l = r.left(), t = r.top(), rr = r.left() + r.width(), b = r.top() + r.height();
        const int dx = vertical ? -1 : 2, dy = vertical ? 2 : -1;
        l -= dx;
        rr += dx;
        t -= dy;
        b += dy;
        auto frame = [&](int ox, int oy, const QColor& c) {
            const QRect f(l + ox, t + oy, rr - l, b - t);
            if (f.width() <= 0 || f.height() <= 0)
                return;
            Painter.setPen(Qt::NoPen);
            Painter.fillRect(QRect(f.left(), f.top(), f.width(), 1), c);
            Painter.fillRect(QRect(f.left(), f.bottom(), f.width(), 1), c);
            Painter.fillRect(QRect(f.left(), f.top(), 1, f.height()), c);
            Painter.fillRect(QRect(f.right(), f.top(), 1, f.height()), c);
        };
        frame(1, 1, systemQColor(platform::SystemColor::ButtonHighlight));
        frame(-1, -1, systemQColor(platform::SystemColor::ButtonShadow));
    }
    const int w = width(), h = height();
    if (vertical) {
        if (w > 2)
            for (int i = 1; i <= 6; ++i)
                DrawGripDot(Painter, w / 2 - 1, h / 2 + 12 - 4 * i);
    } else if (h > 2) {
        for (int i = 1; i <= 6; ++i)
            DrawGripDot(Painter, w / 2 + 12 - 4 * i, h / 2 - 1);
    }
    if (OnPaint)
        OnPaint(this);
}

void TkxSplitter::DrawGripDot(QPainter& Painter, int x, int y)
{
    auto pixel = [&](int px, int py, const QColor& c) { Painter.fillRect(QRect(px, py, 1, 1), c); };
    pixel(x, y + 1, qcolor(DarkenColor(FColor, 60)));
    pixel(x + 1, y + 1, qcolor(DarkenColor(FColor, 110)));
    pixel(x + 2, y + 2, Qt::white);
    pixel(x + 1, y + 2, Qt::white);
    pixel(x + 2, y + 1, Qt::white);
    pixel(x, y, qcolor(DarkenColor(FColor, 40)));
    pixel(x + 1, y, qcolor(DarkenColor(FColor, 80)));
}
