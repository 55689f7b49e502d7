// The help path as the viewer takes it: the help file read through libchm
// (in its reading child), then the system record and the contents and index
// sitemaps of what it hands back.
#include "platform/ChmArchive.h"
#include "platform/DynamicLibrary.h"
#include "platform/HelpSitemap.h"

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace {

void checkSitemap(const QByteArray& bytes)
{
    int previous = -1;
    for (const platform::SitemapEntry& entry : platform::parseSitemap(bytes)) {
        if (entry.level < 0 || entry.level > platform::kMaxSitemapLevel || entry.level > previous + 1)
            __builtin_trap();
        previous = entry.level;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The library the program loads, and one in-memory file for the inputs,
    // which the reading child opens by its name in /proc.
    static const int file = [] {
        platform::LibraryHandle library = platform::openLibrary(QStringLiteral("libchm.so.1"));
        if (!library || !platform::bindChmLibrary(library))
            __builtin_trap();  // nothing would be tested
        const int fd = memfd_create("fuzz_help_file.chm", 0);
        if (fd < 0)
            __builtin_trap();
        return fd;
    }();
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(file);
    if (ftruncate(file, 0) != 0 || (size > 0 && pwrite(file, data, size, 0) != static_cast<ssize_t>(size)))
        __builtin_trap();

    const auto archive = platform::ChmArchive::open(path);
    if (!archive)
        return 0;
    qint64 total = 0;
    for (const QString& name : archive->files()) {
        const std::optional<QByteArray> bytes = archive->read(name);
        if (!bytes || !archive->contains(name.toUpper()))
            __builtin_trap();
        total += bytes->size();
        if (name.endsWith(QLatin1String(".hhc"), Qt::CaseInsensitive)
            || name.endsWith(QLatin1String(".hhk"), Qt::CaseInsensitive))
            checkSitemap(*bytes);
    }
    if (total > platform::ChmArchive::kMaxContentSize)
        __builtin_trap();
    if (const std::optional<QByteArray> system = archive->read(QStringLiteral("/#SYSTEM")))
        (void)platform::parseChmSystem(*system);
    return 0;
}
