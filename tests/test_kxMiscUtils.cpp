#include "kxCommon/kxMiscUtils.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct VersionCase {
    const char* v1;
    const char* v2;
    int result;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.v1 << " vs " << c.v2; }

}  // namespace

class CompareVersionsCase : public ::testing::TestWithParam<VersionCase> {};

TEST_P(CompareVersionsCase, Compares)
{
    EXPECT_EQ(CompareVersions(GetParam().v1, GetParam().v2), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareVersionsCase,
    ::testing::Values(VersionCase {"5.1.0.5", "5.1.0.4", 1}, VersionCase {"5.1.0.4", "5.1.0.5", -1},
                      VersionCase {"5.2", "5.10", -1},  // numeric parts, not text
                      VersionCase {"10", "9", 1}, VersionCase {"5.1.0.2", "5.1.0.2", 0},
                      VersionCase {"5.1", "5.1.0.2", 0},  // ends when V1's parts run out
                      VersionCase {"5.1.0.2", "5.1", 0},  // V2's missing part counts as equal
                      VersionCase {"5.x", "5.1", 0},
                      VersionCase {"5.x.3", "5.1.2", 1},  // a part that is no number is skipped
                      VersionCase {"", "1", 0}, VersionCase {"1", "", 0},
                      VersionCase {"99999999999.1", "1.2", -1},  // too large for an integer
                      VersionCase {"6", "5.9", 1}));

TEST(CompareVersionPart, RemovesTheLeadingParts)
{
    QString v1 = "5.10.3";
    QString v2 = "5.2";
    EXPECT_EQ(CompareVersionPart(v1, v2), 0);
    EXPECT_EQ(v1, "10.3");
    EXPECT_EQ(v2, "2");
    EXPECT_EQ(CompareVersionPart(v1, v2), 1);
    EXPECT_EQ(v1, "3");
    EXPECT_EQ(v2, "");
    EXPECT_EQ(CompareVersionPart(v1, v2), 0);
    EXPECT_EQ(v1, "");

    QString a = ".7";
    QString b = "1.2";
    EXPECT_EQ(CompareVersionPart(a, b), 0);
    EXPECT_EQ(a, "7");
    EXPECT_EQ(b, "2");
}

TEST(Max64Min64, CompareSigned64Bit)
{
    constexpr int64_t lo = std::numeric_limits<int64_t>::min();
    constexpr int64_t hi = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(Max64(lo, hi), hi);
    EXPECT_EQ(Max64(hi, lo), hi);
    EXPECT_EQ(Min64(lo, hi), lo);
    EXPECT_EQ(Min64(hi, lo), lo);
    EXPECT_EQ(Max64(-1, 0x100000000LL), 0x100000000LL);
    EXPECT_EQ(Min64(-1, 0x100000000LL), -1);
    EXPECT_EQ(Max64(7, 7), 7);
    EXPECT_EQ(Min64(-7, -7), -7);
}
