#include "platform/MulDiv.h"

#include <gtest/gtest.h>

#include <climits>

TEST(MulDiv, RoundsHalfAwayFromZeroAndFailsAsMinusOne)
{
    struct Case {
        int a, b, c, want;
    };
    const Case cases[] = {
        {100, 6600, 50, 13200},
        {5, 1, 2, 3},
        {-5, 1, 2, -3},
        {5, -1, 2, -3},
        {-5, -1, -2, -3},
        {-5, 1, -2, 3},
        {7, 1, 3, 2},
        {8, 1, 3, 3},
        {0, 5, 7, 0},
        {INT_MAX, 2, 2, INT_MAX},
        {65536, 65536, 65536, 65536},
        {7, 1, 0, -1},
        {INT_MAX, 2, 1, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::mulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
}
