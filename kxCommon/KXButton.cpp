#include "kxCommon/KXButton.h"

#include "platform/Canvas.h"
#include "platform/CanvasDraw.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

#include <algorithm>
#include <utility>

namespace {

platform::Color fromQColor(const QColor& c)
{
    return platform::rgb(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                         static_cast<uint8_t>(c.blue()));
}

// Faces are painted into a transparent layer and then onto the widget, so
// that the painter can read back and restore pixels (the rounded corners)
// and the parent shows through wherever nothing was painted.
template <typename PaintFace> void paintLayered(QWidget& widget, PaintFace paintFace)
{
    if (widget.width() <= 0 || widget.height() <= 0)
        return;
    QImage layer(widget.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        platform::Canvas canvas(p);
        canvas.font() = widget.font();
        canvas.fontColor() = widget.palette().color(QPalette::Active, QPalette::ButtonText);
        paintFace(canvas);
    }
    QPainter(&widget).drawImage(0, 0, layer);
}

}  // namespace

int GuessNumGlyphs(const QImage& Glyph)
{
    if (Glyph.isNull() || Glyph.height() <= 0 || Glyph.width() % Glyph.height() != 0)
        return 0;
    const int n = Glyph.width() / Glyph.height();
    return n < 6 ? std::max(n, 1) : 1;
}

// ---- TkxSoftButton ---------------------------------------------------------

TkxSoftButton::TkxSoftButton(QWidget* parent) : QWidget(parent)
{
    setGeometry(0, 0, 25, 25);
    setMouseTracking(true);
    setAttribute(Qt::WA_NoSystemBackground);
}

void TkxSoftButton::SetAllowAllUp(bool Value)
{
    if (Value == FAllowAllUp)
        return;
    FAllowAllUp = Value;
    NotifyGroup();
}

void TkxSoftButton::SetGroupIndex(int Value)
{
    if (Value == FGroupIndex)
        return;
    FGroupIndex = Value;
    NotifyGroup();
}

void TkxSoftButton::SetDown(bool Value)
{
    if (FGroupIndex == 0)
        Value = false;
    if (Value == FDown)
        return;
    if (FDown && !FAllowAllUp)
        return;  // a down member is released only by another going down
    FDown = Value;
    if (Value) {
        if (FState == bsUp)
            update();
        FState = bsExclusive;
        NotifyGroup();
    } else {
        FState = bsUp;
        repaint();
    }
}

void TkxSoftButton::SetCaption(const QString& Value)
{
    if (Value == FCaption)
        return;
    FCaption = Value;
    const QKeySequence key = QKeySequence::mnemonic(Value);
    if (key.isEmpty()) {
        delete FAccelerator;
        FAccelerator = nullptr;
    } else {
        if (!FAccelerator) {
            FAccelerator = new QShortcut(this);
            FAccelerator->setContext(Qt::WindowShortcut);
            connect(FAccelerator, &QShortcut::activated, this, [this] { AcceleratorPressed(); });
        }
        FAccelerator->setKey(key);
    }
    update();
}

void TkxSoftButton::AcceleratorPressed()
{
    if (isEnabled() && isVisible() && parentWidget() && parentWidget()->isVisible())
        Click();
}

void TkxSoftButton::SetShadowed(bool Value)
{
    if (Value == FShadowed)
        return;
    FShadowed = Value;
    update();
}

void TkxSoftButton::SetFlat(bool Value)
{
    if (Value == FFlat)
        return;
    FFlat = Value;
    update();
}

const QImage& TkxSoftButton::Glyph() const
{
    if (FDrawGlyph)
        FGlyph = std::exchange(FDrawGlyph, nullptr)();
    return FGlyph;
}

void TkxSoftButton::SetGlyph(std::function<QImage()> Draw, int NumGlyphs)
{
    FGlyph = QImage();
    FDrawGlyph = std::move(Draw);
    update();
    SetNumGlyphs(NumGlyphs);
}

void TkxSoftButton::SetGlyph(const QImage& Value)
{
    FDrawGlyph = nullptr;
    FGlyph = Value;
    update();
    if (const int n = GuessNumGlyphs(Value))
        SetNumGlyphs(n);
}

void TkxSoftButton::SetNumGlyphs(int Value)
{
    Value = std::clamp(Value, 1, 5);
    if (Value == FNumGlyphs)
        return;
    FNumGlyphs = Value;
    update();
}

void TkxSoftButton::SetLayout(TkxButtonLayout Value)
{
    if (Value == FLayout)
        return;
    FLayout = Value;
    update();
}

void TkxSoftButton::SetEdgeType(TkxControlEdgeType Value)
{
    if (Value == FEdgeType)
        return;
    FEdgeType = Value;
    update();
}

void TkxSoftButton::SetMargin(int Value)
{
    if (Value == FMargin || Value < -1)
        return;
    FMargin = Value;
    update();
}

void TkxSoftButton::SetSpacing(int Value)
{
    if (Value == FSpacing)
        return;
    FSpacing = Value;
    update();
}

void TkxSoftButton::SetTransparent(bool Value)
{
    if (Value == FTransparent)
        return;
    FTransparent = Value;
    setAutoFillBackground(!Value);
    update();
}

void TkxSoftButton::Click()
{
    if (OnClick)
        OnClick(this);
}

TkxFaceState TkxSoftButton::FaceState()
{
    if (isEnabled() && FDown && FState == bsUp)
        FState = bsDown;
    if (FState == bsDown || FState == bsExclusive)
        return fstDown;
    if (!isEnabled())
        return fstDisabled;
    return FHot ? fstHot : fstNormal;
}

void TkxSoftButton::Paint(platform::Canvas& Canvas)
{
    const TkxFaceState state = FaceState();
    DrawButtonFace(true, Canvas, {0, 0, width(), height()}, kSoftButtonFace, kSoftButtonFace, kSoftButtonFace,
                   FFlat, FShadowed, false, false, FEdgeType, state, FCaption, &Glyph(), FNumGlyphs,
                   FHilightMode, FLayout == blGlyphRight, false, false, false, 0);
}

void TkxSoftButton::paintEvent(QPaintEvent*)
{
    if (!parentWidget())
        return;
    paintLayered(*this, [this](platform::Canvas& canvas) { Paint(canvas); });
}

bool TkxSoftButton::Inside(int X, int Y) const { return X >= 0 && X < width() && Y >= 0 && Y <= height(); }

void TkxSoftButton::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
    if (Button != Qt::LeftButton || !isEnabled())
        return;
    if (!FDown) {
        FState = bsDown;
        update();
    }
    FDragging = true;
}

void TkxSoftButton::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
    if (FDragging) {
        const TkxButtonState state = FDown ? bsExclusive : Inside(X, Y) ? bsDown : bsUp;
        if (state != FState) {
            FState = state;
            update();
        }
    } else if (!FHot) {
        const QPoint at(X, Y);
        UpdateHotTracking(&at);
    }
}

void TkxSoftButton::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
    if (!FDragging)
        return;
    FDragging = false;
    const bool click = Inside(X, Y);
    if (FGroupIndex == 0) {
        FState = bsUp;
        FHot = false;
        if (click)
            update();
    } else if (click) {
        SetDown(!FDown);
        if (FDown)
            repaint();
    } else {
        if (FDown)
            FState = bsExclusive;
        repaint();
    }
    if (click)
        Click();
    // Where the cursor is now: a click's handler may have run a modal box
    // while the cursor moved away.
    UpdateHotTracking();
}

void TkxSoftButton::UpdateHotTracking(const QPoint* Local)
{
    if (!isEnabled())
        return;
    const QPoint at = Local ? *Local : mapFromGlobal(QCursor::pos());
    bool over = rect().contains(at) && isVisible();
    if (over && parentWidget())
        over = parentWidget()->childAt(mapToParent(at)) == this;
    FHot = !over;
    if (FHot)
        MouseLeave();
    else
        MouseEnter();
}

void TkxSoftButton::MouseEnter()
{
    if (FHot || !isEnabled() || QWidget::mouseGrabber())
        return;
    FHot = true;
    if (FHilightMode != bhmNormal || FFlat)
        repaint();
}

void TkxSoftButton::MouseLeave()
{
    if (!FHot || !isEnabled() || FDragging)
        return;
    FHot = false;
    if (FHilightMode != bhmNormal || FFlat)
        update();
}

void TkxSoftButton::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TkxSoftButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    MouseMove(event->modifiers(), at.x(), at.y());
}

void TkxSoftButton::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    MouseUp(event->button(), event->modifiers(), at.x(), at.y());
}

void TkxSoftButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press like the first.
    const QPoint at = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), at.x(), at.y());
    if (event->button() == Qt::LeftButton && FDown && OnDblClick)
        OnDblClick(this);
}

void TkxSoftButton::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    MouseEnter();
}

void TkxSoftButton::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    MouseLeave();
}

void TkxSoftButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        FState = isEnabled() ? bsUp : bsDisabled;
        UpdateHotTracking();
        repaint();
        break;
    case QEvent::FontChange:
    case QEvent::PaletteChange: update(); break;
    default: break;
    }
}

void TkxSoftButton::NotifyGroup()
{
    if (FGroupIndex == 0 || !parentWidget())
        return;
    for (QObject* child : parentWidget()->children())
        if (auto* button = qobject_cast<TkxSoftButton*>(child))
            button->ButtonPressed(FGroupIndex, this);
}

void TkxSoftButton::ButtonPressed(int Group, TkxSoftButton* Sender)
{
    if (Group != FGroupIndex || Sender == this)
        return;
    if (Sender->FDown && FDown) {
        FDown = false;
        FState = bsUp;
        update();
    }
    FAllowAllUp = Sender->FAllowAllUp;
}

// ---- TkxPopupButton --------------------------------------------------------

TkxPopupButton::TkxPopupButton(QWidget* parent) : TkxSoftButton(parent)
{
    // The click that closes the drop-down menu does not open it again.
    setAttribute(Qt::WA_NoMouseReplay);
}

void TkxPopupButton::SetDrawDropDown(bool Value)
{
    if (Value == FDrawDropDown)
        return;
    FDrawDropDown = Value;
    update();
}

void TkxPopupButton::SetSeparateDropDown(bool Value)
{
    if (Value == FSeparateDropDown)
        return;
    FSeparateDropDown = Value;
    update();
}

void TkxPopupButton::Paint(platform::Canvas& Canvas)
{
    if (!FDrawDropDown) {
        TkxSoftButton::Paint(Canvas);
        return;
    }
    const TkxFaceState state = FaceState();
    DrawButtonFace(true, Canvas, {0, 0, width(), height()}, kSoftButtonFace, kSoftButtonFace, kSoftButtonFace,
                   Flat(), Shadowed(), false, false, EdgeType(), state, Caption(), &Glyph(), NumGlyphs(),
                   HilightMode(), Layout() == blGlyphRight, true, FState == bsDropDown, FSeparateDropDown,
                   DropDownWidth());
}

void TkxPopupButton::Click()
{
    TkxSoftButton::Click();
    if (!FSeparateDropDown)
        Popup();
}

bool TkxPopupButton::InPart(int X, int Y) const
{
    return X >= width() - DropDownWidth() && X < width() && Y >= 0 && Y < height();
}

void TkxPopupButton::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (Button != Qt::LeftButton || !isEnabled())
        return;
    if (FSeparateDropDown && FDrawDropDown && width() - DropDownWidth() < X) {
        FState = bsDropDown;
        update();
        FPopupDragging = true;
        return;
    }
    TkxSoftButton::MouseDown(Button, Shift, X, Y);
}

void TkxPopupButton::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (!FPopupDragging) {
        TkxSoftButton::MouseMove(Shift, X, Y);
        return;
    }
    TkxButtonState state = bsUp;
    if (InPart(X, Y)) {
        state = bsDropDown;
        FHot = true;
    }
    if (state != FState) {
        FState = state;
        update();
    }
}

void TkxPopupButton::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (!FPopupDragging) {
        TkxSoftButton::MouseUp(Button, Shift, X, Y);
        return;
    }
    FDragging = false;
    FPopupDragging = false;
    FState = bsUp;
    FHot = false;
    if (InPart(X, Y)) {
        update();
        Popup();
    }
}

void TkxPopupButton::Popup()
{
    bool handled = false;
    if (OnPopup)
        OnPopup(this, handled);
    if (handled || !FDropDownComponent)
        return;
    // The button's bottom-left corner on the screen.
    const QPoint corner = parentWidget() ? parentWidget()->mapToGlobal(QPoint(x(), y() + height()))
                                         : mapToGlobal(QPoint(0, height()));
    if (auto* menu = qobject_cast<QMenu*>(FDropDownComponent.data())) {
        menu->popup(corner);
    } else if (auto* panel = qobject_cast<QWidget*>(FDropDownComponent.data())) {
        // A panel inside a window is placed in its parent's coordinates.
        panel->move(panel->parentWidget() && !panel->isWindow() ? panel->parentWidget()->mapFromGlobal(corner)
                                                                : corner);
        panel->setVisible(true);
    }
}

// ---- TKXButton -------------------------------------------------------------

TKXButton::TKXButton(QWidget* parent) : TKXButton(QString(), parent) {}

TKXButton::TKXButton(const QString& Caption, QWidget* parent)
    : QPushButton(Caption, parent),
      FColor(platform::clBtnFace),
      FHiLightColor(platform::clBtnFace),
      FFocusedTextColor(platform::clRed)
{
    connect(this, &QPushButton::clicked, this, [this] { Clicked(); });
}

void TKXButton::Clicked()
{
    if (OnClick)
        OnClick(this);
    auto* dialog = qobject_cast<QDialog*>(window());
    if (!dialog || FModalResult == mrNone)
        return;
    if (FModalResult == mrOk)
        dialog->accept();
    else if (FModalResult == mrCancel)
        dialog->reject();
    else
        dialog->done(FModalResult);
}

void TKXButton::SetGlyph(const QImage& Value)
{
    FGlyph = Value;
    update();
    if (const int n = GuessNumGlyphs(Value))
        SetNumGlyphs(n);
}

void TKXButton::SetNumGlyphs(int Value)
{
    Value = std::clamp(Value, 1, 5);
    if (Value == FNumGlyphs)
        return;
    FNumGlyphs = Value;
    update();
}

void TKXButton::SetLeftText(bool Value)
{
    if (Value == FLeftText)
        return;
    FLeftText = Value;
    update();
}

void TKXButton::SetColor(platform::Color Value)
{
    if (Value == FColor)
        return;
    FColor = Value;
    update();
}

void TKXButton::SetHiLightColor(platform::Color Value)
{
    if (Value == FHiLightColor)
        return;
    FHiLightColor = Value;
    if (FHot)
        update();
}

void TKXButton::SetFocusedTextColor(platform::Color Value)
{
    if (Value == FFocusedTextColor)
        return;
    FFocusedTextColor = Value;
    if (hasFocus())
        update();
}

void TKXButton::SetDoFocusText(bool Value)
{
    if (Value == FFocusText)
        return;
    FFocusText = Value;
    if (hasFocus())
        update();
}

void TKXButton::SetShadowed(bool Value)
{
    if (Value == FShadowed)
        return;
    FShadowed = Value;
    update();
}

void TKXButton::SetFlat(bool Value)
{
    if (Value == FFlat)
        return;
    FFlat = Value;
    update();
}

void TKXButton::SetDrawFocus(bool Value)
{
    if (Value == FDrawFocus)
        return;
    FDrawFocus = Value;
    if (hasFocus())
        update();
}

void TKXButton::SetEdgeType(TkxControlEdgeType Value)
{
    if (Value == FEdgeType)
        return;
    FEdgeType = Value;
    update();
}

void TKXButton::SetDefault(bool Value)
{
    QPushButton::setDefault(Value);
    if (Value == FDefault)
        return;
    FDefault = Value;
    update();
}

void TKXButton::SetCancel(bool Value)
{
    if (Value == Cancel())
        return;
    if (!Value) {
        delete FCancelKey;
        FCancelKey = nullptr;
        return;
    }
    FCancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    FCancelKey->setContext(Qt::WindowShortcut);
    connect(FCancelKey, &QShortcut::activated, this, [this] {
        if (isEnabled() && isVisible())
            click();
    });
}

bool TKXButton::event(QEvent* event)
{
    const bool result = QPushButton::event(event);
    // The style's hover repaint would paint hot faces the button does not
    // ask for; hot tracking is the button's own.
    if (event->type() == QEvent::Polish)
        setAttribute(Qt::WA_Hover, false);
    return result;
}

void TKXButton::paintEvent(QPaintEvent*)
{
    paintLayered(*this, [this](platform::Canvas& canvas) {
        if (FDefault)
            canvas.font().setBold(true);
        TkxFaceState state = fstNormal;
        if (isDown())
            state = fstDown;
        else if (!isEnabled())
            state = fstDisabled;
        else if (FHot)
            state = fstHot;
        const platform::Color textColor = FFocusText ? FFocusedTextColor : fromQColor(canvas.fontColor());
        DrawButtonFace(false, canvas, {0, 0, width(), height()}, FColor, FHiLightColor, textColor, FFlat,
                       FShadowed, hasFocus(), FDrawFocus, FEdgeType, state, text(), &FGlyph, FNumGlyphs,
                       FHilightMode, false, false, false, false, 0);
    });
}

void TKXButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click is a second press and click.
    mousePressEvent(event);
}

void TKXButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    FHot = true;
    if (isEnabled() && (FHilightMode != bhmNormal || FFlat))
        update();
}

void TKXButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    FHot = false;
    if (isEnabled() && (FHilightMode != bhmNormal || FFlat))
        update();
}

void TKXButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange)
        update();
}

void TKXButton::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    update();
}

void TKXButton::focusInEvent(QFocusEvent* event)
{
    QPushButton::focusInEvent(event);
    update();
}

void TKXButton::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    update();
}
