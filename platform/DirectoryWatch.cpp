#include "platform/DirectoryWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

DirectoryWatch::DirectoryWatch(const std::string& path)
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    constexpr uint32_t mask
        = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (inotify_add_watch(m_fd, path.c_str(), mask) < 0) {
        close(m_fd);
        m_fd = -1;
    }
}

DirectoryWatch::~DirectoryWatch()
{
    if (m_fd >= 0)
        close(m_fd);
}

DirectoryWatch::Event DirectoryWatch::wait(int timeoutMs)
{
    if (m_fd < 0)
        return Event::Gone;
    pollfd p {m_fd, POLLIN, 0};
    const int ready = poll(&p, 1, timeoutMs);
    if (ready <= 0)
        return Event::Timeout;  // EINTR counts as an empty slice

    Event result = Event::Timeout;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            inotify_event e;
            std::memcpy(&e, buffer + at, sizeof e);
            at += ssize_t(sizeof e) + e.len;
            if (e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT | IN_Q_OVERFLOW)) {
                if (e.mask & IN_Q_OVERFLOW) {
                    result = Event::Changed;  // lost events: re-read to be sure
                    continue;
                }
                result = Event::Gone;
            } else if ((e.mask & IN_ISDIR) && result != Event::Gone) {
                result = Event::Changed;
            }
        }
    }
    if (result == Event::Gone) {
        close(m_fd);
        m_fd = -1;
    }
    return result;
}

}  // namespace platform
