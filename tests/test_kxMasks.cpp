#include "kxCommon/kxMasks.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct MaskCase {
    const char* s;
    const char* mask;
    bool match;
};

void PrintTo(const MaskCase& c, std::ostream* os) { *os << '"' << c.s << "\" ~ \"" << c.mask << '"'; }

// The matcher as plainly described: backtracking by recursion over
// zero-terminated sequences. Exponential, so only for short inputs.
bool reference(const char16_t* s, const char16_t* m)
{
    for (;;) {
        switch (*m) {
        case 0: return *s == 0;
        case u'*':
            if (m[1] == 0)
                return true;
            for (; *s; ++s) {
                if (reference(s, m + 1))
                    return true;
            }
            return reference(s, m + 1);
        case u'?':
            if (*s == 0)
                return false;
            ++s;
            ++m;
            break;
        case u'[': {
            ++m;
            if (*m == 0 || *m == u'[' || *m == u']')
                return false;
            const bool negated = *m == u'^';
            if (negated)
                ++m;
            bool found = false;
            while (*m != u']') {
                if (*m == 0)
                    return false;
                if (m[1] == u'-') {
                    if (m[2] == 0)
                        return false;
                    found = found || (m[0] <= *s && *s <= m[2]);
                    m += 3;
                } else {
                    found = found || *m == *s;
                    ++m;
                }
            }
            if (*s == 0 || found == negated)
                return false;
            ++s;
            ++m;
            break;
        }
        default:
            if (*m != *s)
                return false;
            ++s;
            ++m;
        }
    }
}

bool reference(const QString& s, const QString& m)
{
    return reference(reinterpret_cast<const char16_t*>(s.utf16()),
                     reinterpret_cast<const char16_t*>(m.utf16()));
}

}  // namespace

class WildcardMatchCase : public ::testing::TestWithParam<MaskCase> {};

TEST_P(WildcardMatchCase, Matches)
{
    EXPECT_EQ(WildcardMatch(QString(GetParam().s), QString(GetParam().mask)), GetParam().match);
    EXPECT_EQ(reference(GetParam().s, GetParam().mask), GetParam().match);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WildcardMatchCase,
    ::testing::Values(
        MaskCase {"abc", "a*", true}, MaskCase {"abc", "*c", true}, MaskCase {"abc", "a?c", true},
        MaskCase {"abc", "[a-c]bc", true}, MaskCase {"abc", "[^x]bc", true}, MaskCase {"abc", "*", true},
        MaskCase {"abc", "A*", false}, MaskCase {"abc", "ab", false}, MaskCase {"abc", "[^a]bc", false},
        MaskCase {"abc", "abc*", true}, MaskCase {"abc", "a**c", true}, MaskCase {"abc", "*b", false},
        MaskCase {"abc", "?", false}, MaskCase {"abc", "????", false}, MaskCase {"", "*", true},
        MaskCase {"", "**", true}, MaskCase {"", "", true}, MaskCase {"", "?", false},
        MaskCase {"", "[a]", false}, MaskCase {"", "[^a]", false}, MaskCase {"", "*[^]", false},
        MaskCase {"x", "[^]", true}, MaskCase {"x", "[^]?", false}, MaskCase {"x", "", false},
        MaskCase {"b", "[ac-e]", false}, MaskCase {"d", "[ac-e]", true},
        MaskCase {"-", "[a-]", false},  // "a-]" is a range, so the set never closes
        MaskCase {"]", "[^a]", true}, MaskCase {"^", "[a^]", true},
        MaskCase {"a]", "a]", true},  // outside a set "]" is plain
        MaskCase {"report.DLL", "*.dll", false}, MaskCase {"report.dll", "*.dll", true},
        MaskCase {"aXbXc", "a*b*c", true}, MaskCase {"abab", "*ab", true},
        MaskCase {"mississippi", "m*iss*ppi", true}, MaskCase {"mississippi", "m*iss*x", false}));

// A malformed set makes every text fail, wherever the set stands.
INSTANTIATE_TEST_SUITE_P(MalformedSets, WildcardMatchCase,
                         ::testing::Values(MaskCase {"a", "[abc", false}, MaskCase {"abc", "[abc", false},
                                           MaskCase {"", "[abc", false}, MaskCase {"a", "[]", false},
                                           MaskCase {"]", "[]]", false}, MaskCase {"[", "[[]", false},
                                           MaskCase {"a", "[", false}, MaskCase {"a", "[^", false},
                                           MaskCase {"a", "[a-", false}, MaskCase {"abc", "*[abc", false},
                                           MaskCase {"abc", "abc[", false}));

TEST(WildcardMatch, AgreesWithPlainBacktrackingOnAllShortInputs)
{
    // Every mask up to four elements over a small alphabet against every
    // text up to four characters.
    const QStringList elements = {"a", "b", "?", "*", "[a]", "[^a]", "[a-b]", "[^]", "[", "]"};
    QStringList masks = {""};
    QStringList level = {""};
    for (int length = 1; length <= 4; ++length) {
        QStringList next;
        for (const QString& m : level)
            for (const QString& e : elements)
                next << m + e;
        masks << next;
        level = next;
    }
    QStringList texts = {""};
    level = {""};
    for (int length = 1; length <= 4; ++length) {
        QStringList next;
        for (const QString& t : level)
            for (const char* c : {"a", "b", "]"})
                next << t + c;
        texts << next;
        level = next;
    }
    int checked = 0;
    for (const QString& m : masks) {
        for (const QString& t : texts) {
            ASSERT_EQ(WildcardMatch(t, m), reference(t, m)) << t.toStdString() << " ~ " << m.toStdString();
            ++checked;
        }
    }
    EXPECT_GT(checked, 100000);
}

TEST(WildcardMatch, PathologicalMaskCompletes)
{
    const QString text(20000, u'a');
    EXPECT_FALSE(WildcardMatch(text, u"*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(WildcardMatch(text + u'b', u"*a*a*a*a*a*a*a*b"));
    EXPECT_FALSE(WildcardMatch(text, u"*a*a*a*a*a*a*a*[b-z]"));
}

TEST(WildcardMatch, SequencesEndAtAZeroCharacter)
{
    const QString s = QString("abc") + QChar(0) + "def";
    EXPECT_TRUE(WildcardMatch(s, u"abc"));
    EXPECT_FALSE(WildcardMatch(s, u"*f"));
    const QString mask = QString("a*") + QChar(0) + "x";
    EXPECT_TRUE(WildcardMatch(u"abc", mask));
}

TEST(WildcardMatch, WorksOnPartsOfATextInPlace)
{
    const QString text = "name.dll;other.exe";
    EXPECT_TRUE(WildcardMatch(QStringView(text).first(8), u"*.dll"));
    EXPECT_TRUE(WildcardMatch(QStringView(text).sliced(9), u"*.exe"));
    EXPECT_FALSE(WildcardMatch(QStringView(text).sliced(9), u"*.dll"));
}
