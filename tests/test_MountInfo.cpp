#include "platform/MountInfo.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace platform;

namespace {

struct Line {
    const char* text = nullptr;
    const char* mountPoint = nullptr;  // nullptr: the line does not parse
    const char* fsType = nullptr;
    const char* source = nullptr;
    bool volume = false;
    const char* server = nullptr;  // nullptr: no network share
    const char* share = nullptr;
};

// Lines as kernels print them, one of each kind a desktop meets.
const Line kLines[] = {
    {"22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro", "/", "ext4", "/dev/sda1",
     true},
    {"25 22 0:23 / /proc rw,nosuid,nodev,noexec,relatime shared:13 - proc proc rw", "/proc", "proc", "proc",
     false},
    {"26 22 0:24 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw", "/sys", "sysfs", "sysfs",
     false},
    {"27 26 0:25 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate", "/sys/fs/cgroup",
     "cgroup2", "cgroup2", false},
    {"28 22 0:5 / /dev rw,nosuid,relatime shared:8 - devtmpfs udev rw,size=8000000k", "/dev", "devtmpfs",
     "udev", false},
    {"30 22 0:26 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=1600000k", "/run",
     "tmpfs", "tmpfs", false},
    {"31 22 8:2 / /boot/efi rw,relatime shared:20 - vfat /dev/sda2 rw,fmask=0077", "/boot/efi", "vfat",
     "/dev/sda2", false},
    {"40 22 7:3 / /snap/core20/2015 ro,nodev,relatime shared:24 - squashfs /dev/loop3 ro",
     "/snap/core20/2015", "squashfs", "/dev/loop3", false},
    {"41 22 8:17 / /media/alice/USB\\040STICK rw,nosuid,nodev,relatime shared:300 - vfat /dev/sdb1 "
     "rw,uid=1000",
     "/media/alice/USB STICK", "vfat", "/dev/sdb1", true},
    {"42 22 8:33 / /run/media/alice/Backup rw,nosuid,nodev shared:301 - ext4 /dev/sdc1 rw",
     "/run/media/alice/Backup", "ext4", "/dev/sdc1", true},
    {"43 22 7:8 / /media/alice/Ubuntu\\04022.04\\011x ro,nosuid shared:302 - iso9660 /dev/loop8 ro",
     "/media/alice/Ubuntu 22.04\tx", "iso9660", "/dev/loop8", true},
    // A folder of the root file system bound elsewhere.
    {"44 22 8:1 /home/alice/shared /srv/shared rw,relatime shared:1 - ext4 /dev/sda1 rw", "/srv/shared",
     "ext4", "/dev/sda1", false},
    {"45 22 0:50 / /mnt/nas rw,relatime shared:400 - nfs4 nas.local:/export/icons rw,vers=4.2", "/mnt/nas",
     "nfs4", "nas.local:/export/icons", true, "nas.local", "export/icons"},
    {"46 22 0:51 / /mnt/win rw,relatime shared:401 - cifs //fileserver/Public rw,vers=3.1.1", "/mnt/win",
     "cifs", "//fileserver/Public", true, "fileserver", "Public"},
    {"47 22 0:52 / /home/alice/remote rw,nosuid,nodev,relatime shared:402 - fuse.sshfs "
     "alice@build-box:/home/alice "
     "rw,user_id=1000",
     "/home/alice/remote", "fuse.sshfs", "alice@build-box:/home/alice", true, "build-box", "home/alice"},
    {"48 30 0:53 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:500 - fuse.gvfsd-fuse gvfsd-fuse rw",
     "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse", false},
    {"49 22 0:54 / /var/lib/docker/overlay2/abc/merged rw,relatime - overlay overlay rw,lowerdir=/a:/b",
     "/var/lib/docker/overlay2/abc/merged", "overlay", "overlay", false},
    {"50 22 8:49 / /data rw,relatime shared:600 - ext4 /dev/sdd1 rw", "/data", "ext4", "/dev/sdd1", true},
    // The same device a second time, and a memory file system under /mnt.
    {"51 22 8:49 / /data2 rw,relatime shared:600 - ext4 /dev/sdd1 rw", "/data2", "ext4", "/dev/sdd1", false},
    {"52 22 0:60 / /mnt/scratch rw - tmpfs tmpfs rw", "/mnt/scratch", "tmpfs", "tmpfs", false},
    {"53 22 0:61 / /mnt/dav rw - davfs https://dav.example.org:8443/remote.php/files rw", "/mnt/dav", "davfs",
     "https://dav.example.org:8443/remote.php/files", true, "dav.example.org", "remote.php/files"},
    {"54 22 0:62 / /mnt/v6 rw - nfs [fd00::1]:/srv rw", "/mnt/v6", "nfs", "[fd00::1]:/srv", true, "fd00::1",
     "srv"},
    {"garbage", nullptr},
    {"1 2 3:4 / /x rw", nullptr},             // no separator
    {"1 2 3:4 / /x rw shared:1 -", nullptr},  // no file-system type
    {"x 2 3:4 / /x rw - ext4 /dev/a rw", nullptr},
    {"1 2 34 / /x rw - ext4 /dev/a rw", nullptr},
    {"", nullptr},
};

}  // namespace

TEST(MountInfo, ParsesAndFiltersRealLines)
{
    QByteArray text;
    for (const Line& line : kLines) {
        SCOPED_TRACE(line.text);
        const auto entry = parseMountInfoLine(QByteArrayView(line.text));
        ASSERT_EQ(entry.has_value(), line.mountPoint != nullptr);
        text += QByteArray(line.text) + '\n';
        if (!entry)
            continue;
        EXPECT_EQ(entry->mountPoint, QString::fromUtf8(line.mountPoint));
        EXPECT_EQ(entry->fsType, QString::fromUtf8(line.fsType));
        EXPECT_EQ(entry->source, QString::fromUtf8(line.source));
        const auto share = networkShareOf(*entry);
        ASSERT_EQ(share.has_value(), line.server != nullptr);
        if (share) {
            EXPECT_EQ(share->server, QString::fromUtf8(line.server));
            EXPECT_EQ(share->share, QString::fromUtf8(line.share));
        }
    }

    const std::vector<MountEntry> mounts = parseMountInfo(text);
    ASSERT_EQ(mounts.size(), 22u);
    EXPECT_EQ(mounts[2].major, 0u);
    EXPECT_EQ(mounts[2].minor, 24u);
    EXPECT_EQ(mounts[11].root, QStringLiteral("/home/alice/shared"));

    QStringList expected, got;
    for (const Line& line : kLines) {
        if (line.mountPoint && line.volume)
            expected << QString::fromUtf8(line.mountPoint);
    }
    for (const Volume& v : userVolumes(mounts))
        got << v.mount.mountPoint;
    EXPECT_EQ(got, expected);
}

TEST(MountInfo, RootComesFirstAndALaterMountHidesAnEarlierOne)
{
    const auto mounts = parseMountInfo("41 1 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
                                       "22 1 0:30 / / rw - overlay overlay rw\n"
                                       "60 22 8:18 / /media/usb rw - exfat /dev/sdb2 rw\n");
    const auto volumes = userVolumes(mounts);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].mount.mountPoint, QStringLiteral("/"));  // whatever its file system
    EXPECT_EQ(volumes[1].mount.source, QStringLiteral("/dev/sdb2"));
    EXPECT_FALSE(volumes[1].network);
}

TEST(MountInfo, GvfsFolderNamesAndSerials)
{
    const auto smb = gvfsShareOf(QStringLiteral("smb-share:server=nas,share=icons"));
    ASSERT_TRUE(smb);
    EXPECT_EQ(smb->server, QStringLiteral("nas"));
    EXPECT_EQ(smb->share, QStringLiteral("icons"));
    const auto sftp = gvfsShareOf(QStringLiteral("sftp:host=box,user=alice"));
    ASSERT_TRUE(sftp);
    EXPECT_EQ(sftp->server, QStringLiteral("box"));
    EXPECT_TRUE(sftp->share.isEmpty());
    EXPECT_FALSE(gvfsShareOf(QStringLiteral("plain-folder")));
    EXPECT_FALSE(gvfsShareOf(QStringLiteral("smb-share:share=icons")));

    EXPECT_EQ(serialFromUuid(QStringLiteral("ABCD-1234")), int32_t(0xABCD1234u));
    EXPECT_EQ(serialFromUuid(QStringLiteral("0f3e5c2a-77b1-4d3e-9a0b-1c2d3e4f5a6b")), int32_t(0x0f3e5c2a));
    EXPECT_EQ(serialFromUuid(QString()), 0);

    // Memory and network file systems are fixed volumes.
    MountEntry tmp;
    tmp.mountPoint = QStringLiteral("/tmp");
    EXPECT_EQ(volumeSerial(tmp), 1);
}
