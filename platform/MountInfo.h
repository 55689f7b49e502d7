#pragma once
// The mounted file systems as the kernel lists them in /proc/self/mountinfo,
// and which of them a user would call a volume.
//
// Rule of the folder tree's "Computer" and "Network" nodes:
// - "/" always comes first, whatever its file system.
// - Then, in the order the file lists them, the mounts that hold a user's
//   files: real block devices (source under /dev/), network file systems,
//   and any other non-pseudo file system mounted under /media, /run/media
//   or /mnt.
// - Never shown: pseudo file systems (proc, sysfs, cgroup, tmpfs, overlay,
//   autofs, ...), snaps and loop devices outside the media folders, system
//   places (/boot, /efi, /proc, /sys, /dev, /run but /run/media, /snap,
//   /var/lib, /var/snap), bind mounts (a root other than "/" or a device
//   already listed) and mounts hidden below a later mount on the same
//   point.
// - Network servers and their shares come from the network mounts (nfs,
//   cifs/smb3, sshfs, davfs) and from the desktop's user-space mounts under
//   /run/user/UID/gvfs, whose folder names carry server and share.

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

struct MountEntry {
    int id = 0;
    int parentId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    QString root;        // the folder of the file system that is mounted ("/" unless bound)
    QString mountPoint;  // octal escapes (\040) decoded
    QString fsType;
    QString source;
};

// One line of mountinfo; nullopt for a line that lacks a field or the "-"
// separator.
std::optional<MountEntry> parseMountInfoLine(QByteArrayView line);
// Every well-formed line, in file order.
std::vector<MountEntry> parseMountInfo(QByteArrayView text);

struct NetworkShare {
    QString server;
    QString share;  // the exported folder without its leading "/"
};

bool isNetworkFileSystem(const QString& fsType);
// The kernel's own file systems (proc, sysfs, cgroup, devpts, debugfs, ...)
// and autofs, which mounts what is looked into: no user's files, and
// folders without end.
bool isKernelFileSystem(const QString& fsType);
// Server and share of a network mount; nullopt for other mounts.
std::optional<NetworkShare> networkShareOf(const MountEntry& mount);
// Server and share of a folder name under the gvfs mount
// ("smb-share:server=nas,share=icons"); nullopt for other names.
std::optional<NetworkShare> gvfsShareOf(const QString& folderName);

struct Volume {
    MountEntry mount;
    bool network = false;
};

// The volumes of "Computer", by the rule at the top of this file.
std::vector<Volume> userVolumes(const std::vector<MountEntry>& mounts);

// The mount entries read from a mountinfo file; empty when it cannot be read.
std::vector<MountEntry> readMountInfo(const QString& path);

// A volume's label from the udev links (/dev/disk/by-label); empty when it
// has none.
QString volumeLabel(const MountEntry& mount);

// The serial the tree keeps for a volume: 1 for a fixed one; for a
// removable medium a number that changes with the medium (its file-system
// UUID, else the statfs file-system id); -1 when the medium cannot be read.
int32_t volumeSerial(const MountEntry& mount);
// The 32-bit serial of a file-system UUID: its first eight hex digits
// ("ABCD-1234" gives 0xABCD1234, as FAT media show it); 0 when it has none.
int32_t serialFromUuid(const QString& uuid);

}  // namespace platform
