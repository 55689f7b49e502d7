#include "kxCommon/KXStrUtils.h"

#include <gtest/gtest.h>

namespace {

QStringList split(const QString& s, int maxLen, bool wordWrap = true)
{
    QStringList lines;
    SplitTextToLines(s, maxLen, wordWrap, lines);
    return lines;
}

struct SplitCase {
    const char* text;
    int maxLen;
    QStringList lines;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << QString(c.text).replace("\r", "<CR>").replace("\n", "<LF>").toStdString() << " / " << c.maxLen;
}

}  // namespace

TEST(WordToHex, FourUpperCaseDigits)
{
    EXPECT_EQ(WordToHex(0), "0000");
    EXPECT_EQ(WordToHex(169), "00A9");
    EXPECT_EQ(WordToHex(0xBEEF), "BEEF");
    EXPECT_EQ(WordToHex(65535), "FFFF");
}

class WordWrapSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(WordWrapSplit, GivesLines) { EXPECT_EQ(split(GetParam().text, GetParam().maxLen), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(Cases, WordWrapSplit,
                         ::testing::Values(SplitCase {"", 5, {""}}, SplitCase {" \t \r\n ", 5, {""}},
                                           SplitCase {"short", 10, {"short"}},
                                           SplitCase {"The quick brown fox", 10, {"The quick", "brown fox"}},
                                           SplitCase {"The quick brown fox", 9, {"The quick", "brown fox"}},
                                           SplitCase {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
                                           SplitCase {"ab\r\n\r\ncd", 10, {"ab", "", "cd"}},
                                           // The leading blank stays and is no cut point.
                                           SplitCase {" abcdef", 4, {" abc", "def"}},
                                           // Blanks after a cut or a break are dropped.
                                           SplitCase {"one   two", 4, {"one", "two"}},
                                           SplitCase {"ab\r\n   cd", 10, {"ab", "cd"}},
                                           // A short text with a break is still split.
                                           SplitCase {"ab\r\ncd", 10, {"ab", "cd"}},
                                           SplitCase {"\r\nab", 10, {"", "ab"}}));

// A cut at the limit that falls just before a break leaves the break at
// the front of the rest, where it gives an empty line.
INSTANTIATE_TEST_SUITE_P(CutBeforeBreak, WordWrapSplit,
                         ::testing::Values(SplitCase {"abcd\r\nxy", 4, {"abcd", "", "xy"}},
                                           SplitCase {"abcd\nefgh", 4, {"abcd", "", "efgh"}},
                                           SplitCase {"abcd\refgh", 4, {"abcd", "", "efgh"}},
                                           SplitCase {"abcd  \r\nef", 4, {"abcd", "", "ef"}},
                                           SplitCase {"ab cd\r\nef", 2, {"ab", "cd", "", "ef"}},
                                           SplitCase {"abcdefgh\r\nij", 4, {"abcd", "efgh", "", "ij"}},
                                           SplitCase {"abcd\r\n\r\nef", 4, {"abcd", "", "", "ef"}},
                                           // The pair's CR at the limit: back to a blank, else a hard cut.
                                           SplitCase {"abc\r\nd", 4, {"abc", "", "d"}},
                                           SplitCase {"ab c\r\nd", 5, {"ab", "c", "d"}},
                                           SplitCase {"a\r\nb", 1, {"a", "", "b"}},
                                           // A break before the limit ends its line with it.
                                           SplitCase {"abc\n\ndef", 4, {"abc", "", "def"}},
                                           SplitCase {"abc\n def", 4, {"abc", "def"}}));

// The break is the first CR LF pair; only a text without one breaks at its
// first CR, and only one without a CR at its first LF. A lone CR or LF
// before the pair stays inside its line.
INSTANTIATE_TEST_SUITE_P(
    BreakOrder, WordWrapSplit,
    ::testing::Values(SplitCase {"ab\ncd", 10, {"ab", "cd"}}, SplitCase {"ab\rcd", 10, {"ab", "cd"}},
                      SplitCase {"a\nb\r\nc", 10, {"a\nb", "c"}},
                      SplitCase {"a\rb\r\nc\nd", 10, {"a\rb", "c", "d"}},
                      SplitCase {"a\rb\nc", 10, {"a", "b", "c"}},
                      // LF then CR is no pair: the CR breaks, the LF before it is trimmed.
                      SplitCase {"a\n\rb", 10, {"a", "b"}}, SplitCase {"a\r\rb", 10, {"a", "", "b"}}));

TEST(SplitTextToLines, WithoutWordWrapCutsToOneLine)
{
    EXPECT_EQ(split("abcdef  ", 4, false), QStringList {"abcd"});
    EXPECT_EQ(split("", 4, false), QStringList {""});
    EXPECT_EQ(split("ab\r\ncd \r\n", 10, false), QStringList {"ab\r\ncd"});
}

TEST(SplitTextToLines, AppendsToWhatTheListHolds)
{
    QStringList lines {"kept"};
    SplitTextToLines("The quick brown fox", 10, true, lines);
    SplitTextToLines("", 10, false, lines);
    EXPECT_EQ(lines, QStringList({"kept", "The quick", "brown fox", ""}));
}

TEST(SplitTextToLines, NoLineIsLongerThanTheLimit)
{
    const QString text = "Lorem ipsum dolor sit amet,\tconsectetur\r\nadipiscing elit,\n\nsed do "
                         "eiusmodtemportincididunt ut labore\ret dolore  magna   aliqua.";
    for (int maxLen = 1; maxLen <= 40; ++maxLen) {
        const QStringList lines = split(text, maxLen);
        ASSERT_FALSE(lines.isEmpty());
        for (const QString& line : lines)
            EXPECT_LE(line.size(), maxLen) << maxLen;
        // Nothing but blanks and breaks is lost.
        QString joined = lines.join("");
        QString expected = text;
        for (const char* blank : {" ", "\t", "\r", "\n"}) {
            joined.remove(blank);
            expected.remove(blank);
        }
        EXPECT_EQ(joined, expected) << maxLen;
    }
}

TEST(SplitTextToLines, LimitBelowOneActsAsOne)
{
    EXPECT_EQ(split("abc", 0), QStringList({"a", "b", "c"}));
    EXPECT_EQ(split("abc", -3, false), QStringList {"a"});
}
