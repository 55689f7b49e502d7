#include "KXStrUtils.h"

#include <algorithm>

namespace {

QString rightTrimmed(QStringView s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1].unicode() <= 32)
        --n;
    return s.first(n).toString();
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

struct LineBreak {
    qsizetype at;     // 0-based index, -1 when there is none
    qsizetype width;  // 2 for CR LF, else 1
};

// The first CR LF pair; without one, the first CR; without a CR, the
// first LF. A lone CR or LF before the first pair stays inside its line.
LineBreak firstBreak(QStringView s)
{
    if (const qsizetype at = s.indexOf(u"\r\n"); at >= 0)
        return {at, 2};
    if (const qsizetype at = s.indexOf(u'\r'); at >= 0)
        return {at, 1};
    return {s.indexOf(u'\n'), 1};
}

bool hasBreak(QStringView s) { return s.contains(u'\r') || s.contains(u'\n'); }

}  // namespace

QString TrimBlanksAndControls(QStringView S)
{
    qsizetype b = 0;
    while (b < S.size() && S[b].unicode() <= 32)
        ++b;
    return rightTrimmed(S.mid(b));
}

QString WordToHex(uint16_t Value) { return QStringLiteral("%1").arg(Value, 4, 16, QChar(u'0')).toUpper(); }

void SplitTextToLines(const QString& S, int MaxLen, bool WordWrap, QStringList& Lines)
{
    // A limit below 1 would never shorten the text.
    const qsizetype maxLen = MaxLen < 1 ? 1 : MaxLen;
    QString s = rightTrimmed(S);

    if (!WordWrap) {
        Lines.append(s.left(maxLen));
        return;
    }
    if (s.isEmpty() || (s.size() <= maxLen && !hasBreak(s))) {
        Lines.append(s);
        return;
    }

    // Positions below are 1-based: f characters go to the line, S[f] is
    // s[f - 1].
    while (!s.isEmpty()) {
        if (s.size() <= maxLen && !hasBreak(s)) {
            Lines.append(s);
            break;
        }
        const LineBreak brk = firstBreak(s);
        const qsizetype g = brk.at + 1;  // 0 when there is no break
        if (g == 1) {
            Lines.append(QString());
            s.remove(0, brk.width);
            continue;
        }

        qsizetype f;
        if (g > 0 && g < maxLen) {
            f = g;
        } else {
            f = maxLen;
            // The text ends in no break (it is right-trimmed), so a break at
            // or past the limit leaves a character after position f.
            const QChar next = f < s.size() ? s[f] : QChar();
            const bool keepCut = isBlank(next) || next == u'\r' || (next == u'\n' && s[f - 1] != u'\r');
            if (!keepCut) {
                while (f > 1 && !isBlank(s[f - 1]))
                    --f;
            }
        }

        if (f == 1) {
            Lines.append(rightTrimmed(QStringView(s).first(std::min(maxLen, s.size()))));
            s.remove(0, maxLen);
            continue;
        }
        Lines.append(rightTrimmed(QStringView(s).first(f)));
        s.remove(0, f);
        if (f == g && brk.width == 2)
            s.remove(0, 1);
        qsizetype blanks = 0;
        while (blanks < s.size() && isBlank(s[blanks]))
            ++blanks;
        s.remove(0, blanks);
    }
}
