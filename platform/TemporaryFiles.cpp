#include "platform/TemporaryFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace platform {

namespace {

struct Registry {
    // Recursive: a set put in place under a hold renames and removes its
    // own files.
    std::recursive_mutex lock;
    QSet<QByteArray> names;
};

// Never destroyed: a signal may come while the program ends.
Registry& registry()
{
    static Registry* const r = new Registry;
    return *r;
}

// Written by the handler, read by the thread that removes the files.
int signalPipe[2] = {-1, -1};

// A handler may do next to nothing safely: it passes the signal on.
void onEndingSignal(int sig)
{
    const int saved = errno;
    const auto number = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &number, 1);
    errno = saved;
}

void removeAndEnd()
{
    unsigned char sig = 0;
    for (;;) {
        const ssize_t n = ::read(signalPipe[0], &sig, 1);
        if (n == 1)
            break;
        if (n == 0 || errno != EINTR)
            return;
    }
    Registry& r = registry();
    // Kept to the end: no file is made or put in place after this.
    r.lock.lock();
    for (const QByteArray& name : std::as_const(r.names))
        ::unlink(name.constData());
    r.names.clear();
    // Ended as the signal itself would have ended it.
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    std::_Exit(128 + sig);
}

// Makes a new name in `folder` with Make (a call that fails with EEXIST
// when the name is taken) and lists it at once, so that no file made
// escapes the removal: Make's result, with errno.
template <typename MakeName> int makeTemporaryName(const QString& folder, QString& temp, MakeName make)
{
    const QByteArray base = QFile::encodeName(folder) + "/.pictorium-";
    Registry& r = registry();
    const std::lock_guard hold(r.lock);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = base + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int result = make(name.constData());
        if (result >= 0 || errno != EEXIST) {
            const int code = errno;
            if (result >= 0)
                r.names.insert(name);
            temp = QFile::decodeName(name);
            errno = code;
            return result;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

int createTemporaryFile(const QString& folder, unsigned mode, QString& temp)
{
    // A new file gets its mode from the umask, as any program's files do.
    return makeTemporaryName(folder, temp, [mode](const char* name) {
        return ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
    });
}

int keepOldFile(const QString& target, QString& second, bool& moved)
{
    const QByteArray from = QFile::encodeName(target);
    moved = false;
    const int made = makeTemporaryName(QFileInfo(target).absolutePath(), second, [&](const char* name) {
        if (::link(from.constData(), name) == 0)
            return 0;
        // A file system without hard links (FAT, some network ones): the
        // old file is renamed aside, and its name is empty for a moment.
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EXDEV && errno != EMLINK && errno != ENOSYS)
            return -1;
        if (::access(name, F_OK) == 0) {
            errno = EEXIST;
            return -1;
        }
        moved = ::rename(from.constData(), name) == 0;
        return moved ? 0 : -1;
    });
    if (made >= 0)
        return 0;
    const int code = errno;
    second.clear();
    return code;
}

int installTemporaryFile(const QString& temp, const QString& target)
{
    Registry& r = registry();
    const std::lock_guard hold(r.lock);
    const QByteArray name = QFile::encodeName(temp);
    if (::rename(name.constData(), QFile::encodeName(target).constData()) != 0)
        return errno;
    r.names.remove(name);
    return 0;
}

void removeTemporaryFile(const QString& temp)
{
    Registry& r = registry();
    const std::lock_guard hold(r.lock);
    const QByteArray name = QFile::encodeName(temp);
    ::unlink(name.constData());
    r.names.remove(name);
}

TemporaryFilesHold::TemporaryFilesHold() { registry().lock.lock(); }

TemporaryFilesHold::~TemporaryFilesHold() { registry().lock.unlock(); }

void removeTemporaryFilesOnSignals()
{
    registry();
    if (signalPipe[0] >= 0 || pipe2(signalPipe, O_CLOEXEC) != 0)
        return;
    // A handler never waits, however many signals come.
    fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    std::thread(removeAndEnd).detach();
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        // A signal the program was started to ignore stays ignored.
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(sig, &action, nullptr);
    }
}

}  // namespace platform
