#include "platform/DirectoryWatch.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace platform {

DirectoryWatches::DirectoryWatches(QObject* parent) : QObject(parent) {}

DirectoryWatches::~DirectoryWatches()
{
    delete m_notifier;  // before its descriptor goes
    if (m_fd >= 0)
        close(m_fd);  // ends every watch
}

int DirectoryWatches::add(const std::string& path, Callback callback, Shown shown)
{
    if (m_fd < 0) {
        // Without an instance left, a later watch tries again.
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0)
            return 0;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { drain(); });
    }
    constexpr uint32_t mask
        = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    // The same folder (or a link to it) twice gives the same descriptor.
    const int wd = inotify_add_watch(m_fd, path.c_str(), mask);
    if (wd < 0)
        return 0;
    const int id = m_nextId++;
    m_watches.emplace(id, Watch {wd, std::move(callback), std::move(shown), path});
    m_subscribers[wd].push_back(id);
    return id;
}

void DirectoryWatches::remove(int id)
{
    const auto it = m_watches.find(id);
    if (it == m_watches.end())
        return;
    const int wd = it->second.wd;
    m_watches.erase(it);
    const auto subscribers = m_subscribers.find(wd);
    if (subscribers == m_subscribers.end())
        return;
    std::erase(subscribers->second, id);
    if (subscribers->second.empty()) {
        m_subscribers.erase(subscribers);
        inotify_rm_watch(m_fd, wd);
    }
}

void DirectoryWatches::drain()
{
    if (m_fd < 0)
        return;
    // Gathered first and handed out after, one call per watch: callbacks
    // may change the tables.
    std::vector<int> due;
    std::unordered_map<int, Event> events;
    const auto note = [&](int id, Event event) {
        const auto [at, added] = events.emplace(id, event);
        if (added)
            due.push_back(id);
        else if (event == Event::Gone)
            at->second = Event::Gone;
    };
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;  // EAGAIN: nothing more queued
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            inotify_event e;
            std::memcpy(&e, buffer + at, sizeof e);
            at += ssize_t(sizeof e) + e.len;
            if (e.mask & IN_Q_OVERFLOW) {
                // Events were lost: every folder is read again to be sure.
                for (const auto& [id, watch] : m_watches) {
                    if (watch.wd >= 0)
                        note(id, Event::Changed);
                }
                continue;
            }
            const auto subscribers = m_subscribers.find(e.wd);
            if (subscribers == m_subscribers.end())
                continue;  // a watch removed since
            if (e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                for (const int id : subscribers->second) {
                    m_watches[id].wd = -1;
                    note(id, Event::Gone);
                }
                m_subscribers.erase(subscribers);
                // A moved folder would still be followed under its new name.
                if (!(e.mask & IN_IGNORED))
                    inotify_rm_watch(m_fd, e.wd);
            } else if (e.mask & IN_ISDIR) {
                for (const int id : subscribers->second)
                    note(id, Event::Changed);
            } else if (e.len > 0) {
                // Inotify flags no link as a folder: one that comes is
                // looked at, and one that goes (or is written over) counts
                // when its owner shows it.
                const char* const text = buffer + at - e.len;
                const std::string name(text, strnlen(text, e.len));
                const bool came = e.mask & (IN_CREATE | IN_MOVED_TO);
                bool folder = false;
                if (came && !subscribers->second.empty()) {
                    struct stat st {};
                    const std::string& path = m_watches[subscribers->second.front()].path;
                    folder = stat((path + '/' + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
                }
                for (const int id : subscribers->second) {
                    const Watch& watch = m_watches[id];
                    if (folder || (watch.shown && watch.shown(name)))
                        note(id, Event::Changed);
                }
            }
        }
    }
    for (const int id : due) {
        const auto it = m_watches.find(id);
        if (it == m_watches.end())
            continue;  // removed by an earlier callback
        const Callback callback = it->second.callback;
        callback(events[id]);
    }
}

}  // namespace platform
