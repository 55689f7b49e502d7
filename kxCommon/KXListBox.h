#pragma once
// An owner-drawn list box with type-ahead search in a small edit at its
// top, hints for items too wide for the box, an optional hot item that
// follows the mouse and Alt+Up/Down, a wildcard filter and dropped files.

#include "kxCommon/KXTblUtils.h"

#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// The owner-draw state of an item, as the toolkit numbers it.
using TOwnerDrawState = uint32_t;
inline constexpr TOwnerDrawState odSelected = 0x0001;
inline constexpr TOwnerDrawState odFocused = 0x0010;
// The state passed when a hint is prepared.
inline constexpr TOwnerDrawState odHintState = 0x0400;

// Bmp is null for a hint; the handler may draw into it (sizing it), change
// Font and FontColor, Offset (the text's indent, 2 on entry) and Text.
using TGetItemParamsEvent = std::function<void(QObject* Sender, int Index, TOwnerDrawState State, QFont& Font,
                                               QColor& FontColor, QImage* Bmp, int& Offset, QString& Text)>;
using TDropFilesEvent = std::function<void(QObject* Sender, int X, int Y, const QStringList& AFiles)>;
using TListNotifyEvent = std::function<void(QObject* Sender)>;
using TListKeyEvent = std::function<void(QObject* Sender, int Key, Qt::KeyboardModifiers Shift)>;

class TKXListBox;
class TListHint;

class TSearchEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TSearchEdit(TKXListBox* Owner);

    // Hides the edit; it is freed in a later turn of the event loop.
    void Hide();
    // No selection, the caret after the text.
    void Deselect();

protected:
    void Change();
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;

private:
    void EnterPressed();
    void EditKey(const std::function<void()>& Handle);

    TKXListBox* FOwner;
    int FPrevLength = 0;
    bool FCompleting = false;
};

class TKXListBox : public QListWidget {
    Q_OBJECT

public:
    explicit TKXListBox(QWidget* parent = nullptr);
    ~TKXListBox() override;

    bool DirectSearch() const { return FDirectSearch; }
    void SetDirectSearch(bool Value) { FDirectSearch = Value; }
    bool ShowAlterItem() const { return FShowAlterItem; }
    void SetShowAlterItem(bool Value) { FShowAlterItem = Value; }
    int AlterIndex() const { return FAlterIndex; }
    void SetAlterIndex(int Index);
    const QString& Filter() const { return FFilter; }
    void SetFilter(const QString& Value);
    bool EditorVisible() const { return FEditorVisible; }
    void SetEditorVisible(bool Value);
    TSearchEdit* Editor() const { return FEditor; }
    bool Sorted() const { return isSortingEnabled(); }
    void SetSorted(bool Value);
    bool MultiSelect() const;
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int Value);
    // The selected item (the current one when it is selected); -1 for none.
    int ItemIndex() const;
    void SetItemIndex(int Index);
    int TopIndex() const;
    void SetTopIndex(int Index);
    // Whether hints are shown for items too wide for the box.
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool Value) { FShowHint = Value; }

    // The items, each with its object slot.
    void AddItem(const QString& S, const QVariant& Object = {});
    QStringList ItemStrings() const;
    // The exact, case-insensitive search of the list control; -1 for none.
    int IndexOf(const QString& S) const;
    const std::vector<std::pair<QString, QVariant>>& AllItems() const { return FAllItems; }

    void ApplyFilter();
    // Empties the list and the saved full list and forgets the filter.
    void ClearFull();
    void ClearSelection();
    // Empties the list (the toolkit's Clear): the hot item goes, and the
    // item height grows to the font's when smaller.
    void Clear();
    // Batches many additions: the list is not drawn until the last end.
    void BeginUpdate();
    void EndUpdate();

    // The hint for a point of the viewport: the text and where it lies in
    // global coordinates; false when the item's text fits.
    bool HintFor(QPoint Pos, QString& Text, QRect& CursorRect, QPoint& GlobalPos);

    // Registers the list for dropped files (OnDropFiles); it does not
    // register itself.
    void DragAcceptFiles(bool Accept);

    TGetItemParamsEvent OnGetItemParams;
    TDropFilesEvent OnDropFiles;
    TListNotifyEvent OnClick;
    TListKeyEvent OnKeyDown;

    // Draws one item (the delegate's body); State is the owner-draw state.
    void DrawItem(QPainter& Painter, int Index, const QRect& Rect, TOwnerDrawState ItemState,
                  const QColor& Brush, const QColor& FontColor);

    static int FontTextHeight(const QFont& Font);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyboardSearch(const QString& search) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    friend class TSearchEdit;
    void RedrawItem(int Index);
    bool AltArrowKey(int Key);
    void ResetContent();
    void FreeItemAttrs();
    void FireClick();
    void ShowHint(QPoint Pos);
    void HideHint();

    QPointer<TSearchEdit> FEditor;
    QPointer<TListHint> FHint;
    // Where the pointer keeps the hint, in viewport coordinates.
    QRect FHintRect;
    bool FEditorVisible = false;
    bool FDirectSearch = false;
    bool FShowAlterItem = false;
    bool FShowHint = true;
    int FAlterIndex = -1;
    int FItemHeight = 16;
    int FUpdateCount = 0;
    QString FFilter;
    std::vector<std::pair<QString, QVariant>> FAllItems;
};
