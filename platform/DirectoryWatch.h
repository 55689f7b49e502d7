#pragma once
// Waits for sub-folders of one folder to be created, removed or renamed
// (inotify, directories only, not below the folder). One descriptor per
// watch, so that each watcher thread waits on its own.

#include <string>

namespace platform {

class DirectoryWatch {
public:
    enum class Event {
        Timeout,  // nothing happened within the wait
        Changed,  // a sub-folder appeared, went away or got another name
        Gone,     // the folder itself was removed, renamed or unmounted: the watch ended
    };

    // Watches `path` (file-system bytes); isOpen() tells whether it could.
    explicit DirectoryWatch(const std::string& path);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Waits at most timeoutMs. Events on files are read and dropped.
    Event wait(int timeoutMs);

private:
    int m_fd = -1;
};

}  // namespace platform
