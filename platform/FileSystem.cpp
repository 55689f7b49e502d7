#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Qt reports a write that stopped part way as "Unknown error"; the system's
// code of the write that failed (a full disk, a size limit) still says why.
QString reasonOf(const QIODevice& device, int savedErrno)
{
    const QString said = device.errorString();
    if (savedErrno != 0 && (said.isEmpty() || said == QLatin1String("Unknown error")))
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return said;
}

}  // namespace

bool isSameFile(const QString& a, const QString& b)
{
    struct stat sa {
    }, sb {};
    if (stat(QFile::encodeName(a).constData(), &sa) != 0 || stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool writeAll(QIODevice& device, QByteArrayView data, QString* error)
{
    // A short write sets no error; the next one meets the cause (a full
    // disk, a size limit) and says it.
    for (;;) {
        errno = 0;
        const qint64 n = device.write(data.data(), data.size());
        const int code = errno;
        if (n < 0 || (n == 0 && !data.isEmpty())) {
            if (error)
                *error = reasonOf(device, code);
            return false;
        }
        data = data.sliced(n);
        if (data.isEmpty())
            return true;
    }
}

bool flushAll(QFileDevice& file, QString* error)
{
    errno = 0;
    const bool flushed = file.flush();
    const int code = errno;
    if (!flushed || file.error() != QFileDevice::NoError) {
        if (error)
            *error = reasonOf(file, code);
        return false;
    }
    return true;
}

bool commitSaveFile(QSaveFile& file, QString* error)
{
    // What is still buffered is written here: commit() alone would drop
    // its error (a full disk) and rename a short file over the old one.
    if (!flushAll(file, error)) {
        file.cancelWriting();  // the temporary file goes with the object
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

namespace {

// Nothing at all at `path`, not even a dangling link.
bool isFree(const QString& path)
{
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT;
}

void setError(QString* error, int code)
{
    if (error)
        *error = qt_error_string(code);
}

// A file where there was none: written under a temporary name beside it
// and renamed, but not synced. Nothing existing can be lost if the machine
// stops before the kernel writes it, and a sync a file costs a batch run
// most of its time.
WriteResult writeNewFile(const QString& path, QByteArrayView data, QString* error)
{
    const QFileInfo info(path);
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = QFile::encodeName(info.absolutePath() + u'/' + info.fileName() + u'.'
                                 + QString::number(QRandomGenerator::global()->generate(), 36));
        // The mode a new file gets from the umask, as any program's files do.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setError(error, errno);
        return WriteResult::NotCreated;
    }
    const char* at = data.data();
    qsizetype left = data.size();
    int failure = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
        at += n;
        left -= n;
    }
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temp.constData());
        setError(error, failure);
        return WriteResult::WriteFailed;
    }
    return WriteResult::Written;
}

}  // namespace

WriteResult replaceFile(const QString& path, QByteArrayView data, QString* error)
{
    // Only a file that replaces another is synced before the rename.
    if (isFree(path))
        return writeNewFile(path, data, error);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return WriteResult::NotCreated;
    }
    if (!writeAll(file, data, error)) {
        file.cancelWriting();
        return WriteResult::WriteFailed;
    }
    if (!commitSaveFile(file, error))
        return WriteResult::WriteFailed;
    return WriteResult::Written;
}

bool copyFileAtomically(const QString& source, const QString& dest, QString* error)
{
    if (isSameFile(source, dest)) {
        if (error)
            *error = QCoreApplication::translate("platform",
                                                 "The source and the destination are the same file.");
        return false;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error)
            *error = in.errorString();
        return false;
    }
    if (isFree(dest)) {
        const QByteArray bytes = in.readAll();
        if (in.error() != QFileDevice::NoError) {
            if (error)
                *error = in.errorString();
            return false;
        }
        return writeNewFile(dest, bytes, error) == WriteResult::Written;
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
        if (!writeAll(out, QByteArrayView(buffer, n), error)) {
            out.cancelWriting();
            return false;
        }
    }
    return commitSaveFile(out, error);
}

}  // namespace platform
