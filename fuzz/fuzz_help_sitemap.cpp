// The formats the help viewer reads from a help file: sitemaps (contents
// and index), the system record, and topic addresses.
#include "platform/HelpSitemap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto entries = platform::parseSitemap(bytes);
    int previous = -1;
    for (const platform::SitemapEntry& entry : entries) {
        if (entry.level < 0 || entry.level > platform::kMaxSitemapLevel || entry.level > previous + 1)
            __builtin_trap();
        previous = entry.level;
    }
    (void)platform::parseChmSystem(bytes);
    (void)platform::parseTopicAddress(QString::fromUtf8(bytes));
    return 0;
}
