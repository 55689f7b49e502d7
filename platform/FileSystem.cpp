#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <sys/stat.h>

namespace platform {

bool isSameFile(const QString& a, const QString& b)
{
    struct stat sa {}, sb {};
    if (stat(QFile::encodeName(a).constData(), &sa) != 0 || stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

WriteResult replaceFile(const QString& path, QByteArrayView data, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return WriteResult::NotCreated;
    }
    if (file.write(data.data(), data.size()) != data.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return WriteResult::WriteFailed;
    }
    return WriteResult::Written;
}

bool copyFileAtomically(const QString& source, const QString& dest, QString* error)
{
    if (isSameFile(source, dest)) {
        if (error)
            *error = QCoreApplication::translate("platform", "The source and the destination are the same file.");
        return false;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error)
            *error = in.errorString();
        return false;
    }
    QSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error)
            *error = out.errorString();
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0) {
            if (error)
                *error = in.errorString();
            out.cancelWriting();
            return false;
        }
        if (n == 0)
            break;
        if (out.write(buffer, n) != n) {
            if (error)
                *error = out.errorString();
            out.cancelWriting();
            return false;
        }
    }
    if (!out.commit()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    return true;
}

}  // namespace platform
