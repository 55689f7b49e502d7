#pragma once
// The inotify instances this process holds and the watches set in them, as
// /proc/self shows them.

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <unistd.h>

#include <cstring>
#include <vector>

namespace inotify_use {

inline std::vector<QString> instanceFds()
{
    std::vector<QString> fds;
    const QStringList entries = QDir(QStringLiteral("/proc/self/fd"))
                                    .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& fd : entries) {
        char target[64] = {};
        const QByteArray link = QFile::encodeName("/proc/self/fd/" + fd);
        if (readlink(link.constData(), target, sizeof target - 1) > 0
            && std::strcmp(target, "anon_inode:inotify") == 0)
            fds.push_back(fd);
    }
    return fds;
}

inline int instances() { return int(instanceFds().size()); }

inline int watches()
{
    int count = 0;
    for (const QString& fd : instanceFds()) {
        QFile info("/proc/self/fdinfo/" + fd);
        if (info.open(QIODevice::ReadOnly))
            count += int(info.readAll().count("inotify wd:"));
    }
    return count;
}

}  // namespace inotify_use
