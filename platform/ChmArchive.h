#pragma once
// Compiled help files (.chm) read through libchm, which is loaded at run
// time: the library may be missing, and then help is simply unavailable.
//
// libchm trusts its input: a damaged file can make it crash, divide by
// zero or walk a directory chain forever. So it never runs in this process.
// A child process reads the whole archive with it, under limits of time and
// memory, and hands the objects back; a child that faults, overruns or
// sends anything malformed leaves the file refused, and nothing else.

#include "platform/DynamicLibrary.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace platform {

// Takes libchm's functions from an opened library for every archive opened
// afterwards; false (and nothing bound) when one of them is missing.
bool bindChmLibrary(LibraryHandle library);
bool chmLibraryBound();
// Forgets the bound functions (the library is about to be released).
void unbindChmLibrary();

class ChmArchive {
public:
    // nullptr when libchm is not bound or the file is not a readable archive.
    static std::unique_ptr<ChmArchive> open(const QString& path);
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    const QString& path() const { return m_path; }
    // Paths inside the archive start with "/" and compare case-insensitively,
    // as the format's directory does.
    bool contains(const QString& path) const;
    // The whole object; nullopt when it is missing.
    std::optional<QByteArray> read(const QString& path) const;
    // Every ordinary file, in the archive's directory order.
    QStringList files() const { return m_files; }

    // More than any help file could reasonably hold: such a file is refused.
    static constexpr qint64 kMaxContentSize = 64 * 1024 * 1024;
    static constexpr int kMaxObjects = 16384;
    // What the reading child may take: wall time, and memory beyond what it
    // shares with this process when it starts. A help file reads in a tenth
    // of this; a refusal still comes well within two seconds.
    static constexpr int kReadTimeoutMs = 1000;
    static constexpr qint64 kMaxReaderGrowth = 256 * 1024 * 1024;

private:
    ChmArchive() = default;
    bool take(const QByteArray& stream);

    QString m_path;
    QStringList m_files;
    QHash<QString, QByteArray> m_objects;  // by case-folded path
};

}  // namespace platform
