#include "platform/ChmArchive.h"

#include <QFile>

#include <chm_lib.h>

namespace platform {

namespace {

// libchm's entries, taken from the library at run time (never linked).
struct ChmFunctions {
    decltype(&::chm_open) open = nullptr;
    decltype(&::chm_close) close = nullptr;
    decltype(&::chm_resolve_object) resolve = nullptr;
    decltype(&::chm_retrieve_object) retrieve = nullptr;
    decltype(&::chm_enumerate) enumerate = nullptr;
};

ChmFunctions g_chm;
bool g_bound = false;

template <typename F> bool take(LibraryHandle library, const char* name, F& entry)
{
    entry = reinterpret_cast<F>(librarySymbol(library, name));
    return entry != nullptr;
}

}  // namespace

bool bindChmLibrary(LibraryHandle library)
{
    ChmFunctions functions;
    const bool complete = take(library, "chm_open", functions.open)
        && take(library, "chm_close", functions.close)
        && take(library, "chm_resolve_object", functions.resolve)
        && take(library, "chm_retrieve_object", functions.retrieve)
        && take(library, "chm_enumerate", functions.enumerate);
    if (!complete)
        return false;
    g_chm = functions;
    g_bound = true;
    return true;
}

bool chmLibraryBound() { return g_bound; }

void unbindChmLibrary()
{
    g_chm = {};
    g_bound = false;
}

std::unique_ptr<ChmArchive> ChmArchive::open(const QString& path)
{
    if (!g_bound || path.isEmpty())
        return nullptr;
    chmFile* file = g_chm.open(QFile::encodeName(path).constData());
    if (!file)
        return nullptr;
    std::unique_ptr<ChmArchive> archive(new ChmArchive);
    archive->m_file = file;
    archive->m_path = path;
    return archive;
}

ChmArchive::~ChmArchive()
{
    if (m_file && g_bound)
        g_chm.close(m_file);
}

bool ChmArchive::contains(const QString& path) const
{
    chmUnitInfo info {};
    return g_bound && g_chm.resolve(m_file, path.toUtf8().constData(), &info) == CHM_RESOLVE_SUCCESS;
}

std::optional<QByteArray> ChmArchive::read(const QString& path) const
{
    chmUnitInfo info {};
    if (!g_bound || g_chm.resolve(m_file, path.toUtf8().constData(), &info) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (info.length > static_cast<LONGUINT64>(kMaxObjectSize))
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(info.length), Qt::Uninitialized);
    if (info.length == 0)
        return bytes;
    const LONGINT64 got = g_chm.retrieve(m_file, &info, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                         static_cast<LONGINT64>(info.length));
    if (got != static_cast<LONGINT64>(info.length))
        return std::nullopt;
    return bytes;
}

QStringList ChmArchive::files() const
{
    QStringList list;
    if (!g_bound)
        return list;
    auto collect = [](chmFile*, chmUnitInfo* info, void* context) -> int {
        const size_t length = strnlen(info->path, sizeof info->path);
        static_cast<QStringList*>(context)->append(
            QString::fromUtf8(info->path, static_cast<qsizetype>(length)));
        return CHM_ENUMERATOR_CONTINUE;
    };
    g_chm.enumerate(m_file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collect, &list);
    return list;
}

}  // namespace platform
