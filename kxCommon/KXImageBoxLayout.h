#pragma once
// The arithmetic of the icon grid and its scroll box, kept apart from the
// widgets so that it is tested without a window: layout pitch, columns and
// rows, cell geometry, hit-testing, where a new selection scrolls the view,
// and the keyboard's selection moves.

#include <cstdint>

namespace KXImageBoxLayout {

// Right and bottom are exclusive, as the grid fills and frames its cells.
struct TCellRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const TCellRect&) const = default;
};

struct TCellPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TCellPoint&) const = default;
};

// Item sizes and the margin are held in these bounds, so that the pitch
// (size + 2 x (margin - 1)) is at least 1 and fits the scroll bar's 16-bit
// increment: no division by zero, no overflow.
inline constexpr int MinItemSize = 1;
inline constexpr int MaxItemSize = 16384;
inline constexpr int MinOffset = 1;
inline constexpr int MaxOffset = 8192;

int ClampItemSize(int value);
int ClampOffset(int value);
// ItemSize + 2 x (Offset - 1) for values inside the bounds above.
int Pitch(int itemSize, int offset);

class TImageBoxLayout {
public:
    explicit TImageBoxLayout(int itemWidth = 32, int itemHeight = 32, int offset = 6);

    int ItemWidth() const { return FItemWidth; }
    int ItemHeight() const { return FItemHeight; }
    int Offset() const { return FOffset; }
    int ColWidth() const { return FColWidth; }
    int RowHeight() const { return FRowHeight; }
    int ColCount() const { return FColCount; }
    int RowCount() const { return FRowCount; }
    int Count() const { return FCount; }
    int Width() const { return FWidth; }
    // RowCount x RowHeight + 2, saturated at the largest int.
    int Height() const { return FHeight; }

    // Each setter clamps its value; when the stored value changes it
    // recomputes the pitch and the layout and answers true (the widget
    // then invalidates itself).
    bool SetItemWidth(int value);
    bool SetItemHeight(int value);
    bool SetOffset(int value);
    // Both sizes at once (icon sizing, reloading): pitch recomputed, no
    // relayout.
    void SetItemSize(int width, int height);

    // Columns and rows for a box this wide holding count icons.
    void UpdateLayout(int width, int count);
    void UpdateLayout() { UpdateLayout(FWidth, FCount); }

    // Where icon index is drawn, W x H at that point.
    TCellPoint IconPosition(int index) const;
    // The icon rectangle grown by 4 on every side; an index below 0 gives
    // cell 0 (the focus frame of an empty selection).
    TCellRect CellRect(int index) const;

    // The cell under (x, y): a press right of the last column hits the last
    // column of its row. May lie past the last icon.
    int HitTest(int x, int y) const;
    // value held to -1 .. Count - 1.
    int ClampIndex(int value) const;

private:
    void UpdatePitch();

    int FItemWidth;
    int FItemHeight;
    int FOffset;
    int FColWidth = 1;
    int FRowHeight = 1;
    int FColCount = 1;
    int FRowCount = 1;
    int FCount = 0;
    int FWidth = 0;
    int FHeight = 0;
};

// The scroll box's vertical scroll bar, as the selection sees it.
struct TScrollView {
    int position = 0;    // the vertical scroll position
    int pageHeight = 0;  // the scroll box's client height
    int increment = 0;   // one step of the scroll bar
    int range = 0;       // the scroll range: the grid's height
    // The largest position the bar takes.
    int MaxPosition() const { return range > pageHeight ? range - pageHeight : 0; }
};

enum class TSelectionMove { None, SameRow, Below, Above, Visible };

struct TSelectionScroll {
    TSelectionMove move = TSelectionMove::None;
    int newIndex = -1;  // the clamped new selection
    int position = 0;   // the scroll position after the move
};

// Where selecting newIndex (clamped to -1 .. Count - 1) leaves the view,
// from oldIndex: a row below the view scrolls down and one above it scrolls
// up in whole increments until the row shows, as far as the scroll range
// lets the bar go. None when the clamped index is the old one.
TSelectionScroll SelectionScroll(const TImageBoxLayout& layout, int oldIndex, int newIndex,
                                 const TScrollView& view);

// Virtual-key codes the grid acts on.
inline constexpr std::uint16_t VK_PRIOR = 33;
inline constexpr std::uint16_t VK_NEXT = 34;
inline constexpr std::uint16_t VK_END = 35;
inline constexpr std::uint16_t VK_HOME = 36;
inline constexpr std::uint16_t VK_LEFT = 37;
inline constexpr std::uint16_t VK_UP = 38;
inline constexpr std::uint16_t VK_RIGHT = 39;
inline constexpr std::uint16_t VK_DOWN = 40;

bool IsArrowKey(std::uint16_t key);

// The selection a key leads to from itemIndex in a grid of count icons,
// colCount columns and rowsPerPage rows in view. A key it uses is set to 0;
// on an empty grid, and for other keys, the key stays and the index is
// itemIndex.
int NavigateKey(std::uint16_t& Key, int itemIndex, int count, int colCount, int rowsPerPage);

}  // namespace KXImageBoxLayout
