// Writes the damaged copies of a help file into a folder: the seeds of the
// help reader's fuzz target.
#include "ChmDamage.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_damaged_chm FILE.chm FOLDER\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    const std::vector<DamagedChm> copies = damagedCopies(in.readAll());
    if (copies.empty())
        return 1;
    const QDir out(QString::fromLocal8Bit(argv[2]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;
    int n = 0;
    for (const DamagedChm& copy : copies) {
        QFile file(out.filePath(QStringLiteral("damaged-%1.chm").arg(++n, 2, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(copy.bytes) != copy.bytes.size())
            return 1;
    }
    return 0;
}
