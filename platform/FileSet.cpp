#include "platform/FileSet.h"

#include "platform/FileSystem.h"
#include "platform/TemporaryFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct FileSet::Entry {
    QString path;
    QString temp;
    std::unique_ptr<QFile> file;
    QString second;      // the old file's second name while the set is put in place
    bool moved = false;  // the old file was renamed to it, not linked
    bool installed = false;
};

namespace {

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

bool exists(const QString& path)
{
    struct stat st {};
    return lstat(encoded(path).constData(), &st) == 0;
}

bool fail(QString* error, int code)
{
    if (error)
        *error = qt_error_string(code);
    return false;
}

}  // namespace

FileSet::FileSet() = default;

FileSet::~FileSet() { discard(); }

QFile* FileSet::create(const QString& Path, QString* Error)
{
    // Written where any single file would be: in a link's place, over a
    // regular file that may be written.
    Destination dest;
    if (!writeDestination(Path, dest, Error))
        return nullptr;
    const QString& target = dest.target;
    if (m_paths.contains(target)) {
        if (Error)
            *Error = QStringLiteral("The file is written twice.");
        return nullptr;
    }
    auto entry = std::make_unique<Entry>();
    entry->path = target;
    const int fd
        = createTemporaryFile(QFileInfo(target).absolutePath(), dest.mode ? 0600 : 0666, entry->temp);
    if (fd < 0) {
        fail(Error, errno);
        return nullptr;
    }
    entry->file = std::make_unique<QFile>();
    if (!entry->file->open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        removeTemporaryFile(entry->temp);
        if (Error)
            *Error = entry->file->errorString();
        return nullptr;
    }
    // A file that replaces another keeps the old one's permissions.
    if (dest.mode)
        fchmod(entry->file->handle(), static_cast<mode_t>(*dest.mode));
    m_paths.insert(target);
    m_entries.push_back(std::move(entry));
    return m_entries.back()->file.get();
}

WriteResult FileSet::add(const QString& Path, QByteArrayView Data, QString* Error)
{
    QFile* file = create(Path, Error);
    if (!file)
        return WriteResult::NotCreated;
    if (!writeAll(*file, Data, Error) || !finishWriting(*m_entries.back(), Error)) {
        removeTemporaryFile(m_entries.back()->temp);
        m_paths.remove(m_entries.back()->path);
        m_entries.pop_back();
        return WriteResult::WriteFailed;
    }
    return WriteResult::Written;
}

bool FileSet::finishWriting(Entry& e, QString* Error)
{
    if (!flushAll(*e.file, Error))
        return false;
    // Only a file that replaces another is synced before the rename.
    if (exists(e.path) && fsync(e.file->handle()) != 0)
        return fail(Error, errno);
    e.file.reset();
    return true;
}

bool FileSet::commit(QString* FailedPath, QString* Error)
{
    const auto failed = [&](const Entry& e, int code, const QString& reason = {}) {
        if (FailedPath)
            *FailedPath = e.path;
        if (Error)
            *Error = reason.isEmpty() ? qt_error_string(code) : reason;
        discard();
        return false;
    };
    // Every byte is on disk before the first old file is touched.
    for (const auto& e : m_entries) {
        QString reason;
        if (e->file && !finishWriting(*e, &reason))
            return failed(*e, 0, reason);
    }
    // A signal from here on ends the run with the set undone, or, once it is
    // all in place, lets the run succeed.
    TemporaryFilesHold hold;
    const auto stopIfSignalled = [&] {
        if (hold.interrupted()) {
            discard();
            hold.end();
        }
    };
    // Each new file is renamed over its name, which so holds a whole file,
    // old or new, at every moment; the old one keeps a second name until
    // the whole set is in place. A set of one file has nothing to undo.
    const bool undoable = m_entries.size() > 1;
    for (const auto& e : m_entries) {
        stopIfSignalled();
        if (undoable && exists(e->path))
            if (const int code = keepOldFile(e->path, e->second, e->moved))
                return failed(*e, code);
        stopIfSignalled();
        if (const int code = installTemporaryFile(e->temp, e->path))
            return failed(*e, code);
        e->installed = true;
    }
    hold.placed();
    for (const auto& e : m_entries)
        if (!e->second.isEmpty())
            removeTemporaryFile(e->second);
    m_entries.clear();
    m_paths.clear();
    return true;
}

void FileSet::discard()
{
    // Undone last first, each old file renamed back over its name.
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        Entry& e = **it;
        e.file.reset();
        if (!e.installed)
            removeTemporaryFile(e.temp);
        else if (e.second.isEmpty())
            ::unlink(encoded(e.path).constData());
        if (e.second.isEmpty())
            continue;
        // A link whose file still has its name goes; a rename over a name
        // that is the same file would do nothing.
        if (e.installed || e.moved)
            installTemporaryFile(e.second, e.path);
        else
            removeTemporaryFile(e.second);
    }
    m_entries.clear();
    m_paths.clear();
}

}  // namespace platform
