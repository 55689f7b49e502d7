#include "platform/MountWatch.h"

#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

MountWatch::MountWatch(const QString& mountInfoPath, std::function<void()> changed, QObject* parent)
    : QObject(parent), m_changed(std::move(changed))
{
    if (mountInfoPath.startsWith(QStringLiteral("/proc/"))) {
        m_fd = open(QFile::encodeName(mountInfoPath).constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            return;
        auto* notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
        m_notifier = notifier;
        connect(notifier, &QSocketNotifier::activated, this, [this] { m_changed(); });
        return;
    }
    auto* watcher = new QFileSystemWatcher(this);
    watcher->addPath(mountInfoPath);
    connect(watcher, &QFileSystemWatcher::fileChanged, this, [this, watcher](const QString& path) {
        // A file replaced by a rename drops out of the watch.
        if (!watcher->files().contains(path))
            watcher->addPath(path);
        m_changed();
    });
}

MountWatch::~MountWatch()
{
    delete m_notifier;  // before its descriptor goes
    if (m_fd >= 0)
        close(m_fd);
}

}  // namespace platform
