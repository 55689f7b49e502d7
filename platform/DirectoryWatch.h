#pragma once
// Waits for sub-folders (and links to folders) to be created, removed or
// renamed in any number of folders (directories only, not below each folder) through one inotify
// instance. Its descriptor is read by the event loop of the thread that
// owns the object, only when it holds events: nothing wakes up while the
// disk is quiet, and a user's few inotify instances are not used up.

#include <QObject>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace platform {

class DirectoryWatches : public QObject {
public:
    enum class Event {
        Changed,  // a sub-folder or a link to one appeared, went away or got another name
        Gone,     // the folder itself was removed, moved or unmounted: the watch ended
    };
    using Callback = std::function<void(Event)>;
    // Whether an entry that is no folder (by its name in the watched folder)
    // is one the owner shows: a link to a folder, whose going, or whose
    // replacement by a link elsewhere, then counts as a change. Asked while
    // events are read; it must not add or remove watches.
    using Shown = std::function<bool(const std::string& name)>;

    explicit DirectoryWatches(QObject* parent = nullptr);
    ~DirectoryWatches() override;
    DirectoryWatches(const DirectoryWatches&) = delete;
    DirectoryWatches& operator=(const DirectoryWatches&) = delete;

    // Watches `path` (file-system bytes); the answer names the watch, 0 when
    // the folder cannot be watched. A callback may add or remove watches.
    int add(const std::string& path, Callback callback, Shown shown = {});
    // Ends the watch at once: its callback is not called again, not even
    // for events already queued.
    void remove(int id);
    // Reads the events queued so far and hands them out now.
    void drain();
    // The inotify descriptor; -1 before the first watch.
    int descriptor() const { return m_fd; }
    // The kernel's watches held: one per folder, however many ask for it.
    size_t watchCount() const { return m_subscribers.size(); }

private:
    struct Watch {
        int wd = -1;  // -1 once the kernel ended it
        Callback callback;
        Shown shown;
        std::string path;
    };
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    int m_nextId = 1;
    std::unordered_map<int, Watch> m_watches;                 // by id
    std::unordered_map<int, std::vector<int>> m_subscribers;  // ids by watch descriptor
};

}  // namespace platform
