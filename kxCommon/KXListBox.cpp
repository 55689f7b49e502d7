#include "kxCommon/KXListBox.h"

#include "kxCommon/kxMasks.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFrame>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int kObjectRole = Qt::UserRole + 1;
// Longest dropped name kept, as the drop's name buffer holds.
constexpr int kMaxDroppedName = 260;

QString trimLeft(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] <= u' ')
        ++i;
    return s.mid(i);
}

// Sorted lists order by the locale, letter case ignored, as the list
// control of the platform does.
class TListItem : public QListWidgetItem {
public:
    explicit TListItem(const QString& text) : QListWidgetItem(text) {}
    bool operator<(const QListWidgetItem& other) const override
    {
        const int c = QString::localeAwareCompare(text().toLower(), other.text().toLower());
        return c != 0 ? c < 0 : text() < other.text();
    }
};

class TKXListBoxDelegate : public QStyledItemDelegate {
public:
    explicit TKXListBoxDelegate(TKXListBox* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // The toolkit's own part around the owner drawing: the selection
        // colours before, the focus rectangle after.
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = m_list->palette();
        TOwnerDrawState state = selected ? odSelected : 0;
        if (option.state & QStyle::State_HasFocus)
            state |= odFocused;
        m_list->DrawItem(*painter, index.row(), option.rect, state,
                         pal.color(selected ? QPalette::Highlight : QPalette::Base),
                         pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
        if (state & odFocused) {
            QStyleOptionFocusRect focus;
            focus.initFrom(m_list);
            focus.rect = option.rect;
            focus.backgroundColor = pal.color(QPalette::Highlight);
            m_list->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, m_list);
        }
    }

    // No width of their own: the view stretches each row to the viewport as
    // it is when asked, so rows laid out before the vertical bar appeared
    // do not stay wider than the viewport it leaves.
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return QSize(0, m_list->ItemHeight());
    }

private:
    TKXListBox* m_list;
};

}  // namespace

// The hint lies over the item's text, under the pointer: it lets the pointer
// through, or the list would see the pointer leave and drop the hint at once.
class TListHint : public QLabel {
public:
    explicit TListHint(QWidget* owner)
        : QLabel(owner,
                 Qt::ToolTip | Qt::BypassWindowManagerHint | Qt::WindowTransparentForInput
                     | Qt::WindowDoesNotAcceptFocus)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setForegroundRole(QPalette::ToolTipText);
        setBackgroundRole(QPalette::ToolTipBase);
        setPalette(QToolTip::palette());
        setFont(QToolTip::font());
        setTextFormat(Qt::PlainText);
        setMargin(1 + style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, this));
        FExpire.setSingleShot(true);
        connect(&FExpire, &QTimer::timeout, this, &QWidget::hide);
    }

    void ShowAt(QPoint Global, const QString& Text)
    {
        setText(Text);
        resize(sizeHint());
        move(Global);
        show();
        raise();
        // As long as the program's other hints stay.
        FExpire.start(10000 + 40 * static_cast<int>(Text.size()));
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QStylePainter painter(this);
        QStyleOptionFrame frame;
        frame.initFrom(this);
        painter.drawPrimitive(QStyle::PE_PanelTipLabel, frame);
        painter.end();
        QLabel::paintEvent(e);
    }

private:
    QTimer FExpire;
};

// ---- TSearchEdit ------------------------------------------------------------

TSearchEdit::TSearchEdit(TKXListBox* Owner) : QLineEdit(Owner), FOwner(Owner)
{
    setFocusPolicy(Qt::ClickFocus);
    connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
}

void TSearchEdit::Deselect()
{
    deselect();
    setCursorPosition(static_cast<int>(text().size()));
}

void TSearchEdit::Hide()
{
    // An edit the list has let go of is already hidden and on its way out.
    if (!isVisible() || FOwner->FEditor != this)
        return;
    update();
    const bool hadFocus = hasFocus();
    hide();
    if (hadFocus)
        FOwner->setFocus();
    // Freed later, never inside one of its own handlers.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (FOwner->FEditor == this)
                FOwner->SetEditorVisible(false);
        },
        Qt::QueuedConnection);
}

void TSearchEdit::Change()
{
    if (FCompleting)
        return;
    const QString text = this->text();
    if (text.trimmed().size() > FPrevLength && !hasSelectedText()) {
        const int selStart = cursorPosition();
        const QString typed = trimLeft(text.left(selStart));
        if (!typed.isEmpty() && typed == typed.trimmed()) {
            const int found = FOwner->IndexOf(typed);
            if (found >= 0) {
                if (found != FOwner->ItemIndex())
                    selectAll();
            } else {
                const QString lowTyped = typed.toLower();
                const QString lowText = trimLeft(text).toLower();
                for (int i = 0; i < FOwner->count(); ++i) {
                    const QString item = FOwner->item(i)->text();
                    const QString lowItem = item.toLower();
                    if (!lowItem.startsWith(lowTyped) || lowText.startsWith(lowItem))
                        continue;
                    const QString newText = text.left(selStart) + item.mid(typed.size()).toLower();
                    FCompleting = true;
                    setText(newText);
                    FCompleting = false;
                    setSelection(selStart, static_cast<int>(newText.size()) - selStart);
                    FPrevLength = static_cast<int>(newText.trimmed().size());
                    return;
                }
            }
        }
    }
    FPrevLength = static_cast<int>(text.trimmed().size());
}

bool TSearchEdit::event(QEvent* e)
{
    // Tab goes to the list's key handler and does not move the focus.
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) && !(k->modifiers() & Qt::AltModifier)) {
            if (FOwner->OnKeyDown)
                FOwner->OnKeyDown(FOwner, k->key(), k->modifiers());
            return true;
        }
    }
    return QLineEdit::event(e);
}

void TSearchEdit::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Escape: Hide(); return;
    case Qt::Key_F2: Deselect(); return;
    case Qt::Key_Return:
    case Qt::Key_Enter: EnterPressed(); return;
    default:
        EditKey([&] { QLineEdit::keyPressEvent(e); });
        // Every key stays with the edit; the arrows must not move the
        // list's selection under it.
        e->accept();
    }
}

void TSearchEdit::inputMethodEvent(QInputMethodEvent* e)
{
    EditKey([&] { QLineEdit::inputMethodEvent(e); });
}

void TSearchEdit::EditKey(const std::function<void()>& Handle)
{
    // A key acts on the text less its selection: a character typed over a
    // selected completion adds to what was typed, and Backspace over it
    // adds nothing. Keys that leave the text alone change no length.
    const int prevLength = FPrevLength;
    const QString before = text();
    if (hasSelectedText()) {
        const QString rest = before.left(selectionStart()) + before.mid(selectionEnd());
        FPrevLength = static_cast<int>(rest.trimmed().size());
    }
    Handle();
    if (text() == before)
        FPrevLength = prevLength;
}

void TSearchEdit::EnterPressed()
{
    const int len = static_cast<int>(text().size());
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : cursorPosition();
    if (start == 0 && end == len)
        Deselect();
    else
        selectAll();
    if (FOwner->MultiSelect()) {
        const int index = FOwner->IndexOf(text());
        if (index >= 0 && !(FOwner->item(index)->isSelected() && FOwner->selectedItems().size() == 1)) {
            FOwner->item(index)->setSelected(true);
            FOwner->FireClick();
            Hide();
        }
        return;
    }
    const int old = FOwner->ItemIndex();
    const QString wanted = text().toLower();
    for (int i = 0; i < FOwner->count(); ++i)
        if (FOwner->item(i)->text().toLower().startsWith(wanted)) {
            FOwner->SetItemIndex(i);
            break;
        }
    if (FOwner->ItemIndex() != old) {
        FOwner->FireClick();
        Hide();
    }
}

void TSearchEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    Hide();
}

// ---- TKXListBox -------------------------------------------------------------

TKXListBox::TKXListBox(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new TKXListBoxDelegate(this));
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setMouseTracking(true);
    FItemHeight = std::max(FItemHeight, FontTextHeight(font()));
    connect(this, &QListWidget::clicked, this, [this] { FireClick(); });
}

TKXListBox::~TKXListBox() = default;

int TKXListBox::FontTextHeight(const QFont& Font) { return QFontMetrics(Font).height(); }

void TKXListBox::SetItemHeight(int Value)
{
    FItemHeight = std::max(1, Value);
    doItemsLayout();
}

void TKXListBox::SetSorted(bool Value)
{
    setSortingEnabled(Value);
    if (Value)
        sortItems();
}

bool TKXListBox::MultiSelect() const
{
    return selectionMode() == QAbstractItemView::MultiSelection
        || selectionMode() == QAbstractItemView::ExtendedSelection;
}

int TKXListBox::ItemIndex() const
{
    QListWidgetItem* current = currentItem();
    return current && current->isSelected() ? row(current) : -1;
}

void TKXListBox::SetItemIndex(int Index)
{
    setCurrentRow(Index);
    if (Index < 0)
        clearSelection();
}

int TKXListBox::TopIndex() const { return verticalScrollBar()->value(); }

void TKXListBox::SetTopIndex(int Index) { verticalScrollBar()->setValue(Index); }

void TKXListBox::AddItem(const QString& S, const QVariant& Object)
{
    auto* item = new TListItem(S);
    if (Object.isValid())
        item->setData(kObjectRole, Object);
    addItem(item);
}

QStringList TKXListBox::ItemStrings() const
{
    QStringList result;
    result.reserve(count());
    for (int i = 0; i < count(); ++i)
        result << item(i)->text();
    return result;
}

int TKXListBox::IndexOf(const QString& S) const
{
    for (int i = 0; i < count(); ++i)
        if (item(i)->text().compare(S, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TKXListBox::FireClick()
{
    if (OnClick)
        OnClick(this);
}

void TKXListBox::SetAlterIndex(int Index)
{
    if (Index == FAlterIndex)
        return;
    const int old = FAlterIndex;
    FAlterIndex = Index;
    if (old >= 0 && old != ItemIndex())
        RedrawItem(old);
}

void TKXListBox::RedrawItem(int Index)
{
    if (QListWidgetItem* it = item(Index))
        viewport()->update(visualItemRect(it));
}

void TKXListBox::SetFilter(const QString& Value)
{
    if (Value == FFilter)
        return;
    FFilter = Value;
    ApplyFilter();
}

void TKXListBox::FreeItemAttrs()
{
    // The attributes are values owned by the items; dropping them is all
    // there is to free.
    for (int i = 0; i < count(); ++i)
        if (item(i)->data(kObjectRole).canConvert<TDBObjectAttrs>())
            item(i)->setData(kObjectRole, QVariant());
}

void TKXListBox::ApplyFilter()
{
    const int index = ItemIndex();
    const QString selected = index >= 0 && index < count() ? item(index)->text() : QString();
    auto attrsOf = [](const QVariant& object) {
        TDBObjectAttrs attrs;
        if (object.canConvert<TDBObjectAttrs>())
            attrs.Assign(object.value<TDBObjectAttrs>());
        return QVariant::fromValue(attrs);
    };
    if (FFilter.isEmpty() && !FAllItems.empty()) {
        Clear();
        for (const auto& [s, object] : FAllItems)
            AddItem(s, attrsOf(object));
        FAllItems.clear();
    } else if (!FFilter.isEmpty() && count() > 0) {
        FAllItems.clear();
        for (int i = 0; i < count(); ++i)
            FAllItems.emplace_back(item(i)->text(), attrsOf(item(i)->data(kObjectRole)));
        Clear();
        for (const auto& [s, object] : FAllItems)
            if (WildcardMatch(s, FFilter))
                AddItem(s, attrsOf(object));
    }
    if (!selected.isEmpty())
        if (const int i = ItemStrings().indexOf(selected); i >= 0)
            SetItemIndex(i);
    viewport()->update();
}

void TKXListBox::ClearFull()
{
    FreeItemAttrs();
    Clear();
    FAllItems.clear();
    FFilter.clear();
}

void TKXListBox::ClearSelection()
{
    SetItemIndex(-1);
    if (MultiSelect())
        clearSelection();
}

void TKXListBox::Clear()
{
    clear();
    ResetContent();
}

void TKXListBox::ResetContent()
{
    FItemHeight = std::max(FItemHeight, FontTextHeight(font()));
    FAlterIndex = -1;
}

void TKXListBox::BeginUpdate()
{
    if (FUpdateCount++ == 0)
        setUpdatesEnabled(false);
}

void TKXListBox::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        setUpdatesEnabled(true);
}

void TKXListBox::DrawItem(QPainter& Painter, int Index, const QRect& Rect, TOwnerDrawState ItemState,
                          const QColor& Brush, const QColor& FontColor)
{
    if (Index < 0 || Index >= count())
        return;
    QColor brush = Brush;
    QColor fontColor = FontColor;
    const bool hot = FShowAlterItem && Index == FAlterIndex && !(ItemState & odSelected);
    const bool hotAsSelected = hot && ItemIndex() < 0;
    if (hotAsSelected) {
        brush = palette().color(QPalette::Highlight);
        fontColor = palette().color(QPalette::HighlightedText);
    }
    int offset = 2;
    const int th = FontTextHeight(font());
    QString text = item(Index)->text();
    Painter.fillRect(Rect, brush);

    QFont canvasFont = font();
    QImage bmp;
    if (OnGetItemParams) {
        QFont f = canvasFont;
        QColor c = fontColor;
        OnGetItemParams(this, Index, ItemState, f, c, &bmp, offset, text);
        canvasFont = f;
        if (!hotAsSelected)
            fontColor = c;
    }
    // Right and bottom exclusive, as the toolkit's rectangles.
    const int left = Rect.left(), top = Rect.top(), bottom = Rect.top() + Rect.height();
    if (!bmp.isNull()) {
        int x = (left + offset) / 2 - bmp.width() / 2;
        if (offset - bmp.width() == 1)
            ++x;
        int y = (top + bottom) / 2 - bmp.height() / 2;
        if ((bottom - top) - bmp.height() == 1)
            ++y;
        Painter.drawImage(x, y, bmp);
    }
    if (!text.isEmpty()) {
        Painter.save();
        Painter.setFont(canvasFont);
        Painter.setPen(fontColor);
        const int y = (top + bottom) / 2 - th / 2;
        Painter.drawText(left + offset, y + QFontMetrics(canvasFont).ascent(), text);
        Painter.restore();
    }
    if (hot && !hotAsSelected) {
        Painter.save();
        Painter.setPen(QColor(Qt::red));
        const int right = Rect.left() + Rect.width();
        Painter.drawPolyline(
            QPolygon({QPoint(left, top), QPoint(right - 1, top), QPoint(right - 1, bottom - 1),
                      QPoint(left, bottom - 1), QPoint(left, top)}));
        Painter.restore();
    }
}

bool TKXListBox::HintFor(QPoint Pos, QString& Text, QRect& CursorRect, QPoint& GlobalPos)
{
    if (!FShowHint)
        return false;
    QListWidgetItem* it = itemAt(Pos);
    const int index = it ? row(it) : -1;
    QString text = it ? it->text() : QString();
    int offset = 2;
    QFont f = font();
    if (OnGetItemParams) {
        QColor c = palette().color(QPalette::Text);
        OnGetItemParams(this, index, odHintState, f, c, nullptr, offset, text);
    }
    if (text.isEmpty() || !it || QFontMetrics(f).horizontalAdvance(text) <= viewport()->width() - offset)
        return false;
    const QRect r = visualItemRect(it);
    const int l = offset - 2;
    Text = text;
    CursorRect = QRect(QPoint(l, r.top()), QPoint(viewport()->width() + l - 1, r.bottom()));
    GlobalPos = viewport()->mapToGlobal(QPoint(l, r.top()));
    return true;
}

void TKXListBox::ShowHint(QPoint Pos)
{
    QString text;
    QRect rect;
    QPoint global;
    if (!HintFor(Pos, text, rect, global)) {
        HideHint();
        return;
    }
    if (FHint && FHint->isVisible() && rect == FHintRect && FHint->text() == text)
        return;
    if (!FHint)
        FHint = new TListHint(this);
    FHintRect = rect;
    FHint->ShowAt(global, text);
}

void TKXListBox::HideHint()
{
    if (FHint)
        FHint->hide();
}

bool TKXListBox::viewportEvent(QEvent* e)
{
    switch (e->type()) {
    case QEvent::ToolTip: {
        const QPoint pos = static_cast<QHelpEvent*>(e)->pos();
        ShowHint(pos);
        if (FHint && FHint->isVisible())
            return true;
        break;
    }
    case QEvent::MouseMove:
        if (FHint && FHint->isVisible()
            && !FHintRect.contains(static_cast<QMouseEvent*>(e)->position().toPoint()))
            HideHint();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel: HideHint(); break;
    case QEvent::Leave:
        // The window system reports a leave while it maps the hint under
        // the pointer: only a pointer that has left the item drops it.
        if (FHint && !(FHintRect & viewport()->rect()).contains(viewport()->mapFromGlobal(QCursor::pos())))
            HideHint();
        if (FAlterIndex >= 0 && !viewport()->rect().contains(viewport()->mapFromGlobal(QCursor::pos()))) {
            const int old = FAlterIndex;
            FAlterIndex = -1;
            if (old != ItemIndex())
                RedrawItem(old);
        }
        break;
    default: break;
    }
    return QListWidget::viewportEvent(e);
}

void TKXListBox::leaveEvent(QEvent* e) { QListWidget::leaveEvent(e); }

void TKXListBox::mouseMoveEvent(QMouseEvent* e)
{
    QListWidget::mouseMoveEvent(e);
    const int y = static_cast<int>(e->position().y());
    if (!FShowAlterItem || MultiSelect() || count() == 0 || y < 0 || y >= count() * FItemHeight)
        return;
    const int visibleRow = y / FItemHeight;
    const int newIndex = visibleRow + TopIndex();
    if (newIndex == FAlterIndex)
        return;
    if (FEditorVisible && visibleRow <= 1)
        return;
    const int old = FAlterIndex;
    FAlterIndex = newIndex;
    if (old != -1 && old != ItemIndex())
        RedrawItem(old);
    if (FEditor && old - TopIndex() >= 0 && old - TopIndex() <= 1)
        FEditor->update();
    if (newIndex != ItemIndex() && viewport()->rect().contains(e->position().toPoint()))
        RedrawItem(newIndex);
}

bool TKXListBox::AltArrowKey(int Key)
{
    if (FEditorVisible || !FShowAlterItem || MultiSelect())
        return false;
    const int old = FAlterIndex;
    if (Key == Qt::Key_Up) {
        if (FAlterIndex > 0) {
            --FAlterIndex;
            if (FAlterIndex < TopIndex())
                SetTopIndex(TopIndex() - 1);
        }
    } else {
        if (FAlterIndex < count() - 1) {
            ++FAlterIndex;
            if (height() / FItemHeight + TopIndex() <= FAlterIndex)
                SetTopIndex(TopIndex() + 1);
        }
    }
    if (old != -1 && old != ItemIndex())
        RedrawItem(old);
    if (FAlterIndex != ItemIndex())
        RedrawItem(FAlterIndex);
    return true;
}

void TKXListBox::keyPressEvent(QKeyEvent* e)
{
    HideHint();
    // The list copies nothing of its own: the copy key is its window's.
    if (e->matches(QKeySequence::Copy)) {
        e->ignore();
        return;
    }
    if ((e->modifiers() & Qt::AltModifier) && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)
        && AltArrowKey(e->key()))
        return;
    const QString text = e->text();
    // Only a typed character opens the edit: a key with Alt or the logo key
    // is a command, and Delete, like the other control keys, types nothing.
    constexpr Qt::KeyboardModifiers kCommand = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!FEditorVisible && FDirectSearch && !text.isEmpty() && !(e->modifiers() & kCommand)) {
        const char32_t ch = text.toUcs4().value(0);
        if (QChar::isPrint(ch) && ch != U' ') {
            SetEditorVisible(true);
            QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text(), e->isAutoRepeat(), e->count());
            QCoreApplication::sendEvent(FEditor, &copy);
            return;
        }
    }
    const int old = ItemIndex();
    QListWidget::keyPressEvent(e);
    if (ItemIndex() != old)
        FireClick();
}

void TKXListBox::keyboardSearch(const QString&)
{
    // Type-ahead is the search edit's.
}

void TKXListBox::SetEditorVisible(bool Value)
{
    if (Value == FEditorVisible)
        return;
    FEditorVisible = Value;
    if (Value) {
        auto* editor = new TSearchEdit(this);
        editor->hide();
        const QRect client = viewport()->geometry();
        editor->setFont(font());
        QPalette pal = editor->palette();
        pal.setColor(QPalette::Base, palette().color(QPalette::Base));
        editor->setPalette(pal);
        editor->setGeometry(client.left(), client.top(), client.width(), editor->sizeHint().height());
        FEditor = editor;
        editor->show();
        editor->raise();
        editor->setFocus();
    } else if (TSearchEdit* editor = FEditor.data()) {
        FEditor = nullptr;
        // The focus comes back here rather than wandering to the next
        // control once the edit is hidden.
        if (editor->hasFocus())
            setFocus();
        editor->hide();
        // This can run inside one of the edit's own handlers (Enter selects
        // an item and the list scrolls to it): it is freed after they return.
        editor->deleteLater();
        viewport()->update();
    } else {
        viewport()->update();
    }
}

void TKXListBox::mousePressEvent(QMouseEvent* e)
{
    if (FEditorVisible)
        SetEditorVisible(false);
    // Only the left button selects. The owner hears of left clicks alone,
    // so a selection moved by another button would name an item the owner
    // never showed.
    if (e->button() != Qt::LeftButton) {
        e->accept();
        return;
    }
    QListWidget::mousePressEvent(e);
}

void TKXListBox::scrollContentsBy(int dx, int dy)
{
    HideHint();
    if (FEditorVisible)
        SetEditorVisible(false);
    QListWidget::scrollContentsBy(dx, dy);
}

void TKXListBox::resizeEvent(QResizeEvent* e)
{
    QListWidget::resizeEvent(e);
    if (FShowAlterItem && FAlterIndex >= 0 && FAlterIndex < count() && FAlterIndex != ItemIndex())
        RedrawItem(FAlterIndex);
    if (FEditor)
        FEditor->resize(viewport()->width(), FEditor->height());
}

void TKXListBox::hideEvent(QHideEvent* e)
{
    HideHint();
    QListWidget::hideEvent(e);
}

void TKXListBox::DragAcceptFiles(bool Accept)
{
    setAcceptDrops(Accept);
    viewport()->setAcceptDrops(Accept);
}

void TKXListBox::dragEnterEvent(QDragEnterEvent* e)
{
    if (OnDropFiles && e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        QListWidget::dragEnterEvent(e);
}

void TKXListBox::dragMoveEvent(QDragMoveEvent* e)
{
    if (OnDropFiles && e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        QListWidget::dragMoveEvent(e);
}

void TKXListBox::dropEvent(QDropEvent* e)
{
    if (!OnDropFiles || !e->mimeData()->hasUrls()) {
        QListWidget::dropEvent(e);
        return;
    }
    QStringList names;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile())
            names << url.toLocalFile().left(kMaxDroppedName);
    e->acceptProposedAction();
    const QPoint p = e->position().toPoint();
    OnDropFiles(this, p.x(), p.y(), names);
}
