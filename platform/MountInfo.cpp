#include "platform/MountInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/statfs.h>

#include <array>
#include <cstring>

namespace platform {

namespace {

// Undoes the kernel's octal escapes of blanks, tabs, newlines and "\".
QString unescapeField(QByteArrayView field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], d = field[i + 3];
            const auto octal = [](char x) { return x >= '0' && x <= '7'; };
            if (octal(a) && octal(b) && octal(d) && a <= '3') {
                out += char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0'));
                i += 3;
                continue;
            }
        }
        out += c;
    }
    return QString::fromUtf8(out);
}

std::vector<QByteArrayView> splitFields(QByteArrayView line)
{
    std::vector<QByteArrayView> fields;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const bool blank
            = i == line.size() || line[i] == ' ' || line[i] == '\t' || line[i] == '\n' || line[i] == '\r';
        if (blank) {
            if (start >= 0)
                fields.push_back(line.sliced(start, i - start));
            start = -1;
        } else if (start < 0) {
            start = i;
        }
    }
    return fields;
}

bool toInt(QByteArrayView text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

bool isUnder(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + u'/');
}

bool inMediaFolder(const QString& path)
{
    return isUnder(path, QStringLiteral("/media")) || isUnder(path, QStringLiteral("/run/media"))
        || isUnder(path, QStringLiteral("/mnt"));
}

bool inSystemPlace(const QString& path)
{
    static const std::array<QString, 10> places = {
        QStringLiteral("/boot"),    QStringLiteral("/efi"),     QStringLiteral("/proc"),
        QStringLiteral("/sys"),     QStringLiteral("/dev"),     QStringLiteral("/run"),
        QStringLiteral("/snap"),    QStringLiteral("/var/lib"), QStringLiteral("/var/snap"),
        QStringLiteral("/var/run"),
    };
    if (isUnder(path, QStringLiteral("/run/media")))
        return false;
    for (const QString& place : places) {
        if (isUnder(path, place))
            return true;
    }
    return false;
}

bool isPseudoFileSystem(const QString& fsType)
{
    // Beside the kernel's own, those in memory or stacked on other files.
    static const QSet<QString> pseudo = {
        "tmpfs", "ramfs", "overlay", "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse", "aufs",
    };
    return isKernelFileSystem(fsType) || pseudo.contains(fsType);
}

// The host of "host", "user@host" or "[v6::addr]".
QString hostPart(QString host)
{
    const qsizetype at = host.lastIndexOf(u'@');
    if (at >= 0)
        host = host.mid(at + 1);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    return host;
}

QString withoutLeadingSlashes(QString path)
{
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    while (path.endsWith(u'/'))
        path.chop(1);
    return path;
}

}  // namespace

bool isKernelFileSystem(const QString& fsType)
{
    static const QSet<QString> kernel = {
        "proc",        "sysfs",      "devtmpfs", "devpts",     "cgroup",  "cgroup2",   "bpf",       "tracefs",
        "debugfs",     "securityfs", "pstore",   "configfs",   "fusectl", "mqueue",    "hugetlbfs", "autofs",
        "binfmt_misc", "nsfs",       "efivarfs", "rpc_pipefs", "nfsd",    "selinuxfs",
    };
    return kernel.contains(fsType);
}

std::optional<MountEntry> parseMountInfoLine(QByteArrayView line)
{
    const std::vector<QByteArrayView> f = splitFields(line);
    // id parent major:minor root mount-point options [optional...] - type source super-options
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-")
        ++dash;
    if (dash + 1 >= f.size())
        return std::nullopt;
    MountEntry m;
    if (!toInt(f[0], m.id) || !toInt(f[1], m.parentId))
        return std::nullopt;
    const qsizetype colon = f[2].indexOf(':');
    if (colon <= 0)
        return std::nullopt;
    int major = 0, minor = 0;
    if (!toInt(f[2].first(colon), major) || !toInt(f[2].sliced(colon + 1), minor) || major < 0 || minor < 0)
        return std::nullopt;
    m.major = unsigned(major);
    m.minor = unsigned(minor);
    m.root = unescapeField(f[3]);
    m.mountPoint = unescapeField(f[4]);
    m.fsType = unescapeField(f[dash + 1]);
    if (dash + 2 < f.size())
        m.source = unescapeField(f[dash + 2]);
    if (!m.mountPoint.startsWith(u'/') || m.fsType.isEmpty())
        return std::nullopt;
    return m;
}

std::vector<MountEntry> parseMountInfo(QByteArrayView text)
{
    std::vector<MountEntry> mounts;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        if (auto m = parseMountInfoLine(text.sliced(start, end - start)))
            mounts.push_back(std::move(*m));
        start = end + 1;
    }
    return mounts;
}

bool isNetworkFileSystem(const QString& fsType)
{
    static const QSet<QString> network = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "davfs", "fuse.davfs2",
    };
    return network.contains(fsType);
}

std::optional<NetworkShare> networkShareOf(const MountEntry& mount)
{
    if (!isNetworkFileSystem(mount.fsType))
        return std::nullopt;
    const QString& s = mount.source;
    NetworkShare share;
    if (s.startsWith(QStringLiteral("//"))) {
        // cifs: //server/share/sub
        const qsizetype slash = s.indexOf(u'/', 2);
        share.server = s.mid(2, slash < 0 ? -1 : slash - 2);
        share.share = slash < 0 ? QString() : withoutLeadingSlashes(s.mid(slash));
    } else if (const qsizetype scheme = s.indexOf(QStringLiteral("://")); scheme > 0) {
        // davfs: https://server[:port]/path
        const qsizetype hostStart = scheme + 3;
        const qsizetype slash = s.indexOf(u'/', hostStart);
        QString host = s.mid(hostStart, slash < 0 ? -1 : slash - hostStart);
        if (!host.startsWith(u'[') && host.contains(u':'))
            host = host.left(host.indexOf(u':'));
        share.server = hostPart(host);
        share.share = slash < 0 ? QString() : withoutLeadingSlashes(s.mid(slash));
    } else {
        // nfs and sshfs: [user@]server:/path; an IPv6 server is bracketed.
        qsizetype colon = s.startsWith(u'[') ? s.indexOf(u':', s.indexOf(u']')) : s.indexOf(u':');
        if (colon < 0)
            return std::nullopt;
        share.server = hostPart(s.left(colon));
        share.share = withoutLeadingSlashes(s.mid(colon + 1));
    }
    if (share.server.isEmpty())
        return std::nullopt;
    return share;
}

std::optional<NetworkShare> gvfsShareOf(const QString& folderName)
{
    const qsizetype colon = folderName.indexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    NetworkShare share;
    for (const QString& pair : folderName.mid(colon + 1).split(u',')) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = pair.left(eq), value = pair.mid(eq + 1);
        if (key == QLatin1String("host") || key == QLatin1String("server"))
            share.server = value;
        else if (key == QLatin1String("share") || key == QLatin1String("prefix"))
            share.share = withoutLeadingSlashes(value);
    }
    if (share.server.isEmpty())
        return std::nullopt;
    return share;
}

std::vector<Volume> userVolumes(const std::vector<MountEntry>& mounts)
{
    // A later mount on the same point hides the earlier one.
    std::vector<const MountEntry*> visible;
    for (const MountEntry& m : mounts) {
        std::erase_if(visible, [&](const MountEntry* v) { return v->mountPoint == m.mountPoint; });
        visible.push_back(&m);
    }

    std::vector<Volume> volumes;
    QSet<quint64> devices;
    const auto device = [](const MountEntry& m) { return (quint64(m.major) << 32) | m.minor; };
    for (const MountEntry* m : visible) {
        if (m->mountPoint == QLatin1String("/")) {
            volumes.insert(volumes.begin(), Volume {*m, false});
            devices.insert(device(*m));
        }
    }
    for (const MountEntry* m : visible) {
        if (m->mountPoint == QLatin1String("/") || m->root != QLatin1String("/")
            || inSystemPlace(m->mountPoint))
            continue;
        const bool network = isNetworkFileSystem(m->fsType);
        const bool loop = m->source.startsWith(QStringLiteral("/dev/loop"));
        const bool block = m->source.startsWith(QStringLiteral("/dev/")) && !loop
            && m->fsType != QLatin1String("squashfs");
        const bool media = inMediaFolder(m->mountPoint) && !isPseudoFileSystem(m->fsType);
        if (!network && !block && !media)
            continue;
        if (devices.contains(device(*m)))
            continue;  // the same file system bound a second time
        devices.insert(device(*m));
        volumes.push_back(Volume {*m, network});
    }
    return volumes;
}

std::vector<MountEntry> readMountInfo(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A proc file reports no size: read to its end.
    return parseMountInfo(file.readAll());
}

namespace {

// The link in `folder` (a /dev/disk/by-* folder) that names the device.
QString udevLinkName(const QString& folder, const QString& source)
{
    if (!source.startsWith(QStringLiteral("/dev/")))
        return {};
    const QString device = QFileInfo(source).canonicalFilePath();
    if (device.isEmpty())
        return {};
    const QFileInfoList links = QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links) {
        if (link.canonicalFilePath() == device)
            return link.fileName();
    }
    return {};
}

// udev escapes blanks and other bytes in its link names as \xHH.
QString unescapeUdev(const QString& name)
{
    QByteArray bytes = name.toUtf8(), out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\\' && i + 3 < bytes.size() && bytes[i + 1] == 'x') {
            bool ok = false;
            const int value = bytes.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += bytes[i];
    }
    return QString::fromUtf8(out);
}

bool isRemovable(const MountEntry& mount)
{
    if (mount.major == 0)
        return false;  // no block device: network and memory file systems
    const QString dev = QFileInfo(QStringLiteral("/sys/dev/block/%1:%2").arg(mount.major).arg(mount.minor))
                            .canonicalFilePath();
    if (dev.isEmpty())
        return false;
    // A partition keeps the flag in its disk's folder.
    for (const QString& folder : {dev, QFileInfo(dev).path()}) {
        QFile flag(folder + QStringLiteral("/removable"));
        if (flag.open(QIODevice::ReadOnly))
            return flag.read(1) == "1";
    }
    return false;
}

}  // namespace

QString volumeLabel(const MountEntry& mount)
{
    return unescapeUdev(udevLinkName(QStringLiteral("/dev/disk/by-label"), mount.source));
}

int32_t serialFromUuid(const QString& uuid)
{
    uint32_t value = 0;
    int digits = 0;
    for (QChar c : uuid) {
        if (digits == 8)
            break;
        const int v = c.isDigit()                          ? c.digitValue()
            : (c.toLower() >= u'a' && c.toLower() <= u'f') ? c.toLower().unicode() - 'a' + 10
                                                           : -1;
        if (v < 0)
            continue;
        value = (value << 4) | uint32_t(v);
        ++digits;
    }
    return int32_t(value);
}

int32_t volumeSerial(const MountEntry& mount)
{
    if (!isRemovable(mount))
        return 1;
    struct statfs st {};
    if (statfs(QFile::encodeName(mount.mountPoint).constData(), &st) != 0)
        return -1;
    const QString uuid = udevLinkName(QStringLiteral("/dev/disk/by-uuid"), mount.source);
    if (const int32_t serial = serialFromUuid(uuid); serial != 0)
        return serial;
    int fsid[2];
    static_assert(sizeof(fsid) == sizeof(st.f_fsid));
    std::memcpy(fsid, &st.f_fsid, sizeof(fsid));
    return int32_t(uint32_t(fsid[0]) ^ uint32_t(fsid[1]));
}

}  // namespace platform
