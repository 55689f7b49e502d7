#include "kxCommon/KXImageBoxLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace KXImageBoxLayout;

namespace {

// Ten 32-pixel icons in a box 150 pixels wide: 3 columns of 42, 4 rows.
TImageBoxLayout TenIcons()
{
    TImageBoxLayout layout(32, 32, 6);
    layout.UpdateLayout(150, 10);
    return layout;
}

}  // namespace

TEST(KXImageBoxLayout, ColumnsRowsAndHeight)
{
    struct Case {
        int itemSize, width, count, colWidth, cols, rows, height;
    };
    const Case cases[] = {
        {32, 150, 10, 42, 3, 4, 170},  // the last row holds one icon
        {32, 150, 9, 42, 3, 3, 128},  {32, 168, 10, 42, 4, 3, 128},
        {32, 41, 10, 42, 1, 10, 422},                              // narrower than one column
        {32, 0, 3, 42, 1, 3, 128},    {32, 150, 0, 42, 3, 1, 44},  // empty: one row
        {16, 150, 10, 26, 5, 2, 54},
    };
    for (const Case& c : cases) {
        TImageBoxLayout layout(c.itemSize, c.itemSize, 6);
        layout.UpdateLayout(c.width, c.count);
        EXPECT_EQ(layout.ColWidth(), c.colWidth) << c.width << " " << c.count;
        EXPECT_EQ(layout.RowHeight(), c.colWidth);
        EXPECT_EQ(layout.ColCount(), c.cols) << c.width << " " << c.count;
        EXPECT_EQ(layout.RowCount(), c.rows) << c.width << " " << c.count;
        EXPECT_EQ(layout.Height(), c.height) << c.width << " " << c.count;
    }
}

TEST(KXImageBoxLayout, NewLayoutIsOneCellWithMargins)
{
    const TImageBoxLayout layout;
    EXPECT_EQ(layout.ItemWidth(), 32);
    EXPECT_EQ(layout.Offset(), 6);
    EXPECT_EQ(layout.ColCount(), 1);
    EXPECT_EQ(layout.RowCount(), 1);
    EXPECT_EQ(layout.Width(), 44);
    EXPECT_EQ(layout.Height(), 44);
}

TEST(KXImageBoxLayout, CellsDrawnWhereTheMouseHitsThem)
{
    const TImageBoxLayout layout = TenIcons();
    EXPECT_EQ(layout.IconPosition(0), (TCellPoint {6, 6}));
    EXPECT_EQ(layout.IconPosition(4), (TCellPoint {48, 48}));
    EXPECT_EQ(layout.IconPosition(9), (TCellPoint {6, 132}));
    EXPECT_EQ(layout.CellRect(0), (TCellRect {2, 2, 42, 42}));
    EXPECT_EQ(layout.CellRect(5), (TCellRect {86, 44, 126, 84}));
    // Nothing selected frames cell 0.
    EXPECT_EQ(layout.CellRect(-1), layout.CellRect(0));

    // Every cell's rectangle lies in the pitch square the mouse maps to it,
    // and neighbouring cells do not overlap (exclusive right and bottom).
    for (int i = 0; i < layout.Count(); ++i) {
        const TCellRect r = layout.CellRect(i);
        EXPECT_EQ(layout.HitTest(r.left, r.top), i);
        EXPECT_EQ(layout.HitTest(r.right - 1, r.bottom - 1), i);
        EXPECT_EQ(r.right - r.left, 40);
    }
}

TEST(KXImageBoxLayout, MouseDownHitsAndClampsToTheIcons)
{
    const TImageBoxLayout layout = TenIcons();
    struct Case {
        int x, y, hit, selected;
    };
    const Case cases[] = {
        {0, 0, 0, 0},      {41, 41, 0, 0},   {42, 0, 1, 1},
        {125, 43, 5, 5},   {140, 10, 2, 2},   // right of the last column: the row's last cell
        {149, 90, 8, 8},   {50, 130, 10, 9},  // empty cell of the last row: the last icon
        {130, 167, 11, 9},                    // right of the last column in the last row
        {10, 130, 9, 9},   {10, 500, 33, 9},  // below the grid
    };
    for (const Case& c : cases) {
        EXPECT_EQ(layout.HitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
        EXPECT_EQ(layout.ClampIndex(layout.HitTest(c.x, c.y)), c.selected) << c.x << "," << c.y;
    }

    TImageBoxLayout empty;
    empty.UpdateLayout(150, 0);
    EXPECT_EQ(empty.ClampIndex(empty.HitTest(10, 10)), -1);
}

TEST(KXImageBoxLayout, SettersRelayoutOnlyOnChange)
{
    TImageBoxLayout layout = TenIcons();
    EXPECT_FALSE(layout.SetItemWidth(32));
    EXPECT_FALSE(layout.SetOffset(6));
    EXPECT_TRUE(layout.SetItemWidth(16));
    EXPECT_EQ(layout.ColWidth(), 26);
    EXPECT_EQ(layout.ColCount(), 5);
    EXPECT_EQ(layout.RowCount(), 2);
    EXPECT_EQ(layout.Height(), 2 * 42 + 2);
    EXPECT_TRUE(layout.SetItemHeight(16));
    EXPECT_EQ(layout.Height(), 2 * 26 + 2);
    EXPECT_TRUE(layout.SetOffset(4));
    EXPECT_EQ(layout.ColWidth(), 22);
    EXPECT_EQ(layout.RowHeight(), 22);
    EXPECT_EQ(layout.ColCount(), 6);

    layout.SetItemSize(48, 48);
    EXPECT_EQ(layout.ColWidth(), 54);
}

TEST(KXImageBoxLayout, PitchNeverReachesZero)
{
    struct Case {
        int itemWidth, itemHeight, offset;
    };
    const Case cases[] = {
        {0, 0, 6},
        {-32, -1, 6},
        {1, 1, 0},
        {1, 1, -100},
        {0, 0, 0},
        {32, 32, INT_MIN},
        {INT_MIN, INT_MIN, INT_MIN},
        {INT_MAX, INT_MAX, INT_MAX},  // no overflow of the pitch either
    };
    for (const Case& c : cases) {
        TImageBoxLayout layout = TenIcons();
        layout.SetItemWidth(c.itemWidth);
        layout.SetItemHeight(c.itemHeight);
        layout.SetOffset(c.offset);
        EXPECT_GE(layout.ColWidth(), 1) << c.itemWidth << " " << c.offset;
        EXPECT_GE(layout.RowHeight(), 1) << c.itemHeight << " " << c.offset;
        EXPECT_LE(layout.ColWidth(), 32767);
        EXPECT_GE(layout.ColCount(), 1);
        EXPECT_GE(layout.Height(), layout.RowHeight());
        layout.HitTest(149, 169);
        layout.CellRect(9);

        TImageBoxLayout constructed(c.itemWidth, c.itemHeight, c.offset);
        EXPECT_GE(constructed.ColWidth(), 1);
        EXPECT_GE(constructed.RowHeight(), 1);
        layout.SetItemSize(c.itemWidth, c.itemHeight);
        EXPECT_GE(layout.ColWidth(), 1);
    }
}

TEST(KXImageBoxLayout, NavigateKey)
{
    // 10 icons, 4 columns, 3 rows in view.
    struct Case {
        std::uint16_t key;
        int from, to;
    };
    const Case cases[] = {
        {VK_NEXT, 1, 9},                    // 1 + 12 = 13, one row back
        {VK_NEXT, 5, 9},  {VK_NEXT, 6, 6},  // 18 - 4 - 4 - 4: no cell under 6 in the last row
        {VK_NEXT, 9, 9},  {VK_NEXT, -1, 7}, {VK_PRIOR, 9, 1},  // 9 - 12 = -3, one row forward
        {VK_PRIOR, 2, 2}, {VK_PRIOR, 0, 0}, {VK_PRIOR, -1, -1}, {VK_END, 3, 9},  {VK_END, -1, 9},
        {VK_HOME, 7, 0},  {VK_HOME, -1, 0}, {VK_LEFT, 5, 4},    {VK_LEFT, 0, 0}, {VK_LEFT, -1, -1},
        {VK_RIGHT, 3, 4}, {VK_RIGHT, 9, 9}, {VK_RIGHT, -1, 0},  {VK_UP, 5, 1},   {VK_UP, 3, 3},
        {VK_UP, -1, -1},  {VK_DOWN, 5, 9},  {VK_DOWN, 6, 6},    {VK_DOWN, 9, 9}, {VK_DOWN, -1, 3},
    };
    for (const Case& c : cases) {
        std::uint16_t key = c.key;
        EXPECT_EQ(NavigateKey(key, c.from, 10, 4, 3), c.to) << "key " << c.key << " from " << c.from;
        EXPECT_EQ(key, 0) << "key " << c.key << " from " << c.from;
    }
}

TEST(KXImageBoxLayout, NavigateKeyLeavesOtherKeysAndEmptyGrids)
{
    std::uint16_t key = 'A';
    EXPECT_EQ(NavigateKey(key, 4, 10, 4, 3), 4);
    EXPECT_EQ(key, 'A');

    for (std::uint16_t k = VK_PRIOR; k <= VK_DOWN; ++k) {
        key = k;
        EXPECT_EQ(NavigateKey(key, -1, 0, 4, 3), -1);
        EXPECT_EQ(key, k);
    }

    // Fewer icons than columns: Down from nothing stays empty.
    key = VK_DOWN;
    EXPECT_EQ(NavigateKey(key, -1, 3, 4, 3), -1);
    // A view lower than one row pages by nothing.
    key = VK_NEXT;
    EXPECT_EQ(NavigateKey(key, 1, 10, 4, 0), 1);
    // Huge pages neither overflow nor loop for long.
    key = VK_NEXT;
    EXPECT_EQ(NavigateKey(key, 1, 10, INT_MAX, INT_MAX), 1);
    key = VK_PRIOR;
    EXPECT_EQ(NavigateKey(key, 9, 10, 4, INT_MAX), 1);

    EXPECT_TRUE(IsArrowKey(VK_LEFT));
    EXPECT_TRUE(IsArrowKey(VK_DOWN));
    EXPECT_FALSE(IsArrowKey(VK_HOME));
    EXPECT_FALSE(IsArrowKey(41));
}

TEST(KXImageBoxLayout, SelectionScrollTargets)
{
    const TImageBoxLayout layout = TenIcons();  // 4 rows of 42, height 170
    struct Case {
        const char* name;
        int oldIndex, newIndex, position, increment;
        TSelectionMove move;
        int selected, landing;
    };
    // Two rows in view (84 pixels): the bar goes from 0 to 86.
    const Case cases[] = {
        {"below, two steps", 0, 9, 0, 42, TSelectionMove::Below, 9, 84},
        {"below, one step", 0, 6, 0, 42, TSelectionMove::Below, 6, 42},
        {"below, held at the end", 0, 9, 0, 50, TSelectionMove::Below, 9, 86},
        {"below, no increment", 0, 9, 0, 0, TSelectionMove::Below, 9, 78},
        {"above, held at the top", 9, 0, 86, 42, TSelectionMove::Above, 0, 0},
        {"above, two steps", 9, 3, 86, 42, TSelectionMove::Above, 3, 2},
        {"visible", 0, 4, 0, 42, TSelectionMove::Visible, 4, 0},
        {"same row out of view", 0, 1, 86, 42, TSelectionMove::SameRow, 1, 86},
        {"from nothing, row 0", -1, 2, 0, 42, TSelectionMove::SameRow, 2, 0},
        {"unchanged", 4, 4, 42, 42, TSelectionMove::None, 4, 42},
        {"clamped to unchanged", 9, 20, 86, 42, TSelectionMove::None, 9, 86},
        {"clamped past the end", 0, 20, 0, 42, TSelectionMove::Below, 9, 84},
        {"clamped to nothing", 9, -5, 86, 42, TSelectionMove::Above, -1, 0},
    };
    for (const Case& c : cases) {
        const TSelectionScroll s
            = SelectionScroll(layout, c.oldIndex, c.newIndex, {c.position, 84, c.increment, 170});
        EXPECT_EQ(s.move, c.move) << c.name;
        EXPECT_EQ(s.newIndex, c.selected) << c.name;
        EXPECT_EQ(s.position, c.landing) << c.name;
    }
}

TEST(KXImageBoxLayout, SelectionScrollLandsWhereTheScrollLoopStops)
{
    // The scroll bar stepped one increment at a time, held in its range.
    const auto loop = [](const TImageBoxLayout& layout, int newIndex, TScrollView v) {
        const int row = newIndex / layout.ColCount();
        const auto set = [&](int p) { v.position = std::clamp(p, 0, v.MaxPosition()); };
        const auto below
            = [&] { return v.position + v.pageHeight < (row + 1) * layout.RowHeight() - layout.Offset(); };
        const auto above = [&] { return row * layout.RowHeight() < v.position; };
        if (below())
            for (int turns = 0; turns < 1000 && below(); ++turns)
                set(v.position + v.increment);
        else
            for (int turns = 0; turns < 1000 && above(); ++turns)
                set(v.position - v.increment);
        return v.position;
    };
    TImageBoxLayout layout(32, 32, 6);
    layout.UpdateLayout(150, 40);  // 14 rows
    for (const int page : {42, 84, 100, 300})
        for (const int increment : {1, 42, 50, 130})
            for (int position = 0; position <= layout.Height() - page; position += 17)
                for (int newIndex = 0; newIndex < 40; newIndex += 2) {
                    const TScrollView view {position, page, increment, layout.Height()};
                    const TSelectionScroll s = SelectionScroll(layout, 39, newIndex, view);
                    if (s.move == TSelectionMove::Below || s.move == TSelectionMove::Above) {
                        ASSERT_EQ(s.position, loop(layout, newIndex, view))
                            << page << " " << increment << " " << position << " " << newIndex;
                    }
                }
}
