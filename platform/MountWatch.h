#pragma once
// Calls back when the mount table changes: /proc/self/mountinfo signals
// POLLPRI on every mount and unmount; a plain file standing in for it (a
// test's) is watched with inotify instead.

#include <QObject>
#include <QString>

#include <functional>

namespace platform {

class MountWatch : public QObject {
public:
    MountWatch(const QString& mountInfoPath, std::function<void()> changed, QObject* parent = nullptr);
    ~MountWatch() override;

private:
    std::function<void()> m_changed;
    int m_fd = -1;
    QObject* m_notifier = nullptr;
};

}  // namespace platform
