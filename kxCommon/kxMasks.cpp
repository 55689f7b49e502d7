#include "kxMasks.h"

namespace {

qsizetype terminatedLength(QStringView s)
{
    qsizetype n = 0;
    while (n < s.size() && s[n] != QChar(0))
        ++n;
    return n;
}

enum class SetResult { Match, NoMatch, Malformed };

// Matches c against the set that opens at mask[at] ("["); on success or
// mismatch `next` is the index after its closing "]".
SetResult matchSet(QStringView mask, qsizetype at, char16_t c, qsizetype& next)
{
    const qsizetype end = mask.size();
    qsizetype i = at + 1;
    if (i >= end || mask[i] == u'[' || mask[i] == u']')
        return SetResult::Malformed;
    const bool negated = mask[i] == u'^';
    if (negated)
        ++i;
    bool found = false;
    for (;;) {
        if (i >= end)
            return SetResult::Malformed;
        const char16_t x = mask[i].unicode();
        if (x == u']')
            break;
        if (i + 1 < end && mask[i + 1] == u'-') {
            // A range needs all three of its characters, whatever the third is.
            if (i + 2 >= end)
                return SetResult::Malformed;
            const char16_t y = mask[i + 2].unicode();
            found = found || (x <= c && c <= y);
            i += 3;
        } else {
            found = found || x == c;
            ++i;
        }
    }
    next = i + 1;
    return found != negated ? SetResult::Match : SetResult::NoMatch;
}

}  // namespace

// Every mask element but "*" takes exactly one character, so a failed
// attempt only ever needs to resume after the latest "*", taking one more
// character into it: no deeper backtracking can find a match that this
// misses, and the walk is O(|S| * |Mask|) at worst.
bool WildcardMatch(QStringView S, QStringView Mask)
{
    const QStringView s = S.first(terminatedLength(S));
    const QStringView mask = Mask.first(terminatedLength(Mask));

    qsizetype si = 0;
    qsizetype mi = 0;
    qsizetype starMask = -1;  // mask index after the latest "*"
    qsizetype starText = 0;   // where that "*"'s run currently ends

    while (si < s.size()) {
        if (mi < mask.size()) {
            const char16_t m = mask[mi].unicode();
            if (m == u'*') {
                ++mi;
                if (mi == mask.size())
                    return true;
                starMask = mi;
                starText = si;
                continue;
            }
            qsizetype next = mi + 1;
            bool matched;
            if (m == u'[') {
                const SetResult r = matchSet(mask, mi, s[si].unicode(), next);
                // A malformed set stands in the way of every possible match.
                if (r == SetResult::Malformed)
                    return false;
                matched = r == SetResult::Match;
            } else {
                matched = m == u'?' || m == s[si].unicode();
            }
            if (matched) {
                mi = next;
                ++si;
                continue;
            }
        }
        if (starMask < 0)
            return false;
        mi = starMask;
        si = ++starText;
    }
    // Only "*" can match the empty remainder.
    while (mi < mask.size() && mask[mi] == u'*')
        ++mi;
    return mi == mask.size();
}
