#pragma once
// File operations the program needs beyond Qt's: replacing a file whole,
// and telling whether two names are one file.

#include <QByteArrayView>
#include <QString>

class QFileDevice;
class QIODevice;

namespace platform {

// True when both names exist and are the same file (links followed).
bool isSameFile(const QString& a, const QString& b);

enum class WriteResult { Written, NotCreated, WriteFailed };

// Writes `data` to a temporary file beside `path` and renames it over
// `path`; on failure neither a partial file nor a damaged old one remains.
WriteResult replaceFile(const QString& path, QByteArrayView data, QString* error = nullptr);
inline bool writeFileAtomically(const QString& path, QByteArrayView data, QString* error = nullptr)
{
    return replaceFile(path, data, error) == WriteResult::Written;
}

// Writes all of `data`, retrying after a short write; false and the
// device's reason when a write fails.
bool writeAll(QIODevice& device, QByteArrayView data, QString* error = nullptr);

// Writes out what `file` still buffers; false and the reason when it fails.
bool flushAll(QFileDevice& file, QString* error = nullptr);

// Copies `source` to `dest` the same way, overwriting it; a destination
// that is the source itself is refused.
bool copyFileAtomically(const QString& source, const QString& dest, QString* error = nullptr);

}  // namespace platform
