#pragma once
// Write faults below the program's file writers. A file-size limit makes
// the kernel refuse every write past it (EFBIG) and works everywhere; a
// small tmpfs runs out of room (ENOSPC) where the test may mount one; a
// rename fault makes one rename of this process fail, a link fault every
// hard link; a rename watch looks on before each rename.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

#include <cerrno>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace fixture {

// While it lives, no file of this process grows past Bytes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t Bytes)
    {
        // The limit's signal would end the process; the write fails instead.
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit {Bytes, m_old.rlim_max};
        m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_set; }

    // For a child process: the same limit, set between fork and exec.
    static void applyInChild(rlim_t Bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = Bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_set = false;
};

// A tmpfs of a few KiB, unmounted on destruction; mounted() is false where
// the process may not mount one.
class SmallVolume {
public:
    explicit SmallVolume(int KiB = 64)
    {
        if (!m_dir.isValid())
            return;
        const QByteArray options = "size=" + QByteArray::number(KiB) + "k";
        m_mounted
            = mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData())
            == 0;
    }
    ~SmallVolume()
    {
        if (m_mounted)
            umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& Name) const { return m_dir.filePath(Name); }

    // Takes every byte left, so that the next write finds the disk full.
    void fill() const
    {
        QFile filler(m_dir.filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
        const QByteArray block(512, 'f');
        while (filler.write(block) == block.size()) {}
        while (filler.write("f", 1) == 1) {}
    }
    // Leaves Pages pages of 4 KiB free after filling the rest.
    void fillLeaving(int Pages) const
    {
        fill();
        QFile filler(m_dir.filePath(QStringLiteral(".filler")));
        filler.resize(std::max<qint64>(0, filler.size() - qint64 {Pages} * 4096));
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// While it lives, the Nth rename of this process from now on (1 the next
// one) fails with Code and changes nothing.
class RenameFault {
public:
    explicit RenameFault(int Nth, int Code = EIO);
    ~RenameFault();
    RenameFault(const RenameFault&) = delete;
    RenameFault& operator=(const RenameFault&) = delete;
    // True once the fault was met.
    bool met() const;
};

// While it lives, Before runs ahead of every rename of this process.
class RenameWatch {
public:
    explicit RenameWatch(std::function<void()> Before);
    ~RenameWatch();
    RenameWatch(const RenameWatch&) = delete;
    RenameWatch& operator=(const RenameWatch&) = delete;
};

// While it lives, every hard link this process makes fails with Code, as on
// a file system that has none.
class LinkFault {
public:
    explicit LinkFault(int Code = EPERM);
    ~LinkFault();
    LinkFault(const LinkFault&) = delete;
    LinkFault& operator=(const LinkFault&) = delete;
};

}  // namespace fixture
