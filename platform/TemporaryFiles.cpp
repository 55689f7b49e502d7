#include "platform/TemporaryFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <atomic>
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
    // Signals that came while files were put in place, all of which got
    // there: the run succeeded, and they end it as a success.
    int answered = 0;
};

// Never destroyed: a signal may come while the program ends.
Registry& registry()
{
    static Registry* const r = new Registry;
    return *r;
}

// Written by the handler, read by the thread that removes the files.
int signalPipe[2] = {-1, -1};

// Set by the handler at once, so that files being put in place meet the
// signal at their next step: those caught and not yet answered, and the last.
std::atomic<int> caughtSignals {0};
std::atomic<int> lastSignal {0};
static_assert(std::atomic<int>::is_always_lock_free, "a handler may only touch lock-free atomics");

// A handler may do next to nothing safely: it passes the signal on.
void onEndingSignal(int sig)
{
    const int saved = errno;
    lastSignal.store(sig);
    caughtSignals.fetch_add(1);
    const auto number = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &number, 1);
    errno = saved;
}

// Removes every temporary file and ends the process as Sig would have
// ended it. The registry's lock is held and kept to the end: no file is
// made or put in place after this.
[[noreturn]] void removeAllAndEnd(int sig)
{
    Registry& r = registry();
    for (const QByteArray& name : std::as_const(r.names))
        ::unlink(name.constData());
    r.names.clear();
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    std::_Exit(128 + sig);
}

void removeAndEnd()
{
    Registry& r = registry();
    for (;;) {
        unsigned char sig = 0;
        const ssize_t n = ::read(signalPipe[0], &sig, 1);
        if (n != 1) {
            if (n == 0 || errno != EINTR)
                return;
            continue;
        }
        r.lock.lock();
        if (r.answered == 0)
            removeAllAndEnd(sig);
        --r.answered;
        r.lock.unlock();
    }
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

TemporaryFilesHold::~TemporaryFilesHold()
{
    Registry& r = registry();
    if (m_placed) {
        if (const int signals = caughtSignals.exchange(0)) {
            // The files are in place: the run is done, and the program ends
            // as one closed would, not as a run cut short.
            r.answered += signals;
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
    }
    r.lock.unlock();
}

bool TemporaryFilesHold::interrupted() const { return caughtSignals.load() != 0; }

void TemporaryFilesHold::end() { removeAllAndEnd(lastSignal.load()); }

void removeTemporaryFilesOnSignals()
{
    registry();
    if (signalPipe[0] >= 0 || pipe2(signalPipe, O_CLOEXEC) != 0)
        return;
    // A file that may grow no more fails its write, as on a full disk,
    // instead of ending the run with its temporary files left.
    std::signal(SIGXFSZ, SIG_IGN);
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
