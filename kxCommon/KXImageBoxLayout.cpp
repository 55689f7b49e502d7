#include "kxCommon/KXImageBoxLayout.h"

#include <algorithm>
#include <climits>

namespace KXImageBoxLayout {

namespace {

int Saturate(long long value) { return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX)); }

// Steps of size step needed to cover distance (> 0): the number of turns a
// step-by-step loop makes.
long long StepsToCover(long long distance, long long step) { return (distance + step - 1) / step; }

}  // namespace

int ClampItemSize(int value) { return std::clamp(value, MinItemSize, MaxItemSize); }

int ClampOffset(int value) { return std::clamp(value, MinOffset, MaxOffset); }

int Pitch(int itemSize, int offset) { return ClampItemSize(itemSize) + 2 * (ClampOffset(offset) - 1); }

TImageBoxLayout::TImageBoxLayout(int itemWidth, int itemHeight, int offset)
    : FItemWidth(ClampItemSize(itemWidth)),
      FItemHeight(ClampItemSize(itemHeight)),
      FOffset(ClampOffset(offset))
{
    UpdatePitch();
    FWidth = FItemWidth + 12;
    FHeight = FItemHeight + 12;
}

void TImageBoxLayout::UpdatePitch()
{
    FColWidth = Pitch(FItemWidth, FOffset);
    FRowHeight = Pitch(FItemHeight, FOffset);
}

bool TImageBoxLayout::SetItemWidth(int value)
{
    value = ClampItemSize(value);
    if (value == FItemWidth)
        return false;
    FItemWidth = value;
    UpdatePitch();
    UpdateLayout();
    return true;
}

bool TImageBoxLayout::SetItemHeight(int value)
{
    value = ClampItemSize(value);
    if (value == FItemHeight)
        return false;
    FItemHeight = value;
    UpdatePitch();
    UpdateLayout();
    return true;
}

bool TImageBoxLayout::SetOffset(int value)
{
    value = ClampOffset(value);
    if (value == FOffset)
        return false;
    FOffset = value;
    UpdatePitch();
    UpdateLayout();
    return true;
}

void TImageBoxLayout::SetItemSize(int width, int height)
{
    FItemWidth = ClampItemSize(width);
    FItemHeight = ClampItemSize(height);
    UpdatePitch();
}

void TImageBoxLayout::UpdateLayout(int width, int count)
{
    FWidth = width;
    FCount = std::max(count, 0);
    FColCount = width / FColWidth;
    if (FColCount <= 0)
        FColCount = 1;
    FRowCount = FCount / FColCount + (FCount % FColCount > 0 ? 1 : 0);
    if (FRowCount == 0)
        FRowCount = 1;
    FHeight = Saturate(static_cast<long long>(FRowCount) * FRowHeight + 2);
}

TCellPoint TImageBoxLayout::IconPosition(int index) const
{
    const long long col = index % FColCount;
    const long long row = index / FColCount;
    return {Saturate((col + 1) * FOffset + col * (FItemWidth + 4)),
            Saturate((row + 1) * FOffset + row * (FItemHeight + 4))};
}

TCellRect TImageBoxLayout::CellRect(int index) const
{
    const TCellPoint p = IconPosition(std::max(index, 0));
    return {p.x - 4, p.y - 4, Saturate(static_cast<long long>(p.x) + FItemWidth + 4),
            Saturate(static_cast<long long>(p.y) + FItemHeight + 4)};
}

int TImageBoxLayout::HitTest(int x, int y) const
{
    const long long row = y / FRowHeight;
    const long long col = std::min(x / FColWidth, FColCount - 1);
    return Saturate(row * FColCount + col);
}

int TImageBoxLayout::ClampIndex(int value) const { return std::clamp(value, -1, FCount - 1); }

TSelectionScroll SelectionScroll(const TImageBoxLayout& layout, int oldIndex, int newIndex,
                                 const TScrollView& view)
{
    TSelectionScroll result;
    result.position = view.position;
    result.newIndex = oldIndex;
    if (newIndex == oldIndex)
        return result;
    newIndex = layout.ClampIndex(newIndex);
    if (newIndex == oldIndex)
        return result;
    result.newIndex = newIndex;

    const int c = layout.ColCount();
    const long long rowHeight = layout.RowHeight();
    const long long newRow = newIndex / c;
    // A bar that does not move would never bring the row into view: step
    // by one pixel instead.
    const long long step = std::max(view.increment, 1);
    const long long maxPosition = view.MaxPosition();
    const long long p = view.position;

    if (newRow == oldIndex / c) {
        result.move = TSelectionMove::SameRow;
        return result;
    }
    const long long rowBottom = (newRow + 1) * rowHeight - layout.Offset();
    const long long rowTop = newRow * rowHeight;
    if (p + view.pageHeight < rowBottom) {
        result.move = TSelectionMove::Below;
        const long long landing = p + StepsToCover(rowBottom - view.pageHeight - p, step) * step;
        result.position = Saturate(std::clamp(landing, 0LL, std::max(maxPosition, p)));
    } else if (rowTop < p) {
        result.move = TSelectionMove::Above;
        const long long landing = p - StepsToCover(p - rowTop, step) * step;
        result.position = Saturate(std::max(landing, 0LL));
    } else {
        result.move = TSelectionMove::Visible;
    }
    return result;
}

bool IsArrowKey(std::uint16_t key) { return key >= VK_LEFT && key <= VK_DOWN; }

int NavigateKey(std::uint16_t& Key, int itemIndex, int count, int colCount, int rowsPerPage)
{
    if (count <= 0)
        return itemIndex;
    const long long i = itemIndex;
    const long long n = count;
    const long long c = std::max(colCount, 1);
    const long long page = c * std::max(rowsPerPage, 0);
    long long j = i;
    switch (Key) {
    case VK_PRIOR:
        if (i > 0) {
            j = i - page;
            if (j < 0)
                j += StepsToCover(-j, c) * c;
        }
        break;
    case VK_NEXT:
        if (i < n - 1) {
            j = i + page;
            if (j > n - 1)
                j -= StepsToCover(j - (n - 1), c) * c;
        }
        break;
    case VK_END: j = n - 1; break;
    case VK_HOME: j = 0; break;
    case VK_LEFT:
        if (i > 0)
            j = i - 1;
        break;
    case VK_RIGHT:
        if (i < n - 1)
            j = i + 1;
        break;
    case VK_UP:
        if (i > 0 && i - c >= 0)
            j = i - c;
        break;
    case VK_DOWN:
        if (i < n - 1 && i + c <= n - 1)
            j = i + c;
        break;
    default: return itemIndex;
    }
    Key = 0;
    return Saturate(j);
}

}  // namespace KXImageBoxLayout
