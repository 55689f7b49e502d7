#include "kxMiscUtils.h"

#include <utility>

namespace {

QString takeLeadingPart(QString& v)
{
    const qsizetype dot = v.indexOf(u'.');
    if (dot < 0)
        return std::exchange(v, QString());
    QString part = v.left(dot);
    v.remove(0, dot + 1);
    return part;
}

}  // namespace

int CompareVersionPart(QString& V1, QString& V2)
{
    const QString p1 = takeLeadingPart(V1);
    const QString p2 = takeLeadingPart(V2);
    if (p1.isEmpty() || p2.isEmpty())
        return 0;
    bool ok1 = false;
    bool ok2 = false;
    const int n1 = p1.toInt(&ok1);
    const int n2 = p2.toInt(&ok2);
    if (!ok1 || !ok2)
        return 0;
    return n1 > n2 ? 1 : (n1 < n2 ? -1 : 0);
}

int CompareVersions(const QString& V1, const QString& V2)
{
    QString v1 = V1;
    QString v2 = V2;
    int result;
    do {
        result = CompareVersionPart(v1, v2);
    } while (result == 0 && !v1.isEmpty());
    return result;
}

int64_t Max64(int64_t A, int64_t B) { return A > B ? A : B; }
int64_t Min64(int64_t A, int64_t B) { return A < B ? A : B; }
