#include "platform/ShellIcons.h"

#include "platform/ByteReader.h"
#include "platform/Exceptions.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

using Span = std::span<const uint8_t>;

const ResourceId kGroupType = ResourceId::fromType(ResType::GroupIcon);
const ResourceId kIconType = ResourceId::fromType(ResType::Icon);

// Directory entries leave the bit count 0 at times and give only the
// colour count.
int entryBits(int colours, int bits)
{
    if (bits != 0)
        return bits;
    if (colours == 2)
        return 1;
    if (colours > 0 && colours <= 16)
        return 4;
    return 8;
}

IconDirEntry readEntry(Span b, uint64_t at)
{
    IconDirEntry e;
    e.width = b[at] == 0 ? 256 : b[at];
    e.height = b[at + 1] == 0 ? 256 : b[at + 1];
    e.bits = entryBits(b[at + 2], le16(b, at + 6));
    e.bytes = le32(b, at + 8);
    return e;
}

// Reads up to `length` bytes at `offset` of the open file: the count read,
// short only at the end of the file, or -1 with errno set.
int64_t readAt(int fd, void* buffer, uint64_t length, uint64_t offset)
{
    uint64_t done = 0;
    while (done < length) {
        const ssize_t n
            = pread(fd, static_cast<char*>(buffer) + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    return static_cast<int64_t>(done);
}

uint64_t addressOf(Span bytes) { return reinterpret_cast<uintptr_t>(bytes.data()); }

// An .ico file read by its directory: the header and the directory first,
// then only the images the loader tries, each within the file. A file far
// larger than what its directory names (a sparse one of gigabytes) costs no
// more than those images. Read from an open file, not mapped: a mapping
// would fault (SIGBUS) on the pages of a file that shrinks while it is
// read; or from the file's bytes read whole.
class IcoFile {
public:
    IcoFile(int fd, uint64_t size) : m_fd(fd), m_size(size) { readDirectory(); }
    explicit IcoFile(Span whole) : m_whole(whole), m_size(whole.size()) { readDirectory(); }
    const std::optional<std::vector<IconDirEntry>>& entries() const { return m_entries; }
    // The bytes of an entry up to the end of the file; nullopt for an image
    // that starts past the end, is larger than any icon image or cannot be read.
    std::optional<QByteArray> image(const IconDirEntry& e) const
    {
        const uint64_t length = imageLength(e);
        if (length == 0 || length > kMaxIconImageBytes)
            return std::nullopt;
        return read(e.location, length);
    }
    // A byte count past the end is a common slip of icon writers: the image
    // is read up to the end of the file.
    uint64_t imageLength(const IconDirEntry& e) const
    {
        return e.location >= m_size ? 0 : std::min<uint64_t>(e.bytes, m_size - e.location);
    }
    static Span asSpan(const QByteArray& bytes)
    {
        return Span(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
    }

private:
    void readDirectory()
    {
        const auto head = read(0, 6);
        if (!head)
            return;
        const uint64_t count = le16(asSpan(*head), 4);
        if (6 + count * 16 > m_size)
            return;
        if (const auto directory = read(0, 6 + count * 16))
            m_entries = readIcoDirectory(asSpan(*directory));
    }
    // Bytes [at, at + length), which lie within the file's size.
    std::optional<QByteArray> read(uint64_t at, uint64_t length) const
    {
        if (at > m_size || length > m_size - at)
            return std::nullopt;
        if (!m_whole.empty() || m_fd < 0)
            return QByteArray(reinterpret_cast<const char*>(m_whole.data() + at),
                              static_cast<qsizetype>(length));
        QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
        if (readAt(m_fd, bytes.data(), length, at) != static_cast<int64_t>(length))
            return std::nullopt;
        return bytes;
    }

    int m_fd = -1;
    Span m_whole;
    uint64_t m_size = 0;
    std::optional<std::vector<IconDirEntry>> m_entries;
};

}  // namespace

std::optional<std::vector<IconDirEntry>> readGroupDirectory(Span group)
{
    if (!fits(group, 0, 6))
        return std::nullopt;
    const uint16_t count = le16(group, 4);
    if (!fits(group, 6, uint64_t {count} * 14))
        return std::nullopt;
    std::vector<IconDirEntry> entries;
    entries.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t at = 6 + uint64_t {i} * 14;
        IconDirEntry e = readEntry(group, at);
        e.location = le16(group, at + 12);
        entries.push_back(e);
    }
    return entries;
}

std::optional<std::vector<IconDirEntry>> readIcoDirectory(Span file)
{
    if (!fits(file, 0, 6) || le16(file, 0) != 0 || le16(file, 2) != 1)
        return std::nullopt;
    const uint16_t count = le16(file, 4);
    if (count == 0 || !fits(file, 6, uint64_t {count} * 16))
        return std::nullopt;
    std::vector<IconDirEntry> entries;
    entries.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t at = 6 + uint64_t {i} * 16;
        IconDirEntry e = readEntry(file, at);
        e.location = le32(file, at + 12);
        entries.push_back(e);
    }
    return entries;
}

std::vector<size_t> rankIconImages(std::span<const IconDirEntry> entries, int size)
{
    auto key = [size](const IconDirEntry& e, size_t index) {
        const int64_t area = int64_t {e.width} * e.height;
        int kind = 2;  // smaller: the largest of them first
        int64_t sizeOrder = -area;
        if (e.width == size && e.height == size) {
            kind = 0;
            sizeOrder = 0;
        } else if (e.width >= size && e.height >= size) {
            kind = 1;  // larger: the nearest first
            sizeOrder = area;
        }
        const int depthOrder = e.bits > kScreenBitsPerPixel ? 1 : -e.bits;
        return std::make_tuple(kind, sizeOrder, depthOrder, index);
    };
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return key(entries[a], a) < key(entries[b], b); });
    return order;
}

const Icon* IconImageCache::find(const IconImageKey& key) const
{
    const auto found = m_icons.find(key);
    return found == m_icons.end() ? nullptr : &found->second;
}

const Icon& IconImageCache::decode(const IconImageKey& key, Span bytes)
{
    if (const Icon* known = find(key))
        return *known;
    auto image = decodeIconImage(bytes);
    return m_icons[key] = image ? Icon(std::move(*image), key.size, key.size) : Icon();
}

Icon iconFromGroup(const PeModule& module, Span group, int size, IconImageCache& cache)
{
    const auto entries = readGroupDirectory(group);
    if (!entries)
        return {};
    // The next best image stands in for one that is missing or broken.
    for (size_t i : rankIconImages(*entries, size)) {
        const auto bytes = module.findResource(
            kIconType, ResourceId::fromId(static_cast<uint16_t>((*entries)[i].location)));
        if (!bytes)
            continue;
        const Icon& icon = cache.decode({addressOf(*bytes), bytes->size(), size}, *bytes);
        if (!icon.isNull())
            return icon;
    }
    return {};
}

Icon iconFromGroup(const PeModule& module, Span group, int size)
{
    IconImageCache cache;
    return iconFromGroup(module, group, size, cache);
}

Icon iconFromIcoFile(Span file, int size, IconImageCache& cache)
{
    const auto entries = readIcoDirectory(file);
    if (!entries)
        return {};
    for (size_t i : rankIconImages(*entries, size)) {
        const IconDirEntry& e = (*entries)[i];
        if (e.location >= file.size())
            continue;
        // A byte count past the end is a common slip of icon writers: the
        // image is read up to the end of the file.
        const Span bytes = file.subspan(e.location, std::min<uint64_t>(e.bytes, file.size() - e.location));
        const Icon& icon = cache.decode({e.location, bytes.size(), size}, bytes);
        if (!icon.isNull())
            return icon;
    }
    return {};
}

Icon iconFromIcoFile(Span file, int size)
{
    IconImageCache cache;
    return iconFromIcoFile(file, size, cache);
}

namespace {

Icon iconFromIcoFile(const IcoFile& file, int size)
{
    IconImageCache cache;
    for (size_t i : rankIconImages(*file.entries(), size)) {
        const IconDirEntry& e = (*file.entries())[i];
        const IconImageKey key {e.location, file.imageLength(e), size};
        const Icon* icon = cache.find(key);
        if (!icon) {
            const auto bytes = file.image(e);
            icon = &cache.decode(key, bytes ? IcoFile::asSpan(*bytes) : Span());
        }
        if (!icon->isNull())
            return *icon;
    }
    return {};
}

std::vector<Icon> moduleIcons(const PeModule& module, int size, int first, int count)
{
    std::vector<Icon> icons;
    const std::vector<ResourceId> names = module.resourceNames(kGroupType);
    const size_t begin = static_cast<size_t>(first);
    if (begin >= names.size())
        return icons;
    const size_t end = count < 0 ? names.size() : std::min(names.size(), begin + static_cast<size_t>(count));
    icons.reserve(end - begin);
    IconImageCache cache;
    for (size_t i = begin; i < end; ++i) {
        const auto group = module.findResource(kGroupType, names[i]);
        icons.push_back(group ? iconFromGroup(module, *group, size, cache) : Icon());
    }
    return icons;
}

// Only the header and the directory of an .ico file.
bool isIcoFile(int fd, uint64_t size)
{
    uint8_t header[6];
    if (readAt(fd, header, 6, 0) != 6)
        return false;
    const Span h(header, 6);
    return le16(h, 0) == 0 && le16(h, 2) == 1 && le16(h, 4) != 0 && size >= 6 + uint64_t {le16(h, 4)} * 16;
}

}  // namespace

std::unique_ptr<IconSourceFile> IconSourceFile::open(const QString& path, QString* reason)
{
    // Not blocking: a FIFO put in the file's place must not stall the caller.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<IconSourceFile> file(new IconSourceFile(fd, path));
    struct stat st {};
    const auto identity = fileIdentity(fd);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !identity) {
        if (reason)
            *reason = QStringLiteral("it is not a regular file");
        return nullptr;
    }
    file->m_identity = *identity;
    // The module layer first: it also knows the program's own file, whose
    // resources live in an image beside it.
    file->m_module = PeModule::open(fd, path);
    char magic[2] = {};
    if (file->m_module)
        file->m_source
            = {IconSourceKind::Executable, static_cast<int>(file->m_module->resourceCount(kGroupType))};
    else if (readAt(fd, magic, 2, 0) == 2 && magic[0] == 'M' && magic[1] == 'Z')
        file->m_source = {IconSourceKind::Executable, 0};
    else if (isIcoFile(fd, static_cast<uint64_t>(identity->size)))
        file->m_source = {IconSourceKind::IconFile, 1};
    return file;
}

IconSourceFile::IconSourceFile(int fd, const QString& path) : m_fd(fd), m_path(path) {}

IconSourceFile::~IconSourceFile() { ::close(m_fd); }

bool IconSourceFile::changed() const { return fileIdentity(m_fd) != m_identity; }

std::vector<Icon> IconSourceFile::icons(int size, int first, int count) const
{
    if (first < 0 || count == 0 || size <= 0 || size > kMaxIconDimension)
        return {};
    if (m_module)
        return moduleIcons(*m_module, size, first, count);
    if (m_source.kind != IconSourceKind::IconFile || first != 0)
        return {};
    const uint64_t length = static_cast<uint64_t>(m_identity.size);
    const QByteArray* whole = m_identity.size <= kMaxIconFileBytes ? bytes() : nullptr;
    const IcoFile file = whole ? IcoFile(IcoFile::asSpan(*whole)) : IcoFile(m_fd, length);
    if (!file.entries())
        return {};
    return {iconFromIcoFile(file, size)};
}

const QByteArray* IconSourceFile::bytes(QString* reason) const
{
    if (m_bytes)
        return &*m_bytes;
    if (m_identity.size > kMaxIconFileBytes) {
        if (reason)
            *reason = QStringLiteral("it is larger than %1 MB").arg(kMaxIconFileBytes >> 20);
        return nullptr;
    }
    QByteArray bytes(static_cast<qsizetype>(m_identity.size), Qt::Uninitialized);
    const int64_t n = readAt(m_fd, bytes.data(), static_cast<uint64_t>(bytes.size()), 0);
    if (n < 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    // Shorter than it was when it was opened: cut while the run reads it.
    if (n != bytes.size())
        throw Error(QStringLiteral("%1 changed while it was read").arg(m_path));
    m_bytes = std::move(bytes);
    return &*m_bytes;
}

IconSource probeIconSource(const QString& path)
{
    const auto file = IconSourceFile::open(path);
    return file ? file->source() : IconSource {};
}

int iconCount(const QString& path) { return probeIconSource(path).count; }

std::vector<Icon> extractIcons(const QString& path, int size, int first, int count)
{
    if (first < 0 || count == 0 || size <= 0 || size > kMaxIconDimension)
        return {};
    const auto file = IconSourceFile::open(path);
    return file ? file->icons(size, first, count) : std::vector<Icon> {};
}

Icon extractIcon(const QString& path, int index, int size)
{
    if (index >= 0) {
        std::vector<Icon> icons = extractIcons(path, size, index, 1);
        return icons.empty() ? Icon() : std::move(icons.front());
    }
    if (index < -0xFFFF || size <= 0 || size > kMaxIconDimension)
        return {};
    const auto module = PeModule::open(path);
    if (!module)
        return {};
    const auto group = module->findResource(kGroupType, ResourceId::fromId(static_cast<uint16_t>(-index)));
    return group ? iconFromGroup(*module, *group, size) : Icon();
}

}  // namespace platform
