// The folder search for files with icons.
#include "kxCommon/kxFileUtils.h"

#include "kxCommon/KXStrUtils.h"
#include "platform/ShellIcons.h"

#include <QFile>

#include <algorithm>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileFoundEvent OnFileFound;

namespace {

struct DirEntry {
    QString name;
    bool isDir;
    bool notUtf8;  // the name does not name the file again
};

// Directories close on every way out.
struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// The names of a folder in a fixed order (upper-cased, as NTFS sorts
// them), so results do not depend on the file system. Links to folders
// count as files: following them could walk a loop.
std::optional<std::vector<DirEntry>> readFolder(const QString& dir)
{
    const QByteArray native = QFile::encodeName(dir);
    std::unique_ptr<DIR, DirCloser> d(opendir(native.constData()));
    if (!d)
        return std::nullopt;
    const int fd = dirfd(d.get());
    std::vector<DirEntry> entries;
    while (const dirent* e = readdir(d.get())) {
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st {};
            isDir = fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        QString name = QFile::decodeName(e->d_name);
        const bool notUtf8 = QFile::encodeName(name) != QByteArray(e->d_name);
        entries.push_back({std::move(name), isDir, notUtf8});
    }
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return entries;
}

struct UpdateGuard {
    TStrings& list;
    explicit UpdateGuard(TStrings& l) : list(l) { list.BeginUpdate(); }
    ~UpdateGuard() { list.EndUpdate(); }
};

}  // namespace

bool FileMaskMatch(QStringView Name, QStringView Mask)
{
    // "*.*" and "name.*" also match names without an extension, as the
    // file search of the system the masks come from does.
    if (Mask.endsWith(u".*") && !Name.contains(u'.') && FileMaskMatch(Name, Mask.chopped(2)))
        return true;
    qsizetype n = 0, m = 0, starMask = -1, starName = 0;
    while (n < Name.size()) {
        if (m < Mask.size() && Mask[m] == u'*') {
            starMask = ++m;
            starName = n;
        } else if (m < Mask.size()
                   && (Mask[m] == u'?'
                       || QChar::toCaseFolded(Mask[m].unicode()) == QChar::toCaseFolded(Name[n].unicode()))) {
            ++m;
            ++n;
        } else if (starMask >= 0) {
            m = starMask;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < Mask.size() && Mask[m] == u'*')
        ++m;
    return m == Mask.size();
}

uint8_t FindIconFiles(const QString& BaseDir, const QString& Dir, const QString& Masks, int32_t MinIcons,
                      bool Recurse, bool FullPaths, TStrings& List, const TSearchTick& Tick, int32_t* Skipped)
{
    const auto skip = [Skipped] {
        if (Skipped)
            ++*Skipped;
    };
    // The folder is read by name; the process's current folder never changes.
    const auto entries = readFolder(Dir);
    if (!entries)
        return srDone;
    UpdateGuard update(List);
    const QString base = AddBackslash(BaseDir);
    const bool topLevel = base == AddBackslash(Dir);
    if (topLevel)
        List.Clear();

    QString rest = Masks;
    for (;;) {
        const qsizetype semicolon = rest.indexOf(u';');
        const QString mask = semicolon < 0 ? rest : rest.left(semicolon);
        if (!mask.isEmpty()) {
            for (const DirEntry& e : *entries) {
                if (Tick) {
                    bool cancel = false;
                    Tick(cancel);
                    if (cancel)
                        return srCancelled;
                }
                if (!FileMaskMatch(e.name, mask))
                    continue;
                if (e.notUtf8) {
                    skip();
                    continue;
                }
                if (MinIcons > 0) {
                    const QString path = JoinPath(Dir, e.name);
                    if (e.isDir || int64_t {MinIcons} > int64_t {platform::iconCount(path)})
                        continue;
                }
                QString name;
                if (FullPaths)
                    name = JoinPath(Dir, e.name);
                else if (topLevel)
                    name = e.name;
                else
                    name = AddBackslash(Dir.mid(base.size())) + e.name;
                List.Add(name);
                if (OnFileFound) {
                    bool cancel = false;
                    OnFileFound(nullptr, -1, List.Count(), name, QString(), cancel);
                    if (cancel)
                        return srCancelled;
                }
            }
        }
        if (semicolon < 0)
            break;
        rest = TrimBlanksAndControls(rest.mid(semicolon + 1));
    }

    uint8_t result = srDone;
    if (Recurse) {
        for (const DirEntry& e : *entries) {
            // Hidden folders are not searched; "." and ".." begin with a dot too.
            if (!e.isDir || e.name.startsWith(u'.'))
                continue;
            if (e.notUtf8) {
                skip();
                continue;
            }
            result = FindIconFiles(BaseDir, JoinPath(Dir, e.name), Masks, MinIcons, Recurse, FullPaths, List,
                                   Tick, Skipped);
            if (result == srCancelled)
                return srCancelled;
        }
    }
    return result;
}
