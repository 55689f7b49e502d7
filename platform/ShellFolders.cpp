#include "platform/ShellFolders.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <QStyle>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace platform {

QString desktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return QDir::cleanPath(desktop);
    const QString home = QDir::homePath();
    if (QFileInfo(home).isDir())
        return QDir::cleanPath(home);
    return QStringLiteral("/");
}

QString trashFilesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Trash/files");
}

QString gvfsFolder()
{
    // GVFS mounts live only in a session's own runtime folder; asking Qt for
    // one where there is none would make (and warn about) a stand-in.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/gvfs");
}

namespace {

enum class Kind { Other, Folder, FolderLink };

// d_type where the file system gives it; a stat only for links and the
// file systems that leave it unknown.
Kind kindOf(int dirFd, const char* name, unsigned char type)
{
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
        return Kind::Other;
    if (type == DT_UNKNOWN) {
        struct stat st {};
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Kind::Other;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    if (type == DT_DIR)
        return Kind::Folder;
    if (type == DT_LNK) {
        struct stat st {};
        if (fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode))
            return Kind::FolderLink;
    }
    return Kind::Other;
}

class Listing {
public:
    Listing(int atFd, const char* path)
    {
        const int fd = openat(atFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        m_dir = fdopendir(fd);
        if (!m_dir)
            close(fd);
    }
    ~Listing()
    {
        if (m_dir)
            closedir(m_dir);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    bool isOpen() const { return m_dir != nullptr; }
    int fd() const { return dirfd(m_dir); }
    const dirent* next() { return readdir(m_dir); }

private:
    DIR* m_dir = nullptr;
};

// Reads the listing in large blocks and stops at the first folder.
bool holdsFolder(int atFd, const char* path)
{
    const int fd = openat(atFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder that is there but cannot be read now (no permission, a
    // medium not ready) may well hold some: its button stays.
    if (fd < 0)
        return errno != ENOENT && errno != ENOTDIR && errno != ELOOP;
    alignas(dirent64) char buffer[4096];
    bool found = false;
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (long at = 0; at < n && !found;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
            at += e->d_reclen;
            found = kindOf(fd, e->d_name, e->d_type) != Kind::Other;
        }
        if (found)
            break;
    }
    close(fd);
    return found;
}

}  // namespace

std::optional<std::vector<SubFolder>> listSubFolders(const QString& path)
{
    Listing listing(AT_FDCWD, QFile::encodeName(path).constData());
    if (!listing.isOpen())
        return std::nullopt;
    std::vector<SubFolder> folders;
    std::vector<QByteArray> names;
    while (const dirent* e = listing.next()) {
        const Kind kind = kindOf(listing.fd(), e->d_name, e->d_type);
        if (kind == Kind::Other)
            continue;
        names.emplace_back(e->d_name);
        QString name = QFile::decodeName(names.back());
        const bool notUtf8 = QFile::encodeName(name) != names.back();
        folders.push_back(SubFolder {std::move(name), kind == Kind::FolderLink, false, notUtf8});
    }
    // One listing per child for its expand button; a large folder shares
    // them out among a few threads, which end before this returns.
    const auto probe = [&](size_t first, size_t end) {
        for (size_t i = first; i < end; ++i)
            folders[i].hasSubFolders
                = !folders[i].nameNotUtf8 && holdsFolder(listing.fd(), names[i].constData());
    };
    constexpr size_t kPerThread = 1024;
    const size_t threads
        = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()),
                           std::min<size_t>(4, (folders.size() + kPerThread - 1) / kPerThread));
    if (threads <= 1) {
        probe(0, folders.size());
        return folders;
    }
    std::vector<std::thread> helpers;
    const size_t chunk = (folders.size() + threads - 1) / threads;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(probe, std::min(folders.size(), t * chunk),
                             std::min(folders.size(), (t + 1) * chunk));
    probe(0, std::min(folders.size(), chunk));
    for (std::thread& helper : helpers)
        helper.join();
    return folders;
}

bool hasSubFolder(const QString& path) { return holdsFolder(AT_FDCWD, QFile::encodeName(path).constData()); }

namespace {

constexpr int kSize = 16;

// A plain folder, or the open one, for a desktop without icons.
QPixmap drawnFolder(bool open)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x8a, 0x6d, 0x1c));
    p.setBrush(QColor(0xe8, 0xc0, 0x4a));
    p.drawRect(QRectF(1.5, 3.5, 5, 2));
    if (open) {
        p.drawRect(QRectF(1.5, 4.5, 12, 9));
        p.setBrush(QColor(0xf6, 0xd9, 0x7a));
        QPainterPath front;
        front.moveTo(3.5, 7.5);
        front.lineTo(15.5, 7.5);
        front.lineTo(13.5, 13.5);
        front.lineTo(1.5, 13.5);
        front.closeSubpath();
        p.drawPath(front);
    } else {
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
    }
    return pixmap;
}

QStyle::StandardPixmap standardPixmap(ShellIcon kind)
{
    switch (kind) {
    case ShellIcon::Desktop: return QStyle::SP_DesktopIcon;
    case ShellIcon::Computer: return QStyle::SP_ComputerIcon;
    case ShellIcon::Drive: return QStyle::SP_DriveHDIcon;
    case ShellIcon::Network: return QStyle::SP_DriveNetIcon;
    case ShellIcon::Trash: return QStyle::SP_TrashIcon;
    case ShellIcon::Folder: break;
    }
    return QStyle::SP_DirIcon;
}

QIcon themeIcon(ShellIcon kind)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return {};
    QFileIconProvider provider;
    switch (kind) {
    case ShellIcon::Desktop: return provider.icon(QFileIconProvider::Desktop);
    case ShellIcon::Computer: return provider.icon(QFileIconProvider::Computer);
    case ShellIcon::Drive: return provider.icon(QFileIconProvider::Drive);
    case ShellIcon::Network: return provider.icon(QFileIconProvider::Network);
    case ShellIcon::Trash: return provider.icon(QFileIconProvider::Trashcan);
    case ShellIcon::Folder: return provider.icon(QFileIconProvider::Folder);
    }
    return {};
}

QPixmap pixmapOf(const QIcon& icon, QIcon::Mode mode = QIcon::Normal)
{
    return icon.isNull() ? QPixmap() : icon.pixmap(kSize, kSize, mode);
}

// The link arrow in the lower left corner.
QPixmap withLinkArrow(QPixmap pixmap)
{
    if (pixmap.isNull())
        return pixmap;
    pixmap = pixmap.scaled(kSize, kSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(0.5, 8.5, 7, 7));
    QPainterPath arrow;
    arrow.moveTo(2.5, 14);
    arrow.cubicTo(2.5, 11.5, 3.5, 11, 5.5, 11);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x10, 0x40, 0xa0), 1.3));
    p.drawPath(arrow);
    p.drawLine(QPointF(4, 9.7), QPointF(6, 11));
    p.drawLine(QPointF(4, 12.3), QPointF(6, 11));
    return pixmap;
}

// The icon drawn from the theme or the style, with its open form.
QIcon drawShellIcon(ShellIcon kind, bool link)
{
    QIcon theme = themeIcon(kind);
    QPixmap normal = pixmapOf(theme);
    QPixmap open;
    if (kind == ShellIcon::Folder) {
        const QIcon openTheme = QIcon::fromTheme(QStringLiteral("folder-open"));
        open = pixmapOf(openTheme);
        if (open.isNull() && qobject_cast<QApplication*>(QCoreApplication::instance()))
            open = pixmapOf(QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon));
        if (normal.isNull())
            normal = drawnFolder(false);
        if (open.isNull())
            open = drawnFolder(true);
    } else if (normal.isNull() && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        normal = pixmapOf(QApplication::style()->standardIcon(standardPixmap(kind)));
    }
    if (normal.isNull())
        normal = drawnFolder(false);
    if (link) {
        normal = withLinkArrow(normal);
        open = withLinkArrow(open);
    }
    QIcon icon(normal);
    if (!open.isNull())
        icon.addPixmap(open, QIcon::Selected);
    return icon;
}

// Reading the theme and the style's pictures costs a batch run more than
// its export: the icon is made when something first draws it.
class DeferredShellIconEngine : public QIconEngine {
public:
    DeferredShellIconEngine(ShellIcon kind, bool link) : m_kind(kind), m_link(link) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QIconEngine* clone() const override { return new DeferredShellIconEngine(*this); }
    QString key() const override { return QStringLiteral("DeferredShellIconEngine"); }
    bool isNull() override { return false; }

private:
    const QIcon& icon()
    {
        if (m_icon.isNull())
            m_icon = drawShellIcon(m_kind, m_link);
        return m_icon;
    }

    ShellIcon m_kind;
    bool m_link;
    QIcon m_icon;
};

}  // namespace

QIcon smallShellIcon(ShellIcon kind, bool link) { return QIcon(new DeferredShellIconEngine(kind, link)); }

}  // namespace platform
