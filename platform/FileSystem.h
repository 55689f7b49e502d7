#pragma once
// File operations the program needs beyond Qt's: replacing a file whole,
// and telling whether two names are one file.

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

class QFileDevice;
class QIODevice;

namespace platform {

// True when both names exist and are the same file (links followed).
bool isSameFile(const QString& a, const QString& b);

// What tells a file from another one renamed over its name, and from
// itself before a rewrite: its device, inode, size and modification time.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeSec = 0;
    int64_t mtimeNsec = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file `path` names (links followed); nullopt when
// there is none.
std::optional<FileIdentity> fileIdentity(const QString& path);
// The identity of the open file `fd`, whatever names it now.
std::optional<FileIdentity> fileIdentity(int fd);

enum class WriteResult { Written, NotCreated, WriteFailed };

// Writes `data` to a temporary file beside `path` and renames it over
// `path`, a link there included; on failure neither a partial file nor a
// damaged old one remains.
WriteResult replaceFile(const QString& path, QByteArrayView data, QString* error = nullptr);
// replaceFile for a file the program rewrites: a link is followed to the file
// it names, which is replaced beside it, the link staying a link.
WriteResult rewriteFile(const QString& path, QByteArrayView data, QString* error = nullptr);
// replaceFile, throwing InOutError with the file's name and the system's
// reason when the file is not written whole.
void replaceWholeFile(const QString& path, QByteArrayView data);
// Throws InOutError with the file's name and `error` unless `result` is
// Written.
void checkWritten(WriteResult result, const QString& path, const QString& error);
inline bool writeFileAtomically(const QString& path, QByteArrayView data, QString* error = nullptr)
{
    return replaceFile(path, data, error) == WriteResult::Written;
}

// Writes all of `data`, retrying after a short write; false and the
// device's reason when a write fails.
bool writeAll(QIODevice& device, QByteArrayView data, QString* error = nullptr);

// Writes out what `file` still buffers; false and the reason when it fails.
bool flushAll(QFileDevice& file, QString* error = nullptr);

// What a name that is a symbolic link becomes when a file is written to it:
// a new file in the link's place (any destination of an export), or the file
// the link names, rewritten (the program's settings, kept where the user
// moved them).
enum class AtLink { Replace, Follow };

// Where a file written to a name goes, and what is there now.
struct Destination {
    QString target;                // the name the new file takes
    bool replaces = false;         // a file or a link is there, synced over
    std::optional<unsigned> mode;  // the permissions of a file the new one replaces
};

// Where a file written to `path` goes: a file that is there must be a
// regular one we may write; a link is replaced or followed as `atLink` says.
// False and the reason in the system's words when none can be written.
bool writeDestination(const QString& path, Destination& dest, QString* error = nullptr,
                      AtLink atLink = AtLink::Replace);

// The folder `folder` names, its links resolved, so that a run whose files
// go there writes, puts in place and removes them in one folder however the
// links change meanwhile; `folder` itself when it cannot be resolved.
QString resolvedFolder(const QString& folder);

// Copies `source` to `dest` the same way, overwriting it; a destination
// that is the source itself is refused.
bool copyFileAtomically(const QString& source, const QString& dest, QString* error = nullptr);

}  // namespace platform
