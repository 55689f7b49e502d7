#pragma once
// Compiled help files (.chm) read through libchm, which is loaded at run
// time: the library may be missing, and then help is simply unavailable.

#include "platform/DynamicLibrary.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct chmFile;

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
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    const QString& path() const { return m_path; }
    // Paths inside the archive start with "/" and compare case-insensitively,
    // as the format's directory does.
    bool contains(const QString& path) const;
    // The whole object; nullopt when it is missing, unreadable or larger
    // than any help page could reasonably be.
    std::optional<QByteArray> read(const QString& path) const;
    // Every ordinary file, in the archive's directory order.
    QStringList files() const;

    static constexpr qint64 kMaxObjectSize = 64 * 1024 * 1024;

private:
    ChmArchive() = default;
    ::chmFile* m_file = nullptr;
    QString m_path;
};

}  // namespace platform
