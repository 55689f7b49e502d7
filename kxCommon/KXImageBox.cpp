#include "kxCommon/KXImageBox.h"

#include "kxCommon/kxGraphicUtils.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/Printer.h"
#include "platform/ShellIcons.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>

using namespace KXImageBoxLayout;

namespace {

constexpr int kDefaultOffset = 6;
// One notch of a mouse wheel.
constexpr int kWheelNotch = 120;

// The virtual-key code of the keys the grid acts on; 0 for every other key.
std::uint16_t VirtualKey(int key)
{
    switch (key) {
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    default: return 0;
    }
}

// Whole local paths in drop order; other URLs are no files to open.
QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    if (!data)
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

}  // namespace

// ---------------------------------------------------------------------------
// TKXImageBox

TKXImageBox::TKXImageBox(TKXScrollBox* AOwner)
    : QWidget(AOwner ? AOwner->viewport() : nullptr),
      FOwner(AOwner),
      FLayout(GetLargeIconWidth(), GetLargeIconHeight(), kDefaultOffset)
{
    setBackgroundRole(QPalette::Base);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    move(0, 0);
    resize(FLayout.Width(), FLayout.Height());
}

TKXImageBox::~TKXImageBox() = default;

int TKXImageBox::GetLargeIconWidth() { return platform::kLargeIconSize; }
int TKXImageBox::GetLargeIconHeight() { return platform::kLargeIconSize; }
int TKXImageBox::GetSmallIconWidth() { return platform::kSmallIconSize; }
int TKXImageBox::GetSmallIconHeight() { return platform::kSmallIconSize; }

const platform::Icon& TKXImageBox::GetIcon(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw platform::ListIndexError(Index);
    return FIcons[static_cast<size_t>(Index)];
}

void TKXImageBox::ApplySizing()
{
    if (FIconSizing == isSmall)
        FLayout.SetItemSize(GetSmallIconWidth(), GetSmallIconHeight());
    else
        FLayout.SetItemSize(GetLargeIconWidth(), GetLargeIconHeight());
}

void TKXImageBox::UpdateLayout()
{
    FLayout.UpdateLayout(width(), Count());
    resize(width(), std::min(FLayout.Height(), QWIDGETSIZE_MAX));
}

QRect TKXImageBox::CellQRect(int Index) const
{
    const TCellRect r = FLayout.CellRect(Index);
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TKXImageBox::DrawCell(int Index) { update(CellQRect(Index)); }

bool TKXImageBox::OwnerHasFocus() const { return FOwner && FOwner->hasFocus(); }

void TKXImageBox::SetItemWidth(int Value)
{
    if (FLayout.SetItemWidth(Value)) {
        UpdateLayout();
        update();
    }
}

void TKXImageBox::SetItemHeight(int Value)
{
    if (FLayout.SetItemHeight(Value)) {
        UpdateLayout();
        update();
    }
}

void TKXImageBox::SetOffset(int Value)
{
    if (FLayout.SetOffset(Value)) {
        UpdateLayout();
        update();
    }
}

void TKXImageBox::SetIconSizing(TIconSizing Value)
{
    if (Value == FIconSizing)
        return;
    FIconSizing = Value;
    ApplySizing();
    const QFileInfo info(FFileName);
    if (!FFileName.isEmpty() && info.exists() && !info.isDir()) {
        Refresh();
    } else {
        UpdateLayout();
        update();
    }
}

void TKXImageBox::SetFileName(const QString& Value)
{
    if (Value == FFileName)
        return;
    FFileName = Value;
    Refresh();
}

void TKXImageBox::SetText(const QString& Value)
{
    if (Value == FText)
        return;
    FText = Value;
    if (Count() < 3)
        update();
}

void TKXImageBox::SetUnableToLoadOrFindIconsMsg(const QString& Value)
{
    if (Value == FUnableToLoadOrFindIconsMsg)
        return;
    FUnableToLoadOrFindIconsMsg = Value;
    if (Count() == 0)
        update();
}

void TKXImageBox::Refresh()
{
    FIcons.clear();
    ApplySizing();
    const int size = FIconSizing == isSmall ? GetSmallIconWidth() : GetLargeIconWidth();
    FAssociated = false;
    if (!FFileName.isEmpty()) {
        // A module or .ico file with no icon of its own shows its file
        // type's icon; anything else is extracted, and may yield none.
        const platform::IconSource probe = platform::probeIconSource(FFileName);
        if (probe.isIconSource() && probe.count == 0) {
            platform::Icon icon = platform::associatedIcon(FFileName, size);
            if (!icon.isNull())
                FIcons.push_back(std::move(icon));
            FAssociated = true;
        } else {
            // Undecodable groups stay as null icons so that every position
            // is the file's icon index.
            FIcons = platform::extractIcons(FFileName, size);
        }
    }
    FItemIndex = -1;
    if (FOwner) {
        FOwner->FitImageBox(true);
        // A new load shows its first row, where the owner selects.
        FOwner->verticalScrollBar()->setValue(0);
    } else {
        UpdateLayout();
    }
    update();
}

void TKXImageBox::SetItemIndex(int Value)
{
    if (Value == FItemIndex)
        return;
    TScrollView view;
    QScrollBar* bar = FOwner ? FOwner->verticalScrollBar() : nullptr;
    if (bar) {
        view.position = bar->value();
        view.pageHeight = FOwner->viewport()->height();
        view.increment = bar->singleStep();
        view.range = height();
    }
    const TSelectionScroll move = SelectionScroll(FLayout, FItemIndex, Value, view);
    if (move.move == TSelectionMove::None)
        return;
    const int old = FItemIndex;
    FItemIndex = move.newIndex;
    if (bar && (move.move == TSelectionMove::Below || move.move == TSelectionMove::Above))
        bar->setValue(move.position);
    if (old < Count())
        DrawCell(old);
    DrawCell(FItemIndex);
    if (FOwner && FOwner->OnSelectItem)
        FOwner->OnSelectItem(FOwner, FItemIndex);
}

void TKXImageBox::DrawAll(platform::Canvas& C) { DrawIcons(C, nullptr); }

void TKXImageBox::DrawIcons(platform::Canvas& C, const QRect* Area)
{
    const int w = ItemWidth();
    const int h = ItemHeight();
    for (int i = 0; i < Count(); ++i) {
        const TCellPoint p = FLayout.IconPosition(i);
        if (Area && !Area->intersects(QRect(p.x, p.y, w, h)))
            continue;
        FIcons[static_cast<size_t>(i)].draw(C.painter(), p.x, p.y, w, h);
    }
}

void TKXImageBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    platform::Canvas canvas(painter);
    canvas.font() = font();
    canvas.brush().color = palette().color(backgroundRole());
    canvas.fillRect({0, 0, width(), height()});

    QString message;
    if (Count() == 0 && !FUnableToLoadOrFindIconsMsg.isEmpty() && !FFileName.isEmpty())
        message = FUnableToLoadOrFindIconsMsg;
    else if (Count() < 3 && !FText.isEmpty())
        message = FText;
    if (!message.isEmpty()) {
        const QFont font = canvas.font();
        const QColor color = canvas.fontColor();
        canvas.font().setBold(true);
        canvas.fontColor() = QColor(192, 192, 192);
        canvas.textOut(width() / 2 - canvas.textWidth(message) / 2,
                       height() / 2 - canvas.textHeight(message) / 2, message);
        canvas.font() = font;
        canvas.fontColor() = color;
    }

    if (Count() > 0) {
        const TCellRect cell = FLayout.CellRect(FItemIndex);
        const platform::Rect selection {cell.left, cell.top, cell.right, cell.bottom};
        if (FItemIndex >= 0) {
            const QColor brush = canvas.brush().color;
            canvas.brush().color = palette().color(QPalette::Highlight);
            canvas.fillRect(selection);
            canvas.brush().color = brush;
        }
        // All icons, as DrawAll would; those outside the exposed area would
        // be clipped anyway, and a large file scrolls without drawing them.
        const QRect exposed = event->rect();
        DrawIcons(canvas, &exposed);
        if (OwnerHasFocus())
            canvas.drawFocusRect(selection);
    }

    if (FOwner && FOwner->OnCustomPaint)
        FOwner->OnCustomPaint(this, canvas);
}

void TKXImageBox::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
    if (FOwner)
        FOwner->setFocus(Qt::MouseFocusReason);
    const int hit = FLayout.HitTest(X, Y);
    if (hit != FItemIndex) {
        const int old = FItemIndex;
        SetItemIndex(FLayout.ClampIndex(hit));
        DrawCell(old);
        if (hit < Count())
            DrawCell(hit);
    }
    if (FOwner)
        FOwner->MouseDown(Button, Shift, X, Y);
}

void TKXImageBox::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
    if (FOwner)
        FOwner->DblClick();
}

void TKXImageBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    event->accept();
    MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TKXImageBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press as well.
    mousePressEvent(event);
    DblClick();
}

void TKXImageBox::Print(bool All, int Scale, platform::Printer& Printer)
{
    if (Count() == 0 || (!All && FItemIndex < 0))
        return;
    const int64_t width = All ? int64_t {ColWidth()} * ColCount() + 2 : ItemWidth();
    const int64_t pictureHeight = All ? height() : ItemHeight();
    CheckGridPictureSize(Count(), width, pictureHeight, QStringLiteral("printed"));
    platform::Bitmap bitmap(static_cast<int>(width), static_cast<int>(pictureHeight),
                            platform::PixelFormat::Device);
    bitmap.image().fill(Qt::white);
    {
        platform::BitmapPainter painter(bitmap);
        platform::Canvas canvas(painter);
        if (All)
            DrawAll(canvas);
        else
            FIcons[static_cast<size_t>(FItemIndex)].draw(painter, 0, 0, ItemWidth(), ItemHeight());
    }
    Printer.beginDoc();
    try {
        PrintBitmap(bitmap, Scale, Printer);
    } catch (...) {
        // Leave the printer ready for the next document.
        Printer.device().abort();
        if (Printer.printing())
            Printer.canvas().end();
        throw;
    }
    Printer.endDoc();
}

// ---------------------------------------------------------------------------
// TKXScrollBox

TKXScrollBox::TKXScrollBox(QWidget* AOwner) : QScrollArea(AOwner)
{
    FImageBox = new TKXImageBox(this);
    setWidgetResizable(false);
    setWidget(FImageBox);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    // The space below the last row looks like the grid.
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(FImageBox->RowHeight());
    // The wheel over the bar moves the selection too, never the view.
    verticalScrollBar()->installEventFilter(this);
}

TKXScrollBox::~TKXScrollBox()
{
    delete takeWidget();
    FImageBox = nullptr;
}

void TKXScrollBox::SetOnDropFiles(TDropFilesEvent Value)
{
    FOnDropFiles = std::move(Value);
    // The box itself takes what is dropped on its scroll bar.
    viewport()->setAcceptDrops(static_cast<bool>(FOnDropFiles));
    setAcceptDrops(static_cast<bool>(FOnDropFiles));
}

bool TKXScrollBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == verticalScrollBar() && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

void TKXScrollBox::FitImageBox(bool AllowForScrollBar)
{
    if (!FImageBox)
        return;
    int width = viewport()->width();
    FImageBox->resize(width, FImageBox->height());
    FImageBox->UpdateLayout();
    // The bar shows only after this; the grid takes its width now, so that
    // it is not laid out twice.
    if (AllowForScrollBar && viewport()->height() < FImageBox->height()
        && !verticalScrollBar()->isVisible()) {
        width -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
        FImageBox->resize(std::max(width, 0), FImageBox->height());
        FImageBox->UpdateLayout();
    }
}

void TKXScrollBox::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    FitImageBox(false);
    viewport()->update();
}

void TKXScrollBox::NavigateKey(std::uint16_t& Key, Qt::KeyboardModifiers Shift)
{
    Q_UNUSED(Shift);
    if (!FImageBox || FImageBox->Count() == 0)
        return;
    const int rowsPerPage = viewport()->height() / FImageBox->RowHeight();
    const int next = KXImageBoxLayout::NavigateKey(Key, FImageBox->ItemIndex(), FImageBox->Count(),
                                                   FImageBox->ColCount(), rowsPerPage);
    FImageBox->SetItemIndex(next);
}

bool TKXScrollBox::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // The grid's keys are the grid's, not a shortcut's.
        const std::uint16_t key = VirtualKey(static_cast<QKeyEvent*>(event)->key());
        if (key != 0 && (IsArrowKey(key) || (FImageBox && FImageBox->Count() > 0))) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        const std::uint16_t used = VirtualKey(keyEvent->key());
        if (used == 0)
            break;
        std::uint16_t key = used;
        NavigateKey(key, keyEvent->modifiers());
        // Arrows never move the focus nor reach the parent, even on an
        // empty grid.
        if (key == 0 || IsArrowKey(used)) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyRelease:
        if (IsArrowKey(VirtualKey(static_cast<QKeyEvent*>(event)->key()))) {
            event->accept();
            return true;
        }
        break;
    // Those that reach the box itself rather than its viewport: over the
    // frame and the scroll bar. The scroll area would let them go.
    case QEvent::Wheel: wheelEvent(static_cast<QWheelEvent*>(event)); return true;
    case QEvent::DragEnter:
    case QEvent::DragMove: AcceptDrag(static_cast<QDragMoveEvent*>(event)); return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        DropFiles(drop, viewport()->mapFrom(this, drop->position().toPoint()));
        return true;
    }
    default: break;
    }
    return QScrollArea::event(event);
}

void TKXScrollBox::wheelEvent(QWheelEvent* event)
{
    // The wheel moves the selection, never the view.
    event->accept();
    const int delta = event->angleDelta().y();
    if (delta == 0)
        return;
    if (FWheelDelta != 0 && (delta > 0) != (FWheelDelta > 0))
        FWheelDelta = 0;
    const long long total = static_cast<long long>(FWheelDelta) + delta;
    long long rows = total / kWheelNotch;
    FWheelDelta = static_cast<int>(total % kWheelNotch);
    // More rows than the grid has move no further.
    const long long most = FImageBox ? std::max(FImageBox->RowCount(), 1) : 1;
    rows = std::clamp(rows, -most, most);
    for (long long i = 0; i < std::abs(rows); ++i) {
        std::uint16_t key = rows > 0 ? VK_UP : VK_DOWN;
        NavigateKey(key, Qt::NoModifier);
    }
}

void TKXScrollBox::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
    if (FImageBox && FImageBox->Count() > 0)
        FImageBox->DrawCell(FImageBox->ItemIndex());
}

void TKXScrollBox::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TKXScrollBox::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    setFocus(Qt::MouseFocusReason);
    // Presses reach us through the viewport, in its coordinates.
    const QPoint at = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TKXScrollBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
    DblClick();
}

void TKXScrollBox::focusInEvent(QFocusEvent* event)
{
    QScrollArea::focusInEvent(event);
    if (FImageBox)
        FImageBox->DrawCell(FImageBox->ItemIndex());
}

void TKXScrollBox::focusOutEvent(QFocusEvent* event)
{
    QScrollArea::focusOutEvent(event);
    if (FImageBox)
        FImageBox->DrawCell(FImageBox->ItemIndex());
}

void TKXScrollBox::AcceptDrag(QDragMoveEvent* event)
{
    if (FOnDropFiles && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TKXScrollBox::DropFiles(QDropEvent* event, QPoint At)
{
    const QStringList files = LocalFiles(event->mimeData());
    if (!FOnDropFiles || files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // A copy: the handler may replace itself.
    const TDropFilesEvent handler = FOnDropFiles;
    handler(this, At.x(), At.y(), files);
}

void TKXScrollBox::dragEnterEvent(QDragEnterEvent* event) { AcceptDrag(event); }

void TKXScrollBox::dragMoveEvent(QDragMoveEvent* event) { AcceptDrag(event); }

// Drops on the viewport arrive in its coordinates.
void TKXScrollBox::dropEvent(QDropEvent* event) { DropFiles(event, event->position().toPoint()); }
