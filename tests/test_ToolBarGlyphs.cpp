// The tool bar's pictures.
#include "app/ToolBarGlyphs.h"

#include "TestApplication.h"

#include <gtest/gtest.h>

TEST(ToolBarGlyphs, StripsOfThreeCellsOnATransparentCorner)
{
    TestApplication();
    for (int size : {16, 24})
        for (int g = tgOpen; g <= tgFolder; ++g) {
            const QImage strip = ToolBarGlyph(static_cast<TToolGlyph>(g), size);
            ASSERT_EQ(strip.size(), QSize(3 * size, size)) << g;
            for (int cell = 0; cell < 3; ++cell) {
                // The face painter takes the bottom-left pixel for the transparent colour.
                EXPECT_EQ(qAlpha(strip.pixel(cell * size, size - 1)), 0) << g << " cell " << cell;
                int drawn = 0;
                bool coloured = false;
                for (int y = 0; y < size; ++y)
                    for (int x = cell * size; x < (cell + 1) * size; ++x) {
                        const QRgb c = strip.pixel(x, y);
                        drawn += qAlpha(c) > 128;
                        coloured = coloured || qRed(c) != qGreen(c) || qGreen(c) != qBlue(c);
                    }
                EXPECT_GT(drawn, size * size / 10) << g << " cell " << cell;
                EXPECT_EQ(coloured, cell != 1) << g << " cell " << cell;  // the disabled cell is grey
            }
        }
}
