#include "app/SaveAllRun.h"

#include <limits>

qint64 RunOutputLimit(qint64 SourceSize)
{
    if (SourceSize <= kRunOutputFloor / kRunOutputPerSourceByte)
        return kRunOutputFloor;
    if (SourceSize > std::numeric_limits<qint64>::max() / kRunOutputPerSourceByte)
        return std::numeric_limits<qint64>::max();
    return SourceSize * kRunOutputPerSourceByte;
}

void ThrowNoIcons(const QString& Source)
{
    throw TSourceError(QStringLiteral("\"%1\" holds no icons.").arg(Source));
}

QString BrokenIconText(const QString& Source, int Index)
{
    return QStringLiteral("Icon %1 of \"%2\" cannot be read.").arg(qint64 {Index} + 1).arg(Source);
}
