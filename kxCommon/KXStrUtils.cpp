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
bool isBreak(QChar c) { return c == u'\r' || c == u'\n'; }

struct LineBreak {
    qsizetype at;     // 0-based index, -1 when there is none
    qsizetype width;  // 2 for CR LF, else 1
};

LineBreak firstBreak(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (isBreak(s[i]))
            return {i, s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n' ? 2 : 1};
    }
    return {-1, 0};
}

bool hasBreak(QStringView s) { return firstBreak(s).at >= 0; }

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

    // Positions below are 1-based, as in the description of the cut: f
    // characters go to the line, S[f] is s[f - 1].
    while (!s.isEmpty()) {
        const LineBreak brk = firstBreak(s);
        if (s.size() <= maxLen && brk.at < 0) {
            Lines.append(s);
            break;
        }
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
            const QChar next = f < s.size() ? s[f] : QChar();
            const bool keepCut = isBlank(next) || next == u'\r' || (next == u'\n' && s[f - 1] != u'\r');
            if (!keepCut) {
                while (f > 1 && !isBlank(s[f - 1]))
                    --f;
            }
        }

        const bool atBreak = g > 0 && f == g;
        qsizetype cut;
        if (f == 1) {
            cut = maxLen;
            Lines.append(rightTrimmed(QStringView(s).first(std::min(cut, s.size()))));
            s.remove(0, cut);
        } else {
            cut = f;
            Lines.append(rightTrimmed(QStringView(s).first(cut)));
            s.remove(0, cut);
            if (atBreak && brk.width == 2)
                s.remove(0, 1);
            qsizetype blanks = 0;
            while (blanks < s.size() && isBlank(s[blanks]))
                ++blanks;
            s.remove(0, blanks);
        }

        if (atBreak)
            continue;
        if (g > 0 && g <= cut) {
            // The break ended the part just cut off; only the LF of a CR LF
            // pair that the cut split is left of it.
            if (g == cut && brk.width == 2 && s.startsWith(u'\n'))
                s.remove(0, 1);
        } else if (!s.isEmpty() && isBreak(s[0])) {
            // Nothing but blanks stood between the cut and the break: the
            // break ends the line just appended, not a further empty one.
            s.remove(0, firstBreak(s).width);
        }
    }
}
