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

// A cut that falls just before a line break ends the line there: the break
// gives no further empty line, while a second break still does.
INSTANTIATE_TEST_SUITE_P(CutBeforeBreak, WordWrapSplit,
                         ::testing::Values(SplitCase {"abcd\r\nefgh", 4, {"abcd", "efgh"}},
                                           SplitCase {"abcd\nefgh", 4, {"abcd", "efgh"}},
                                           SplitCase {"abcd\refgh", 4, {"abcd", "efgh"}},
                                           SplitCase {"abcd  \r\nef", 4, {"abcd", "ef"}},
                                           SplitCase {"ab cd\r\nef", 2, {"ab", "cd", "ef"}},
                                           SplitCase {"abcdefgh\r\nij", 4, {"abcd", "efgh", "ij"}},
                                           // The hard cut splits a CR LF pair.
                                           SplitCase {"abc\r\nd", 4, {"abc", "d"}},
                                           SplitCase {"a\r\nb", 1, {"a", "b"}},
                                           SplitCase {"abcd\r\n\r\nef", 4, {"abcd", "", "ef"}},
                                           SplitCase {"abc\n\ndef", 4, {"abc", "", "def"}},
                                           SplitCase {"abc\n def", 4, {"abc", "def"}}));

// Every CR, LF or CR LF is a break, also before the first CR LF pair.
INSTANTIATE_TEST_SUITE_P(LoneBreaks, WordWrapSplit,
                         ::testing::Values(SplitCase {"ab\ncd", 10, {"ab", "cd"}},
                                           SplitCase {"ab\rcd", 10, {"ab", "cd"}},
                                           SplitCase {"a\nb\r\nc", 10, {"a", "b", "c"}},
                                           SplitCase {"a\rb\r\nc\nd", 10, {"a", "b", "c", "d"}},
                                           SplitCase {"a\n\rb", 10, {"a", "", "b"}},
                                           SplitCase {"a\r\rb", 10, {"a", "", "b"}}));

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
        for (const QString& line : lines) {
            EXPECT_LE(line.size(), maxLen) << maxLen;
            EXPECT_FALSE(line.contains('\r') || line.contains('\n')) << maxLen;
        }
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
