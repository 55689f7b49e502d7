#include "platform/ChmArchive.h"

#include <QElapsedTimer>
#include <QFile>

#include <chm_lib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define PICTORIUM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PICTORIUM_ASAN 1
#endif
#endif
#ifdef PICTORIUM_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace platform {

namespace {

// libchm's entries, taken from the library at run time (never linked).
struct ChmFunctions {
    decltype(&::chm_open) open = nullptr;
    decltype(&::chm_close) close = nullptr;
    decltype(&::chm_resolve_object) resolve = nullptr;
    decltype(&::chm_retrieve_object) retrieve = nullptr;
    decltype(&::chm_enumerate) enumerate = nullptr;
};

ChmFunctions g_chm;
bool g_bound = false;

template <typename F> bool take(LibraryHandle library, const char* name, F& entry)
{
    entry = reinterpret_cast<F>(librarySymbol(library, name));
    return entry != nullptr;
}

// The stream from the reading child: per object a kind byte, the path's
// length (16 bits) and bytes, the data's length (32 bits) and bytes, all
// little-endian; a zero kind byte ends it.
enum ObjectKind : uint8_t { End = 0, Listed = 1, Special = 2 };

// ---- the child ------------------------------------------------------------

bool writeAll(int fd, const void* data, size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeLe(int fd, uint64_t value, int bytes)
{
    unsigned char b[8];
    for (int i = 0; i < bytes; ++i)
        b[i] = static_cast<unsigned char>(value >> (8 * i));
    return writeAll(fd, b, static_cast<size_t>(bytes));
}

struct Listing {
    std::vector<chmUnitInfo> units;
    std::unordered_set<std::string> seen;
    int entries = 0;
    bool ok = true;
};

int listEntry(chmFile*, chmUnitInfo* info, void* context)
{
    auto* listing = static_cast<Listing*>(context);
    const size_t length = strnlen(info->path, sizeof info->path);
    std::string key(info->path, length);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    // A directory chain that comes round again repeats its names; one too
    // long to be a help file's is refused too.
    if (++listing->entries > ChmArchive::kMaxObjects || !listing->seen.insert(key).second) {
        listing->ok = false;
        return CHM_ENUMERATOR_FAILURE;
    }
    // Only files; the storage's own objects ("::DataSpace/...") stay inside.
    if (length >= 2 && info->path[0] == '/' && info->path[length - 1] != '/')
        listing->units.push_back(*info);
    return CHM_ENUMERATOR_CONTINUE;
}

int readArchive(const char* path, int out)
{
    chmFile* file = g_chm.open(path);
    if (!file)
        return 2;
    Listing listing;
    g_chm.enumerate(file, CHM_ENUMERATE_ALL, listEntry, &listing);
    if (!listing.ok)
        return 3;
    uint64_t total = 0;
    std::vector<unsigned char> buffer;
    for (chmUnitInfo& unit : listing.units) {
        if (unit.length > static_cast<LONGUINT64>(ChmArchive::kMaxContentSize) - total)
            return 4;
        total += unit.length;
        buffer.resize(static_cast<size_t>(unit.length));
        if (unit.length > 0
            && g_chm.retrieve(file, &unit, buffer.data(), 0, static_cast<LONGINT64>(unit.length))
                != static_cast<LONGINT64>(unit.length))
            return 5;
        const size_t pathLength = strnlen(unit.path, sizeof unit.path);
        const bool special = unit.path[1] == '#' || unit.path[1] == '$';
        if (!writeLe(out, special ? Special : Listed, 1) || !writeLe(out, pathLength, 2)
            || !writeAll(out, unit.path, pathLength) || !writeLe(out, unit.length, 4)
            || !writeAll(out, buffer.data(), buffer.size()))
            return 6;
    }
    if (!writeLe(out, End, 1))
        return 6;
    // Not closed: the process ends now, and a damaged file could fault here.
    return 0;
}

// Resident bytes of a process, or -1.
qint64 residentBytes(pid_t pid)
{
    char name[64];
    std::snprintf(name, sizeof name, "/proc/%d/statm", static_cast<int>(pid));
    FILE* statm = std::fopen(name, "re");
    if (!statm)
        return -1;
    long size = 0;
    long resident = -1;
    if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2)
        resident = -1;
    std::fclose(statm);
    return resident < 0 ? -1 : qint64 {resident} * sysconf(_SC_PAGESIZE);
}

[[noreturn]] void runReader(const char* path, int out, qint64 addressLimit)
{
    // Gone with the window, whatever happens to it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // A fault ends this process, and only it: no handler of the parent's
    // (a sanitizer's, a fuzzer's) runs here, and nothing is dumped.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, SIGPIPE, SIGXCPU, SIGXFSZ})
        std::signal(sig, SIG_DFL);
    // Nor does the parent's removal of its temporary files, which a signal
    // sent to this process alone would set off.
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        if (std::signal(sig, SIG_DFL) == SIG_IGN)
            std::signal(sig, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlimit noFiles {0, 0};
    setrlimit(RLIMIT_FSIZE, &noFiles);
    // A backstop for the parent's own watch.
    const rlimit cpu {5, 6};
    setrlimit(RLIMIT_CPU, &cpu);
    if (addressLimit > 0) {
        const rlimit address {static_cast<rlim_t>(addressLimit), static_cast<rlim_t>(addressLimit)};
        setrlimit(RLIMIT_AS, &address);
    }
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (quiet >= 0)
        dup2(quiet, STDERR_FILENO);
#ifdef PICTORIUM_ASAN
    __sanitizer_set_death_callback(nullptr);
#endif
    _exit(readArchive(path, out));
}

// The address space the reader may use: what it starts with and its share.
// Not with AddressSanitizer, whose shadow memory alone is larger than any
// sensible limit; the parent's watch of resident memory holds there.
qint64 readerAddressLimit()
{
#ifdef PICTORIUM_ASAN
    return 0;
#else
    FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm)
        return 0;
    long size = 0;
    const bool read = std::fscanf(statm, "%ld", &size) == 1;
    std::fclose(statm);
    return read ? qint64 {size} * sysconf(_SC_PAGESIZE) + ChmArchive::kMaxReaderGrowth : 0;
#endif
}

// The objects of the archive at `path` as the reading child sends them;
// nullopt when it failed, faulted or overran a limit.
std::optional<QByteArray> readInChild(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const qint64 addressLimit = readerAddressLimit();
    const qint64 baseline = residentBytes(getpid());
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(fds[0]);
        runReader(native.constData(), fds[1], addressLimit);
    }
    ::close(fds[1]);

    // Every object, its path and its header: the stream's largest size.
    constexpr qint64 kMaxStream = ChmArchive::kMaxContentSize + qint64 {ChmArchive::kMaxObjects} * 520 + 1;
    QByteArray stream;
    bool ok = true;
    bool ended = false;
    QElapsedTimer clock;
    clock.start();
    char chunk[64 * 1024];
    while (ok && !ended) {
        const qint64 left = ChmArchive::kReadTimeoutMs - clock.elapsed();
        if (left <= 0) {
            ok = false;
            break;
        }
        pollfd in {fds[0], POLLIN, 0};
        const int ready = poll(&in, 1, static_cast<int>(std::min<qint64>(left, 20)));
        if (ready < 0 && errno != EINTR) {
            ok = false;
        } else if (ready > 0) {
            const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
            if (n > 0) {
                stream.append(chunk, n);
                ok = stream.size() <= kMaxStream;
            } else if (n == 0) {
                ended = true;
            } else if (errno != EINTR) {
                ok = false;
            }
        }
        const qint64 resident = residentBytes(child);
        if (ok && baseline >= 0 && resident - baseline > ChmArchive::kMaxReaderGrowth)
            ok = false;
    }
    ::close(fds[0]);
    if (!ok)
        ::kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return stream;
}

QString folded(const QString& path) { return path.toCaseFolded(); }

}  // namespace

bool bindChmLibrary(LibraryHandle library)
{
    ChmFunctions functions;
    const bool complete = take(library, "chm_open", functions.open)
        && take(library, "chm_close", functions.close)
        && take(library, "chm_resolve_object", functions.resolve)
        && take(library, "chm_retrieve_object", functions.retrieve)
        && take(library, "chm_enumerate", functions.enumerate);
    if (!complete)
        return false;
    g_chm = functions;
    g_bound = true;
    return true;
}

bool chmLibraryBound() { return g_bound; }

void unbindChmLibrary()
{
    g_chm = {};
    g_bound = false;
}

std::unique_ptr<ChmArchive> ChmArchive::open(const QString& path)
{
    if (!g_bound || path.isEmpty())
        return nullptr;
    const std::optional<QByteArray> stream = readInChild(path);
    if (!stream)
        return nullptr;
    std::unique_ptr<ChmArchive> archive(new ChmArchive);
    archive->m_path = path;
    if (!archive->take(*stream))
        return nullptr;
    return archive;
}

bool ChmArchive::take(const QByteArray& stream)
{
    const auto* b = reinterpret_cast<const unsigned char*>(stream.constData());
    const qsizetype size = stream.size();
    qsizetype at = 0;
    auto le = [&](int bytes) {
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= uint64_t {b[at + i]} << (8 * i);
        at += bytes;
        return value;
    };
    qint64 total = 0;
    while (at < size) {
        const uint8_t kind = b[at++];
        // An archive without a single page (its directory lost) shows nothing.
        if (kind == End)
            return at == size && !m_files.isEmpty();
        if ((kind != Listed && kind != Special) || size - at < 2)
            return false;
        const auto pathLength = static_cast<qsizetype>(le(2));
        if (pathLength < 2 || pathLength > CHM_MAX_PATHLEN || size - at < pathLength + 4)
            return false;
        const QString path = QString::fromUtf8(stream.constData() + at, pathLength);
        at += pathLength;
        const auto length = static_cast<qint64>(le(4));
        total += length;
        if (!path.startsWith(u'/') || length > size - at || total > kMaxContentSize
            || m_objects.size() >= kMaxObjects)
            return false;
        const QString key = folded(path);
        if (m_objects.contains(key))
            return false;
        m_objects.insert(key, stream.mid(at, static_cast<qsizetype>(length)));
        at += static_cast<qsizetype>(length);
        if (kind == Listed)
            m_files.append(path);
    }
    return false;  // no end: the child stopped short
}

bool ChmArchive::contains(const QString& path) const { return m_objects.contains(folded(path)); }

std::optional<QByteArray> ChmArchive::read(const QString& path) const
{
    const auto found = m_objects.constFind(folded(path));
    if (found == m_objects.constEnd())
        return std::nullopt;
    return *found;
}

}  // namespace platform
