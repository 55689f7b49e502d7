#include "platform/FileSystem.h"

#include "platform/Exceptions.h"
#include "platform/TemporaryFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <functional>

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

namespace {

FileIdentity identityOf(const struct stat& st)
{
    return FileIdentity {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), st.st_size,
                         st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

}  // namespace

std::optional<FileIdentity> fileIdentity(const QString& path)
{
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

std::optional<FileIdentity> fileIdentity(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return std::nullopt;
    return identityOf(st);
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

namespace {

void setError(QString* error, int code)
{
    if (error)
        *error = qt_error_string(code);
}

// Writes all of [at, at + size) to fd: 0, or the system's code of the
// write that failed (a write that takes nothing means a full disk).
int writeToFd(int fd, const char* at, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, at, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        at += n;
        size -= n;
    }
    return 0;
}

// Fills the temporary file: 0, or the system's code of what failed.
using Fill = std::function<int(int fd)>;

}  // namespace

bool writeDestination(const QString& path, Destination& dest, QString* error, AtLink atLink)
{
    dest = {path, false, std::nullopt};
    if (atLink == AtLink::Follow) {
        QFileInfo info(path);
        for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) {
            dest.target = info.symLinkTarget();
            info.setFile(dest.target);
        }
    }
    const QByteArray name = QFile::encodeName(dest.target);
    struct stat st {};
    const int looked = atLink == AtLink::Follow ? stat(name.constData(), &st) : lstat(name.constData(), &st);
    if (looked != 0) {
        // Only "no such file" leaves a new one to make; a name too long or
        // a folder that cannot be searched is said in the system's words.
        if (errno != ENOENT) {
            setError(error, errno);
            return false;
        }
        return true;
    }
    dest.replaces = true;
    // A link's target is not ours to change: the new file takes the link's
    // name, and a new file's mode.
    if (S_ISLNK(st.st_mode))
        return true;
    if (S_ISDIR(st.st_mode)) {
        setError(error, EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = QCoreApplication::translate("platform", "It is not a regular file.");
        return false;
    }
    if (::access(name.constData(), W_OK) != 0) {
        setError(error, errno);
        return false;
    }
    dest.mode = st.st_mode & 07777;
    return true;
}

namespace {

// Writes through a temporary file renamed over the destination. A file that
// replaces another keeps its mode and is synced before the rename; a new
// one is not synced: nothing existing can be lost if the machine stops
// before the kernel writes it, and a sync a file costs a batch run most of
// its time.
WriteResult writeThroughTemporary(const QString& path, const Fill& fill, QString* error,
                                  AtLink atLink = AtLink::Replace)
{
    Destination dest;
    if (!writeDestination(path, dest, error, atLink))
        return WriteResult::NotCreated;
    QString temp;
    const int fd = createTemporaryFile(QFileInfo(dest.target).absolutePath(), dest.mode ? 0600 : 0666, temp);
    if (fd < 0) {
        setError(error, errno);
        return WriteResult::NotCreated;
    }
    int failure = dest.mode && ::fchmod(fd, static_cast<mode_t>(*dest.mode)) != 0 ? errno : 0;
    if (failure == 0)
        failure = fill(fd);
    if (failure == 0 && dest.replaces && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    TemporaryFilesHold hold;
    if (hold.interrupted())
        hold.end();
    if (failure == 0)
        failure = installTemporaryFile(temp, dest.target);
    if (failure != 0) {
        removeTemporaryFile(temp);
        setError(error, failure);
        return WriteResult::WriteFailed;
    }
    hold.placed();
    return WriteResult::Written;
}

}  // namespace

namespace {

WriteResult writeBytes(const QString& path, QByteArrayView data, QString* error, AtLink atLink)
{
    return writeThroughTemporary(
        path, [data](int fd) { return writeToFd(fd, data.data(), data.size()); }, error, atLink);
}

}  // namespace

WriteResult replaceFile(const QString& path, QByteArrayView data, QString* error)
{
    return writeBytes(path, data, error, AtLink::Replace);
}

WriteResult rewriteFile(const QString& path, QByteArrayView data, QString* error)
{
    return writeBytes(path, data, error, AtLink::Follow);
}

void checkWritten(WriteResult result, const QString& path, const QString& error)
{
    switch (result) {
    case WriteResult::Written: return;
    case WriteResult::NotCreated:
        throw InOutError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, error));
    case WriteResult::WriteFailed: break;
    }
    throw InOutError(QStringLiteral("Error writing file \"%1\". %2").arg(path, error));
}

void replaceWholeFile(const QString& path, QByteArrayView data)
{
    QString error;
    const WriteResult result = replaceFile(path, data, &error);
    checkWritten(result, path, error);
}

QString resolvedFolder(const QString& folder)
{
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    return resolved.isEmpty() ? folder : resolved;
}

bool copyFileAtomically(const QString& source, const QString& dest, QString* error)
{
    if (isSameFile(source, dest)) {
        if (error)
            *error = QCoreApplication::translate("platform",
                                                 "The source and the destination are the same file.");
        return false;
    }
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        setError(error, errno);
        return false;
    }
    const auto copy = [in](int fd) {
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            if (n == 0)
                return 0;
            if (const int failure = writeToFd(fd, buffer, n))
                return failure;
        }
    };
    const bool copied = writeThroughTemporary(dest, copy, error) == WriteResult::Written;
    ::close(in);
    return copied;
}

}  // namespace platform
