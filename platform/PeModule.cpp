#include "platform/PeModule.h"

#include "platform/ByteReader.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr uint32_t kSubdirFlag = 0x80000000u;
constexpr uint32_t kNameFlag = 0x80000000u;
constexpr size_t kDirHeader = 16;
constexpr size_t kDirEntry = 8;
constexpr size_t kMaxSections = 96;  // the loader's own limit

QString nameFromUtf16(Bytes bytes, size_t chars)
{
    QString text(static_cast<qsizetype>(chars), Qt::Uninitialized);
    for (size_t i = 0; i < chars; ++i)
        text[static_cast<qsizetype>(i)] = QChar(le16(bytes, i * 2));
    return text;
}

}  // namespace

ResourceId ResourceId::fromName(const QString& text)
{
    if (text.startsWith(u'#')) {
        bool ok = false;
        const uint value = text.mid(1).toUInt(&ok, 10);
        if (ok && value <= 0xFFFF)
            return fromId(static_cast<uint16_t>(value));
    }
    return ResourceId {std::nullopt, text};
}

namespace {

struct ProgramImage {
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray imagePath;
};

ProgramImage& programImage()
{
    static ProgramImage image;
    return image;
}

}  // namespace

void PeModule::setProgramResourceImage(const QString& imagePath)
{
    ProgramImage& image = programImage();
    struct stat st {};
    if (stat("/proc/self/exe", &st) != 0)
        return;
    image.device = st.st_dev;
    image.inode = st.st_ino;
    image.imagePath = QFile::encodeName(imagePath);
}

// The file's bytes at their own offsets in memory of the file's size,
// read in blocks when first asked for. Reading through a mapping of the
// file would fault (SIGBUS) on pages the file no longer has.
class PeModule::FileBlocks {
public:
    static constexpr uint64_t kBlock = 64 * 1024;

    FileBlocks(int fd, size_t size, QString path) : m_fd(fd), m_size(size), m_path(std::move(path))
    {
        // Left uninitialised: pages that are never read are never touched.
        // The heap gives back memory the last module used, which costs far
        // less to fill than pages touched for the first time.
        m_memory.reset(new (std::nothrow) uint8_t[size]);
        m_read.resize((size + kBlock - 1) / kBlock);
    }
    ~FileBlocks() { ::close(m_fd); }
    FileBlocks(const FileBlocks&) = delete;
    FileBlocks& operator=(const FileBlocks&) = delete;

    Bytes bytes() const { return m_memory ? Bytes(m_memory.get(), m_size) : Bytes(); }
    const QString& path() const { return m_path; }

    // False when the file no longer holds all of the range.
    bool read(uint64_t offset, uint64_t length)
    {
        if (length == 0 || offset >= m_size)
            return true;
        const uint64_t last = std::min<uint64_t>(offset + length - 1, m_size - 1) / kBlock;
        for (uint64_t block = offset / kBlock; block <= last; ++block) {
            if (m_read[block])
                continue;
            // One read for the run of blocks still missing.
            uint64_t end = block + 1;
            while (end <= last && !m_read[end])
                ++end;
            const uint64_t from = block * kBlock;
            const uint64_t to = std::min<uint64_t>(end * kBlock, m_size);
            for (uint64_t at = from; at < to;) {
                const ssize_t n = pread(m_fd, m_memory.get() + at, to - at, static_cast<off_t>(at));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return false;
                at += static_cast<uint64_t>(n);
            }
            for (; block < end; ++block)
                m_read[block] = true;
        }
        return true;
    }

private:
    int m_fd;
    size_t m_size;
    QString m_path;
    std::unique_ptr<uint8_t[]> m_memory;
    std::vector<bool> m_read;
};

struct PeModule::NameIndex {
    bool readable = false;
    // Identifiers in ascending order, each with its entry's target; equal
    // identifiers keep directory order, so the first stored is found first.
    std::vector<std::pair<uint16_t, uint32_t>> ids;
    // Case-folded names with the target of the first entry of that name.
    QHash<QString, uint32_t> names;
};

PeModule::~PeModule() = default;

void PeModule::readFromFile(uint64_t offset, uint64_t length) const
{
    if (m_file && !m_file->read(offset, length))
        throw Error(QStringLiteral("%1 changed while it was read").arg(m_file->path()));
}

std::unique_ptr<PeModule> PeModule::open(const QString& path) { return openFile(path, true); }

std::unique_ptr<PeModule> PeModule::open(int fd, const QString& path)
{
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return own < 0 ? nullptr : fromDescriptor(own, path, true);
}

std::unique_ptr<PeModule> PeModule::openFile(const QString& path, bool redirectProgram)
{
    const QByteArray native = QFile::encodeName(path);
    // Non-blocking, so that a FIFO met in a folder search cannot stall it;
    // only regular files pass the check below.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    return fromDescriptor(fd, path, redirectProgram);
}

std::unique_ptr<PeModule> PeModule::fromDescriptor(int fd, const QString& path, bool redirectProgram)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const ProgramImage& self = programImage();
    if (redirectProgram && !self.imagePath.isEmpty() && st.st_dev == self.device && st.st_ino == self.inode) {
        ::close(fd);
        return openFile(QFile::decodeName(self.imagePath), false);
    }
    // Memory of the file's size is reserved for a module only: a file that
    // is no MZ file (a sparse icon file of gigabytes) costs two bytes.
    char magic[2] = {};
    if (st.st_size < 64 || pread(fd, magic, 2, 0) != 2 || magic[0] != 'M' || magic[1] != 'Z') {
        ::close(fd);
        return nullptr;
    }
    // Blocks are read as they are needed, so counting the icon groups of a
    // large module reads a few blocks of it.
    std::unique_ptr<PeModule> module(new PeModule);
    module->m_file = std::make_unique<FileBlocks>(fd, static_cast<size_t>(st.st_size), path);
    module->m_bytes = module->m_file->bytes();
    if (module->m_bytes.empty())
        return nullptr;
    // The headers, which parse() reads directly: the DOS header, then the
    // PE header, the optional header and the section table at their limits.
    module->readFromFile(0, 64);
    const uint64_t pe = le32(module->m_bytes, 0x3C);
    module->readFromFile(pe, 24 + 0xFFFF + kMaxSections * 40);
    if (!module->parse())
        return nullptr;
    return module;
}

std::unique_ptr<PeModule> PeModule::fromBytes(Bytes bytes)
{
    std::unique_ptr<PeModule> module(new PeModule);
    module->m_bytes = bytes;
    if (!module->parse())
        return nullptr;
    return module;
}

bool PeModule::parse()
{
    const Bytes b = m_bytes;
    if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z')
        return false;
    const uint64_t pe = le32(b, 0x3C);
    if (!fits(b, pe, 24) || le32(b, pe) != 0x00004550u)  // "PE\0\0"
        return false;
    const uint16_t sectionCount = le16(b, pe + 6);
    const uint16_t optionalSize = le16(b, pe + 20);
    const uint64_t opt = pe + 24;
    if (!fits(b, opt, 2))
        return false;
    const uint16_t magic = le16(b, opt);
    uint64_t dirCountAt = 0;
    if (magic == 0x10B) {
        dirCountAt = opt + 92;
    } else if (magic == 0x20B) {
        dirCountAt = opt + 108;
        m_is64 = true;
    } else {
        return false;
    }
    if (dirCountAt + 4 > opt + optionalSize || !fits(b, dirCountAt, 4))
        return false;
    const uint32_t dirCount = le32(b, dirCountAt);
    const uint64_t rsrcDir = dirCountAt + 4 + 2 * 8;  // data directory 2
    if (dirCount > 2 && rsrcDir + 8 <= opt + optionalSize && fits(b, rsrcDir, 8)) {
        m_rsrcRva = le32(b, rsrcDir);
        m_rsrcSize = le32(b, rsrcDir + 4);
    }
    if (sectionCount > kMaxSections)
        return false;
    const uint64_t table = opt + optionalSize;
    if (!fits(b, table, uint64_t {sectionCount} * 40))
        return false;
    m_sections.reserve(sectionCount);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t s = table + uint64_t {i} * 40;
        const uint32_t virtualSize = le32(b, s + 8);
        const uint32_t va = le32(b, s + 12);
        const uint32_t rawSize = le32(b, s + 16);
        const uint32_t rawOffset = le32(b, s + 20);
        // The loader maps no more of a section than its virtual size when
        // that is given; the rest of the raw data is not part of it.
        const uint32_t size = virtualSize != 0 ? std::min(virtualSize, rawSize) : rawSize;
        m_sections.push_back({va, size, rawOffset});
    }
    return true;
}

std::optional<Bytes> PeModule::atRva(uint64_t rva, uint64_t length) const
{
    for (const Section& s : m_sections) {
        if (rva < s.va || rva - s.va >= s.size)
            continue;
        const uint64_t inSection = rva - s.va;
        if (length > s.size - inSection)
            return std::nullopt;
        const uint64_t offset = uint64_t {s.rawOffset} + inSection;
        if (!fits(m_bytes, offset, length))
            return std::nullopt;
        readFromFile(offset, length);
        return m_bytes.subspan(offset, length);
    }
    return std::nullopt;
}

std::optional<uint16_t> PeModule::directoryCount(uint32_t offset) const
{
    const auto header = atRva(uint64_t {m_rsrcRva} + offset, kDirHeader);
    if (!header)
        return std::nullopt;
    const uint32_t count = uint32_t {le16(*header, 12)} + le16(*header, 14);
    if (count > 0xFFFF)
        return std::nullopt;
    return static_cast<uint16_t>(count);
}

std::optional<std::vector<PeModule::DirEntry>> PeModule::directory(uint32_t offset) const
{
    if (m_rsrcRva == 0)
        return std::nullopt;
    const auto header = atRva(uint64_t {m_rsrcRva} + offset, kDirHeader);
    if (!header)
        return std::nullopt;
    const uint32_t count = uint32_t {le16(*header, 12)} + le16(*header, 14);
    const auto raw = atRva(uint64_t {m_rsrcRva} + offset + kDirHeader, uint64_t {count} * kDirEntry);
    if (!raw)
        return std::nullopt;
    std::vector<DirEntry> entries;
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        entries.push_back({le32(*raw, i * kDirEntry), le32(*raw, i * kDirEntry + 4)});
    return entries;
}

std::optional<ResourceId> PeModule::entryName(uint32_t name) const
{
    if (!(name & kNameFlag))
        return ResourceId::fromId(static_cast<uint16_t>(name & 0xFFFF));
    const uint64_t at = uint64_t {m_rsrcRva} + (name & ~kNameFlag);
    const auto length = atRva(at, 2);
    if (!length)
        return std::nullopt;
    const uint16_t chars = le16(*length, 0);
    const auto text = atRva(at + 2, uint64_t {chars} * 2);
    if (!text)
        return std::nullopt;
    return ResourceId {std::nullopt, nameFromUtf16(*text, chars)};
}

bool PeModule::entryMatches(uint32_t name, const ResourceId& id) const
{
    if (!(name & kNameFlag))
        return id.isId() && *id.id == (name & 0xFFFF);
    if (id.isId())
        return false;
    const auto stored = entryName(name);
    return stored && stored->name.compare(id.name, Qt::CaseInsensitive) == 0;
}

std::optional<uint32_t> PeModule::subdirectory(uint32_t offset, const ResourceId& id) const
{
    const auto entries = directory(offset);
    if (!entries)
        return std::nullopt;
    for (const DirEntry& e : *entries) {
        if (!entryMatches(e.name, id))
            continue;
        if (!(e.target & kSubdirFlag))
            return std::nullopt;
        const uint32_t sub = e.target & ~kSubdirFlag;
        // A level that points back at the root or at itself would make the
        // three levels read the same entries again; such a file is broken.
        if (sub == 0 || sub == offset)
            return std::nullopt;
        return sub;
    }
    return std::nullopt;
}

std::optional<Bytes> PeModule::dataEntry(uint32_t offset) const
{
    const auto entry = atRva(uint64_t {m_rsrcRva} + offset, 16);
    if (!entry)
        return std::nullopt;
    return atRva(le32(*entry, 0), le32(*entry, 4));
}

std::vector<ResourceId> PeModule::resourceNames(const ResourceId& type) const
{
    std::vector<ResourceId> names;
    const auto typeDir = subdirectory(0, type);
    if (!typeDir)
        return names;
    const auto entries = directory(*typeDir);
    if (!entries)
        return names;
    names.reserve(entries->size());
    for (const DirEntry& e : *entries) {
        auto name = entryName(e.name);
        if (!name)
            return {};
        names.push_back(std::move(*name));
    }
    return names;
}

size_t PeModule::resourceCount(const ResourceId& type) const
{
    const auto typeDir = subdirectory(0, type);
    if (!typeDir)
        return 0;
    const auto count = directoryCount(*typeDir);
    if (!count || !atRva(uint64_t {m_rsrcRva} + *typeDir + kDirHeader, uint64_t {*count} * kDirEntry))
        return 0;
    return *count;
}

const PeModule::NameIndex& PeModule::nameIndex(uint32_t offset) const
{
    const std::lock_guard lock(m_indexLock);
    std::unique_ptr<NameIndex>& slot = m_nameIndexes[offset];
    if (slot)
        return *slot;
    slot = std::make_unique<NameIndex>();
    const auto entries = directory(offset);
    if (!entries)
        return *slot;
    slot->readable = true;
    slot->ids.reserve(entries->size());
    for (const DirEntry& e : *entries) {
        if (!(e.name & kNameFlag)) {
            slot->ids.emplace_back(static_cast<uint16_t>(e.name & 0xFFFF), e.target);
        } else if (const auto stored = entryName(e.name)) {
            const QString key = stored->name.toCaseFolded();
            if (!slot->names.contains(key))
                slot->names.insert(key, e.target);
        }
    }
    std::stable_sort(slot->ids.begin(), slot->ids.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return *slot;
}

std::optional<uint32_t> PeModule::indexedTarget(uint32_t offset, const ResourceId& id) const
{
    const NameIndex& index = nameIndex(offset);
    if (!index.readable)
        return std::nullopt;
    if (!id.isId()) {
        const auto found = index.names.constFind(id.name.toCaseFolded());
        if (found == index.names.constEnd())
            return std::nullopt;
        return *found;
    }
    const auto found
        = std::lower_bound(index.ids.begin(), index.ids.end(), *id.id,
                           [](const auto& entry, uint16_t value) { return entry.first < value; });
    if (found == index.ids.end() || found->first != *id.id)
        return std::nullopt;
    return found->second;
}

std::optional<Bytes> PeModule::findResource(const ResourceId& type, const ResourceId& name,
                                            std::optional<uint16_t> language) const
{
    const auto typeDir = subdirectory(0, type);
    if (!typeDir)
        return std::nullopt;
    // The same checks as subdirectory(): a data entry where a level is
    // expected, or a level that points back, ends the search.
    const auto target = indexedTarget(*typeDir, name);
    if (!target || !(*target & kSubdirFlag))
        return std::nullopt;
    const uint32_t nameDir = *target & ~kSubdirFlag;
    if (nameDir == 0 || nameDir == *typeDir)
        return std::nullopt;
    const auto langs = directory(nameDir);
    if (!langs || langs->empty())
        return std::nullopt;
    auto pick = [&](uint16_t lang) -> const DirEntry* {
        for (const DirEntry& e : *langs)
            if (!(e.name & kNameFlag) && (e.name & 0xFFFF) == lang)
                return &e;
        return nullptr;
    };
    const DirEntry* chosen = nullptr;
    if (language)
        chosen = pick(*language);
    if (!chosen)
        chosen = pick(kLangNeutral);
    if (!chosen)
        chosen = pick(kLangEnUs);
    if (!chosen)
        chosen = &langs->front();
    if (chosen->target & kSubdirFlag)
        return std::nullopt;
    return dataEntry(chosen->target);
}

std::optional<QString> PeModule::loadString(uint32_t id) const
{
    if (id > 0xFFFF)
        return std::nullopt;
    const auto block = findResource(ResourceId::fromType(ResType::String),
                                    ResourceId::fromId(static_cast<uint16_t>((id >> 4) + 1)));
    if (!block)
        return std::nullopt;
    uint64_t at = 0;
    for (uint32_t i = 0; i < (id & 15); ++i) {
        if (!fits(*block, at, 2))
            return std::nullopt;
        at += 2 + uint64_t {le16(*block, at)} * 2;
    }
    if (!fits(*block, at, 2))
        return std::nullopt;
    const uint16_t chars = le16(*block, at);
    if (!fits(*block, at + 2, uint64_t {chars} * 2))
        return std::nullopt;
    return nameFromUtf16(block->subspan(at + 2), chars);
}

bool PeModule::stringTablesReadable() const
{
    const auto typeDir = subdirectory(0, ResourceId::fromType(ResType::String));
    if (!typeDir)
        return false;
    const auto blocks = directory(*typeDir);
    if (!blocks || blocks->empty())
        return false;
    for (const DirEntry& block : *blocks) {
        const uint32_t nameDir = block.target & ~kSubdirFlag;
        if (!(block.target & kSubdirFlag) || nameDir == 0 || nameDir == *typeDir)
            return false;
        const auto langs = directory(nameDir);
        if (!langs || langs->empty())
            return false;
        for (const DirEntry& lang : *langs)
            if ((lang.target & kSubdirFlag) || !dataEntry(lang.target))
                return false;
    }
    return true;
}

std::optional<Bytes> PeModule::versionResource() const
{
    const ResourceId type = ResourceId::fromType(ResType::Version);
    const auto names = resourceNames(type);
    if (names.empty())
        return std::nullopt;
    return findResource(type, names.front());
}

namespace version {

namespace {

constexpr int kMaxDepth = 8;

struct Block {
    Bytes whole;  // the block, wLength bytes
    Bytes value;  // its value bytes
    bool text;    // wType 1
    size_t childrenAt;
    QString key;
};

uint64_t align4(uint64_t at) { return (at + 3) & ~uint64_t {3}; }

// Reads the block at `at` of `resource` (offsets are aligned relative to
// the start of the resource, as the version calls lay them out).
std::optional<Block> readBlock(Bytes resource, uint64_t at, uint64_t end)
{
    if (at + 6 > end || !fits(resource, at, 6))
        return std::nullopt;
    const uint16_t length = le16(resource, at);
    const uint16_t valueLength = le16(resource, at + 2);
    const uint16_t type = le16(resource, at + 4);
    if (length < 6 || at + length > end)
        return std::nullopt;
    const uint64_t blockEnd = at + length;
    uint64_t p = at + 6;
    QString key;
    for (;;) {
        if (p + 2 > blockEnd)
            return std::nullopt;
        const uint16_t c = le16(resource, p);
        p += 2;
        if (c == 0)
            break;
        key.append(QChar(c));
    }
    p = align4(p);
    const uint64_t valueBytes = type == 1 ? uint64_t {valueLength} * 2 : valueLength;
    Bytes value;
    if (p < blockEnd) {
        const uint64_t available = blockEnd - p;
        // Some tools count a text value in bytes, not characters; keep it
        // inside the block either way.
        value = resource.subspan(p, std::min(valueBytes, available));
        p = align4(p + value.size());
    }
    return Block {resource.subspan(at, length), value, type == 1, static_cast<size_t>(std::min(p, blockEnd)),
                  key};
}

std::optional<Block> find(Bytes resource, const QString& path)
{
    auto root = readBlock(resource, 0, resource.size());
    if (!root)
        return std::nullopt;
    const QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    if (parts.size() > kMaxDepth)
        return std::nullopt;
    Block current = *root;
    uint64_t currentStart = 0;
    for (const QString& part : parts) {
        const uint64_t end = currentStart + current.whole.size();
        uint64_t at = current.childrenAt;
        std::optional<Block> found;
        while (at < end) {
            auto child = readBlock(resource, at, end);
            if (!child)
                return std::nullopt;
            if (child->key.compare(part, Qt::CaseInsensitive) == 0) {
                found = child;
                break;
            }
            at = align4(at + child->whole.size());
        }
        if (!found)
            return std::nullopt;
        currentStart = at;
        current = *found;
    }
    return current;
}

}  // namespace

std::optional<Bytes> queryValue(Bytes resource, const QString& path)
{
    const auto block = find(resource, path);
    if (!block || block->value.empty())
        return std::nullopt;
    return block->value;
}

std::optional<QString> queryString(Bytes resource, const QString& path)
{
    const auto block = find(resource, path);
    if (!block)
        return std::nullopt;
    QString text;
    for (size_t i = 0; i + 1 < block->value.size(); i += 2) {
        const uint16_t c = le16(block->value, i);
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}

}  // namespace version

}  // namespace platform
